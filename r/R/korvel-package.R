#' korvel: power of tests for genetic differentiation from R
#'
#' Drives the KORVEL programs from R: [korvel_init()] makes a design from a
#' `genind`, a data file or allele frequencies, [korvel_run()] runs it and
#' returns the power table, and [korvel_plan()] searches the sample size or
#' number of loci that reaches a target power, drawn by [plot()].
#'
#' The programs are built from their sources when the package is installed
#' and found inside it. `options(korvel.bin = DIR)`, else the `KORVEL_BIN`
#' environment variable, names another folder that holds them instead;
#' without either and without the package's own, they are looked for on
#' `PATH`. A program's failure becomes an R error of class `korvel_error`
#' whose message carries what the program wrote on standard error; an
#' interrupted program an error of class `korvel_stopped`; a wrong argument
#' an error of class `korvel_argument_error` naming it.
#'
#' @keywords internal
#' @importFrom ggplot2 .data
"_PACKAGE"

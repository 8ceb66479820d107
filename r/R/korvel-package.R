#' korvel: power of tests for genetic differentiation from R
#'
#' Drives the KORVEL programs from R: [korvel_init()] makes a design from a
#' `genind`, a data file or allele frequencies, [korvel_run()] runs it and
#' returns the power table, and [korvel_plan()] searches the sample size or
#' number of loci that reaches a target power, drawn by `plot()`.
#'
#' The programs are found in the folder `options(korvel.bin = DIR)` names,
#' else in the folder of the `KORVEL_BIN` environment variable, else on
#' `PATH`. An error of a program becomes an R error of class `korvel_error`
#' whose message carries what the program wrote on standard error.
#'
#' @keywords internal
#' @importFrom ggplot2 .data
"_PACKAGE"

#' Run a KORVEL design
#'
#' Writes the design's `KORVEL.IN` into a folder and runs the program
#' `korvel-init` chose for it (`korvel` or `korvel-ml`) there, then has
#' `korvel-sweep --collect` turn its report into the table `power.csv`,
#' which is read. A counter follows the runs while it works (in an
#' interactive session); an interrupt stops the program within about two
#' seconds and leaves none running (an error of class `korvel_stopped`).
#'
#' @param design A `korvel_design` from [korvel_init()].
#' @param seed The generator seed (a whole number from 0 to 4294967295,
#'   given to the program as `KORVEL_SEED`). The same seed gives the same
#'   result, whatever `threads`. `NULL` lets the program seed itself; the
#'   seed it chose is returned.
#' @param threads Threads for the exact tests (`KORVEL_THREADS`, 1 to
#'   1024). `NULL`: the program's default, all the cores it may use.
#' @param dir Folder to run in, created when missing. It must not hold any
#'   file the run writes (`KORVEL.IN`, the output files, `console.log`,
#'   `stderr.log`), so nothing there is overwritten. `NULL`: a new temporary
#'   folder.
#' @return An object of class `korvel_result`: a list with
#'   \describe{
#'   \item{power}{a data frame of the run's `power.csv`, one row per test
#'     that was on: `test` (`"chi2"` or `"exact"`), `runs`, `significant`
#'     (runs whose combined test rejected at 5 %), `power` and its 95 %
#'     Wilson interval `ci_low`, `ci_high`.}
#'   \item{mean_fst}{the average realised F'st over the runs.}
#'   \item{expected_fst}{the F'st expected from drift theory.}
#'   \item{seed}{the seed of the run.}
#'   \item{dir}{the folder with `KORVEL.IN`, `KORVEL.OUT` and the detailed
#'     output files, `console.log` (standard output) and `stderr.log`.}
#'   }
#' @examples
#' d <- korvel_init(list(c(0.5, 0.3, 0.2), c(0.6, 0.4)), populations = 3, sample = 20,
#'                  ne = 200, fst = 0.02, runs = 20, tests = "chi2")
#' r <- korvel_run(d, seed = 1)
#' print(r$power)
#' @export
korvel_run <- function(design, seed = NULL, threads = NULL, dir = NULL) {
  if (!inherits(design, "korvel_design")) argument_error("design", "a korvel_design from korvel_init()", design)
  env <- character()
  if (!is.null(seed)) env["KORVEL_SEED"] <- whole_text(seed, "seed", 0, 4294967295)
  if (!is.null(threads)) env["KORVEL_THREADS"] <- whole_text(threads, "threads", 1, 1024)
  check_folder_name(dir, "dir")
  dir <- result_folder(dir, "korvel-run-", run_files)
  writeLines(design$text, file.path(dir, "KORVEL.IN"))
  ran <- run_korvel_program(design$program, character(), wd = dir, env = env, progress = run_progress(),
                            continue = paste0("The run is incomplete: start it again (its folder ", dir,
                                              " holds what it wrote so far; give a new dir)."))
  writeLines(ran$stdout, file.path(dir, "console.log"))
  writeLines(ran$stderr, file.path(dir, "stderr.log"))
  run_korvel_program("korvel-sweep", c("--collect", "."), wd = dir)
  table <- utils::read.csv(file.path(dir, "power.csv"), stringsAsFactors = FALSE, colClasses = c(test = "character"))
  structure(class = "korvel_result", list(
    power = table[c("test", "runs", "significant", "power", "ci_low", "ci_high")],
    mean_fst = table$mean_fst[1],
    expected_fst = table$expected_fst[1],
    seed = seed_of_run(ran$stderr, seed),
    dir = dir
  ))
}

# A counter of the runs finished, fed by the program's "Run = N" lines.
run_progress <- function() {
  state <- new.env()
  state$bar <- NULL
  function(line) {
    run <- regmatches(line, regexec("^Run = +([0-9]+)", line))[[1]]
    if (length(run) != 2L) return(invisible())
    if (is.null(state$bar)) {
      state$bar <- cli::cli_progress_bar(total = NA, .envir = state, clear = TRUE,
                                         format = "korvel {cli::pb_spin} run {cli::pb_current} {cli::pb_elapsed}")
    }
    cli::cli_progress_update(id = state$bar, set = as.integer(run[2]), .envir = state)
  }
}

# Every file a run writes into its folder.
run_files <- c("KORVEL.IN", "KORVEL.OUT", "FST.OUT", "SUBPOPS.OUT", "SAMPLES.OUT", "LOCUSTST.OUT",
               "SUMTEST.OUT", "CONTTAB.XYZ", "console.log", "stderr.log", "power.csv")

# The program's first line on standard error names the seed it used.
seed_of_run <- function(stderr, seed) {
  said <- regmatches(stderr, regexpr("^seed [0-9]+;", stderr))
  if (length(said)) return(as.numeric(gsub("[^0-9]", "", said[1])))
  if (!is.null(seed)) return(seed)
  stop("the program did not report the seed it used (no \"seed N;\" line on standard error)", call. = FALSE)
}

#' @export
print.korvel_result <- function(x, ...) {
  cat("KORVEL result (seed ", format(x$seed, scientific = FALSE), ") in ", x$dir, "\n", sep = "")
  print(x$power, row.names = FALSE)
  cat(sprintf("average realised F'st %.4f, expected F'st %.4f\n", x$mean_fst, x$expected_fst))
  invisible(x)
}

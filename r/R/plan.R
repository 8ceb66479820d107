#' Plan a study: the smallest sample size or number of loci for a power
#'
#' Runs the planning search of `korvel-sweep --find` on a design: for each
#' level of differentiation in `fst` and each test of the design, it looks
#' for the smallest sample size per population (or number of loci) whose
#' power reaches `target_power`, simulating only the probes the search
#' needs.
#'
#' An answer the search flags (status `"not reached"`, `"budget spent"` or
#' `"miscalibrated"`) is no error: the result is returned with a warning,
#' and the flag is in `$answers$status`.
#'
#' @param x A `korvel_design` from [korvel_init()], or anything
#'   [korvel_init()] takes (a `genind`, a data file, a list of frequencies);
#'   then `...` are its design arguments.
#' @param fst Expected F'st values to plan for.
#' @param target_power The power to reach.
#' @param find `"sample_size"` (diploid individuals per population) or
#'   `"loci"` (the first loci of the design).
#' @param range Two numbers, the smallest and largest value to try.
#'   `NULL`: the search's default.
#' @param tolerance How close (in individuals or loci) the answer must be.
#'   `NULL`: the search's default.
#' @param max_runs Most simulation runs the search may spend. `NULL`: the
#'   search's default.
#' @param seed Seed of the search (0 to 4294967295): the same seed gives the
#'   same answers, whatever `jobs`. `NULL`: every probe seeds itself.
#' @param jobs Probes run at the same time. `NULL`: the search's default.
#' @param ... Design arguments for [korvel_init()] when `x` is not a design.
#' @return An object of class `korvel_plan`: a list with
#'   \describe{
#'   \item{answers}{a data frame with the columns of the search's
#'     `design.csv`: `expected_fst`, `generations`, `test` (`"chi2"` or
#'     `"exact"`), `target_power`, `smallest_sample_size` (or
#'     `smallest_loci`), `ci_low`, `ci_high` (the range the answer lies in),
#'     `runs`, `probes`, `status` (`"ok"`, `"not reached"`,
#'     `"budget spent"` or `"miscalibrated"`).}
#'   \item{probes}{a data frame of its `curve.csv`, one row per probe: the
#'     sample size (or loci), F'st, runs and, per test, the significant
#'     runs, the power and its 95 \% Wilson interval.}
#'   \item{dir}{the folder of the search, with the probes' folders.}
#'   }
#'   [plot()] and [ggplot2::autoplot()] draw it.
#' @examples
#' if (korvel:::planning_search_available()) {
#'   d <- korvel_init(list(c(0.5, 0.3, 0.2), c(0.6, 0.4), c(0.7, 0.2, 0.1)),
#'                    populations = 3, sample = 20, ne = 200, runs = 20, tests = "chi2")
#'   p <- korvel_plan(d, fst = 0.05, range = c(5, 60), tolerance = 3, max_runs = 300, seed = 1)
#'   print(p$answers)
#'   plot(p)
#' }
#' @export
korvel_plan <- function(x, fst, target_power = 0.8, find = c("sample_size", "loci"), range = NULL,
                        tolerance = NULL, max_runs = NULL, seed = NULL, jobs = NULL, ...) {
  find <- match.arg(find)
  if (!planning_search_available()) {
    stop(korvel_condition(paste0(
      "the korvel-sweep found (", korvel_program("korvel-sweep"), ") has no planning search ",
      "(--find); install KORVEL programs that have it. ", korvel_install_hint), program = "korvel-sweep"))
  }
  design <- if (inherits(x, "korvel_design")) x else korvel_init(x, ...)
  if (inherits(x, "korvel_design") && length(list(...))) {
    stop("x is already a korvel_design: design arguments in ... have no effect", call. = FALSE)
  }
  if (!is.numeric(fst) || !length(fst) || anyNA(fst)) stop("fst must be one or more numbers", call. = FALSE)
  if (!is.numeric(target_power) || length(target_power) != 1L || is.na(target_power) ||
      target_power <= 0 || target_power >= 1) {
    stop("target_power must be one number between 0 and 1", call. = FALSE)
  }
  args <- c("--find", sub("_", "-", find), "--fst", paste(number_text(fst), collapse = ","),
            "--target-power", number_text(target_power))
  if (!is.null(range)) {
    if (!is.numeric(range) || length(range) != 2L) {
      stop("range must hold two numbers, the smallest and largest to try", call. = FALSE)
    }
    args <- c(args, "--range", paste(vapply(range, whole_number_text, "", "range", 1, 1e6), collapse = ","))
  }
  if (!is.null(tolerance)) args <- c(args, "--tolerance", whole_number_text(tolerance, "tolerance", 0, 1e6))
  if (!is.null(max_runs)) args <- c(args, "--max-runs", whole_number_text(max_runs, "max_runs", 1, 1e12))
  if (!is.null(seed)) args <- c(args, "--seed", whole_number_text(seed, "seed", 0, 4294967295))
  if (!is.null(jobs)) args <- c(args, "--jobs", whole_number_text(jobs, "jobs", 1, 1024))
  if (identical(design$program, "korvel-ml")) args <- c(args, "--many-loci")

  dir <- result_folder(NULL, "korvel-plan-", character())
  writeLines(design$text, file.path(dir, "KORVEL.IN"))
  ran <- run_korvel_program("korvel-sweep", c(args, "--out", "plan", "KORVEL.IN"), wd = dir,
                            ok_status = c(0L, 3L))
  out <- file.path(dir, "plan")
  plan <- structure(class = "korvel_plan", list(
    answers = read_sweep_csv(file.path(out, "design.csv")),
    probes = read_sweep_csv(file.path(out, "curve.csv")),
    dir = out,
    find = find
  ))
  if (ran$status == 3L) {
    flagged <- plan$answers[plan$answers$status != "ok", , drop = FALSE]
    warning("korvel-sweep flagged ", nrow(flagged), " of ", nrow(plan$answers), " answers (",
            paste(unique(flagged$status), collapse = ", "), "); see $answers$status",
            call. = FALSE)
  }
  plan
}

# Whether the korvel-sweep found offers the planning search; older builds
# have only the grid sweep.
planning_search_available <- function() {
  dir <- korvel_bin_or_empty("korvel-sweep")
  if (!nzchar(dir)) return(FALSE)
  sweep <- file.path(dir, "korvel-sweep")
  usage <- suppressWarnings(system2(sweep, "--help", stdout = TRUE, stderr = TRUE))
  any(grepl("--find", usage, fixed = TRUE))
}

read_sweep_csv <- function(path) {
  if (!file.exists(path)) stop("korvel-sweep wrote no ", path, call. = FALSE)
  utils::read.csv(path, stringsAsFactors = FALSE, check.names = FALSE, na.strings = c("", "NA"))
}

#' @export
print.korvel_plan <- function(x, ...) {
  cat("KORVEL planning search (", sub("_", " ", x$find), ") in ", x$dir, "\n", sep = "")
  print(x$answers, row.names = FALSE)
  cat(nrow(x$probes), " probes in $probes\n", sep = "")
  invisible(x)
}

#' Plan a study: the smallest sample size or number of loci for a power
#'
#' Runs the planning search of `korvel-sweep --find` on a design: for each
#' level of differentiation in `fst` and each test of the design, it looks
#' for the smallest sample size per population (or number of loci) whose
#' power reaches `target_power`, simulating only the probes the search
#' needs.
#'
#' @param x A `korvel_design` from [korvel_init()], or anything
#'   [korvel_init()] takes (a `genind`, a data file, allele frequencies);
#'   then `...` are its design arguments.
#' @param fst Expected F'st values to plan for (each above 0 and below 1;
#'   the search adds the no-drift point that checks the tests' calibration).
#' @param target_power The power to reach (above 0 and below 1).
#' @param find `"sample_size"` (diploid individuals per population) or
#'   `"loci"` (the first loci of the design).
#' @param range Two whole numbers, the smallest and largest value to try.
#'   `NULL`: the search's default.
#' @param tolerance How close (in individuals or loci) the answer must be.
#'   `NULL`: the search's default.
#' @param max_runs Most simulation runs the search may spend on one answer.
#'   `NULL`: the search's default.
#' @param seed Seed of the search (0 to 4294967295): the same seed gives the
#'   same answers, whatever `jobs`. `NULL`: the search chooses one and
#'   reports it.
#' @param jobs Probes run at the same time. `NULL`: the search's default.
#' @param dir Folder of the search, created when missing: it keeps
#'   `KORVEL.IN` and the search's folder `plan` (its probes, tables and
#'   figure). `NULL`: a new temporary folder, deleted when R ends.
#' @param resume `TRUE` continues a search stopped in `dir` (in this R
#'   session or another), reusing every probe it finished; give the same
#'   arguments as the first time.
#' @param ... Design arguments for [korvel_init()] when `x` is not a design.
#' @return An object of class `korvel_plan`: a list with
#'   \describe{
#'   \item{answers}{a data frame of the search's `design.csv`, one row per
#'     F'st and test: `expected_fst`, `generations`, `test` (`"chi2"` or
#'     `"exact"`), `target_power`, `smallest_sample_size` (or
#'     `smallest_loci`; `NA` when there is none), `status` (`"ok"` or the
#'     search's flag), `ci_low`, `ci_high` (the range the answer lies in),
#'     `runs`, `probes`.}
#'   \item{probes}{a data frame of its `curve.csv`, one row per probe: the
#'     sample size (or loci), F'st, runs and, per test, the significant
#'     runs, the power and its 95 % Wilson interval.}
#'   \item{model}{a data frame of its `model.csv`: the fitted model of
#'     each F'st and test, sampled densely (`expected_fst`, `test`, the
#'     sample size or loci, `power`); the answers are read from it.}
#'   \item{caption}{the search's own caption (`caption.txt`): the design,
#'     the data and each answer in words.}
#'   \item{dir}{the folder of the search, with the probes' folders.}
#'   }
#'   [plot()] and [ggplot2::autoplot()] draw it.
#' @section Long searches: A progress bar follows the search's rounds while
#'   it runs (in an interactive session). An interrupt (Ctrl-C, a time
#'   limit) stops the search within about two seconds, leaves no program
#'   running and signals an error of class `korvel_stopped` whose message
#'   says how to continue: the same call with `dir` and `resume = TRUE`.
#' @section Flags: An answer the search flags (a miscalibrated test, a
#'   target not reached, the budget spent, a warning of the exact test's
#'   resolution) is no error: the result comes with one warning per flagged
#'   answer, carrying the search's reason.
#' @examples
#' d <- korvel_init(list(c(0.5, 0.3, 0.2), c(0.6, 0.4), c(0.7, 0.2, 0.1)),
#'                  populations = 3, sample = 20, ne = 200, runs = 20, tests = "chi2")
#' p <- suppressWarnings(korvel_plan(d, fst = 0.05, range = c(5, 60), tolerance = 3,
#'                                   max_runs = 300, seed = 1))
#' print(p$answers)
#' plot(p)
#' @export
korvel_plan <- function(x, fst, target_power = 0.8, find = c("sample_size", "loci"), range = NULL,
                        tolerance = NULL, max_runs = NULL, seed = NULL, jobs = NULL, dir = NULL,
                        resume = FALSE, ...) {
  find <- check_choice(if (missing(find)) "sample_size" else find, "find", c("sample_size", "loci"))
  if (missing(fst)) argument_error("fst", "given: the F'st values to plan for", NULL)
  args <- c("--find", sub("_", "-", find), search_options(fst, target_power, range, tolerance, max_runs, seed, jobs))
  resume <- check_flag(resume, "resume")
  check_folder_name(dir, "dir")
  if (resume && is.null(dir)) argument_error("dir", "the folder of the stopped search when resume = TRUE", NULL)
  if (inherits(x, "korvel_design") && length(list(...))) {
    argument_error("...", "empty when x is already a korvel_design (its design is made)", names(list(...)))
  }
  design <- if (inherits(x, "korvel_design")) x else korvel_init(x, ...)
  if (identical(design$program, "korvel-ml")) args <- c(args, "--many-loci")
  dir <- plan_folder(dir, resume, design)
  call <- match.call()
  continue <- paste0("To continue, reusing every finished probe: ", continue_call(call, dir),
                     if (is.null(call$dir)) " (the folder is temporary: it lasts until R ends)" else "")
  ran <- run_korvel_program("korvel-sweep", c(args, "--out", "plan", if (resume && dir.exists(file.path(dir, "plan"))) "--resume",
                                             "KORVEL.IN"),
                            wd = dir, ok_status = c(0L, 3L), progress = sweep_progress(), continue = continue)
  read_plan(file.path(dir, "plan"), find, ran$stderr)
}

# The search's options, each checked in R.
search_options <- function(fst, target_power, range, tolerance, max_runs, seed, jobs) {
  args <- c("--fst", paste(fraction_texts(fst, "fst", count = NA, hint = fst_hint), collapse = ","),
            "--target-power", fraction_texts(target_power, "target_power"))
  if (!is.null(range)) {
    texts <- whole_texts(range, "range", 1, 32767, count = NA)
    if (length(range) != 2L || range[1] >= range[2]) {
      argument_error("range", "two whole numbers, the smallest and the largest to try", range)
    }
    args <- c(args, "--range", paste(texts, collapse = ","))
  }
  if (!is.null(tolerance)) {
    check_numbers(tolerance, "tolerance", "a number of 0 or more")
    if (tolerance < 0) argument_error("tolerance", "a number of 0 or more", tolerance)
    args <- c(args, "--tolerance", plain(tolerance))
  }
  if (!is.null(max_runs)) args <- c(args, "--max-runs", whole_text(max_runs, "max_runs", 1, 1e12))
  if (!is.null(seed)) args <- c(args, "--seed", whole_text(seed, "seed", 0, 4294967295))
  if (!is.null(jobs)) args <- c(args, "--jobs", whole_text(jobs, "jobs", 1, 4096))
  args
}

# The search's folder: new (or empty of what the search writes), or, to
# resume, the folder of a search of the same design.
plan_folder <- function(dir, resume, design) {
  if (!resume) {
    dir <- result_folder(dir, "korvel-plan-", c("KORVEL.IN", "plan"))
    writeLines(design$text, file.path(dir, "KORVEL.IN"))
    return(dir)
  }
  input <- file.path(dir, "KORVEL.IN")
  if (!file.exists(input)) {
    argument_error("dir", "the folder of a stopped search (it holds its KORVEL.IN) when resume = TRUE", dir)
  }
  # The first two lines are comments (korvel-init's date and options).
  if (!identical(utils::tail(readLines(input, warn = FALSE), -2L), utils::tail(design$text, -2L))) {
    argument_error("dir", "the folder of a search of this same design when resume = TRUE", dir,
                   "its KORVEL.IN holds another design")
  }
  normalizePath(dir)
}

# The call that continues a stopped search: the same, with the folder and
# resume = TRUE.
continue_call <- function(call, dir) {
  call$dir <- dir
  call$resume <- TRUE
  paste(deparse(call, width.cutoff = 500L), collapse = " ")
}

read_plan <- function(out, find, stderr) {
  caption_file <- file.path(out, "caption.txt")
  plan <- structure(class = "korvel_plan", list(
    answers = read_sweep_csv(file.path(out, "design.csv")),
    probes = read_sweep_csv(file.path(out, "curve.csv")),
    model = read_sweep_csv(file.path(out, "model.csv")),
    caption = if (file.exists(caption_file)) paste(readLines(caption_file, warn = FALSE), collapse = "\n") else "",
    dir = out,
    find = find
  ))
  warn_flags(plan, stderr)
  plan
}

# One warning per flagged answer, with the search's reason from its caption
# (one line per answer after the line of the design), and the search's own
# warnings about probes (the exact test's resolution).
warn_flags <- function(plan, stderr) {
  answers <- plan$answers
  captions <- utils::tail(strsplit(plan$caption, "\n", fixed = TRUE)[[1]], -1L)
  for (i in which(answers$status != "ok")) {
    reason <- if (length(captions) == nrow(answers)) sub("^[^;]*;? *", "", captions[i]) else ""
    warning("F'st ", formatC(answers$expected_fst[i], format = "f", digits = 4), ", ", answers$test[i], " test: ", answers$status[i],
            if (nzchar(reason)) paste0(" (", reason, ")"), call. = FALSE)
  }
  larger <- regmatches(stderr, regexec("^To go on with a larger budget: .*--max-runs ([0-9]+)", stderr))
  larger <- unlist(lapply(larger, function(m) if (length(m) == 2L) m[2]))
  if (length(larger)) {
    warning("to go on with a larger budget, reusing every probe: the same call with max_runs = ", larger[1],
            ", dir = \"", dirname(plan$dir), "\" and resume = TRUE", call. = FALSE)
  }
  for (said in grep("^korvel-sweep: .*warned", stderr, value = TRUE)) {
    at <- match(said, stderr)
    detail <- if (at < length(stderr) && grepl("^ ", stderr[at + 1L])) paste0(" ", trimws(stderr[at + 1L])) else ""
    warning(said, detail, call. = FALSE)
  }
}

# A progress bar over the runs the search may spend, fed by its lines:
# after the first round that ran batches it estimates its cost (shown as a message), then
# says after each round how many runs it has spent and how long it may
# still take; within a round each probe that finishes is named. cli ends a
# bar by itself once it reaches its total (the whole budget spent), and an
# update after that fails; the program's lines on its two streams arrive
# in any order, so a probe's line may still come: the bar is then gone.
sweep_progress <- function() {
  state <- new.env()
  state$bar <- NULL
  state$full <- FALSE
  state$said <- ""
  function(line) {
    spent <- regmatches(line, regexec("round ([0-9]+): ([0-9]+) of at most ([0-9]+) runs spent, (.*)$", line))[[1]]
    if (grepl("^korvel-sweep: (the first round|round [0-9]+) took", line)) {
      cli::cli_inform(sub("^korvel-sweep: ", "korvel_plan: ", line))
    } else if (length(spent) == 5L && !state$full) {
      if (is.null(state$bar)) {
        state$bar <- cli::cli_progress_bar(
          total = as.numeric(spent[4]), .envir = state, clear = TRUE,
          format = "korvel-sweep {cli::pb_bar} {cli::pb_current}/{cli::pb_total} runs | {cli::pb_extra$said}",
          extra = list(said = ""))
      }
      state$said <- paste0("round ", spent[2], ", ", spent[5])
      cli::cli_progress_update(id = state$bar, set = as.numeric(spent[3]), total = as.numeric(spent[4]),
                               extra = list(said = state$said), .envir = state)
      if (as.numeric(spent[3]) >= as.numeric(spent[4])) {
        state$full <- TRUE
        state$bar <- NULL
      }
    } else if (!is.null(state$bar) && grepl("\\[[0-9]+/[0-9]+\\] *$", line)) {
      cli::cli_progress_update(id = state$bar, inc = 0, .envir = state,
                               extra = list(said = paste(state$said, "|", sub(" .*", "", line))))
    }
  }
}

read_sweep_csv <- function(path) {
  if (!file.exists(path)) stop("korvel-sweep wrote no ", path, call. = FALSE)
  utils::read.csv(path, stringsAsFactors = FALSE, check.names = FALSE, na.strings = c("", "NA"))
}

#' @export
print.korvel_plan <- function(x, ...) {
  cat("KORVEL planning search (", sub("_", " ", x$find), ") in ", x$dir, "\n", sep = "")
  print(x$answers, row.names = FALSE)
  cat(nrow(x$probes), " probes in $probes; the figure: plot(x)\n", sep = "")
  if (nzchar(x$caption)) cat(x$caption, "\n", sep = "")
  invisible(x)
}

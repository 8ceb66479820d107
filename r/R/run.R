#' Run a KORVEL design
#'
#' Writes the design's `KORVEL.IN` into a folder and runs the program it
#' names (`korvel` or `korvel-ml`) there, then reads the power table of its
#' `KORVEL.OUT`.
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
#'   \item{power}{a data frame with one row per class of runs of the power
#'     table: `class` (`"complete"`: every locus polymorphic in the pooled
#'     samples and every allele present; `"polymorphic"`: every locus
#'     polymorphic; `"monomorphic"`: some locus monomorphic; `"total"`: all
#'     runs; the first and third appear only when such runs occurred),
#'     `loci`, `alleles` (of the base population), `runs`,
#'     `chi2_significant`, `chi2_power`, `exact_significant`, `exact_power`
#'     (`NA` for a test that was off).}
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
  report <- readLines(file.path(dir, "KORVEL.OUT"), warn = FALSE)
  structure(class = "korvel_result", list(
    power = read_power_table(report),
    mean_fst = read_labelled_number(report, "^Average F'st over all the"),
    expected_fst = read_labelled_number(report, "^Expected Fst ="),
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
               "SUMTEST.OUT", "CONTTAB.XYZ", "console.log", "stderr.log")

# The program's first line on standard error names the seed it used.
seed_of_run <- function(stderr, seed) {
  said <- regmatches(stderr, regexpr("^seed [0-9]+;", stderr))
  if (length(said)) return(as.numeric(gsub("[^0-9]", "", said[1])))
  if (!is.null(seed)) return(seed)
  stop("the program did not report the seed it used (no \"seed N;\" line on standard error)", call. = FALSE)
}

read_labelled_number <- function(report, label) {
  line <- grep(label, report, value = TRUE)
  if (!length(line)) stop("KORVEL.OUT has no line matching \"", label, "\"", call. = FALSE)
  as.numeric(sub(".*=[[:space:]]*", "", trimws(line[1])))
}

# The power table sits under its column header; each column is
# right-aligned and ends where its header word ends, and a test that was off
# leaves its columns blank. Rows are told apart by their labels: "Tot" for
# all runs, "<" before the loci when some locus was monomorphic, "=<"
# before the alleles when every locus was polymorphic, and no mark when
# every allele was present too.
read_power_table <- function(report) {
  report <- sub("\r$", "", report)
  header_at <- grep("^ *Loci +Alleles +Runs", report)
  if (!length(header_at)) {
    stop("KORVEL.OUT has no power table (no \"Loci Alleles Runs\" header)", call. = FALSE)
  }
  header <- report[header_at[1]]
  ends <- gregexpr("[^ ]+", header)[[1]]
  ends <- as.integer(ends + attr(ends, "match.length") - 1L)
  starts <- c(1L, utils::head(ends, -1L) + 1L)
  rows <- character()
  for (line in report[-seq_len(header_at[1])]) {
    if (!nzchar(trimws(line))) break
    rows <- c(rows, line)
  }
  if (!length(rows)) stop("KORVEL.OUT has an empty power table", call. = FALSE)
  cells <- t(vapply(rows, function(row) trimws(substring(formatC(row, width = -max(ends)), starts, ends)),
                    character(length(ends)), USE.NAMES = FALSE))
  number <- function(column) suppressWarnings(as.numeric(gsub("[^0-9.]", "", cells[, column])))
  count_or_na <- function(column) {
    value <- number(column)
    ifelse(nzchar(cells[, column]), value, NA_real_)
  }
  loci <- number(1)
  # The total row shows no count of loci; every row holds the same loci.
  loci[is.na(loci)] <- suppressWarnings(max(loci, na.rm = TRUE))
  data.frame(
    class = vapply(seq_len(nrow(cells)), function(i) row_class(cells[i, 1], cells[i, 2]), ""),
    loci = loci,
    alleles = number(2),
    runs = number(3),
    chi2_significant = count_or_na(4),
    chi2_power = count_or_na(5),
    exact_significant = count_or_na(6),
    exact_power = count_or_na(7),
    stringsAsFactors = FALSE
  )
}

row_class <- function(loci, alleles) {
  if (loci == "Tot") return("total")
  if (startsWith(loci, "<")) return("monomorphic")
  if (startsWith(alleles, "=<")) return("polymorphic")
  "complete"
}

#' @export
print.korvel_result <- function(x, ...) {
  cat("KORVEL result (seed ", format(x$seed, scientific = FALSE), ") in ", x$dir, "\n", sep = "")
  print(x$power, row.names = FALSE)
  cat(sprintf("average realised F'st %.4f, expected F'st %.4f\n", x$mean_fst, x$expected_fst))
  invisible(x)
}

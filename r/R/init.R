#' Make a KORVEL design from data
#'
#' Writes the input file `KORVEL.IN` of a simulation whose base population
#' has the allele frequencies of `x`, with `korvel-init` (for a `genind` or a
#' data file) or directly from the frequencies given (for a list of
#' frequency vectors).
#'
#' A `genind` is handed to `korvel-init` as a Genepop file: one `Pop <name>`
#' line per population of `adegenet::pop(x)` (in the order of its levels,
#' populations without individuals left out), the first individual of each
#' population named exactly after its population (so every version of
#' `korvel-init` names the populations right) and the others after their
#' `indNames`, with blanks and commas replaced by `_`. Each locus's alleles
#' are coded 1, 2, ... in the order of `adegenet`'s own allele columns, so the
#' frequencies of `KORVEL.IN` are `adegenet`'s pooled allele counts over
#' every individual's genotyped gene copies, in that order. Missing genotypes
#' stay missing (they are left out of the counts, never imputed). Only
#' haploid or diploid data can be written this way.
#'
#' A list of frequency vectors is written into `KORVEL.IN` as it is (after the
#' layout of the input file described in the README), with each frequency in
#' as many digits as it takes to read back as the very same number; the file
#' is then read with the programs' own reader (through
#' `korvel-sweep --emit-jobs`), which refuses it with the program's message
#' when it is wrong, and which also decides which program holds it. The
#' generations of drift for `fst` are those `korvel-init` chooses: the whole
#' number \eqn{t} nearest to the solution of \eqn{F = 1 - (1 - 1/(2N))^t}, at
#' least 1. `populations` and `sample` must then be given.
#'
#' @param x A `genind` object (adegenet), the path of a Genepop, VCF or BCF
#'   file, or a list of numeric vectors, one per locus, each holding the
#'   allele frequencies of the base population (summing to 1).
#' @param populations Number of subpopulations (default: the number in the
#'   data, at least 2).
#' @param sample Diploid sample size per subpopulation: one number for all,
#'   or one per subpopulation (default: the mean number of genotyped
#'   individuals per population in the data).
#' @param ne Effective size during drift (1 to 16383).
#' @param fst Expected F'st that chooses the generations of drift.
#' @param generations Generations of drift instead of `fst` (0 = no drift).
#' @param runs Replicate runs.
#' @param exact The exact test's chain: dememorization steps, batches, steps
#'   per batch. Keep batches x steps at 20000 or more (see the README).
#' @param tests The tests to run: `"chi2"`, `"exact"` or both.
#' @param pop Base population from one population, or several pooled: names
#'   or numbers of populations of the data (`korvel-init --pop`).
#' @param popmap Population map of a VCF or BCF file (sample and population
#'   per line).
#' @param ... Further `korvel-init` options, named as on its command line
#'   with `_` for `-`: for example `max_loci = 50`, `max_alleles = 5`,
#'   `pass_only = TRUE`, `erase = TRUE`. `TRUE` gives a switch, `FALSE` leaves
#'   it out. For a list of frequencies only `erase` applies.
#' @return An object of class `korvel_design`: a list with `text` (the lines
#'   of `KORVEL.IN`), `program` (`"korvel"` or `"korvel-ml"`, the program
#'   that holds the design) and `summary` (the lines `korvel-init` reported:
#'   populations, loci left out, the design, the expected F'st).
#' @seealso [korvel_run()] to run the design, [korvel_plan()] to search the
#'   sample size or number of loci that reaches a target power.
#' @examples
#' if (nzchar(korvel:::korvel_bin_or_empty())) {
#'   freqs <- list(c(0.5, 0.3, 0.2), c(0.6, 0.4), c(0.25, 0.25, 0.25, 0.25))
#'   d <- korvel_init(freqs, populations = 3, sample = 20, ne = 500, fst = 0.01,
#'                    runs = 20, tests = "chi2")
#'   print(d)
#'   if (requireNamespace("adegenet", quietly = TRUE)) {
#'     data(nancycats, package = "adegenet")
#'     print(korvel_init(nancycats, populations = 4, fst = 0.02, runs = 20))
#'   }
#' }
#' @export
korvel_init <- function(x, populations = NULL, sample = NULL, ne = 1000, fst = 0.01,
                        generations = NULL, runs = 1000, exact = c(1000, 100, 1000),
                        tests = c("chi2", "exact"), pop = NULL, popmap = NULL, ...) {
  tests <- match.arg(tests, several.ok = TRUE)
  design <- list(populations = populations, sample = sample, ne = ne, fst = fst,
                 generations = generations, runs = runs, exact = exact, tests = tests)
  extra <- list(...)
  if (length(extra) && (is.null(names(extra)) || any(!nzchar(names(extra))))) {
    stop("the further korvel-init options in ... must be named, e.g. max_loci = 50", call. = FALSE)
  }
  if (inherits(x, "genind")) {
    name <- data_name(deparse(substitute(x)))
    return(init_from_data(function(dir) write_genind_genepop(x, file.path(dir, name)),
                          design, pop, popmap, extra))
  }
  if (is.character(x) && length(x) == 1L) {
    if (!file.exists(x)) stop("no data file ", x, call. = FALSE)
    path <- normalizePath(x)
    return(init_from_data(function(dir) path, design, pop, popmap, extra))
  }
  if (is.list(x) && length(x) && all(vapply(x, is.numeric, TRUE))) {
    if (!is.null(pop) || !is.null(popmap)) {
      stop("pop and popmap choose populations of genotype data; a list of frequencies has none",
           call. = FALSE)
    }
    return(init_from_frequencies(x, design, extra))
  }
  stop("x must be a genind object, the path of a Genepop, VCF or BCF file, or a list of ",
       "allele-frequency vectors (one per locus); it is a ", class(x)[1], call. = FALSE)
}

# A safe file name for the Genepop written from a genind: it shows in the
# comment line of KORVEL.IN.
data_name <- function(expression) {
  name <- gsub("[^A-Za-z0-9._-]+", "_", expression[1])
  if (!nzchar(name) || nchar(name) > 40) name <- "genind"
  paste0(name, ".gen")
}

design_arguments <- function(design) {
  args <- character()
  add <- function(option, value) args <<- c(args, option, value)
  if (!is.null(design$populations)) {
    add("--populations", whole_number_text(design$populations, "populations", 2, 1e6))
  }
  if (length(design$sample) == 1L) add("--sample", whole_number_text(design$sample, "sample", 1, 16383))
  if (length(design$sample) > 1L) {
    add("--samples", paste(vapply(design$sample, whole_number_text, "", "sample", 1, 16383), collapse = ","))
  }
  add("--ne", whole_number_text(design$ne, "ne", 1, 16383))
  if (is.null(design$generations)) add("--fst", number_text(design$fst))
  else add("--generations", whole_number_text(design$generations, "generations", 0, 1e9))
  add("--runs", whole_number_text(design$runs, "runs", 1, 1e12))
  add("--exact", paste(exact_chain_texts(design$exact), collapse = ","))
  add("--tests", paste(design$tests, collapse = ","))
  args
}

exact_chain_texts <- function(exact) {
  if (length(exact) != 3L) {
    stop("exact must hold three numbers: dememorization steps, batches, steps per batch", call. = FALSE)
  }
  vapply(exact, whole_number_text, "", "exact", 0, 1e12)
}

# Named further options as korvel-init reads them: max_loci = 50 gives
# "--max-loci 50", pass_only = TRUE gives "--pass-only".
extra_arguments <- function(extra) {
  args <- character()
  for (name in names(extra)) {
    value <- extra[[name]]
    option <- paste0("--", gsub("_", "-", name))
    if (isTRUE(value)) args <- c(args, option)
    else if (!isFALSE(value)) args <- c(args, option, paste(number_or_text(value), collapse = ","))
  }
  args
}

number_or_text <- function(value) if (is.numeric(value)) number_text(value) else as.character(value)

# Runs korvel-init in a fresh temporary folder on the data file that
# `write_data` puts there (or names), and reads back what it wrote.
init_from_data <- function(write_data, design, pop, popmap, extra) {
  dir <- tempfile("korvel-init-")
  dir.create(dir)
  on.exit(unlink(dir, recursive = TRUE), add = TRUE)
  data <- write_data(dir)
  args <- c(design_arguments(design), extra_arguments(extra))
  if (!is.null(pop)) args <- c(args, "--pop", paste(pop, collapse = ","))
  if (!is.null(popmap)) {
    if (!file.exists(popmap)) stop("no population map ", popmap, call. = FALSE)
    args <- c(args, "--popmap", normalizePath(popmap))
  }
  args <- c(args, "-o", "KORVEL.IN", basename_if_inside(data, dir))
  ran <- run_korvel_program("korvel-init", args, wd = dir, name_folder = FALSE)
  new_korvel_design(
    text = readLines(file.path(dir, "KORVEL.IN"), warn = FALSE),
    program = program_named(ran$stderr),
    summary = ran$stderr
  )
}

# korvel-init ends its report with "run korvel in its folder" (or
# korvel-ml): the program whose limits hold the design.
program_named <- function(report) {
  named <- regmatches(report, regexpr("run (korvel-ml|korvel) in its folder", report))
  if (!length(named)) {
    stop("korvel-init did not name the program to run; it reported:\n", paste(report, collapse = "\n"),
         call. = FALSE)
  }
  sub("run (\\S+) in its folder", "\\1", named[1])
}

basename_if_inside <- function(path, dir) {
  if (dirname(path) == dir) basename(path) else path
}

new_korvel_design <- function(text, program, summary) {
  structure(list(text = text, program = program, summary = summary), class = "korvel_design")
}

#' @export
print.korvel_design <- function(x, ...) {
  cat("KORVEL design for ", x$program, "\n", sep = "")
  if (length(x$summary)) cat(paste0("  ", x$summary), sep = "\n")
  cat("KORVEL.IN (", length(x$text), " lines):\n", sep = "")
  shown <- utils::head(x$text, 20L)
  cat(paste0("  ", shown), sep = "\n")
  if (length(x$text) > length(shown)) {
    cat("  ... ", length(x$text) - length(shown), " more lines\n", sep = "")
  }
  invisible(x)
}

#' Make a KORVEL design from data
#'
#' Has `korvel-init` write the input file `KORVEL.IN` of a simulation whose
#' base population has the allele frequencies of `x`, and choose the
#' program that runs it (`korvel` or `korvel-ml`).
#'
#' A `genind` is handed to `korvel-init` as a Genepop file: one `Pop <name>`
#' line per population of [adegenet::pop()] (in the order of its levels,
#' populations without individuals left out), the first individual of each
#' population named exactly after its population and the others after
#' their `indNames`, with blanks and commas replaced by `_`. Each locus's
#' alleles are coded 1, 2, ... in the order of adegenet's own allele columns,
#' so the frequencies of `KORVEL.IN` are adegenet's pooled allele counts over
#' every individual's genotyped gene copies, in that order. Missing
#' genotypes stay missing. Only haploid or diploid data can be written this
#' way. A genind needs the adegenet package (suggested, not required).
#'
#' Allele frequencies (a list of vectors, one per locus, or a data frame with
#' the columns `locus`, `allele` and `frequency`) go to `korvel-init` as its
#' frequency table (`--format frequencies`), each in as many digits as it
#' takes to read back as the very same number; `korvel-init` checks that
#' each locus sums to 1 and chooses the generations of drift for `fst`.
#' `sample` must then be given.
#'
#' Every argument is checked in R before `korvel-init` runs. The design is
#' returned with a warning when the data are degenerate: a genind with no
#' population or only one, fewer populations in the data than `populations`
#' asks for, or an exact test whose chain counts fewer than 20 000 steps
#' (`korvel-init`'s own warning).
#'
#' @param x A `genind` object (adegenet), the path of a Genepop, VCF or BCF
#'   file, a list of numeric vectors (one per locus, each holding the allele
#'   frequencies of the base population), or a data frame with the columns
#'   `locus`, `allele` and `frequency`.
#' @param populations Number of subpopulations (default: the number in the
#'   data, at least 2).
#' @param sample Diploid sample size per subpopulation: one number for all,
#'   or one per subpopulation (default: the mean number of genotyped
#'   individuals per population in the data).
#' @param ne Effective size during drift (1 to 16383).
#' @param fst Expected F'st that chooses the generations of drift (above 0
#'   and below 1).
#' @param generations Generations of drift instead of `fst` (0 = no drift).
#' @param runs Replicate runs.
#' @param exact The exact test's chain: dememorization steps, batches, steps
#'   per batch. Keep batches x steps at 20 000 or more.
#' @param tests The tests to run: `"chi2"`, `"exact"` or both.
#' @param pop Base population from one population, or several pooled: names
#'   or numbers of populations of the data (`korvel-init --pop`).
#' @param popmap Population map of a VCF or BCF file (sample and population
#'   per line).
#' @param min_maf,max_missing,min_samples Filters of genotype data
#'   (`korvel-init --min-maf`, `--max-missing`, `--min-samples`): leave out
#'   a locus whose alleles other than its commonest have a frequency below
#'   `min_maf` together (above 0, at most 0.5), whose share of individuals
#'   without a genotype is above `max_missing` (0 to below 1), or that is
#'   genotyped in fewer than `min_samples` individuals of any population.
#'   `NULL`: no filter.
#' @param ... Further `korvel-init` options: `max_loci`, `max_alleles`,
#'   `seed` (with `max_loci`: a random choice of loci), `pass_only`,
#'   `allow_truncated`, `erase` (`TRUE` or `FALSE`).
#' @return An object of class `korvel_design`: a list with `text` (the lines
#'   of `KORVEL.IN`), `program` (`"korvel"` or `"korvel-ml"`, the program
#'   `korvel-init` chose) and `summary` (the lines `korvel-init` reported:
#'   populations, loci left out, the design, the expected F'st).
#' @seealso [korvel_run()] to run the design, [korvel_plan()] to search the
#'   sample size or number of loci that reaches a target power.
#' @examples
#' freqs <- list(c(0.5, 0.3, 0.2), c(0.6, 0.4), c(0.25, 0.25, 0.25, 0.25))
#' d <- korvel_init(freqs, populations = 3, sample = 20, ne = 500, fst = 0.01,
#'                  runs = 20, tests = "chi2")
#' print(d)
#' if (requireNamespace("adegenet", quietly = TRUE)) {
#'   data(nancycats, package = "adegenet")
#'   print(korvel_init(nancycats, populations = 4, fst = 0.02, runs = 20))
#' }
#' @export
korvel_init <- function(x, populations = NULL, sample = NULL, ne = 1000, fst = 0.01,
                        generations = NULL, runs = 1000, exact = c(1000, 100, 1000),
                        tests = c("chi2", "exact"), pop = NULL, popmap = NULL, min_maf = NULL,
                        max_missing = NULL, min_samples = NULL, ...) {
  design <- list(populations = populations, sample = sample, ne = ne, fst = fst,
                 generations = generations, runs = runs, exact = exact, tests = tests)
  args <- c(design_options(design), further_options(list(...)), population_options(pop, popmap, x),
            filter_options(min_maf, max_missing, min_samples, x))
  if (inherits(x, "genind")) {
    if (!requireNamespace("adegenet", quietly = TRUE)) {
      stop("x is a genind, which needs the adegenet package: install.packages(\"adegenet\")", call. = FALSE)
    }
    warn_degenerate_genind(x, populations)
    name <- data_name(deparse(substitute(x)))
    return(init_from_data(function(dir) write_genind_genepop(x, file.path(dir, name)), args))
  }
  if (is.character(x) && length(x) == 1L && !is.na(x)) {
    if (!file.exists(x)) argument_error("x", "a genind, an existing data file or allele frequencies", x,
                                        "there is no such file")
    path <- normalizePath(x)
    return(init_from_data(function(dir) path, args))
  }
  if (is.data.frame(x) || (is.list(x) && length(x) && all(vapply(x, is.numeric, TRUE)))) {
    if (is.null(sample)) {
      argument_error("sample", "given for allele frequencies (they hold no individuals to take it from)", NULL)
    }
    table <- frequency_table(x)
    return(init_from_data(function(dir) write_frequency_table(table, file.path(dir, "frequencies.csv")),
                          c(args, "--format", "frequencies")))
  }
  argument_error("x", paste("a genind object, the path of a Genepop, VCF or BCF file, a list of",
                            "allele-frequency vectors (one per locus) or a data frame of frequencies"), x)
}

# A safe file name for the Genepop written from a genind: it shows in the
# comment line of KORVEL.IN.
data_name <- function(expression) {
  name <- gsub("[^A-Za-z0-9._-]+", "_", expression[1])
  if (!nzchar(name) || nchar(name) > 40) name <- "genind"
  paste0(name, ".gen")
}

# korvel-init's further options, each checked here: max_loci = 50 gives
# "--max-loci 50", pass_only = TRUE gives "--pass-only".
further_options <- function(extra) {
  if (length(extra) && (is.null(names(extra)) || any(!nzchar(names(extra))))) {
    argument_error("...", "named korvel-init options such as max_loci = 50", extra)
  }
  wholes <- list(max_loci = c(1, 32767), max_alleles = c(2, 32767), seed = c(0, 4294967295))
  flags <- c("pass_only", "allow_truncated", "erase")
  args <- character()
  for (name in names(extra)) {
    option <- paste0("--", gsub("_", "-", name))
    if (name %in% names(wholes)) {
      args <- c(args, option, whole_text(extra[[name]], name, wholes[[name]][1], wholes[[name]][2]))
    } else if (name %in% flags) {
      if (check_flag(extra[[name]], name)) args <- c(args, option)
    } else {
      argument_error(paste0("the option ", name), paste("one of", paste(c(names(wholes), flags), collapse = ", ")),
                     name)
    }
  }
  args
}

population_options <- function(pop, popmap, x) {
  genotypes <- inherits(x, "genind") || is.character(x)
  if (!genotypes && (!is.null(pop) || !is.null(popmap))) {
    argument_error(if (is.null(pop)) "popmap" else "pop", "NULL for allele frequencies (they have no populations)",
                   if (is.null(pop)) popmap else pop)
  }
  args <- character()
  if (!is.null(pop)) {
    if (!(is.character(pop) || is.numeric(pop)) || !length(pop) || anyNA(pop)) {
      argument_error("pop", "names or numbers of populations of the data", pop)
    }
    args <- c(args, "--pop", paste(if (is.numeric(pop)) whole_texts(pop, "pop", 1, 32767, NA) else pop,
                                   collapse = ","))
  }
  if (!is.null(popmap)) {
    check_folder_name(popmap, "popmap")
    if (!file.exists(popmap)) argument_error("popmap", "an existing population map", popmap, "there is no such file")
    args <- c(args, "--popmap", normalizePath(popmap))
  }
  args
}

# The filters of loci, which apply to genotype data only.
filter_options <- function(min_maf, max_missing, min_samples, x) {
  genotypes <- inherits(x, "genind") || is.character(x)
  args <- character()
  if (!is.null(min_maf)) {
    check_numbers(min_maf, "min_maf", "a number above 0 and at most 0.5")
    if (min_maf <= 0 || min_maf > 0.5) argument_error("min_maf", "a number above 0 and at most 0.5", min_maf)
    args <- c(args, "--min-maf", plain(min_maf))
  }
  if (!is.null(max_missing)) {
    check_numbers(max_missing, "max_missing", "a number from 0 to below 1")
    if (max_missing < 0 || max_missing >= 1) argument_error("max_missing", "a number from 0 to below 1", max_missing)
    args <- c(args, "--max-missing", plain(max_missing))
  }
  if (!is.null(min_samples)) args <- c(args, "--min-samples", whole_text(min_samples, "min_samples", 1, 16383))
  if (length(args) && !genotypes) {
    argument_error(gsub("-", "_", sub("^--", "", args[1])), "NULL for allele frequencies (the filters read genotypes)",
                   args[2])
  }
  args
}

# The genind's populations as korvel-init will see them, warned about when
# they cannot give the design asked for.
warn_degenerate_genind <- function(x, populations) {
  pops <- adegenet::pop(x)
  found <- if (is.null(pops)) 0L else length(unique(stats::na.omit(as.character(pops))))
  if (found == 0L) {
    warning("the genind has no populations (adegenet::pop(x) is NULL): its ", adegenet::nInd(x),
            " individuals are taken as one population, and the default sample is all of them; ",
            "set pop(x), or give populations and sample", call. = FALSE)
  } else if (found == 1L && is.null(populations)) {
    warning("the genind has one population: the design drifts 2 subpopulations from it (the least); ",
            "give populations to choose how many", call. = FALSE)
  }
  if (!is.null(populations) && found > 0L && populations > found) {
    warning("populations = ", populations, " asks for more subpopulations than the genind's ", found,
            "; each drifts from the base population of all of them", call. = FALSE)
  }
}

# Runs korvel-init in a fresh temporary folder on the data file that
# `write_data` puts there (or names), and reads back what it wrote. Its own
# warnings (a short chain, say) become R warnings in its words.
init_from_data <- function(write_data, args) {
  dir <- tempfile("korvel-init-")
  dir.create(dir)
  on.exit(unlink(dir, recursive = TRUE), add = TRUE)
  data <- write_data(dir)
  args <- c(args, "-o", "KORVEL.IN", basename_if_inside(data, dir))
  ran <- run_korvel_program("korvel-init", args, wd = dir, name_folder = FALSE)
  for (said in sub("^ *warning: *", "", grep("^ *warning:", ran$stderr, value = TRUE))) {
    warning("korvel-init: ", said, call. = FALSE)
  }
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

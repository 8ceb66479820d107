# A design from allele frequencies given in R. There are no genotypes for
# korvel-init to read, so KORVEL.IN is written here, in the layout of the
# input file, and then read with the programs' own reader: a file that a
# program would refuse is refused here with the same message.

init_from_frequencies <- function(frequencies, design, extra) {
  if (is.null(design$populations) || is.null(design$sample)) {
    stop("a list of frequencies needs populations and sample (there are no data to take them from)",
         call. = FALSE)
  }
  unknown <- setdiff(names(extra), "erase")
  if (length(unknown)) {
    stop("korvel-init options ", paste(unknown, collapse = ", "), " read genotype data; ",
         "a list of frequencies takes only erase", call. = FALSE)
  }
  populations <- as.numeric(whole_number_text(design$populations, "populations", 2, 1e6))
  samples <- design$sample
  if (length(samples) == 1L) samples <- rep(samples, populations)
  if (length(samples) != populations) {
    stop("sample gives ", length(samples), " sizes for ", populations, " populations", call. = FALSE)
  }
  generations <- design$generations
  if (is.null(generations)) generations <- generations_for_fst(design$fst, design$ne)
  text <- korvel_in_text(frequencies, populations, samples, design, generations, isTRUE(extra$erase))
  program <- program_that_reads(text)
  summary <- c(
    paste0("allele frequencies from R: ", length(frequencies), " loci, ",
           paste(range(lengths(frequencies)), collapse = " to "), " alleles per locus"),
    paste0("design: ", populations, " populations, samples of ", paste(unique(samples), collapse = "/"),
           ", Ne ", design$ne, ", ", generations, " generations of drift, ", design$runs, " runs, tests ",
           paste(design$tests, collapse = " and ")),
    sprintf("expected F'st: %.4f%s", expected_fst(design$ne, generations),
            if (is.null(design$generations)) sprintf(" (target %.4f)", design$fst) else "")
  )
  new_korvel_design(text = text, program = program, summary = summary)
}

# The generations korvel-init chooses for a target F'st: the whole number
# nearest to the solution of F = 1 - (1 - 1/(2N))^t, at least 1.
generations_for_fst <- function(fst, ne) {
  ne <- as.numeric(whole_number_text(ne, "ne", 1, 16383))
  if (!is.numeric(fst) || length(fst) != 1L || is.na(fst) || fst <= 0 || fst >= 1) {
    stop("fst must be one number between 0 and 1, not ", paste(format(fst), collapse = ", "), call. = FALSE)
  }
  max(1, round(log1p(-fst) / log1p(-1 / (2 * ne))))
}

expected_fst <- function(ne, generations) 1 - (1 - 1 / (2 * ne))^generations

korvel_in_text <- function(frequencies, populations, samples, design, generations, erase) {
  exact <- exact_chain_texts(design$exact)
  on <- function(test) if (test %in% design$tests) 1L else 0L
  locus_lines <- vapply(frequencies, function(f) {
    paste(c(length(f), exact_number_text(f)), collapse = " ")
  }, "")
  c(
    "KORVEL.IN written by the korvel R package from allele frequencies",
    sprintf("%d loci, %d populations, %s generations of drift",
            length(frequencies), populations, generations),
    paste(paste(exact, collapse = " "),
          "     exact test: dememorization steps, batches, steps per batch"),
    sprintf("%d %d                chi-square test (1 = on), exact test (1 = on)", on("chi2"), on("exact")),
    sprintf("%d                  1 = delete the detailed output files at the end", as.integer(erase)),
    strrep("-", 69),
    sprintf("%-18s number of loci", length(frequencies)),
    sprintf("%-18s number of subpopulations", populations),
    sprintf("%-18s effective size during drift (diploid individuals)", number_text(design$ne)),
    sprintf("%-18s generations of drift (0 = samples from the base population)", number_text(generations)),
    paste(paste(number_text(samples), collapse = " "), "     diploid sample size of each subpopulation"),
    sprintf("%-18s number of replicate runs", number_text(design$runs)),
    strrep("-", 69),
    "alleles  frequencies (one line per locus; they must sum to 1)",
    locus_lines
  )
}

# The shortest decimal text that reads back as the very same double.
exact_number_text <- function(values) {
  vapply(values, function(v) {
    for (digits in 15:17) {
      text <- formatC(v, digits = digits, format = "g")
      if (as.numeric(text) == v) break
    }
    trimws(text)
  }, "")
}

# The program that holds the file, found by the programs' own reader:
# korvel-sweep reads a template for either program without running it.
program_that_reads <- function(text) {
  dir <- tempfile("korvel-check-")
  dir.create(dir)
  on.exit(unlink(dir, recursive = TRUE), add = TRUE)
  writeLines(text, file.path(dir, "KORVEL.IN"))
  check <- function(many_loci, out) {
    args <- c("--emit-jobs", "--generations", text_token(text[10]), "--no-null", "--out", out,
              if (many_loci) "--many-loci", "KORVEL.IN")
    tryCatch({
      run_korvel_program("korvel-sweep", args, wd = dir, name_folder = FALSE)
      NULL
    }, korvel_error = function(e) e)
  }
  standard <- check(FALSE, "standard")
  if (is.null(standard)) return("korvel")
  if (is.null(check(TRUE, "many-loci"))) return("korvel-ml")
  stop(korvel_condition(paste0("the frequencies do not make a valid KORVEL.IN: ", conditionMessage(standard)),
                        program = "korvel-sweep", status = standard$status, stderr = standard$stderr))
}

text_token <- function(line) strsplit(trimws(line), "[[:space:]]+")[[1]][1]

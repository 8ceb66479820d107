# A genind written as the Genepop text korvel-init reads. Alleles are coded
# 1, 2, ... in the order of adegenet's allele columns: korvel-init lists a
# locus's alleles by their codes, so KORVEL.IN keeps adegenet's order, and
# allele names that are not numbers (or too long for a Genepop code) pose no
# problem.

write_genind_genepop <- function(x, path) {
  ploidy <- genind_ploidy(x)
  counts <- adegenet::tab(x, freq = FALSE, NA.method = "asis")
  locus_of_column <- adegenet::locFac(x)
  loci <- levels(locus_of_column)
  populations <- genind_populations(x)
  genotypes <- vapply(loci, function(locus) {
    locus_genotypes(counts[, locus_of_column == locus, drop = FALSE], ploidy, locus)
  }, character(nrow(counts)))
  genotypes <- matrix(genotypes, nrow = nrow(counts))
  individual_lines <- paste0(individual_names(x, populations), " ,  ",
                             apply(genotypes, 1, paste, collapse = " "))
  lines <- c("Genepop written by the korvel R package from a genind object",
             paste(safe_label(loci), collapse = ", "))
  for (population in levels(populations)) {
    members <- which(populations == population)
    if (length(members)) lines <- c(lines, paste("Pop", safe_label(population)), individual_lines[members])
  }
  writeLines(lines, path)
  path
}

genind_ploidy <- function(x) {
  if (!identical(x@type, "codom")) {
    stop("the genind holds ", x@type, " markers; KORVEL needs codominant genotypes", call. = FALSE)
  }
  ploidy <- unique(x@ploidy)
  if (length(ploidy) != 1L || !ploidy %in% c(1L, 2L)) {
    stop("the genind holds individuals of ploidy ", paste(sort(ploidy), collapse = " and "),
         "; only all-haploid or all-diploid data can be handed to korvel-init", call. = FALSE)
  }
  ploidy
}

# The individuals' populations in the order of their levels; one population
# "all" when the genind has none.
genind_populations <- function(x) {
  populations <- adegenet::pop(x)
  if (is.null(populations)) return(factor(rep("all", adegenet::nInd(x))))
  if (anyNA(populations)) {
    stop("individuals ", paste(utils::head(which(is.na(populations)), 5), collapse = ", "),
         " of the genind have no population (NA in pop())", call. = FALSE)
  }
  droplevels(factor(populations))
}

# Genepop genotypes of one locus: two codes of the locus's width for a
# diploid, one for a haploid, all zeros when the genotype is missing.
locus_genotypes <- function(counts, ploidy, locus) {
  alleles <- ncol(counts)
  if (alleles > 999) {
    stop("locus ", locus, " has ", alleles, " alleles; a Genepop code holds at most 999", call. = FALSE)
  }
  width <- if (alleles <= 99) 2L else 3L
  missing <- rowSums(is.na(counts)) > 0
  copies <- rowSums(counts)
  wrong <- which(!missing & copies != ploidy)
  if (length(wrong)) {
    stop("individual ", rownames(counts)[wrong[1]], " has ", copies[wrong[1]], " gene copies at locus ",
         locus, " where its ploidy is ", ploidy, call. = FALSE)
  }
  codes <- vapply(seq_len(nrow(counts)), function(i) {
    if (missing[i]) return(strrep("0", width * ploidy))
    paste(sprintf("%0*d", width, rep.int(seq_len(alleles), counts[i, ])), collapse = "")
  }, "")
  codes
}

# Individual names without the commas and blanks that would break a Genepop
# line; the first individual of each population carries the population's
# label, since korvel-init names a population after its first individual.
individual_names <- function(x, populations) {
  names <- safe_label(adegenet::indNames(x))
  first <- !duplicated(populations)
  names[first] <- safe_label(as.character(populations[first]))
  names
}

safe_label <- function(text) {
  text <- gsub("[,[:space:]]+", "_", as.character(text))
  ifelse(nzchar(text), text, "_")
}

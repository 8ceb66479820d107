skip_without_programs <- function(program = "korvel-init") {
  if (!nzchar(korvel_bin_or_empty(program))) {
    skip(paste("the KORVEL program", program, "is not found: set KORVEL_BIN or options(korvel.bin)"))
  }
}

# The base-population frequencies of a KORVEL.IN, one vector per locus.
korvel_in_frequencies <- function(text) {
  lapply(strsplit(trimws(text[-seq_len(14)]), "[[:space:]]+"), function(fields) as.numeric(fields[-1]))
}

# adegenet's own pooled allele frequencies per locus, over the individuals
# `keep`, without the alleles never seen.
adegenet_frequencies <- function(x, keep = TRUE) {
  counts <- colSums(adegenet::tab(x)[keep, , drop = FALSE], na.rm = TRUE)
  per_locus <- split(counts, adegenet::locFac(x))
  lapply(per_locus, function(n) unname(n[n > 0] / sum(n)))
}

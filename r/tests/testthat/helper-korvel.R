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

small_frequencies <- list(c(0.5, 0.3, 0.2), c(0.6, 0.4), c(0.7, 0.2, 0.1))

# A folder of stand-ins for the programs that write the arguments they were
# given, one per line, into `log`, and fail (so nothing else runs).
recording_programs <- function(log) {
  bin <- tempfile("fake-bin-")
  dir.create(bin)
  for (program in c("korvel-init", "korvel-sweep", "korvel", "korvel-ml")) {
    path <- file.path(bin, program)
    writeLines(c("#!/bin/sh", paste0("printf '%s\\n' \"$@\" > '", log, "'"), "echo 'refused' >&2", "exit 1"),
               path)
    Sys.chmod(path, "755")
  }
  bin
}

# The processes whose working folder lies inside `dir`.
processes_in <- function(dir) {
  dir <- normalizePath(dir)
  cwds <- vapply(list.files("/proc", pattern = "^[0-9]+$", full.names = TRUE), function(p) {
    suppressWarnings(Sys.readlink(file.path(p, "cwd")))
  }, "")
  sum(startsWith(cwds, dir), na.rm = TRUE)
}

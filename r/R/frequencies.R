# Allele frequencies given in R go to korvel-init as its frequency table
# (locus, allele, frequency; one row per allele), so that korvel-init alone
# writes KORVEL.IN, chooses the generations of drift and the program.

# A list of numeric vectors (one per locus, optionally named) or a data
# frame with the columns locus, allele and frequency, as that table.
frequency_table <- function(x) {
  if (is.data.frame(x)) {
    missing <- setdiff(c("locus", "allele", "frequency"), names(x))
    if (length(missing)) {
      argument_error("x", "a data frame with the columns locus, allele and frequency",
                     paste("a data frame without", paste(missing, collapse = ", ")))
    }
    check_numbers(x$frequency, "x$frequency", "numbers", count = NA)
    return(data.frame(locus = as.character(x$locus), allele = as.character(x$allele),
                      frequency = x$frequency, stringsAsFactors = FALSE))
  }
  loci <- if (is.null(names(x)) || any(!nzchar(names(x)))) paste0("L", seq_along(x)) else names(x)
  for (i in seq_along(x)) {
    check_numbers(x[[i]], paste0("x[[", i, "]]"), "the allele frequencies of a locus (numbers)", count = NA)
  }
  alleles <- lapply(x, function(f) if (is.null(names(f))) as.character(seq_along(f)) else names(f))
  data.frame(locus = rep(loci, lengths(x)), allele = unlist(alleles, use.names = FALSE),
             frequency = unlist(x, use.names = FALSE), stringsAsFactors = FALSE)
}

# Each frequency in 17 significant digits, which reads back as the very
# same double.
write_frequency_table <- function(table, path) {
  text <- paste(csv_field(table$locus), csv_field(table$allele),
                formatC(table$frequency, digits = 17, format = "g"), sep = ",")
  writeLines(c("locus,allele,frequency", trimws(text)), path)
  path
}

csv_field <- function(text) paste0("\"", gsub("\"", "'", text), "\"")

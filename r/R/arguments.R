# Every argument a user gives is checked here, in R, before any program
# runs: the message names the argument as R knows it, says what was given
# and what is allowed. Every function uses these same checks, so a value is
# accepted or refused alike everywhere (a number given as text is refused
# everywhere, with the remedy).

argument_error <- function(name, allowed, value, hint = NULL) {
  message <- paste0(name, " must be ", allowed, "; it is ", shown_value(value),
                    if (!is.null(hint)) paste0("; ", hint) else "")
  stop(structure(class = c("korvel_argument_error", "error", "condition"),
                 list(message = message, call = NULL, argument = name)))
}

shown_value <- function(value) {
  if (is.null(value)) return("NULL")
  if (is.character(value)) {
    shown <- paste0("\"", utils::head(value, 5), "\"", collapse = ", ")
    return(paste0(if (length(value) > 1) "the texts " else "the text ", shown,
                  if (length(value) > 5) ", ..." else ""))
  }
  if (!is.atomic(value)) return(paste0("a ", class(value)[1]))
  if (!length(value)) return(paste0("empty (", class(value)[1], "(0))"))
  paste0(paste(format(utils::head(value, 5), scientific = FALSE), collapse = ", "),
         if (length(value) > 5) ", ..." else "")
}

# Plain numbers of the expected count: not text, not NA, not a list.
check_numbers <- function(value, name, allowed, count = 1L, hint = NULL) {
  quoted_hint <- if (is.character(value) && !anyNA(suppressWarnings(as.numeric(value)))) {
    "give numbers without quotes"
  } else {
    hint
  }
  counted <- if (identical(count, 1L)) length(value) == 1L else length(value) >= 1L
  if (!is.numeric(value) || !counted || anyNA(value) || any(!is.finite(value))) {
    argument_error(name, allowed, value, quoted_hint)
  }
  invisible(value)
}

# Whole numbers from lo to hi, returned as the texts the programs read
# (never in scientific notation).
whole_texts <- function(value, name, lo, hi, count = 1L) {
  allowed <- paste0(if (identical(count, 1L)) "a whole number" else "whole numbers", " from ",
                    plain(lo), " to ", plain(hi))
  check_numbers(value, name, allowed, count)
  if (any(value != floor(value)) || any(value < lo) || any(value > hi)) argument_error(name, allowed, value)
  plain(value)
}

whole_text <- function(value, name, lo, hi) whole_texts(value, name, lo, hi, 1L)

# Numbers strictly between 0 and 1 (F'st, a target power), as texts.
fraction_texts <- function(value, name, count = 1L, hint = NULL) {
  allowed <- paste0(if (identical(count, 1L)) "a number" else "numbers", " above 0 and below 1")
  check_numbers(value, name, allowed, count, hint)
  if (any(value <= 0) || any(value >= 1)) argument_error(name, allowed, value, hint)
  vapply(value, function(v) format(v, scientific = FALSE, digits = 15, trim = TRUE), "")
}

plain <- function(value) format(value, scientific = FALSE, trim = TRUE)

check_flag <- function(value, name) {
  if (!is.logical(value) || length(value) != 1L || is.na(value)) argument_error(name, "TRUE or FALSE", value)
  value
}

check_folder_name <- function(value, name) {
  if (!is.null(value) && (!is.character(value) || length(value) != 1L || is.na(value) || !nzchar(value))) {
    argument_error(name, "the path of a folder (one text)", value)
  }
  value
}

check_choice <- function(value, name, choices, several = FALSE) {
  ok <- is.character(value) && length(value) >= 1L && !anyNA(value) && all(value %in% choices) &&
    (several || length(value) == 1L) && !anyDuplicated(value)
  if (!ok) {
    argument_error(name, paste0(if (several) "one or more of " else "one of ",
                                paste0("\"", choices, "\"", collapse = ", ")), value)
  }
  value
}

# The design's arguments, checked once and returned as korvel-init's
# options. `fst` is ignored when `generations` is given.
design_options <- function(design) {
  args <- character()
  add <- function(option, value) args <<- c(args, option, value)
  if (!is.null(design$populations)) add("--populations", whole_text(design$populations, "populations", 2, 32767))
  if (!is.null(design$sample)) {
    sizes <- whole_texts(design$sample, "sample", 1, 16383, count = NA)
    if (length(sizes) > 1L && !is.null(design$populations) && length(sizes) != design$populations) {
      argument_error("sample", paste0("one size for every subpopulation, or one per subpopulation (",
                                      design$populations, ")"), design$sample)
    }
    if (length(sizes) == 1L) add("--sample", sizes) else add("--samples", paste(sizes, collapse = ","))
  }
  add("--ne", whole_text(design$ne, "ne", 1, 16383))
  if (is.null(design$generations)) {
    add("--fst", fraction_texts(design$fst, "fst", hint = fst_hint))
  } else {
    add("--generations", whole_text(design$generations, "generations", 0, 32767))
  }
  add("--runs", whole_text(design$runs, "runs", 1, 2147483647))
  if (length(design$exact) != 3L) {
    argument_error("exact", "three whole numbers: dememorization steps, batches, steps per batch", design$exact)
  }
  add("--exact", paste(whole_texts(design$exact, "exact", 1, 2147483647, count = NA), collapse = ","))
  add("--tests", paste(check_choice(design$tests, "tests", c("chi2", "exact"), several = TRUE), collapse = ","))
  args
}

fst_hint <- "use generations = 0 for samples without drift"

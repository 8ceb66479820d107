# Finding the KORVEL programs and running them. The package never simulates
# anything itself: every result comes from the installed programs, and
# every failure of theirs reaches the user with the program's own words.

korvel_install_hint <- paste0(
  "Build and install the KORVEL programs from their sources ",
  "(make build; cmake --install build/release --prefix ~/.local) and put ",
  "~/.local/bin on PATH, or point R at the folder that holds them with ",
  "options(korvel.bin = \"/path/to/bin\") or the KORVEL_BIN environment variable."
)

# The folder holding the programs, by the documented order of places:
# options(korvel.bin), then KORVEL_BIN, then PATH. "" when none has them.
korvel_bin_or_empty <- function(program = "korvel-init") {
  for (dir in c(getOption("korvel.bin", ""), Sys.getenv("KORVEL_BIN", ""))) {
    if (nzchar(dir)) {
      return(if (file.exists(file.path(dir, program))) normalizePath(dir) else "")
    }
  }
  found <- Sys.which(program)
  if (nzchar(found)) dirname(found) else ""
}

# The path of one program, or an error that says where it was looked for
# and how to install it.
korvel_program <- function(program) {
  dir <- korvel_bin_or_empty(program)
  if (nzchar(dir)) return(file.path(dir, program))
  place <- if (nzchar(getOption("korvel.bin", ""))) {
    paste0("in options(korvel.bin = \"", getOption("korvel.bin"), "\")")
  } else if (nzchar(Sys.getenv("KORVEL_BIN"))) {
    paste0("in KORVEL_BIN (", Sys.getenv("KORVEL_BIN"), ")")
  } else {
    "on PATH (options(korvel.bin) and KORVEL_BIN are not set)"
  }
  stop(korvel_condition(paste0("the KORVEL program ", program, " was not found ", place,
                               ". ", korvel_install_hint), program = program))
}

korvel_condition <- function(message, program, status = NA_integer_, stderr = character()) {
  structure(class = c("korvel_error", "error", "condition"),
            list(message = message, call = NULL, program = program, status = status,
                 stderr = stderr))
}

# Runs a program in folder `wd` with extra environment variables `env` (a
# named character vector) and returns its exit status and the lines it
# wrote. Only a status in `ok_status` counts as success; any other becomes
# an R error carrying what the program wrote on standard error, and naming
# the folder when it is kept for the user to look into.
run_korvel_program <- function(program, args, wd, env = character(), ok_status = 0L, name_folder = TRUE) {
  path <- korvel_program(program)
  out_file <- tempfile("korvel-stdout-")
  err_file <- tempfile("korvel-stderr-")
  on.exit(unlink(c(out_file, err_file)), add = TRUE)
  restore_environment <- set_environment(env)
  on.exit(restore_environment(), add = TRUE)
  old_wd <- setwd(wd)
  on.exit(setwd(old_wd), add = TRUE)
  status <- suppressWarnings(system2(path, shQuote(args), stdout = out_file, stderr = err_file))
  stdout <- read_lines_if_any(out_file)
  stderr <- read_lines_if_any(err_file)
  if (!status %in% ok_status) {
    said <- if (length(stderr)) paste(stderr, collapse = "\n") else "(it wrote nothing on standard error)"
    where <- if (name_folder) paste0(" in ", wd) else ""
    stop(korvel_condition(paste0(program, " failed (exit status ", status, ")", where, ":\n", said),
                          program = program, status = status, stderr = stderr))
  }
  list(status = status, stdout = stdout, stderr = stderr)
}

read_lines_if_any <- function(path) {
  if (file.exists(path)) readLines(path, warn = FALSE) else character()
}

# Sets the variables and returns a function that puts back what was there.
set_environment <- function(env) {
  if (!length(env)) return(function() invisible())
  names <- names(env)
  old <- Sys.getenv(names, unset = NA, names = TRUE)
  do.call(Sys.setenv, as.list(env))
  function() {
    for (name in names) {
      if (is.na(old[[name]])) Sys.unsetenv(name) else do.call(Sys.setenv, as.list(old[name]))
    }
  }
}

# A whole number within lo..hi as the text a program reads, or an error
# naming the argument and the value.
whole_number_text <- function(value, name, lo, hi) {
  if (!is.numeric(value) || length(value) != 1L || is.na(value) || value != floor(value) ||
      value < lo || value > hi) {
    stop(name, " must be a whole number from ", format(lo, scientific = FALSE), " to ",
         format(hi, scientific = FALSE), ", not ", paste(format(value), collapse = ", "), call. = FALSE)
  }
  format(value, scientific = FALSE, trim = TRUE)
}

number_text <- function(value) {
  vapply(value, function(v) format(v, scientific = FALSE, digits = 15, trim = TRUE), "")
}

# A folder for a run: the one given (created when missing), else a new
# temporary one. A folder that already holds any of the files the run
# writes is refused, so that nothing the user has is overwritten. Names are
# compared in any letter case, as the programs find KORVEL.IN.
result_folder <- function(dir, prefix, writes) {
  if (is.null(dir)) {
    dir <- tempfile(prefix)
  } else if (dir.exists(dir)) {
    present <- list.files(dir, all.files = TRUE)
    taken <- present[toupper(present) %in% toupper(writes)]
    if (length(taken)) {
      stop("the folder ", dir, " already holds ", paste(taken, collapse = " and "),
           "; give a new or empty folder, nothing there is overwritten", call. = FALSE)
    }
  }
  if (!dir.exists(dir) && !dir.create(dir, recursive = TRUE)) {
    stop("cannot create the folder ", dir, call. = FALSE)
  }
  normalizePath(dir)
}

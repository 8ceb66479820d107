# Finding the KORVEL programs and running them. The package never simulates
# anything itself: every result comes from the programs, and every failure
# of theirs reaches the user with the program's own words.

korvel_install_hint <- paste0(
  "Install the package again (R CMD INSTALL builds the programs into it), or point R at a folder ",
  "that holds them with options(korvel.bin = \"/path/to/bin\") or the KORVEL_BIN environment variable."
)

# The folder holding the programs, by the documented order of places:
# options(korvel.bin), then KORVEL_BIN, then the programs built into the
# package at install, then PATH. "" when none has them.
korvel_bin_or_empty <- function(program = "korvel-init") {
  for (dir in c(getOption("korvel.bin", ""), Sys.getenv("KORVEL_BIN", ""))) {
    if (nzchar(dir)) {
      return(if (file.exists(file.path(dir, program))) normalizePath(dir) else "")
    }
  }
  own <- system.file("bin", package = "korvel")
  if (nzchar(own) && file.exists(file.path(own, program))) return(own)
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
    "in the package or on PATH (options(korvel.bin) and KORVEL_BIN are not set)"
  }
  stop(korvel_condition(paste0("the KORVEL program ", program, " was not found ", place,
                               ". ", korvel_install_hint), program = program))
}

korvel_condition <- function(message, program, status = NA_integer_, stderr = character(),
                             class = character()) {
  structure(class = c(class, "korvel_error", "error", "condition"),
            list(message = message, call = NULL, program = program, status = status,
                 stderr = stderr))
}

# Runs a program in folder `wd` with extra environment variables `env` (a
# named character vector) and returns its exit status and the lines it
# wrote. Only a status in `ok_status` counts as success; any other becomes
# an R error carrying what the program wrote on standard error (never its
# usage text), naming the folder when it is kept for the user to look into.
#
# The program runs under processx while R polls its output every 0.2 s, so
# that an interrupt (Ctrl-C, a time limit) reaches R at once: the program
# is then asked to stop (SIGINT, so a search keeps its finished probes),
# killed with its children if it has not ended within `grace` seconds, and
# a condition of class korvel_stopped says how to continue (`continue`).
run_korvel_program <- function(program, args, wd, env = character(), ok_status = 0L, name_folder = TRUE,
                               progress = NULL, continue = NULL, grace = 1.5) {
  path <- korvel_program(program)
  process <- processx::process$new(path, args, wd = wd, env = c("current", env), stdout = "|",
                                   stderr = "|", cleanup_tree = TRUE)
  on.exit(end_process(process, grace), add = TRUE)
  lines <- list(stdout = character(), stderr = character())
  caught <- tryCatch({
    while (process$is_alive() || process$is_incomplete_output() || process$is_incomplete_error()) {
      process$poll_io(200L)
      lines <- read_available(process, lines, progress)
    }
    NULL
  }, interrupt = function(e) e, error = function(e) e)
  if (!is.null(caught)) {
    end_process(process, grace)
    stop(stopped_condition(program, caught, continue))
  }
  status <- process$get_exit_status()
  if (!status %in% ok_status) {
    said <- program_words(lines$stderr)
    where <- if (name_folder) paste0(" in ", wd) else ""
    stop(korvel_condition(paste0(program, " failed (exit status ", status, ")", where, ":\n", said),
                          program = program, status = status, stderr = lines$stderr))
  }
  list(status = status, stdout = lines$stdout, stderr = lines$stderr)
}

read_available <- function(process, lines, progress) {
  out <- process$read_output_lines()
  err <- process$read_error_lines()
  if (!is.null(progress)) for (line in c(out, err)) progress(line)
  list(stdout = c(lines$stdout, out), stderr = c(lines$stderr, err))
}

# Asks the program to stop as on Ctrl-C, then kills it and every process it
# started once `grace` seconds have passed.
end_process <- function(process, grace) {
  if (process$is_alive()) {
    process$signal(tools::SIGINT)
    process$wait(as.integer(grace * 1000))
  }
  if (process$is_alive()) process$kill_tree()
  invisible()
}

stopped_condition <- function(program, caught, continue) {
  why <- if (inherits(caught, "interrupt")) "interrupted" else conditionMessage(caught)
  message <- paste0(program, " was stopped (", why, "); no program is left running.",
                    if (!is.null(continue)) paste0("\n", continue) else "")
  korvel_condition(message, program = program, class = "korvel_stopped")
}

# What a program said on standard error, without its usage text: a refused
# command line is R's fault (every argument is checked first), so only the
# program's one-line reason is kept.
program_words <- function(stderr) {
  usage_at <- grep("^(usage|Usage):", stderr)
  kept <- if (length(usage_at)) stderr[seq_len(usage_at[1] - 1L)] else stderr
  kept <- kept[nzchar(trimws(kept))]
  if (length(kept)) paste(kept, collapse = "\n") else "(it wrote nothing on standard error)"
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

small_design <- function() {
  korvel_init(small_frequencies, populations = 3, sample = 20, ne = 200, runs = 20, tests = "chi2")
}
small_plan <- function(design, ...) {
  korvel_plan(design, fst = c(0.02, 0.05), range = c(5, 60), max_runs = 400, seed = 1, ...)
}

test_that("a planning search returns its tables, warns each flag with its reason, and draws the program's figure", {
  warnings <- character()
  plan <- withCallingHandlers(small_plan(small_design()), warning = function(w) {
    warnings <<- c(warnings, conditionMessage(w))
    invokeRestart("muffleWarning")
  })
  expect_s3_class(plan, "korvel_plan")
  expect_named(plan$answers, c("expected_fst", "generations", "test", "target_power", "smallest_sample_size",
                               "status", "ci_low", "ci_high", "runs", "probes"))
  expect_equal(unique(plan$answers$test), "chi2")
  expect_setequal(round(plan$answers$expected_fst, 2), c(0.02, 0.05))
  flagged <- plan$answers$status != "ok"
  expect_length(grep("^F'st ", warnings), sum(flagged))
  if (any(plan$answers$status == "budget spent")) {
    expect_true(any(grepl("the same call with max_runs = [0-9]+, dir = .* and resume = TRUE", warnings)))
  }
  for (i in which(flagged)) {
    expect_true(any(grepl(paste0("chi2 test: ", plan$answers$status[i], " \\(.+\\)"), warnings)))
  }
  expect_match(plan$caption, "3 populations, Ne 200, 3 loci")

  figure <- ggplot2::autoplot(plan)
  geoms <- vapply(figure$layers, function(layer) class(layer$geom)[1], "")
  lines <- figure$layers[geoms == "GeomLine"]
  # One line layer, the fitted model, drawn from model.csv's dense samples:
  # never segments joining the probes.
  expect_length(lines, 1L)
  expect_identical(lines[[1]]$data$power, plan$model$power)
  expect_gt(nrow(lines[[1]]$data), 10 * nrow(plan$probes))
  labels <- figure$layers[geoms == "GeomLabel"][[1]]$data$label
  expected <- paste0(plan$answers$smallest_sample_size, " (", plan$answers$ci_low, "\u2013", plan$answers$ci_high, ")")
  expect_setequal(labels, expected[!is.na(plan$answers$smallest_sample_size)])
  expect_true("GeomHline" %in% geoms)
  points <- figure$layers[geoms == "GeomPoint"][[1]]$data
  expect_equal(points$kind == "no drift (checks the 5 % level)", points$fst == "0 (no drift)")
  expect_true(any(points$fst == "0 (no drift)"))
  expect_match(figure$labels$caption, "individuals per population \\(95 % interval")
  expect_s3_class(ggplot2::ggplot_build(figure), "ggplot_built")
})

test_that("an interrupted search leaves no process, says how to continue, and resumes to the same answers", {
  # Batches of 100 runs and a tolerance of 0: a search that lasts well past
  # the time limit.
  design <- korvel_init(small_frequencies, populations = 3, sample = 20, ne = 200, runs = 100, tests = "chi2")
  search <- function(...) {
    # Quiet: a handler of the test harness running when the limit strikes
    # could take the limit's error for its own.
    suppressMessages(suppressWarnings(
      korvel_plan(design, fst = 0.02, range = c(5, 60), tolerance = 0, max_runs = 1500, seed = 4, ...)
    ))
  }
  dir <- file.path(tempfile(), "search")
  started <- Sys.time()
  stopped <- tryCatch({
    setTimeLimit(elapsed = 1.5, transient = TRUE)
    search(dir = dir, jobs = 1)
  }, error = function(e) e)
  setTimeLimit()
  expect_s3_class(stopped, "korvel_stopped")
  expect_lt(as.numeric(difftime(Sys.time(), started, units = "secs")), 1.5 + 2.5)
  expect_match(conditionMessage(stopped), "no program is left running")
  expect_match(conditionMessage(stopped), paste0("dir = \"", normalizePath(dir), "\", resume = TRUE"), fixed = TRUE)
  expect_equal(processes_in(dir), 0)

  resumed <- search(dir = dir, jobs = 1, resume = TRUE)
  whole <- search(jobs = 2)
  expect_identical(resumed$answers, whole$answers)
  expect_identical(resumed$probes, whole$probes)
  expect_error(search(dir = dir), "already holds")
})

test_that("the search's progress bar survives a probe's line after the whole budget is spent", {
  progress <- sweep_progress()
  # stderr's round lines and stdout's probe lines come in any order.
  expect_no_error({
    progress("korvel-sweep: round 2: 200 of at most 400 runs spent, at most 3 s left")
    progress("  t8-n12-b0 done (0.2 s) [3/4]")
    progress("korvel-sweep: round 3: 400 of at most 400 runs spent, at most 0 s left")
    progress("  t8-n13-b0 done (0.2 s) [4/4]")
    progress("korvel-sweep: round 4: 400 of at most 400 runs spent, at most 0 s left")
  })
})

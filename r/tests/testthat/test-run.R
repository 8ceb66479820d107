# A short chain on purpose (korvel-init's warning is expected).
small_design <- function(tests = c("chi2", "exact")) {
  suppressWarnings(korvel_init(list(c(0.97, 0.03), c(0.5, 0.3, 0.2), c(0.6, 0.4)), populations = 2, sample = 4, ne = 100,
              fst = 0.02, runs = 30, exact = c(100, 10, 100), tests = tests))
}

test_that("the same seed gives the same result, whatever the threads; an unseeded run reports its seed", {
  design <- small_design()
  first <- korvel_run(design, seed = 11, threads = 1)
  second <- korvel_run(design, seed = 11, threads = 2)
  expect_identical(first$power, second$power)
  same <- c("mean_fst", "expected_fst", "seed")
  expect_identical(first[same], second[same])

  unseeded <- korvel_run(design)
  expect_identical(korvel_run(design, seed = unseeded$seed)$power, unseeded$power)
})

test_that("the power table holds each test that was on with its Wilson interval, from the tools' power.csv", {
  result <- korvel_run(small_design("exact"), seed = 3)
  power <- result$power
  expect_named(power, c("test", "runs", "significant", "power", "ci_low", "ci_high"))
  expect_equal(power$test, "exact")
  expect_equal(power$runs, 30)
  expect_equal(power$power, power$significant / power$runs, tolerance = 5e-5)
  # The 95 % Wilson score interval, worked out here independently.
  z <- stats::qnorm(0.975)
  centre <- (power$power + z^2 / (2 * 30)) / (1 + z^2 / 30)
  half <- z / (1 + z^2 / 30) * sqrt(power$power * (1 - power$power) / 30 + z^2 / (4 * 30^2))
  # (written to 4 decimals)
  expect_lt(max(abs(c(power$ci_low, power$ci_high) - c(max(0, centre - half), centre + half))), 5.1e-5)
  expect_true(file.exists(file.path(result$dir, "power.csv")))
  expect_equal(result$expected_fst, round(1 - (1 - 1 / 200)^4, 4))

  both <- korvel_run(small_design(), seed = 3)$power
  expect_equal(both$test, c("chi2", "exact"))
  expect_identical(both[2, -1], power[1, -1], ignore_attr = TRUE)
})

test_that("a folder that holds a file the run would write is refused and left alone", {
  dir <- tempfile()
  dir.create(dir)
  # The programs find their input in any letter case.
  writeLines("mine", file.path(dir, "korvel.in"))
  writeLines("mine", file.path(dir, "FST.OUT"))
  expect_error(korvel_run(small_design(), dir = dir),
               "already holds (FST.OUT and korvel.in|korvel.in and FST.OUT)")
  expect_equal(sort(list.files(dir)), sort(c("FST.OUT", "korvel.in")))
  expect_equal(readLines(file.path(dir, "korvel.in")), "mine")
})

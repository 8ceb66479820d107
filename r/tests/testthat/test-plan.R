test_that("a small planning search returns the documented columns and a figure", {
  skip_without_programs("korvel-sweep")
  if (!planning_search_available()) skip("the korvel-sweep found has no planning search (--find)")
  design <- korvel_init(list(c(0.5, 0.3, 0.2), c(0.6, 0.4), c(0.7, 0.2, 0.1)), populations = 3, sample = 20,
                        ne = 200, runs = 20, tests = "chi2")
  search <- function() korvel_plan(design, fst = c(0.02, 0.05), range = c(5, 60), max_runs = 400, seed = 1)
  plan <- suppressWarnings(search())
  expect_s3_class(plan, "korvel_plan")
  expect_named(plan$answers, c("expected_fst", "generations", "test", "target_power", "smallest_sample_size",
                               "ci_low", "ci_high", "runs", "probes", "status"))
  expect_equal(unique(plan$answers$test), "chi2")
  expect_setequal(round(plan$answers$expected_fst, 2), c(0.02, 0.05))
  expect_true(all(plan$answers$status %in% c("ok", "not reached", "budget spent", "miscalibrated")))
  expect_true(all(c("sample_size", "chi2_power") %in% names(plan$probes)))
  expect_false("exact_power" %in% names(plan$probes) && any(!is.na(plan$probes$exact_power)))

  expect_identical(suppressWarnings(search())$answers, plan$answers)

  figure <- ggplot2::autoplot(plan)
  expect_s3_class(figure, "ggplot")
  expect_s3_class(ggplot2::ggplot_build(figure), "ggplot_built")
})

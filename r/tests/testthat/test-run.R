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

test_that("the power table is read by its row labels, with NA for a test that was off", {
  result <- korvel_run(small_design("exact"), seed = 3)
  power <- result$power
  expect_named(power, c("class", "loci", "alleles", "runs", "chi2_significant", "chi2_power",
                        "exact_significant", "exact_power"))
  # Rare alleles in samples of 4: some runs lose a locus, so the table has
  # its "<" row, and the classes of polymorphic and monomorphic runs make up
  # the total.
  expect_true(all(c("polymorphic", "monomorphic", "total") %in% power$class))
  by_class <- split(power, power$class)
  expect_equal(by_class$polymorphic$runs + by_class$monomorphic$runs, by_class$total$runs)
  expect_equal(by_class$total$runs, 30)
  expect_true(all(is.na(power$chi2_significant) & is.na(power$chi2_power)))
  expect_equal(power$exact_power, power$exact_significant / power$runs, tolerance = 5e-5)
  expect_equal(power$loci, rep(3, nrow(power)))
  expect_equal(result$expected_fst, round(1 - (1 - 1 / 200)^4, 4))
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

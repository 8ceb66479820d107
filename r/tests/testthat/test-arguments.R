test_that("every argument is checked in R with its name, what was given and what is allowed", {
  d <- korvel_init(small_frequencies, populations = 3, sample = 20, ne = 200, runs = 20, tests = "chi2")
  f <- small_frequencies
  cases <- list(
    list(quote(korvel_init(f, sample = 10, fst = 0)),
         "fst must be a number above 0 and below 1; it is 0; use generations = 0 for samples without drift"),
    list(quote(korvel_init(f, sample = 10, fst = "0.01")), "fst must be .* it is the text \"0.01\"; give numbers without quotes"),
    list(quote(korvel_init(f, sample = 0)), "sample must be whole numbers from 1 to 16383; it is 0"),
    list(quote(korvel_init(f, populations = 3, sample = c(10, 20))), "sample must be one size .* per subpopulation \\(3\\); it is 10, 20"),
    list(quote(korvel_init(f, sample = 10, populations = 1)), "populations must be a whole number from 2 to 32767; it is 1"),
    list(quote(korvel_init(f, sample = 10, ne = 2.5)), "ne must be a whole number from 1 to 16383; it is 2.5"),
    list(quote(korvel_init(f, sample = 10, generations = -1)), "generations must be a whole number from 0"),
    list(quote(korvel_init(f, sample = 10, runs = NA)), "runs must be a whole number from 1"),
    list(quote(korvel_init(f, sample = 10, exact = c(100, 10))), "exact must be three whole numbers"),
    list(quote(korvel_init(f, sample = 10, tests = "fisher")), "tests must be one or more of \"chi2\", \"exact\"; it is the text \"fisher\""),
    list(quote(korvel_init(f, sample = 10, max_loci = "5")), "max_loci must be a whole number .* give numbers without quotes"),
    list(quote(korvel_init(f, sample = 10, pass_only = "yes")), "pass_only must be TRUE or FALSE"),
    list(quote(korvel_init(f, sample = 10, runz = 5)), "the option runz must be one of max_loci, .*erase"),
    list(quote(korvel_init(f, sample = 10, pop = "a")), "pop must be NULL for allele frequencies"),
    list(quote(korvel_init(f, sample = 10, min_maf = 0.6)), "min_maf must be a number above 0 and at most 0.5; it is 0.6"),
    list(quote(korvel_init(f, sample = 10, max_missing = 1)), "max_missing must be a number from 0 to below 1; it is 1"),
    list(quote(korvel_init(f, sample = 10, min_samples = 0)), "min_samples must be a whole number from 1 to 16383"),
    list(quote(korvel_init(f, sample = 10, min_maf = 0.05)), "min_maf must be NULL for allele frequencies"),
    list(quote(korvel_init(f)), "sample must be given for allele frequencies"),
    list(quote(korvel_init(42)), "x must be a genind object, .*; it is 42"),
    list(quote(korvel_init("no/such/file.gen")), "x must be .*there is no such file"),
    list(quote(korvel_plan(d, fst = 0)), "fst must be numbers above 0 and below 1; it is 0; use generations = 0"),
    list(quote(korvel_plan(d, fst = "0.01")), "fst must be .* it is the text \"0.01\"; give numbers without quotes"),
    list(quote(korvel_plan(d)), "fst must be given"),
    list(quote(korvel_plan(d, fst = 0.02, target_power = 1)), "target_power must be a number above 0 and below 1; it is 1"),
    list(quote(korvel_plan(d, fst = 0.02, find = "n")), "find must be one of \"sample_size\", \"loci\"; it is the text \"n\""),
    list(quote(korvel_plan(d, fst = 0.02, range = c(60, 5))), "range must be two whole numbers, the smallest and the largest"),
    list(quote(korvel_plan(d, fst = 0.02, tolerance = -1)), "tolerance must be a number of 0 or more; it is -1"),
    list(quote(korvel_plan(d, fst = 0.02, max_runs = 0)), "max_runs must be a whole number from 1 to 1000000000000; it is 0"),
    list(quote(korvel_plan(d, fst = 0.02, seed = -1)), "seed must be a whole number from 0 to 4294967295; it is -1"),
    list(quote(korvel_plan(d, fst = 0.02, jobs = 0)), "jobs must be a whole number from 1 to 4096"),
    list(quote(korvel_plan(d, fst = 0.02, resume = TRUE)), "dir must be the folder of the stopped search"),
    list(quote(korvel_plan(d, fst = 0.02, runs = 5)), "\\.\\.\\. must be empty when x is already a korvel_design"),
    list(quote(korvel_run(list())), "design must be a korvel_design"),
    list(quote(korvel_run(d, seed = 1.5)), "seed must be a whole number from 0 to 4294967295; it is 1.5"),
    list(quote(korvel_run(d, threads = 0)), "threads must be a whole number from 1 to 1024; it is 0")
  )
  for (case in cases) {
    expect_error(eval(case[[1]]), case[[2]], class = "korvel_argument_error", info = deparse(case[[1]]))
  }
})

test_that("a program's refusal reaches R without its usage text", {
  expect_error(korvel_init(list(c(0.5, 0.3), c(0.5, 0.5)), sample = 10),
               "korvel-init: frequencies.csv: the frequencies of locus L1 sum to 0.8", class = "korvel_error")
  error <- tryCatch(korvel_init(list(c(0.5, 0.5)), populations = 3, sample = 10, generations = 0,
                                max_loci = 2, seed = 3, erase = TRUE, pass_only = TRUE),
                    korvel_error = function(e) e)
  expect_match(conditionMessage(error), "--pass-only reads genotype data; a frequency table has none")
  expect_no_match(conditionMessage(error), "usage:")
})

test_that("every argument reaches the program as its own option, and max_runs never as --runs", {
  log <- tempfile()
  withr::local_options(korvel.bin = recording_programs(log))
  design <- structure(list(text = c("a", "b", "c"), program = "korvel-ml", summary = character()),
                      class = "korvel_design")
  expect_error(korvel_plan(design, fst = c(0.01, 0.02), target_power = 0.9, find = "loci", range = c(3, 40),
                           tolerance = 2, max_runs = 400, seed = 7, jobs = 3), "refused")
  args <- readLines(log)
  pairs <- paste(args[-length(args)], args[-1])
  expect_true(all(c("--find loci", "--fst 0.01,0.02", "--target-power 0.9", "--range 3,40", "--tolerance 2",
                    "--max-runs 400", "--seed 7", "--jobs 3", "--out plan") %in% pairs))
  expect_true("--many-loci" %in% args)
  expect_false("--runs" %in% args)

  expect_error(korvel_init(tempfile(), min_maf = 0.05, max_missing = 0.2, min_samples = 3), "x must be")
  data <- tempfile(fileext = ".gen")
  writeLines("pilot", data)
  expect_error(korvel_init(data, min_maf = 0.05, max_missing = 0.2, min_samples = 3), "refused")
  pairs <- paste(utils::head(readLines(log), -1), readLines(log)[-1])
  expect_true(all(c("--min-maf 0.05", "--max-missing 0.2", "--min-samples 3") %in% pairs))

  expect_error(korvel_init(small_frequencies, populations = 4, sample = c(5, 6, 7, 8), ne = 300,
                           generations = 12, runs = 50, exact = c(10, 200, 300), tests = "exact",
                           max_loci = 2, seed = 9, erase = TRUE), "refused")
  args <- readLines(log)
  pairs <- paste(args[-length(args)], args[-1])
  expect_true(all(c("--populations 4", "--samples 5,6,7,8", "--ne 300", "--generations 12", "--runs 50",
                    "--exact 10,200,300", "--tests exact", "--max-loci 2", "--seed 9", "--format frequencies")
                  %in% pairs))
  expect_true("--erase" %in% args)
  expect_false("--fst" %in% args)
})

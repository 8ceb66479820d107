test_that("a genind keeps adegenet's pooled frequencies, its population names and its missing data", {
  data("microbov", package = "adegenet", envir = environment())
  design <- korvel_init(microbov, populations = 4, fst = 0.005, runs = 20, tests = "chi2")
  expect_s3_class(design, "korvel_design")
  expect_equal(design$program, "korvel")
  expect_equal(korvel_in_frequencies(design$text), unname(adegenet_frequencies(microbov)), tolerance = 1e-14)

  sizes <- table(adegenet::pop(microbov))
  listed <- paste(names(sizes), sizes)[1:12]
  expect_true(any(grepl(paste(listed, collapse = ", "), design$summary, fixed = TRUE)))
  missing <- sum(is.na(adegenet::tab(microbov))[, !duplicated(adegenet::locFac(microbov))])
  expect_true(any(grepl(paste0("missing genotypes: ", missing, " of ", 704 * 30), design$summary)))

  # The last breed is beyond the names the summary lists: found by its name.
  salers <- korvel_init(microbov, pop = "Salers", populations = 2, runs = 20, tests = "chi2")
  expect_equal(korvel_in_frequencies(salers$text),
               Filter(function(f) length(f) > 1,
                      unname(adegenet_frequencies(microbov, adegenet::pop(microbov) == "Salers"))),
               tolerance = 1e-14)
})

test_that("frequencies reach KORVEL.IN as given, through korvel-init, which chooses drift and program", {
  frequencies <- list(c(0.5, 0.3, 0.2), c(1 / 3, 2 / 3))
  design <- korvel_init(frequencies, populations = 3, sample = c(10, 20, 30), ne = 500, fst = 0.01)
  expect_identical(korvel_in_frequencies(design$text), frequencies)
  expect_match(design$text[1], "from frequencies.csv")
  expect_true(any(grepl("10 generations of drift", design$summary)))
  expect_equal(design$program, "korvel")
  table <- data.frame(locus = rep(c("a", "b"), c(3, 2)), allele = c(1, 2, 3, 1, 2), frequency = unlist(frequencies))
  expect_identical(korvel_init(table, populations = 3, sample = c(10, 20, 30), ne = 500)$text[-1], design$text[-1])

  snps <- korvel_init(rep(list(c(0.7, 0.3)), 150), populations = 2, sample = 10, generations = 0)
  expect_equal(snps$program, "korvel-ml")
})

test_that("degenerate data and short chains are warned about in R", {
  genotypes <- data.frame(L1 = c("101/102", "101/101", "102/102", "101/102"), L2 = c("12/14", "14/14", "12/12", "12/14"))
  none <- adegenet::df2genind(genotypes, sep = "/")
  expect_warning(korvel_init(none, runs = 20, tests = "chi2"), "the genind has no populations .* 4 individuals")
  one <- adegenet::df2genind(genotypes, sep = "/", pop = rep("a", 4))
  expect_warning(korvel_init(one, runs = 20, tests = "chi2"), "the genind has one population")
  two <- adegenet::df2genind(genotypes, sep = "/", pop = c("a", "a", "b", "b"))
  expect_warning(korvel_init(two, populations = 5, runs = 20, tests = "chi2"),
                 "populations = 5 asks for more subpopulations than the genind's 2")
  expect_warning(korvel_init(small_frequencies, sample = 10, runs = 20, exact = c(100, 10, 100)),
                 "korvel-init: 10 batches x 100 steps are fewer than 20000 counted steps")
  expect_no_warning(korvel_init(two, runs = 20, tests = "chi2"))
})

test_that("blanks and commas in names, missing genotypes and unsorted populations reach korvel-init intact", {
  genotypes <- data.frame(L1 = c("101/102", NA, "101/101", "102/103", "103/103"),
                          L2 = c("12/12", "12/14", NA, "14/14", NA))
  x <- adegenet::df2genind(genotypes, sep = "/", ind.names = c("a 1", "b,2", "c", "d", "e"),
                           pop = c("Upper Rhine", "Lake, East", "Upper Rhine", "Lake, East", "Upper Rhine"))
  design <- korvel_init(x, sample = 2, runs = 20, tests = "chi2")
  expect_true(any(grepl("populations: Upper_Rhine 3, Lake_East 2", design$summary, fixed = TRUE)))
  expect_true(any(grepl("missing genotypes: 3 of 10", design$summary, fixed = TRUE)))
  expect_equal(korvel_in_frequencies(design$text), unname(adegenet_frequencies(x)), tolerance = 1e-14)
})

test_that("a data file's faults come back in korvel-init's words, and a missing program is named", {
  bad <- tempfile(fileext = ".gen")
  writeLines(c("title", "L1", "Pop", "a , 0101", "b , 01x2"), bad)
  expect_error(korvel_init(bad), paste0(basename(bad), " line 5: .*not made of digits"), class = "korvel_error")

  withr::local_options(korvel.bin = tempfile())
  expect_error(korvel_init(small_frequencies, sample = 5),
               "korvel-init was not found in options\\(korvel.bin.*Install the package again")
})

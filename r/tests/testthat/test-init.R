test_that("a genind keeps adegenet's pooled frequencies, its population names and its missing data", {
  skip_without_programs()
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

test_that("a list of frequencies is written as given, with the generations korvel-init would choose", {
  skip_without_programs()
  frequencies <- list(c(0.5, 0.3, 0.2), c(1 / 3, 2 / 3))
  design <- korvel_init(frequencies, populations = 3, sample = c(10, 20, 30), ne = 500, fst = 0.01)
  expect_identical(korvel_in_frequencies(design$text), frequencies)
  expect_equal(text_token(design$text[10]), "10")
  expect_equal(text_token(design$text[11]), "10")
  expect_equal(design$program, "korvel")

  snps <- korvel_init(rep(list(c(0.7, 0.3)), 150), populations = 2, sample = 10, generations = 0)
  expect_equal(snps$program, "korvel-ml")
})

test_that("errors of the programs become R errors with the program's own message", {
  skip_without_programs("korvel-sweep")
  expect_error(korvel_init(list(c(0.5, 0.3), c(0.5, 0.5)), populations = 2, sample = 10),
               "KORVEL.IN line 15: the frequencies of locus 1 sum to 0.8", class = "korvel_error")
  bad <- tempfile(fileext = ".gen")
  writeLines(c("title", "L1", "Pop", "a , 0101", "b , 01x2"), bad)
  expect_error(korvel_init(bad), paste0(basename(bad), " line 5: .*not made of digits"),
               class = "korvel_error")
})

test_that("a missing program is named with how to install it", {
  withr_dir <- tempfile()
  dir.create(withr_dir)
  old <- options(korvel.bin = withr_dir)
  on.exit(options(old))
  expect_error(korvel_init(list(c(0.5, 0.5)), populations = 2, sample = 5),
               "korvel-sweep was not found in options\\(korvel.bin.*cmake --install build/release")
})

test_that("blanks and commas in names, missing genotypes and unsorted populations reach korvel-init intact", {
  skip_without_programs()
  genotypes <- data.frame(L1 = c("101/102", NA, "101/101", "102/103", "103/103"),
                          L2 = c("12/12", "12/14", NA, "14/14", NA))
  x <- adegenet::df2genind(genotypes, sep = "/", ind.names = c("a 1", "b,2", "c", "d", "e"),
                           pop = c("Upper Rhine", "Lake, East", "Upper Rhine", "Lake, East", "Upper Rhine"))
  design <- korvel_init(x, sample = 2, runs = 20, tests = "chi2")
  expect_true(any(grepl("populations: Upper_Rhine 3, Lake_East 2", design$summary, fixed = TRUE)))
  expect_true(any(grepl("missing genotypes: 3 of 10", design$summary, fixed = TRUE)))
  expect_equal(korvel_in_frequencies(design$text), unname(adegenet_frequencies(x)), tolerance = 1e-14)
})

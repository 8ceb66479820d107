# make r-check builds the tarball and names it in KORVEL_TARBALL; the
# programs are copied (KORVEL_PROGRAMS) rather than built a second time.
test_that("the package installed from its tarball finds its own programs with PATH emptied", {
  tarball <- Sys.getenv("KORVEL_TARBALL")
  if (!nzchar(tarball)) skip("KORVEL_TARBALL is not set (make r-check sets it)")
  library <- tempfile("korvel-lib-")
  dir.create(library)
  r <- file.path(R.home("bin"), "R")
  installed <- system2(r, c("CMD", "INSTALL", "--no-test-load", paste0("--library=", library), tarball),
                       env = paste0("KORVEL_PROGRAMS=", system.file("bin", package = "korvel")),
                       stdout = TRUE, stderr = TRUE)
  expect_true(file.exists(file.path(library, "korvel", "bin", "korvel-sweep")), info = paste(installed, collapse = "\n"))
  script <- tempfile(fileext = ".R")
  writeLines(c(
    "path <- Sys.getenv('PATH'); Sys.unsetenv('KORVEL_BIN'); options(korvel.bin = NULL); Sys.setenv(PATH = '')",
    sprintf("library(korvel, lib.loc = '%s')", library),
    "d <- korvel_init(list(c(0.5, 0.5), c(0.2, 0.8)), sample = 5, runs = 5, tests = 'chi2')",
    "r <- korvel_run(d, seed = 2)",
    "cat(normalizePath(dirname(korvel:::korvel_program('korvel'))), r$power$runs[nrow(r$power)], sep = '\\n')",
    "Sys.setenv(PATH = path)"
  ), script)
  said <- system2(file.path(R.home("bin"), "Rscript"), c("--vanilla", script), stdout = TRUE, stderr = TRUE,
                  env = paste0("R_LIBS=", paste(.libPaths(), collapse = ":")))
  expect_identical(utils::tail(said, 2), c(normalizePath(file.path(library, "korvel", "bin")), "5"))
})

library(testthat)
library(korvel)

test_check("korvel")

#' Draw a planning search
#'
#' Power against sample size (or loci, on a log scale), one panel per test and one colour
#' per level of differentiation: the probes with their 95 \% Wilson
#' intervals, a dashed line at the target power, and on it each answer
#' (a diamond) with the range it lies in.
#'
#' @param object,x A `korvel_plan` from [korvel_plan()].
#' @param ... Not used.
#' @return A ggplot object, to print or restyle. `plot()` also draws it.
#' @importFrom ggplot2 autoplot
#' @export
autoplot.korvel_plan <- function(object, ...) {
  probes <- probe_points(object)
  answers <- answer_marks(object)
  target <- if (nrow(answers)) answers$target_power[1] else unique(object$answers$target_power)[1]
  aes <- ggplot2::aes
  figure <- ggplot2::ggplot(probes, aes(x = .data$n, y = .data$power,
                                        colour = .data$fst, group = .data$fst)) +
    ggplot2::geom_hline(yintercept = target, linetype = "dashed", colour = "grey40") +
    ggplot2::geom_line() +
    ggplot2::geom_errorbar(aes(ymin = .data$low, ymax = .data$high), width = 0) +
    ggplot2::geom_point()
  if (nrow(answers)) {
    figure <- figure +
      ggplot2::geom_errorbarh(data = answers, aes(y = .data$power, xmin = .data$low, xmax = .data$high,
                                                  colour = .data$fst),
                              height = 0.03, inherit.aes = FALSE) +
      ggplot2::geom_point(data = answers, aes(x = .data$n, y = .data$power, colour = .data$fst),
                          shape = 23, size = 3, fill = "white", inherit.aes = FALSE)
  }
  figure +
    ggplot2::facet_wrap(ggplot2::vars(.data$test)) +
    # The search probes on a log scale (from a few to the top of its range).
    ggplot2::scale_x_log10() +
    ggplot2::scale_y_continuous(limits = c(0, 1)) +
    ggplot2::labs(x = if (identical(object$find, "loci")) "loci" else "diploid sample size per population",
                  y = "power", colour = "expected F'st",
                  caption = sprintf("dashed: target power %s; diamonds: the answers with their range",
                                    format(target)))
}

#' @rdname autoplot.korvel_plan
#' @export
plot.korvel_plan <- function(x, ...) {
  figure <- autoplot.korvel_plan(x, ...)
  print(figure)
  invisible(figure)
}

test_label <- function(test) {
  ifelse(test == "chi2", "chi-square test", ifelse(test == "exact", "exact test", test))
}

# The probes in long form, one row per probe and test. The columns of
# curve.csv are found by name, so their order and any further columns do
# not matter.
probe_points <- function(plan) {
  probes <- plan$probes
  n_column <- first_column(probes, c(plan$find, "sample_size", "loci", "n"), "the sample size or loci")
  fst_column <- first_column(probes, c("expected_fst", grep("fst", names(probes), value = TRUE)), "F'st")
  tests <- intersect(c("chi2", "exact"), sub("_power$", "", grep("_power$", names(probes), value = TRUE)))
  if (!length(tests)) stop("curve.csv has no chi2_power or exact_power column", call. = FALSE)
  rows <- lapply(tests, function(test) {
    bound <- function(side) {
      first_column(probes, grep(paste0("^", test, "_.*", side), names(probes), value = TRUE),
                   paste(test, side, "bound of the power"))
    }
    data.frame(n = probes[[n_column]], fst = fst_label(probes[[fst_column]]), test = test_label(test),
               power = probes[[paste0(test, "_power")]], low = probes[[bound("low")]],
               high = probes[[bound("high")]], stringsAsFactors = FALSE)
  })
  points <- do.call(rbind, rows)
  points[!is.na(points$power), , drop = FALSE]
}

# The answers that were found, placed on the target line.
answer_marks <- function(plan) {
  answers <- plan$answers
  n_column <- first_column(answers, grep("^smallest_", names(answers), value = TRUE), "the smallest value")
  found <- !is.na(suppressWarnings(as.numeric(answers[[n_column]])))
  answers <- answers[found, , drop = FALSE]
  data.frame(n = as.numeric(answers[[n_column]]), power = answers$target_power,
             low = as.numeric(answers$ci_low), high = as.numeric(answers$ci_high),
             fst = fst_label(answers$expected_fst), test = test_label(answers$test),
             target_power = answers$target_power, stringsAsFactors = FALSE)
}

# The no-drift probe of the calibration check is named as such.
fst_label <- function(fst) {
  fst <- as.numeric(fst)
  factor(ifelse(fst == 0, "0 (no drift)", formatC(fst, format = "f", digits = 4)))
}

first_column <- function(data, candidates, what) {
  found <- intersect(candidates, names(data))
  if (!length(found)) {
    stop("no column for ", what, " among ", paste(names(data), collapse = ", "), call. = FALSE)
  }
  found[1]
}

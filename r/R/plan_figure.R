#' Draw a planning search
#'
#' Draws what `korvel-sweep` draws for a search: power against sample size
#' (or loci), on a log scale, one panel per test and one colour per level of
#' differentiation. The probes are points with their 95 % Wilson intervals;
#' the search's fitted model (its `model.csv`) is the smooth line through
#' them, from which the answers are read; a dashed line marks the target
#' power, and on it each answer is marked with its 95 % interval and
#' labelled with its number. The no-drift probes (F'st 0), which check that
#' a test keeps its 5 % level, are drawn as open triangles and named in the
#' legend. The colours are the Okabe-Ito palette, told apart with any colour
#' vision. The figure's caption is the search's own (`$caption`): the data,
#' the design and every answer in words.
#'
#' @param object,x A `korvel_plan` from [korvel_plan()].
#' @param ... Not used.
#' @return A ggplot object, to print, restyle or [ggplot2::ggsave()]. `plot()`
#'   also draws it.
#' @importFrom ggplot2 autoplot
#' @export
autoplot.korvel_plan <- function(object, ...) {
  probes <- probe_points(object)
  model <- model_lines(object)
  answers <- answer_marks(object)
  target <- object$answers$target_power[1]
  aes <- ggplot2::aes
  figure <- ggplot2::ggplot(mapping = aes(x = .data$n, y = .data$power, colour = .data$fst)) +
    ggplot2::geom_hline(yintercept = target, linetype = "dashed", colour = "grey40") +
    ggplot2::geom_line(data = model, aes(group = .data$fst), linewidth = 0.7) +
    ggplot2::geom_errorbar(data = probes, aes(ymin = .data$low, ymax = .data$high), width = 0, alpha = 0.6) +
    ggplot2::geom_point(data = probes, aes(shape = .data$kind), size = 2)
  if (nrow(answers)) {
    figure <- figure +
      ggplot2::geom_errorbarh(data = answers, aes(xmin = .data$low, xmax = .data$high), height = 0.03,
                              show.legend = FALSE) +
      ggplot2::geom_point(data = answers, shape = 23, size = 3, fill = "white", stroke = 1.2,
                          show.legend = FALSE) +
      ggplot2::geom_label(data = answers, aes(label = .data$label), vjust = -0.4, size = 3,
                          label.size = 0, fill = "white", show.legend = FALSE)
  }
  figure +
    ggplot2::facet_wrap(ggplot2::vars(.data$test)) +
    ggplot2::scale_x_log10() +
    ggplot2::scale_y_continuous(limits = c(0, 1.05), breaks = seq(0, 1, 0.2)) +
    ggplot2::scale_colour_manual(values = okabe_ito(nlevels(probes$fst)), drop = FALSE) +
    ggplot2::scale_shape_manual(values = c(probe = 16, `no drift (checks the 5 % level)` = 2), drop = TRUE) +
    ggplot2::labs(x = if (identical(object$find, "loci")) "loci" else "individuals sampled per population",
                  y = "power", colour = "expected F'st", shape = NULL, caption = wrapped(object$caption)) +
    ggplot2::theme_bw() +
    ggplot2::theme(plot.caption = ggplot2::element_text(hjust = 0), legend.position = "bottom")
}

#' @rdname autoplot.korvel_plan
#' @export
plot.korvel_plan <- function(x, ...) {
  figure <- autoplot.korvel_plan(x, ...)
  print(figure)
  invisible(figure)
}

# The caption's lines, each wrapped to the width of a printed figure.
wrapped <- function(caption) {
  paste(unlist(lapply(strsplit(caption, "\n", fixed = TRUE)[[1]], strwrap, width = 110, exdent = 2)),
        collapse = "\n")
}

# Okabe and Ito's palette for colour-blind readers, black last.
okabe_ito <- function(n) {
  palette <- c("#0072B2", "#D55E00", "#009E73", "#CC79A7", "#E69F00", "#56B4E9", "#F0E442", "#000000")
  rep_len(palette, max(n, 1L))
}

test_label <- function(test) {
  ifelse(test == "chi2", "chi-square test", ifelse(test == "exact", "exact test", test))
}

axis_column <- function(plan) if (identical(plan$find, "loci")) "loci" else "sample_size"

# The probes in long form, one row per probe and test, with their 95 %
# Wilson intervals as the search wrote them.
probe_points <- function(plan) {
  probes <- plan$probes
  tests <- intersect(c("chi2", "exact"), unique(plan$answers$test))
  rows <- lapply(tests, function(test) {
    data.frame(n = probes[[axis_column(plan)]], fst = probes$expected_fst, test = test_label(test),
               power = probes[[paste0(test, "_power")]], low = probes[[paste0(test, "_ci_low")]],
               high = probes[[paste0(test, "_ci_high")]], stringsAsFactors = FALSE)
  })
  points <- do.call(rbind, rows)
  points <- points[!is.na(points$power), , drop = FALSE]
  points$kind <- ifelse(points$fst == 0, "no drift (checks the 5 % level)", "probe")
  points$fst <- fst_factor(points$fst, plan)
  points
}

model_lines <- function(plan) {
  model <- plan$model
  data.frame(n = model[[axis_column(plan)]], power = model$power, fst = fst_factor(model$expected_fst, plan),
             test = test_label(model$test), stringsAsFactors = FALSE)
}

# The answers that were found, placed on the target line and labelled with
# their number and interval.
answer_marks <- function(plan) {
  answers <- plan$answers
  value <- suppressWarnings(as.numeric(answers[[paste0("smallest_", axis_column(plan))]]))
  answers <- answers[!is.na(value), , drop = FALSE]
  value <- value[!is.na(value)]
  data.frame(n = value, power = answers$target_power, low = as.numeric(answers$ci_low),
             high = as.numeric(answers$ci_high), fst = fst_factor(answers$expected_fst, plan),
             test = test_label(answers$test),
             label = paste0(value, " (", answers$ci_low, "\u2013", answers$ci_high, ")"),
             stringsAsFactors = FALSE)
}

# One level per F'st of the search, the no-drift probe's included, so that
# every layer gives each F'st the same colour.
fst_factor <- function(fst, plan) {
  levels <- sort(unique(c(as.numeric(plan$probes$expected_fst), as.numeric(plan$answers$expected_fst))))
  factor(fst_text(as.numeric(fst)), levels = fst_text(levels))
}

fst_text <- function(fst) ifelse(fst == 0, "0 (no drift)", formatC(fst, format = "f", digits = 4))

// The search's model and decisions on constructed counts whose answer is
// known: a logistic truth, a step, flat, all-0, all-1 and noisy counts; the
// choice of the next probes; the answer in words; the warnings gathered.
#include <gtest/gtest.h>

#include <cmath>

#include "search.h"

namespace {

using namespace korvel::sweep;

// Counts drawn exactly from a logistic curve in log n with `runs` runs.
std::vector<ProbeCount> logistic_counts(const std::vector<int>& xs, long long runs, long double a,
                                        long double b, long double centre) {
  std::vector<ProbeCount> counts;
  for (int x : xs) {
    const long double p = 1.0L /
                          (1.0L + std::exp(-(a + b * (std::log(static_cast<long double>(x)) - centre))));
    counts.push_back({x, runs, std::llround(p * static_cast<long double>(runs))});
  }
  return counts;
}

// The n where that curve crosses `target`.
long double true_crossing(long double a, long double b, long double centre, long double target) {
  return std::exp(centre + (std::log(target / (1 - target)) - a) / b);
}

TEST(SearchFit, RecoversAKnownCurveAndItsCrossing) {
  const long double centre = std::log(30.0L);
  const auto counts = logistic_counts({5, 10, 20, 30, 45, 80}, 100000, 0.3L, 2.5L, centre);
  const PowerFit fit = FIT_POWER(counts);
  const long double truth = true_crossing(0.3L, 2.5L, centre, 0.8L);
  const Crossing crossing = CROSSING(fit, 0.8L);
  ASSERT_TRUE(crossing.at && crossing.low && crossing.high);
  EXPECT_LT(std::fabs(*crossing.at - truth), 0.002L * truth);
  EXPECT_LT(*crossing.low, truth);
  EXPECT_GT(*crossing.high, truth);
  EXPECT_LT(*crossing.high - *crossing.low, 0.05L * truth);  // 600000 runs pin it down

  // Fewer runs: the estimate moves less than its interval is wide, and the
  // interval widens.
  const Crossing rough = CROSSING(
      FIT_POWER(logistic_counts({5, 10, 20, 30, 45, 80}, 100, 0.3L, 2.5L, centre)), 0.8L);
  ASSERT_TRUE(rough.low && rough.high);
  EXPECT_LT(*rough.low, truth);
  EXPECT_GT(*rough.high, truth);
  EXPECT_GT(*rough.high - *rough.low, 5 * (*crossing.high - *crossing.low));
}

// Whether a + b u, moved by `sign` z standard errors, meets `level`.
long double band_gap(const PowerFit& fit, long double x, long double z2, int sign, long double level) {
  const long double u = std::log(x) - fit.centre;
  const long double se = std::sqrt(z2 * (fit.var_a + 2 * u * fit.cov_ab + u * u * fit.var_b));
  return fit.a + fit.b * u + sign * se - level;
}

TEST(SearchFit, FiellersEndsAreWhereThe95PercentBandMeetsTheTarget) {
  PowerFit fit;
  fit.a = 0.5L;
  fit.b = 2;
  fit.centre = std::log(20.0L);
  fit.var_a = 0.04L;
  fit.cov_ab = 0.01L;
  fit.var_b = 0.09L;
  const long double level = std::log(4.0L), z2 = 1.959963984540054L * 1.959963984540054L;
  const Crossing crossing = CROSSING(fit, 0.8L);
  ASSERT_TRUE(crossing.at && crossing.low && crossing.high);
  EXPECT_NEAR(static_cast<double>(*crossing.at), static_cast<double>(20 * std::exp((level - 0.5L) / 2)),
              1e-9);
  // Below the crossing the upper band reaches the target's logit, above it
  // the lower band: at z = 1.96, not at z = 1.96^(1/2) (an 84 % band).
  EXPECT_NEAR(static_cast<double>(band_gap(fit, *crossing.low, z2, +1, level)), 0, 1e-12);
  EXPECT_NEAR(static_cast<double>(band_gap(fit, *crossing.high, z2, -1, level)), 0, 1e-12);
  EXPECT_GT(std::fabs(band_gap(fit, *crossing.low, 1.96L, +1, level)), 0.05L);
  // Overdispersion widens the band by its square root.
  const Crossing wider = CROSSING(fit, 0.8L, 4);
  ASSERT_TRUE(wider.low && wider.high);
  EXPECT_NEAR(static_cast<double>(band_gap(fit, *wider.low, 4 * z2, +1, level)), 0, 1e-12);
  EXPECT_NEAR(static_cast<double>(band_gap(fit, *wider.high, 4 * z2, -1, level)), 0, 1e-12);
  // A slope within 1.96 standard errors of 0: the interval stays open.
  fit.var_b = 1.1L;
  const Crossing open = CROSSING(fit, 0.8L);
  EXPECT_TRUE(open.at);
  EXPECT_FALSE(open.low && open.high);
}

TEST(SearchFit, TheDevianceTestOnHandCounts) {
  // 50 of 100 where the fit says 0.5: no deviance; 70 of 100 where it says
  // 0.5: G2 = 2 (70 log 1.4 + 30 log 0.6) = 16.46.
  PowerFit flat;
  const FitCheck check = CHECK_FIT(flat, {{5, 100, 50}, {10, 100, 70}, {20, 100, 50}});
  EXPECT_EQ(check.df, 1);
  EXPECT_NEAR(static_cast<double>(check.deviance), 2 * (70 * std::log(1.4) + 30 * std::log(0.6)), 1e-9);
  EXPECT_NEAR(static_cast<double>(check.p), 4.96e-5, 1e-6);
  EXPECT_FALSE(check.fits());
  EXPECT_NEAR(static_cast<double>(check.dispersion()), 16.46, 0.01);
  // The tail itself: chi-square with 2 df is exponential, with 1 df 1.96^2
  // leaves 5 %, with 10 df 23.209 leaves 1 %.
  EXPECT_NEAR(static_cast<double>(CHI_SQUARE_TAIL(6, 2)), std::exp(-3.0), 1e-15);
  EXPECT_NEAR(static_cast<double>(CHI_SQUARE_TAIL(3.841458820694124L, 1)), 0.05, 1e-12);
  EXPECT_NEAR(static_cast<double>(CHI_SQUARE_TAIL(23.20925116E0L, 10)), 0.01, 1e-9);
  // Two values leave nothing to check.
  EXPECT_FALSE(CHECK_FIT(flat, {{5, 100, 0}, {10, 100, 100}}).checked());
}

TEST(SearchFit, AStepBetweenTwoProbesIsAnsweredBetweenThem) {
  // Nothing rejected up to n = 20, everything from n = 21: the fit stays
  // finite and crosses between the two.
  const std::vector<ProbeCount> step = {
      {2, 200, 0}, {10, 200, 0}, {20, 200, 0}, {21, 200, 200}, {100, 200, 200}};
  const Crossing crossing = CROSSING(FIT_POWER(step), 0.8L);
  ASSERT_TRUE(crossing.at);
  EXPECT_GT(*crossing.at, 20.0L);
  EXPECT_LT(*crossing.at, 21.0L);
  const AnswerState state = DECIDE(step, {2, 100, 0.8L, {}});
  EXPECT_EQ(state.status, AnswerStatus::OK);
  EXPECT_EQ(state.answer, 21);
}

TEST(SearchDecide, FlatAllZeroAndAllOneCounts) {
  const SearchRange range{2, 100, 0.8L, {}};
  // Flat at one half and all 0: the upper end is clearly below the target.
  for (long long significant : {500LL, 0LL}) {
    const AnswerState state = DECIDE(
        {{2, 1000, significant}, {14, 1000, significant}, {100, 1000, significant}}, range);
    EXPECT_EQ(state.status, AnswerStatus::NOT_REACHED) << significant;
    EXPECT_FALSE(state.answer);
  }
  // All 1: the lower end already reaches it.
  const AnswerState all = DECIDE({{2, 1000, 1000}, {14, 1000, 1000}, {100, 1000, 1000}}, range);
  EXPECT_EQ(all.status, AnswerStatus::OK);
  EXPECT_EQ(all.answer, 2);
  EXPECT_EQ(all.high, 2);
  // Flat just under the target with few runs: the upper end cannot be
  // ruled out yet, so it is probed again.
  const AnswerState close = DECIDE({{2, 20, 15}, {14, 20, 15}, {100, 20, 15}}, range);
  EXPECT_EQ(close.status, AnswerStatus::SEARCHING);
  EXPECT_EQ(close.next, std::vector<int>{100});
}

TEST(SearchDecide, NoisyNonMonotoneCountsGiveAMonotoneFitAndAnAnswerInTheRightPlace) {
  // Power rising from 0.1 to 0.95 with dips of several points on the way.
  const std::vector<ProbeCount> noisy = {{2, 200, 22},   {10, 200, 70},  {15, 200, 61},  {20, 200, 130},
                                         {25, 200, 150}, {30, 200, 142}, {40, 200, 178}, {100, 200, 190}};
  const PowerFit fit = FIT_POWER(noisy);
  EXPECT_GT(fit.b, 0.0L);
  const auto curve = FITTED_CURVE(fit, 2, 100, 50);
  ASSERT_EQ(curve.size(), 50u);
  EXPECT_DOUBLE_EQ(static_cast<double>(curve.front().first), 2.0);
  EXPECT_NEAR(static_cast<double>(curve.back().first), 100.0, 1e-9);
  for (std::size_t i = 1; i < curve.size(); ++i) EXPECT_GE(curve[i].second, curve[i - 1].second);
  const AnswerState state = DECIDE(noisy, {2, 100, 0.8L, {}});
  ASSERT_TRUE(state.answer && state.low && state.high);
  EXPECT_GE(*state.answer, 20);
  EXPECT_LE(*state.answer, 40);
  EXPECT_LE(*state.low, *state.answer);
  EXPECT_GE(*state.high, *state.answer);
  // Falling counts: the slope is held at 0 rather than turned round.
  EXPECT_EQ(FIT_POWER({{2, 100, 90}, {50, 100, 40}, {100, 100, 10}}).b, 0.0L);
}

TEST(SearchDecide, ProbesBracketFirstThenNarrowTheInterval) {
  const SearchRange range{2, 1000, 0.8L, {}};
  const AnswerState first = DECIDE({}, range);
  EXPECT_EQ(first.status, AnswerStatus::SEARCHING);
  EXPECT_EQ(first.next, (std::vector<int>{2, 45, 1000}));
  // A wide interval: the estimate and both ends of the interval, in order,
  // within the range, the same every time.
  const std::vector<ProbeCount> few = {{2, 20, 1}, {45, 20, 14}, {1000, 20, 20}};
  const AnswerState wide = DECIDE(few, range);
  ASSERT_EQ(wide.status, AnswerStatus::SEARCHING);
  ASSERT_TRUE(wide.answer && wide.low && wide.high);
  EXPECT_LT(*wide.low, *wide.answer);
  EXPECT_GT(*wide.high, *wide.answer);
  // The value below the estimate confirms it.
  EXPECT_EQ(wide.next, (std::vector<int>{*wide.low, *wide.answer - 1, *wide.answer, *wide.high}));
  EXPECT_EQ(DECIDE(few, range).next, wide.next);
  // The same counts with a tolerance as wide as the range still want the
  // estimate and the value below it probed before they stop.
  const AnswerState loose = DECIDE(few, {2, 1000, 0.8L, 1000.0L});
  EXPECT_EQ(loose.status, AnswerStatus::SEARCHING);
  EXPECT_EQ(loose.next, wide.next);
}

TEST(SearchDecide, AnAnswerIsConfirmedByProbesAtItAndJustBelowIt) {
  // Power crosses 0.8 at n = 20 * 4^(1/3) = 31.7; a million runs per probe
  // pin the crossing down, but n = 31 and 32 have not been probed.
  const long double centre = std::log(20.0L);
  std::vector<ProbeCount> counts = logistic_counts({5, 10, 20, 40, 80}, 1000000, 0, 3, centre);
  const SearchRange range{5, 80, 0.8L, {}};
  const AnswerState first = DECIDE(counts, range);
  ASSERT_EQ(first.status, AnswerStatus::SEARCHING);
  EXPECT_EQ(first.answer, 32);
  EXPECT_EQ(first.next, (std::vector<int>{31, 32}));
  for (const ProbeCount& more : logistic_counts({31, 32}, 1000000, 0, 3, centre)) counts.push_back(more);
  const AnswerState confirmed = DECIDE(counts, range);
  EXPECT_EQ(confirmed.status, AnswerStatus::OK);
  EXPECT_EQ(confirmed.answer, 32);
  EXPECT_TRUE(confirmed.conflicts.empty());
  EXPECT_EQ(confirmed.fit_from, 5);
  EXPECT_EQ(confirmed.fit_to, 80);
}

TEST(SearchDecide, AProbeThatContradictsTheAnswerKeepsTheSearchGoing) {
  const long double centre = std::log(20.0L);
  std::vector<ProbeCount> counts = logistic_counts({5, 10, 20, 31, 32, 40, 80}, 1000000, 0, 3, centre);
  const SearchRange range{5, 80, 0.8L, {}};
  ASSERT_EQ(DECIDE(counts, range).status, AnswerStatus::OK);
  // A second look at n = 34, above the answer, where the truth is 0.84:
  // 146 of 200 (95 % upper bound 0.787). The fit still holds and still
  // answers 32, but its own probe says n = 34 falls short.
  counts.push_back({34, 200, 146});
  const AnswerState state = DECIDE(counts, range);
  EXPECT_EQ(state.answer, 32);
  EXPECT_FALSE(state.fit_rejected);
  EXPECT_EQ(state.status, AnswerStatus::SEARCHING);
  EXPECT_EQ(state.conflicts, std::vector<int>{34});
  EXPECT_NE(std::find(state.next.begin(), state.next.end(), 34), state.next.end());
  // At the answer itself, and below it a lower bound above the target.
  EXPECT_EQ(CONTRADICTING({{30, 200, 160}, {31, 200, 174}, {32, 200, 146}}, 32, 0.8L),
            (std::vector<int>{31, 32}));
  EXPECT_TRUE(CONTRADICTING({{32, 200, 160}, {31, 200, 160}}, 32, 0.8L).empty());
}

TEST(SearchDecide, AFalsePositiveFloorIsLeftOutOfTheFit) {
  // A test that rejects 11 % without drift at tiny n: power is the floor
  // plus the logistic rise. One logistic through every probe does not fit
  // and crosses too low; the local fit leaves the floor out.
  std::vector<ProbeCount> counts;
  for (int x : {2, 3, 4, 6, 9, 12, 16, 20, 25}) {
    const long double rise = 1 /
                             (1 + std::exp(-(4 * (std::log(static_cast<long double>(x)) - std::log(12.0L)))));
    const long double floor = x <= 4 ? 0.11L : 0.05L;
    counts.push_back({x, 2000, std::llround(2000 * (floor + (1 - floor) * rise))});
  }
  const FitCheck everything = CHECK_FIT(FIT_POWER(counts), counts);
  EXPECT_EQ(everything.df, 7);
  EXPECT_LT(everything.p, 0.01L);
  const LocalFit local = FIT_LOCALLY(counts, 0.8L);
  EXPECT_TRUE(local.check.fits());
  EXPECT_GE(local.used.front().x, 6);
  EXPECT_EQ(local.used.back().x, 25);
  // The truth: 0.05 + 0.95 r(n) = 0.8 at r = 0.7895, n = 12 * 3.75^(1/4) = 16.7.
  const Crossing crossing = CROSSING(local.fit, 0.8L, local.check.dispersion());
  ASSERT_TRUE(crossing.low && crossing.high);
  EXPECT_LT(*crossing.low, 16.7L);
  EXPECT_GT(*crossing.high, 16.7L);
  EXPECT_EQ(DECIDE(counts, {2, 25, 0.8L, {}}).answer, 17);
}

TEST(SearchDecide, TheStoppingRuleChecksBothSidesAndTheBudgetIsNeverOverspent) {
  EXPECT_TRUE(WITHIN_TOLERANCE(20, 18, 22, 2));  // at the tolerance on both sides
  EXPECT_FALSE(WITHIN_TOLERANCE(20, 17, 22, 2));
  EXPECT_FALSE(WITHIN_TOLERANCE(20, 18, 23, 2));
  // 800 of 1000 runs used, batches of 100: two more values fit, a value
  // already in the round is free.
  RoundPlan plan = PLAN_ROUND({10, 12, 14}, {}, 800, 100, 1000);
  EXPECT_EQ(plan.added, (std::vector<int>{10, 12}));
  EXPECT_FALSE(plan.spent);
  plan = PLAN_ROUND({10, 12, 14}, {12}, 800, 100, 1000);
  EXPECT_EQ(plan.added, std::vector<int>{10});
  EXPECT_EQ(PLAN_ROUND({10}, {}, 900, 100, 1000).added, std::vector<int>{10});  // exactly the budget
  plan = PLAN_ROUND({10}, {}, 901, 100, 1000);                                  // one run past it
  EXPECT_TRUE(plan.added.empty());
  EXPECT_TRUE(plan.spent);
  // A search that cannot reach a tolerance of 0: rounds until the budget is
  // spent, never beyond it.
  const long double centre = std::log(20.0L);
  const SearchRange range{2, 100, 0.8L, 0.0L};
  std::vector<ProbeCount> counts;
  long long used = 0;
  const long long budget = 3000;
  AnswerState state;
  for (int round = 0; round < 100 && state.status == AnswerStatus::SEARCHING; ++round) {
    state = DECIDE(counts, range);
    if (state.status != AnswerStatus::SEARCHING) break;
    plan = PLAN_ROUND(state.next, {}, used, 100, budget);
    if (plan.spent) state.status = AnswerStatus::BUDGET_SPENT;
    for (const ProbeCount& more : logistic_counts(plan.added, 100, 0, 1, centre)) {
      counts.push_back(more);
      used += more.runs;
    }
    EXPECT_LE(used, budget);
  }
  EXPECT_EQ(state.status, AnswerStatus::BUDGET_SPENT);
  EXPECT_GT(used, budget - 100 * static_cast<long long>(state.next.size()));
}

TEST(SearchFigure, ACurveShowsItsProbesTheFitAndTheAnswer) {
  const std::vector<ProbeCount> counts = {{2, 100, 5},   {20, 100, 60}, {28, 100, 78},
                                          {29, 100, 80}, {30, 100, 82}, {100, 100, 99}};
  const SearchRange range{2, 100, 0.8L, {}};
  const AnswerState state = DECIDE(counts, {2, 100, 0.8L, 100.0L});
  ASSERT_EQ(state.status, AnswerStatus::OK);
  const FigureCurve curve = SEARCH_CURVE(0.01L, korvel::sweep::Test::CHI2, counts, state, range);
  EXPECT_EQ(curve.label, "F'st 0.010, chi-square test");
  ASSERT_EQ(curve.points.size(), 6u);
  EXPECT_EQ(curve.points[4].x, 30);
  EXPECT_LT(curve.points[4].interval.low, curve.points[4].power);
  ASSERT_FALSE(curve.fitted.empty());
  EXPECT_LT(std::fabs(curve.fitted.front().first - 2.0L), 1e-9L);
  EXPECT_LT(std::fabs(curve.fitted.back().first - 100.0L), 1e-9L);
  for (std::size_t i = 1; i < curve.fitted.size(); ++i)
    EXPECT_GE(curve.fitted[i].second, curve.fitted[i - 1].second);
  ASSERT_TRUE(curve.answer);
  EXPECT_EQ(curve.answer->x, static_cast<long double>(*state.answer));
  // The fit crosses the target between the answer's neighbours.
  const PowerFit fit = FIT_POWER(counts);
  EXPECT_LT(fit.power(curve.answer->x - 1), 0.8L);
  EXPECT_GE(fit.power(curve.answer->x), 0.8L);
  // A miscalibrated test: its probes, but neither fit nor answer.
  const FigureCurve flagged = SEARCH_CURVE(0.01L, korvel::sweep::Test::FISHER, counts,
                                           ONLY_STATUS(AnswerStatus::MISCALIBRATED), range);
  EXPECT_TRUE(flagged.miscalibrated);
  EXPECT_EQ(flagged.points.size(), 6u);
  EXPECT_TRUE(flagged.fitted.empty());
  EXPECT_FALSE(flagged.answer);
  // Probes left out of the fit (a floor of 30 % at n = 2 and 3 that the
  // logistic cannot follow) are drawn, the model only from n = 5 on.
  std::vector<ProbeCount> floor = {{2, 1000, 300}, {3, 1000, 300}};
  for (const ProbeCount& count : counts)
    if (count.x > 2) floor.push_back({count.x, count.runs * 10, count.significant * 10});
  floor.push_back({5, 1000, 200});
  const FigureCurve part = SEARCH_CURVE(0.01L, korvel::sweep::Test::CHI2, floor, state, range);
  ASSERT_FALSE(part.fitted.empty());
  EXPECT_GE(part.fitted.front().first, 5.0L);
  EXPECT_EQ(part.points.front().x, 2);
}

TEST(SearchWords, TheAnswerAndEveryStatusInASentence) {
  AnswerState state;
  state.status = AnswerStatus::OK;
  state.answer = 12;
  state.low = 11;
  state.high = 14;
  EXPECT_EQ(ANSWER_SENTENCE({false, 0.01L, 0.8L, korvel::sweep::Test::CHI2, state}),
            "12 individuals per population (95 % interval 11\u201314) detect F'st 0.010 with 80 % power "
            "(chi-square test)");
  EXPECT_EQ(ANSWER_SENTENCE({true, 0.02L, 0.9L, korvel::sweep::Test::FISHER, state}),
            "12 loci (95 % interval 11\u201314) detect F'st 0.020 with 90 % power (exact test)");
  state.status = AnswerStatus::BUDGET_SPENT;
  EXPECT_NE(ANSWER_SENTENCE({false, 0.01L, 0.8L, korvel::sweep::Test::CHI2, state}).find("budget was spent"),
            std::string::npos);
  state.status = AnswerStatus::STOPPED;
  EXPECT_NE(
      ANSWER_SENTENCE({false, 0.01L, 0.8L, korvel::sweep::Test::CHI2, state}).find("search was stopped"),
      std::string::npos);
  // A conservative test's answer says why and what to do.
  state.status = AnswerStatus::CONSERVATIVE;
  const std::string conservative = ANSWER_SENTENCE({false, 0.01L, 0.8L, korvel::sweep::Test::FISHER, state});
  EXPECT_EQ(conservative.rfind("12 individuals per population (95 % interval 11\u201314)", 0), 0u);
  EXPECT_NE(conservative.find("rare alleles"), std::string::npos);
  EXPECT_NE(conservative.find("minor-allele-frequency filter"), std::string::npos);
  state = ONLY_STATUS(AnswerStatus::NOT_REACHED);
  EXPECT_EQ(ANSWER_SENTENCE({false, 0.01L, 0.8L, korvel::sweep::Test::FISHER, state}),
            "the range searched does not reach F'st 0.010 with 80 % power (exact test)");
  state.status = AnswerStatus::MISCALIBRATED;
  EXPECT_NE(
      ANSWER_SENTENCE({false, 0.01L, 0.8L, korvel::sweep::Test::FISHER, state}).find("rejects too often"),
      std::string::npos);
}

TEST(SearchWarnings, OneLinePerKindWithThePointsConcerned) {
  const std::string resolution =
      "korvel: warning: 3 of 60 tested loci (5 %) had an estimated exact-test P of 0.\n";
  const std::vector<PointWarning> warnings = GATHER_WARNINGS(
      {{"a", "Run = 1\n" + resolution},
       {"b", "korvel: warning: 12 of 60 tested loci (20 %) had an estimated exact-test P of 0.\r\n"},
       {"c", "nothing to say\n"},
       {"d", "korvel: warning: something else\n" + resolution}});
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0].text, "warning: 3 of 60 tested loci (5 %) had an estimated exact-test P of 0.");
  EXPECT_TRUE(warnings[0].resolution);
  EXPECT_EQ(warnings[0].points, (std::vector<std::string>{"a", "b", "d"}));
  EXPECT_FALSE(warnings[1].resolution);
  EXPECT_EQ(warnings[1].points, std::vector<std::string>{"d"});

  // Said once per kind, grids and searches alike; a long list of folders is
  // cut after eight and the rest counted.
  std::vector<PointConsole> many;
  for (int i = 1; i <= 10; ++i) many.push_back({"point-" + std::to_string(i), resolution});
  testing::internal::CaptureStderr();
  EXPECT_TRUE(REPORT_WARNINGS(many, "point"));
  EXPECT_EQ(
      testing::internal::GetCapturedStderr(),
      "korvel-sweep: 10 points warned: warning: 3 of 60 tested loci (5 %) had an estimated exact-test P "
      "of 0.\n  (point-1, point-2, point-3, point-4, point-5, point-6, point-7, point-8, ... (2 more))\n");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(REPORT_WARNINGS({{"probes/t1-n2-b0", "korvel: warning: something else\n"}}, "probe"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "korvel-sweep: 1 probe warned: warning: something else\n  (probes/t1-n2-b0)\n");
}

}  // namespace

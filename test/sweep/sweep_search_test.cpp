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
  EXPECT_EQ(wide.next, (std::vector<int>{*wide.low, *wide.answer, *wide.high}));
  EXPECT_EQ(DECIDE(few, range).next, wide.next);
  // The same counts with a tolerance as wide as the range stop at once.
  EXPECT_EQ(DECIDE(few, {2, 1000, 0.8L, 1000.0L}).status, AnswerStatus::OK);
}

TEST(SearchFigure, ACurveShowsItsProbesTheFitAndTheAnswer) {
  const std::vector<ProbeCount> counts = {{2, 100, 5}, {20, 100, 60}, {30, 100, 82}, {100, 100, 99}};
  const SearchRange range{2, 100, 0.8L, {}};
  const AnswerState state = DECIDE(counts, {2, 100, 0.8L, 100.0L});
  ASSERT_EQ(state.status, AnswerStatus::OK);
  const FigureCurve curve = SEARCH_CURVE(0.01L, korvel::sweep::Test::CHI2, counts, state, range);
  EXPECT_EQ(curve.label, "F'st 0.010, chi-square test");
  ASSERT_EQ(curve.points.size(), 4u);
  EXPECT_EQ(curve.points[2].x, 30);
  EXPECT_LT(curve.points[2].interval.low, curve.points[2].power);
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
                                           {AnswerStatus::MISCALIBRATED, {}, {}, {}, {}}, range);
  EXPECT_TRUE(flagged.miscalibrated);
  EXPECT_EQ(flagged.points.size(), 4u);
  EXPECT_TRUE(flagged.fitted.empty());
  EXPECT_FALSE(flagged.answer);
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
  state = {AnswerStatus::NOT_REACHED, {}, {}, {}, {}};
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
}

}  // namespace

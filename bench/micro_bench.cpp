// Micro-benchmarks of the hot paths, each beside the straightforward version
// it replaces: ns per raw generator output, ns per gene-copy draw in
// SAMPLE_ALLELES, ns per step of the exact test's Markov chain, and the
// seeding of the chain's generator. Items are outputs, draws or steps, so
// Google Benchmark's items_per_second gives the ns per item.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/random_generator.h"
#include "common/tables.h"
#include "popmodel/allele_sampling.h"
#include "support/straightforward.h"
#include "tests/chain_pool.h"
#include "tests/exact_chain.h"
#include "tests/exact_test_state.h"
#include "tests/test_state.h"

namespace korvel {
namespace {

void BM_RawStdMt19937(benchmark::State& state) {
  std::mt19937 engine(12345);
  std::uint32_t sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < 1024; ++i) sum += static_cast<std::uint32_t>(engine());
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_RawStdMt19937);

void BM_BlockMt19937(benchmark::State& state) {
  SEED_RANDOM_GENERATOR(12345);
  std::uint32_t sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < 1024; ++i) sum += NEXT_OUTPUT();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_BlockMt19937);

// Populations, loci, alleles (equally frequent, or spread for two alleles)
// and diploids per population, as in the workloads' drift.
void SET_UP_SAMPLING(int pops, int loci, int alleles, int diploids) {
  std::memset(&ALL_POPS_AFREQ, 0, sizeof ALL_POPS_AFREQ);
  ALLELES_PER_LOCUS.fill(0);
  NUMBPOPS = static_cast<INT16>(pops);
  NUMBLOCI = static_cast<INT16>(loci);
  for (int i = 1; i <= pops; ++i) NUMB_DIPLOIDS_TO_SAMPLE[i] = static_cast<INT16>(diploids);
  for (int j = 1; j <= loci; ++j) {
    ALLELES_PER_LOCUS[j] = static_cast<INT16>(alleles);
    for (int i = 1; i <= pops; ++i) {
      if (alleles == 2) {
        const double p = 0.05 + 0.45 * (j - 1) / (loci > 1 ? loci - 1 : 1);
        ALL_POPS_AFREQ[i][j][1] = p;
        ALL_POPS_AFREQ[i][j][2] = 1.0 - p;
      } else {
        for (int k = 1; k <= alleles; ++k) ALL_POPS_AFREQ[i][j][k] = 1.0 / alleles;
      }
    }
  }
}

void SAMPLING_ARGS(benchmark::internal::Benchmark* b) {
  b->ArgNames({"pops", "loci", "alleles", "diploids"});
  b->Args({6, 20, 10, 1000});  // msat drift
  b->Args({4, 100, 2, 500});   // snp drift
  b->Args({10, 10, 4, 5000});  // drift
  b->Args({6, 20, 100, 50});   // many alleles, small sample
}

void BM_SampleAlleles(benchmark::State& state) {
  SET_UP_SAMPLING(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                  static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
  SEED_RANDOM_GENERATOR(12345);
  for (auto _ : state) {
    SAMPLE_ALLELES();
    benchmark::DoNotOptimize(ALL_POPS_ACOUNT[1][1][1]);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1) * 2 * state.range(3));
}
BENCHMARK(BM_SampleAlleles)->Apply(SAMPLING_ARGS);

void BM_SampleAllelesStraightforward(benchmark::State& state) {
  SET_UP_SAMPLING(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                  static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
  std::mt19937 engine(12345);
  for (auto _ : state) {
    reference::SAMPLE_ALLELES_REFERENCE(engine, ALL_POPS_ACOUNT);
    benchmark::DoNotOptimize(ALL_POPS_ACOUNT[1][1][1]);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1) * 2 * state.range(3));
}
BENCHMARK(BM_SampleAllelesStraightforward)->Apply(SAMPLING_ARGS);

// A table like one locus of the workloads: `rows` samples of 100 gene
// copies spread over `columns` alleles.
template <class CHAIN>
void FILL_TABLE(CHAIN& chain, int rows, int columns) {
  std::mt19937 engine(static_cast<std::uint32_t>(rows * 1000 + columns));
  chain.N = static_cast<INT16>(rows);
  chain.M = static_cast<INT16>(columns);
  for (int i = 1; i <= rows; ++i) {
    for (int copy = 0; copy < 100; ++copy) ++chain.MM[i][1 + engine() % static_cast<unsigned>(columns)];
  }
  chain.UU1 = 17;
  chain.UU2 = 5;
  chain.UU3 = 142;
  chain.UU4 = 88;
  chain.MEM = 0;
  chain.B = 2;
}

constexpr INT32 STEPS_PER_BATCH = 50000;

void CHAIN_ARGS(benchmark::internal::Benchmark* b) {
  b->ArgNames({"rows", "columns"});
  b->Args({6, 10});  // msat
  b->Args({5, 2});   // snp panel
}

// One chain run of 2 batches of STEPS_PER_BATCH steps, per iteration, for
// the program's chain and for the straightforward one alike.
template <class CHAIN>
void TIME_CHAIN_STEPS(benchmark::State& state) {
  CHAIN chain;
  FILL_TABLE(chain, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  chain.C = STEPS_PER_BATCH;
  for (auto _ : state) {
    CHAIN copy = chain;
    copy.MAKE_RANDOM();
    copy.CHAINE();
    benchmark::DoNotOptimize(copy);
    benchmark::DoNotOptimize(HM);
  }
  state.SetItemsProcessed(state.iterations() * 2 * STEPS_PER_BATCH);
}

// The chain's draws are made, and the switch of every place chosen, a
// block at a time; per draw.
void BM_ChainBlockOfDraws(benchmark::State& state) {
  auto x = std::make_unique<std::array<INT32, exact_chain::LAG_VALUES>>();
  auto draws = std::make_unique<std::array<INT32, exact_chain::DRAW_BLOCK>>();
  std::mt19937 engine(12345);
  for (INT32& value : *x) value = static_cast<INT32>(engine() >> 8);
  for (auto _ : state) {
    exact_chain::THE_CHAIN_FORM().MAKE_DRAWS(x->data(), exact_chain::SEQUENCE_START, draws->data());
    benchmark::DoNotOptimize(draws->data());
  }
  state.SetItemsProcessed(state.iterations() * exact_chain::DRAW_BLOCK);
}
BENCHMARK(BM_ChainBlockOfDraws);

void BM_ChainBlockOfSwitches(benchmark::State& state) {
  auto draws = std::make_unique<std::array<INT32, exact_chain::DRAW_BLOCK>>();
  auto choices = std::make_unique<exact_chain::SWITCH_CHOICES>();
  std::mt19937 engine(12345);
  for (INT32& value : *draws) value = static_cast<INT32>(engine() >> 8);
  for (auto _ : state) {
    exact_chain::THE_CHAIN_FORM().CHOOSE_SWITCHES(draws->data(), static_cast<INT32>(state.range(0)),
                                                  static_cast<INT32>(state.range(1)), 0,
                                                  exact_chain::DRAW_BLOCK, *choices);
    benchmark::DoNotOptimize(choices->ADVANCE.data());
  }
  state.SetItemsProcessed(state.iterations() * exact_chain::DRAW_BLOCK);
}
BENCHMARK(BM_ChainBlockOfSwitches)->Apply(CHAIN_ARGS)->Args({2, 2})->Args({3, 2})->Args({3, 4})->Args({2, 4});

// The seeding of the chain's generator, once per tested locus.
template <class CHAIN>
void TIME_CHAIN_SEEDING(benchmark::State& state) {
  CHAIN chain;
  chain.UU1 = 17;
  chain.UU2 = 5;
  chain.UU3 = 142;
  chain.UU4 = 88;
  for (auto _ : state) {
    chain.MAKE_RANDOM();
    benchmark::DoNotOptimize(chain.U[97]);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ChainStep(benchmark::State& state) { TIME_CHAIN_STEPS<EXACT_TEST_STATE>(state); }
BENCHMARK(BM_ChainStep)->Apply(CHAIN_ARGS);

void BM_ChainStepStraightforward(benchmark::State& state) {
  TIME_CHAIN_STEPS<reference::REFERENCE_CHAIN>(state);
}
BENCHMARK(BM_ChainStepStraightforward)->Apply(CHAIN_ARGS);

// The shape table: chain cost per step over samples x alleles. Each shape
// has SHAPE_LOCI tables of `rows` samples of 50 diploids (100 gene copies)
// drawn from unequal allele frequencies, and an iteration runs the exact
// test of one of them (seeding, 0 dememorization steps, SHAPE_BATCHES
// batches of SHAPE_STEPS steps), the loci in turn.
constexpr int SHAPE_LOCI = 10;
constexpr INT32 SHAPE_BATCHES = 100;
constexpr INT32 SHAPE_STEPS = 1000;
constexpr int SHAPE_GENE_COPIES = 100;

// Biallelic loci have minor-allele frequencies from 0.05 to 0.5 over the
// loci; more alleles have frequencies falling as 1/k, so that a few common
// alleles stand beside rare ones.
std::vector<double> UNEQUAL_FREQUENCIES(int alleles, int locus, int loci = SHAPE_LOCI) {
  std::vector<double> p(static_cast<std::size_t>(alleles));
  if (alleles == 2) {
    p[0] = 0.05 + 0.45 * locus / (loci - 1);
    p[1] = 1.0 - p[0];
    return p;
  }
  double sum = 0.0;
  for (int k = 0; k < alleles; ++k) sum += 1.0 / (k + 1);
  for (int k = 0; k < alleles; ++k) p[static_cast<std::size_t>(k)] = 1.0 / (k + 1) / sum;
  return p;
}

template <class CHAIN>
void SAMPLE_SHAPE_TABLE(CHAIN& chain, int rows, int columns, int locus, int loci = SHAPE_LOCI) {
  std::mt19937 engine(static_cast<std::uint32_t>(rows * 10000 + columns * 100 + locus));
  const std::vector<double> p = UNEQUAL_FREQUENCIES(columns, locus, loci);
  chain.N = static_cast<INT16>(rows);
  chain.M = static_cast<INT16>(columns);
  for (int i = 1; i <= rows; ++i) {
    for (int copy = 0; copy < SHAPE_GENE_COPIES; ++copy) {
      double x = static_cast<double>(engine()) / 4294967296.0;
      int allele = 0;
      while (allele + 1 < columns && x >= p[static_cast<std::size_t>(allele)])
        x -= p[static_cast<std::size_t>(allele++)];
      ++chain.MM[static_cast<std::size_t>(i)][static_cast<std::size_t>(allele + 1)];
    }
  }
  chain.UU1 = static_cast<INT16>(1 + (locus * 37 + 16) % 168);
  chain.UU2 = static_cast<INT16>(1 + (locus * 53 + 4) % 168);
  chain.UU3 = static_cast<INT16>(1 + (locus * 71 + 141) % 168);
  chain.UU4 = static_cast<INT16>(1 + (locus * 89 + 87) % 168);
  chain.MEM = 0;
  chain.B = SHAPE_BATCHES;
  chain.C = SHAPE_STEPS;
}

void SHAPE_ARGS(benchmark::internal::Benchmark* b) {
  b->ArgNames({"samples", "alleles"});
  for (int samples : {2, 3, 4, 6, 10, 20})
    for (int alleles : {2, 3, 4, 6, 10, 20})
      if (samples <= MAX_POPS && alleles <= MAX_ALLELES) b->Args({samples, alleles});
}

template <class CHAIN, void (CHAIN::*WALK)() = &CHAIN::CHAINE>
void TIME_SHAPE(benchmark::State& state) {
  std::vector<std::unique_ptr<CHAIN>> loci;
  for (int locus = 0; locus < SHAPE_LOCI; ++locus) {
    loci.push_back(std::make_unique<CHAIN>());
    SAMPLE_SHAPE_TABLE(*loci.back(), static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                       locus);
  }
  auto chain = std::make_unique<CHAIN>();
  std::size_t locus = 0;
  for (auto _ : state) {
    *chain = *loci[locus];
    locus = (locus + 1) % loci.size();
    chain->MAKE_RANDOM();
    ((*chain).*WALK)();
    benchmark::DoNotOptimize(chain->HM);
  }
  state.SetItemsProcessed(state.iterations() * SHAPE_BATCHES * SHAPE_STEPS);
}

// The set-up of one locus's chain: seeding, the first block of draws and
// switches, the walk's table and handing the state back, with a chain of
// two batches of one step (and, for a short chain, of 100 dememorization
// steps and 10 batches of 100); per locus.
void BM_ChainSetUp(benchmark::State& state) {
  auto loci = std::make_unique<EXACT_TEST_STATE>();
  SAMPLE_SHAPE_TABLE(*loci, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 3);
  const bool short_chain = state.range(2) != 0;
  loci->MEM = short_chain ? 100 : 0;
  loci->B = short_chain ? 10 : 2;
  loci->C = short_chain ? 100 : 1;
  auto chain = std::make_unique<EXACT_TEST_STATE>();
  for (auto _ : state) {
    *chain = *loci;
    chain->MAKE_RANDOM();
    chain->CHAINE();
    benchmark::DoNotOptimize(chain->HM);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChainSetUp)
    ->ArgNames({"rows", "columns", "short_chain"})
    ->Args({6, 10, 0})
    ->Args({5, 2, 0})
    ->Args({6, 10, 1})
    ->Args({5, 2, 1});

void BM_ChainShape(benchmark::State& state) { TIME_SHAPE<EXACT_TEST_STATE>(state); }
BENCHMARK(BM_ChainShape)->Apply(SHAPE_ARGS);

// The program's chain with RHO summed step by step, a logarithm per made
// switch (from the cache of ratios), as before the bounded sum.
void BM_ChainShapeExactRho(benchmark::State& state) {
  TIME_SHAPE<EXACT_TEST_STATE, &EXACT_TEST_STATE::CHAINE_WITH_EXACT_RHO>(state);
}
BENCHMARK(BM_ChainShapeExactRho)->Apply(SHAPE_ARGS);

void BM_ChainShapeStraightforward(benchmark::State& state) { TIME_SHAPE<reference::REFERENCE_CHAIN>(state); }
BENCHMARK(BM_ChainShapeStraightforward)->Apply(SHAPE_ARGS);

// The exact tests of one replicate of a workload's design: its loci's
// tables (samples of 50 diploids, as SAMPLE_SHAPE_TABLE draws them), each
// chain 1000 / 100 / 1000 as the workloads run them, through the chain pool
// on every core, or by the straightforward path on one thread; per step.
// pairwise: 2 samples, 20 SNPs of minor-allele frequencies 0.05 to 0.5;
// msat4: 6 samples, 10 loci of 4 alleles.
template <class CHAIN>
std::vector<std::unique_ptr<CHAIN>> DESIGN_TABLES(int rows, int columns, int loci) {
  std::vector<std::unique_ptr<CHAIN>> tables;
  for (int locus = 0; locus < loci; ++locus) {
    tables.push_back(std::make_unique<CHAIN>());
    SAMPLE_SHAPE_TABLE(*tables.back(), rows, columns, locus, loci);
    tables.back()->MEM = 1000;
    tables.back()->B = 100;
    tables.back()->C = 1000;
  }
  return tables;
}

void WORKLOAD_ARGS(benchmark::internal::Benchmark* b) {
  b->ArgNames({"samples", "alleles", "loci"});
  b->Args({2, 2, 20});  // pairwise
  b->Args({6, 4, 10});  // msat4
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

constexpr std::int64_t WORKLOAD_STEPS_PER_LOCUS = 1000 + 100 * 1000;

void BM_WorkloadExactTests(benchmark::State& state) {
  const auto tables = DESIGN_TABLES<EXACT_TEST_STATE>(
      static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
  const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  CHAIN_POOL pool(threads);
  std::vector<std::unique_ptr<CHAIN_TASK>> tasks;
  for (std::size_t k = 0; k < tables.size(); ++k) tasks.push_back(std::make_unique<CHAIN_TASK>());
  for (auto _ : state) {
    for (std::size_t k = 0; k < tables.size(); ++k) {
      tasks[k]->STATE = *tables[k];
      pool.SUBMIT(*tasks[k]);
    }
    for (auto& task : tasks) pool.WAIT_FOR(*task);
    benchmark::DoNotOptimize(tasks.back()->STATE.HM);
  }
  state.counters["threads"] = threads;
  state.SetItemsProcessed(state.iterations() * state.range(2) * WORKLOAD_STEPS_PER_LOCUS);
}
BENCHMARK(BM_WorkloadExactTests)->Apply(WORKLOAD_ARGS);

void BM_WorkloadExactTestsStraightforward(benchmark::State& state) {
  const auto tables = DESIGN_TABLES<reference::REFERENCE_CHAIN>(
      static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
  auto chain = std::make_unique<reference::REFERENCE_CHAIN>();
  for (auto _ : state) {
    for (const auto& table : tables) {
      *chain = *table;
      chain->MAKE_RANDOM();
      chain->CHAINE();
      benchmark::DoNotOptimize(chain->HM);
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(2) * WORKLOAD_STEPS_PER_LOCUS);
}
BENCHMARK(BM_WorkloadExactTestsStraightforward)->Apply(WORKLOAD_ARGS);

void BM_ChainSeeding(benchmark::State& state) { TIME_CHAIN_SEEDING<EXACT_TEST_STATE>(state); }
BENCHMARK(BM_ChainSeeding);

void BM_ChainSeedingStraightforward(benchmark::State& state) {
  TIME_CHAIN_SEEDING<reference::REFERENCE_CHAIN>(state);
}
BENCHMARK(BM_ChainSeedingStraightforward);

}  // namespace
}  // namespace korvel

// `--chain-forms` prints the chain forms this processor runs, one a line
// (bench/run.sh times the shape table under each); anything else runs the
// benchmarks.
int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--chain-forms") {
    for (const char c : korvel::exact_chain::CHAIN_FORMS_THAT_RUN_HERE()) {
      if (c != ' ') std::putchar(c == ',' ? '\n' : c);
    }
    std::putchar('\n');
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

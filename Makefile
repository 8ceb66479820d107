# Two commands are all a user needs:
#   make demo   configure, build in Release, run korvel on examples/KORVEL.IN
#   make test   build everything and run every test
BUILD_RELEASE := build/release
BUILD_TEST    := build/test
BUILD_SAN     := build/sanitize
BUILD_TSAN    := build/sanitize-thread
BUILD_BENCH   := build/bench
DEMO_DIR      := demo-run
JOBS          ?= 2
# Tests spend much of their time waiting for the programs they start: twice
# as many at once as cores keeps the cores busy.
TEST_JOBS     ?= $(shell echo $$(( $(JOBS) * 2 )))

.PHONY: demo build test include-check sanitize sanitize-thread bench init-bench exact-settings install fuzz figure-check clean htslib format-check format r-check r-docs

# korvel-init reads VCF/BCF through htslib and korvel-sweep draws with
# cairo: installed here when missing and run as root, else the exact
# packages to install are named.
htslib:
	@sh tools/init/need_htslib.sh

build: htslib
	cmake -S . -B $(BUILD_RELEASE) -DCMAKE_BUILD_TYPE=Release -DKORVEL_TESTS=OFF
	cmake --build $(BUILD_RELEASE) -j $(JOBS)

demo: build
	rm -rf $(DEMO_DIR) && mkdir -p $(DEMO_DIR)
	cp examples/KORVEL.IN $(DEMO_DIR)/
	cd $(DEMO_DIR) && ../$(BUILD_RELEASE)/korvel
	@echo
	@echo "==== $(DEMO_DIR)/KORVEL.OUT ===="
	@cat $(DEMO_DIR)/KORVEL.OUT | tr -d '\r'

test: htslib
	cmake -S . -B $(BUILD_TEST) -DCMAKE_BUILD_TYPE=Test -DKORVEL_TESTS=ON -DKORVEL_WERROR=ON
	cmake --build $(BUILD_TEST) -j $(JOBS)
	cd $(BUILD_TEST) && ctest --output-on-failure -j $(TEST_JOBS)

# The tools and the libraries they use compiled source by source, never in
# batches: a file that uses what it does not include compiles in a batch
# behind another that does, and fails only here.
BUILD_ONE := build/one-by-one
include-check: htslib
	cmake -S . -B $(BUILD_ONE) -DCMAKE_BUILD_TYPE=IncludeCheck -DKORVEL_UNITY_BUILD=OFF -DKORVEL_TESTS=OFF -DKORVEL_WERROR=ON
	cmake --build $(BUILD_ONE) -j $(JOBS) --target korvel_tools_common korvel_sweep_lib korvel_init_lib

sanitize: htslib
	cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_TESTS=ON -DKORVEL_SANITIZE=ON -DKORVEL_WERROR=ON
	cmake --build $(BUILD_SAN) -j $(JOBS)
	cd $(BUILD_SAN) && ctest --output-on-failure -j $(JOBS)

# The tests that run the exact tests' chains on several threads, under the
# thread sanitizer; any report fails the run.
sanitize-thread: htslib
	cmake -S . -B $(BUILD_TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_TESTS=ON -DKORVEL_SANITIZE_THREAD=ON -DKORVEL_WERROR=ON
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target korvel-seeded korvel-ml-seeded \
	  test_e2e test_tests test_tests_ml test_control test_control_ml
	cd $(BUILD_TSAN) && TSAN_OPTIONS="halt_on_error=1 exitcode=66" ctest --output-on-failure -j $(JOBS) \
	  -R "^(e2e|std|ml)\.([a-z0-9-]+\.)?(ThreadIdentity|ChainPool|RunPipeline)\."

install: build
	cmake --install $(BUILD_RELEASE)

clean:
	rm -rf build $(DEMO_DIR)

# Bounded runs of the fuzz targets (libFuzzer; needs clang): the KORVEL.IN
# reader for FUZZ_SECONDS, then korvel-init's Genepop, population-map and
# VCF readers for FUZZ_INIT_SECONDS each, each from its seed corpus.
BUILD_FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_INIT_SECONDS ?= 30
FUZZ_INIT_TARGETS := genepop popmap vcf
fuzz: htslib
	cmake -S . -B $(BUILD_FUZZ) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_TESTS=OFF -DKORVEL_FUZZ=ON -DKORVEL_INIT=ON
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target korvel_in_fuzz $(FUZZ_INIT_TARGETS:%=%_fuzz)
	rm -rf $(BUILD_FUZZ)/corpus && mkdir -p $(BUILD_FUZZ)/corpus && cp fuzz/corpus/* $(BUILD_FUZZ)/corpus/
	$(BUILD_FUZZ)/korvel_in_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 $(CURDIR)/$(BUILD_FUZZ)/corpus
	set -e; for target in $(FUZZ_INIT_TARGETS); do \
	  rm -rf $(BUILD_FUZZ)/corpus-$$target && mkdir -p $(BUILD_FUZZ)/corpus-$$target && \
	  cp fuzz/corpus-$$target/* $(BUILD_FUZZ)/corpus-$$target/ && \
	  $(BUILD_FUZZ)/$${target}_fuzz -max_total_time=$(FUZZ_INIT_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -print_final_stats=1 $(CURDIR)/$(BUILD_FUZZ)/corpus-$$target; \
	done

# Runs the planning example of korvel-sweep and writes its figures as PNG,
# to look at.
figure-check: htslib
	bash tools/sweep/figure_check.sh

# Times the three workloads of bench/workloads and runs the micro-benchmarks;
# prints one table; then the planning search against a grid and the
# search's coverage against brute force (bench/search_coverage). Reports
# only: it never fails on time.
bench:
	JOBS=$(JOBS) bench/run.sh

# korvel-init on a made VCF of INIT_BENCH_SITES sites (default 1000000)
# against bcftools reading the same file: peak memory and wall time.
# Reports only.
init-bench: htslib
	JOBS=$(JOBS) bench/init_bench.sh

# False-positive rate of both combined tests on a SNP panel under no drift,
# for several exact-test chain settings (the README's table). Reports only.
exact-settings:
	JOBS=$(JOBS) bench/exact_settings.sh

# Layout of the C++ sources against .clang-format: format-check reports,
# format rewrites.
format-check:
	bash tools/format_check.sh

format:
	bash tools/format_check.sh --fix

# The R package in r/. R CMD build makes its tarball (the programs' sources
# go in through r/tools/sources); the tarball is installed into a scratch
# library the way a user installs it, its configure building the four
# programs from those sources alone; then R CMD check runs the examples,
# the vignette and the tests against them. Any ERROR, WARNING or NOTE, or a
# skipped test, fails.
#
# Only that install builds the programs: R CMD build (which builds the
# vignette) and R CMD check copy them (KORVEL_PROGRAMS) from R_PROGRAMS, a
# build folder that already holds them (CI passes make test's), else from
# the Release build, then from the scratch library.
R_LIB       := build/r-lib
R_CHECK_DIR := build/r-check
R_PROGRAMS  ?=
r-check: htslib r-docs
ifeq ($(R_PROGRAMS),)
	cmake -S . -B $(BUILD_RELEASE) -DCMAKE_BUILD_TYPE=Release -DKORVEL_TESTS=OFF
	cmake --build $(BUILD_RELEASE) -j $(JOBS) --target korvel korvel-ml korvel-init korvel-sweep
endif
	rm -rf $(R_LIB) $(R_CHECK_DIR) r/inst/bin && mkdir -p $(R_LIB) $(R_CHECK_DIR)
	# An empty local package repository: the check must not reach out to the network.
	mkdir -p $(R_CHECK_DIR)/repo/src/contrib && touch $(R_CHECK_DIR)/repo/src/contrib/PACKAGES
	echo 'options(repos = c(LOCAL = "file://$(CURDIR)/$(R_CHECK_DIR)/repo"))' > $(R_CHECK_DIR)/no-repos.R
	cd $(R_CHECK_DIR) && KORVEL_PROGRAMS=$(abspath $(or $(R_PROGRAMS),$(BUILD_RELEASE))) R CMD build $(CURDIR)/r
	rm -rf r/inst/bin
	cd $(R_CHECK_DIR) && KORVEL_BUILD_JOBS=$(JOBS) R CMD INSTALL --library=$(CURDIR)/$(R_LIB) korvel_*.tar.gz
	cd $(R_CHECK_DIR) && KORVEL_PROGRAMS=$(CURDIR)/$(R_LIB)/korvel/bin R_LIBS=$(CURDIR)/$(R_LIB) \
	  KORVEL_TARBALL=$$(ls $(CURDIR)/$(R_CHECK_DIR)/korvel_*.tar.gz) \
	  R_PROFILE_USER=$(CURDIR)/$(R_CHECK_DIR)/no-repos.R _R_CHECK_TESTS_NLINES_=0 \
	  R CMD check --no-manual korvel_*.tar.gz
	@status=$$(grep '^Status:' $(R_CHECK_DIR)/korvel.Rcheck/00check.log); echo "R CMD check $$status"; \
	  case "$$status" in *ERROR*|*WARNING*|*NOTE*) exit 1;; esac
	@grep -q 'SKIP 0 |' $(R_CHECK_DIR)/korvel.Rcheck/tests/testthat.Rout || \
	  { echo "R tests skipped:"; grep -A3 -i 'skip' $(R_CHECK_DIR)/korvel.Rcheck/tests/testthat.Rout; exit 1; }

# The package's NAMESPACE and man/ are written by roxygen2 from the comments
# in r/R and committed; this fails when they are out of date.
r-docs:
	@if Rscript -e 'quit(status = !requireNamespace("roxygen2", quietly = TRUE))'; then \
	  rm -rf build/r-docs && mkdir -p build/r-docs && cp -r r build/r-docs/ && \
	  Rscript -e 'roxygen2::roxygenise("build/r-docs/r")' >/dev/null 2>&1 && \
	  diff -r r/man build/r-docs/r/man && diff r/NAMESPACE build/r-docs/r/NAMESPACE || \
	  { echo "r/man or r/NAMESPACE is out of date: run Rscript -e 'roxygen2::roxygenise(\"r\")'"; exit 1; }; \
	else echo "roxygen2 not installed: r/man and r/NAMESPACE not compared"; fi

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

.PHONY: demo build test sanitize sanitize-thread bench exact-settings install fuzz figure-check clean htslib format-check format

# korvel-init reads VCF/BCF through htslib: installed here when missing and
# run as root, else the exact packages to install are named.
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
	cmake -S . -B $(BUILD_TEST) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_TESTS=ON -DKORVEL_WERROR=ON
	cmake --build $(BUILD_TEST) -j $(JOBS)
	cd $(BUILD_TEST) && ctest --output-on-failure -j $(JOBS)

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

# Bounded run of the KORVEL.IN fuzz target (libFuzzer; needs clang).
BUILD_FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
fuzz:
	cmake -S . -B $(BUILD_FUZZ) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_TESTS=OFF -DKORVEL_FUZZ=ON -DKORVEL_INIT=OFF
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target korvel_in_fuzz
	rm -rf $(BUILD_FUZZ)/corpus && mkdir -p $(BUILD_FUZZ)/corpus && cp fuzz/corpus/* $(BUILD_FUZZ)/corpus/
	$(BUILD_FUZZ)/korvel_in_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 $(CURDIR)/$(BUILD_FUZZ)/corpus

# Renders an example power curve of korvel-sweep to PNG with headless
# Chromium (installed from Debian's packages when missing), to look at.
figure-check:
	bash tools/sweep/figure_check.sh

# Times the three workloads of bench/workloads and runs the micro-benchmarks;
# prints one table. Reports only: it never fails on time.
bench:
	JOBS=$(JOBS) bench/run.sh

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

# Two commands are all a user needs:
#   make demo   configure, build in Release, run korvel on examples/KORVEL.IN
#   make test   build everything and run every test
BUILD_RELEASE := build/release
BUILD_TEST    := build/test
BUILD_SAN     := build/sanitize
BUILD_BENCH   := build/bench
DEMO_DIR      := demo-run
JOBS          ?= 2

.PHONY: demo build test sanitize bench install fuzz figure-check clean

build:
	cmake -S . -B $(BUILD_RELEASE) -DCMAKE_BUILD_TYPE=Release -DKORVEL_TESTS=OFF
	cmake --build $(BUILD_RELEASE) -j $(JOBS)

demo: build
	rm -rf $(DEMO_DIR) && mkdir -p $(DEMO_DIR)
	cp examples/KORVEL.IN $(DEMO_DIR)/
	cd $(DEMO_DIR) && ../$(BUILD_RELEASE)/korvel
	@echo
	@echo "==== $(DEMO_DIR)/KORVEL.OUT ===="
	@cat $(DEMO_DIR)/KORVEL.OUT | tr -d '\r'

test:
	cmake -S . -B $(BUILD_TEST) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_TESTS=ON
	cmake --build $(BUILD_TEST) -j $(JOBS)
	cd $(BUILD_TEST) && ctest --output-on-failure -j $(JOBS)

sanitize:
	cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DKORVEL_TESTS=ON -DKORVEL_SANITIZE=ON
	cmake --build $(BUILD_SAN) -j $(JOBS)
	cd $(BUILD_SAN) && ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD_RELEASE)

clean:
	rm -rf build $(DEMO_DIR)

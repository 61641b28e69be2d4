# make run   - installs what is missing, builds a release and starts the program
# make test  - the same set-up and build, then every test under Qt's offscreen platform
# make bench - the benchmarks, each figure beside a baseline measured in the same run
# make asan  - the test suite again under AddressSanitizer and UndefinedBehaviorSanitizer

JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: deps build run test bench asan clean

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/zorlin-file-sorter

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/zorlin-bench

asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZORLIN_SANITIZE=ON -DZORLIN_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS) --timeout 600

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

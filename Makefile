# make run   - installs what is missing, builds a release and starts the program
# make test  - the same set-up and build, then every test under Qt's offscreen platform
# make bench - the benchmarks, each figure beside a baseline measured in the same run
# make asan  - the test suite again under AddressSanitizer and UndefinedBehaviorSanitizer
# make fuzz  - each fuzz target for FUZZ_SECONDS (property records, pictures, DICOM, PICT, strings)

JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: deps build run test bench asan fuzz clean

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
	mkdir -p docs
	QT_QPA_PLATFORM=offscreen $(BUILD)/zorlin-bench --markdown docs/benchmarks.md

asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZORLIN_SANITIZE=ON -DZORLIN_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS) --timeout 600

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORLIN_FUZZ=ON \
	  -DZORLIN_TESTS=OFF -DZORLIN_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	mkdir -p $(FUZZ_BUILD)/corpus
	QT_QPA_PLATFORM=offscreen $(FUZZ_BUILD)/fuzz-seeds $(FUZZ_BUILD)/corpus
	cd $(FUZZ_BUILD) && for f in fuzz-*; do t=$${f#fuzz-}; [ "$$t" = seeds ] && continue; \
	  mkdir -p corpus/$$t; \
	  QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 ./$$f -max_total_time=$(FUZZ_SECONDS) \
	    -rss_limit_mb=4096 -timeout=20 -print_final_stats=1 corpus/$$t || exit 1; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# The two commands the README opens with, and a few more for developers.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps build demo test bench clean

deps:
	@bash scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Builds, writes a sample FITS frame, shows what the reader makes of it and renders it.
demo: build
	@bash scripts/demo $(BUILD)

# Builds and runs every test; then builds the Qt-free layer and nuvak-cli with their tests (and
# the fuzz corpus replays) without Qt and with AddressSanitizer and UndefinedBehaviorSanitizer, which
# stop at the first report, and runs them again.
test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUVAK_WITH_QT=OFF -DNUVAK_SANITIZE=ON >/dev/null
	@cmake --build $(BUILD)-asan -j $(JOBS)
	@cd $(BUILD)-asan && ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# Speed benchmarks, with the Python peer of the whole-process comparisons; not part of the tests.
bench: deps
	@bash scripts/install-deps bench
	@cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUVAK_TESTS=OFF -DNUVAK_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	@bash scripts/bench $(BUILD)-bench

# Every fuzz target under libFuzzer with the sanitizers, FUZZ_SECONDS each (default 60);
# fails on any finding and keeps the input in tests/fuzz/corpus/.
.PHONY: fuzz
fuzz: deps
	@JOBS=$(JOBS) bash scripts/fuzz $(BUILD)-fuzz

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-asan $(BUILD)-fuzz

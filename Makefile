# The two commands the README opens with, and a few more for developers.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# Compilers run through ccache where it is installed (evaluated when a recipe runs, after deps).
LAUNCHER = $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: deps build demo test bench clean format-check

deps:
	@bash scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Builds, writes a sample FITS frame, shows what the reader makes of it and renders it.
demo: build
	@bash scripts/demo $(BUILD)

# The C++ files this branch (on main: the last commit) changed are formatted as .clang-format says.
format-check: deps
	@bash scripts/check-format

# The sanitizer build at -O1 with line tables only: the level the sanitizers are made for, with
# file and line in every report, and compiled in less than half the time of -O2 -g.
ASAN_FLAGS = "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"

# Checks the format; builds with warnings as errors, runs clang-tidy on the changed files and
# every test; then builds the Qt-free layer and nuvak-cli with their tests (and the fuzz corpus
# replays) without Qt and with AddressSanitizer and UndefinedBehaviorSanitizer, which stop at
# the first report, and runs them again.
test: format-check
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUVAK_WERROR=ON $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@JOBS=$(JOBS) bash scripts/check-tidy $(BUILD)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(ASAN_FLAGS) -DNUVAK_WITH_QT=OFF \
		-DNUVAK_SANITIZE=ON -DNUVAK_WERROR=ON $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD)-asan -j $(JOBS)
	@cd $(BUILD)-asan && ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# Speed benchmarks, with the Python peer of the whole-process comparisons; not part of the tests.
bench: deps
	@bash scripts/install-deps bench
	@cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUVAK_TESTS=OFF -DNUVAK_BENCH=ON $(LAUNCHER) >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	@bash scripts/bench $(BUILD)-bench

# Every fuzz target under libFuzzer with the sanitizers, FUZZ_SECONDS each (default 60);
# fails on any finding and keeps the input in tests/fuzz/corpus/.
.PHONY: fuzz
fuzz: deps
	@JOBS=$(JOBS) bash scripts/fuzz $(BUILD)-fuzz

# The Windows build, cross-compiled with mingw-w64 against the libraries scripts/windows-deps
# builds into its cache (the first time: Qt's 30 minutes and more), and the zip a user unpacks
# (build-win/Nuvak-win64.zip); tests run under wine.
WIN_BUILD ?= build-win
.PHONY: windows windows-test
windows:
	@bash scripts/install-deps windows
	@cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake \
		-DNUVAK_WIN_PREFIX="$$(bash scripts/windows-deps --prefix)" $(LAUNCHER) >/dev/null
	@cmake --build $(WIN_BUILD) -j $(JOBS)
	@bash scripts/windows-zip $(WIN_BUILD) "$$(bash scripts/windows-deps --prefix)"

# The Qt-free test programs of the Windows build under wine; lists the tests that fail.
windows-test: build windows
	@JOBS=$(JOBS) bash scripts/windows-test $(WIN_BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-asan $(BUILD)-fuzz $(WIN_BUILD)

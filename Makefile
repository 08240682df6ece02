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

# Builds and runs every test; then proves that the Qt-free layer and its tests build and
# pass without Qt.
test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cmake -S . -B $(BUILD)-noqt -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUVAK_WITH_QT=OFF >/dev/null
	@cmake --build $(BUILD)-noqt -j $(JOBS)
	@cd $(BUILD)-noqt && ctest --output-on-failure -j $(JOBS)

# Speed benchmarks; not part of the tests.
bench: deps
	@cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUVAK_TESTS=OFF -DNUVAK_BENCH=ON >/dev/null
	@cmake --build $(BUILD)-bench -j $(JOBS)
	@bash scripts/bench $(BUILD)-bench

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-noqt

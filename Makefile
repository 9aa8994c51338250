# Thin wrapper around the CMake presets.
PRESET ?= default
JOBS ?= $(shell nproc)

.PHONY: deps configure build demo test test-asan win32 bench clean

deps:
	@sh scripts/install-deps.sh

configure: deps
	cmake --preset $(PRESET) >/dev/null

build: configure
	cmake --build --preset $(PRESET) -j $(JOBS)

demo: build
	./build/$(PRESET)/kovra run --out out
	./build/$(PRESET)/kovra run --scenario scenes/motorbike.scenario --out out/motorbike
	./build/$(PRESET)/kovra run --scenario scenes/menu.scenario --out out/menu

test: build win32
	ctest --preset $(PRESET) -j $(JOBS)

test-asan:
	$(MAKE) test PRESET=asan

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

bench: build
	for b in build/$(PRESET)/bench_*; do $$b --benchmark_min_time=0.2; done

clean:
	rm -rf build out

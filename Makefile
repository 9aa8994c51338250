# Thin wrapper around the CMake presets.
PRESET ?= default
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps configure build demo test test-asan win32 win64 bench instructions fuzz fuzz-build soak clean

deps:
	@sh scripts/install-deps.sh

configure: deps
	cmake --preset $(PRESET) >/dev/null

build: configure
	cmake --build --preset $(PRESET) -j $(JOBS)

demo: build
	./build/$(PRESET)/kovra run --html --out out
	./build/$(PRESET)/kovra run --html --scenario scenes/motorbike.scenario --out out/motorbike
	./build/$(PRESET)/kovra run --html --scenario scenes/menu.scenario --out out/menu

# The fuzz targets run a few seconds each first, so that no committed crash
# comes back. ctest's summary, and where this machine cannot run 32-bit
# programs the line that says which tests were skipped and why, end the run.
test: build win32 win64 fuzz-build
	sh fuzz/run.sh 3 --smoke
	@status=0; ctest --preset $(PRESET) -j $(JOBS) || status=$$?; \
	answer=$$(cat build/$(PRESET)/can-run-32bit.txt 2>/dev/null || true); \
	case "$$answer" in no:*) echo "32-bit Windows tests skipped: $${answer#no: }";; esac; \
	exit $$status

test-asan:
	$(MAKE) test PRESET=asan

win32 win64: deps
	cmake --preset $@ >/dev/null
	cmake --build --preset $@ -j $(JOBS)

fuzz-build: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

# Every fuzz target for FUZZ_SECONDS; what they find is kept in build/fuzz.
fuzz: fuzz-build
	sh fuzz/run.sh $(FUZZ_SECONDS)

# 100,000 pose property trials, then a million frames of vehicles coming and going.
soak: build
	KOVRA_POSE_TRIALS=100000 ./build/$(PRESET)/kovra_tests --gtest_filter='PoseProperty.*'
	./build/$(PRESET)/kovra_soak

bench: build
	for b in build/$(PRESET)/bench_*; do $$b --benchmark_min_time=0.2; done

# Instructions per posed driver and per two-bone solve, under callgrind.
instructions: build
	sh scripts/count-instructions.sh build/$(PRESET)

clean:
	rm -rf build out

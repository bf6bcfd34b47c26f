# The front door: `make test` and `make demo` install what is missing, configure, build and run.
# `make sanitize` builds and runs the whole suite under ASan+UBSan (clang), then under TSan
# (every test but those labelled "no_tsan", each with its reason where it opts out);
# `make coverage` runs the suite instrumented and prints line coverage.
PRESET ?= default
JOBS ?= $(shell nproc)
# Extra configure arguments for every preset, e.g. CMAKE_FLAGS=-DADC_WERROR=ON as CI passes.
# Configure keeps its cache, so a value given once stays until `make clean`.
CMAKE_FLAGS ?=
# Tests wait for loopback traffic only within bounds of real time, and a loaded two-core
# machine under the sanitizers can still run one out: a test that fails runs once more, and
# its first failure stays in the output (with what was still under way) so it can be found
# and mended. A test that fails twice fails the run.
CTEST_FLAGS ?= --output-on-failure --repeat until-pass:2

.PHONY: deps configure build test demo explore bench fuzz sanitize asan tsan coverage clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET) -j $(JOBS) $(CTEST_FLAGS)

demo: build
	@./build/$(PRESET)/apps/adhost/adhost

# Every client's explorer of event orders, EXPLORE_RUNS seeds each (default 2000), across the
# cores; prints each shrunk failing row with its seed and fails if there is any.
explore: build
	@bash scripts/explore.sh

# Runs the programs of the benches whose source is there (a build folder keeps the programs of
# benches since removed); a bench that cannot read its documents stops the run.
bench:
	@bash scripts/install-deps.sh bench
	@cmake --preset bench $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset bench -j $(JOBS)
	@for s in bench/bench_*.cpp; do b=build/bench/bench/$$(basename $$s .cpp); if [ -x "$$b" ]; then "$$b" || exit 1; fi; done

fuzz: deps
	@cmake --preset fuzz $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)

sanitize: asan tsan

# Any sanitizer report ends its test process with an error (see the presets' options), so
# CTest counts it as a failure. The sanitizer builds compile unoptimised with line tables
# only: on two cores their build, not their run, is what takes the time. ASan+UBSan builds
# with clang, TSan with the default compiler, so one CI run meets both compilers' warnings.
# TSan's wait at each process exit is cut to a tenth of a second: the tests join their
# threads before they end.
asan tsan: deps
	@cmake --preset $@ $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset $@ -j $(JOBS)
	@ctest --preset $@ -j $(JOBS) $(CTEST_FLAGS)

coverage:
	@bash scripts/install-deps.sh coverage
	@cmake --preset coverage $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset coverage -j $(JOBS)
	@find build/coverage -name '*.gcda' -delete
	@ctest --preset coverage -j $(JOBS) >build/coverage/ctest.log || { tail -40 build/coverage/ctest.log; exit 1; }
	@bash scripts/coverage-report.sh build/coverage

clean:
	@rm -rf build

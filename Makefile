# Top-level driver: `make check` sets up the machine, builds and runs every test.
BUILD   ?= build
RELEASE ?= build-release
JOBS    ?= $(shell nproc)

.PHONY: check demo demo-dnc deps configure build test release release-configure bench clean

# Each phase timed; the times printed at the end (tools/run-check).
check:
	@BUILD=$(BUILD) JOBS=$(JOBS) tools/run-check

# Builds the program as users run it (optimised, no sanitizers) and starts
# it on the demo station under $(RELEASE)/demo, with simulated machines on
# the demo's DNC ports; demo-dnc starts the same station as the DNC station.
# Only what the demo runs is built (CMake's demo_parts), not the tests.
demo: deps release-configure
	cmake --build $(RELEASE) -j $(JOBS) --target demo_parts
	@tools/run-demo $(RELEASE)

demo-dnc: deps release-configure
	cmake --build $(RELEASE) -j $(JOBS) --target demo_parts
	@tools/run-demo $(RELEASE) tramox

deps:
	@tools/install-deps deps/*.txt

configure:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_WERROR=ON

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test:
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The optimised build without sanitizers, for the demo and the benchmarks.
# Both builds fail on a compiler warning (KV_WERROR).
release: release-configure
	cmake --build $(RELEASE) -j $(JOBS)

release-configure:
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_SANITIZE=OFF -DKV_WERROR=ON

# Benchmarks run on demand only, built alone (CMake's bench_parts: the
# benchmarks and what they load). The table engine's are run at 1M rows too.
bench: deps release-configure
	cmake --build $(RELEASE) -j $(JOBS) --target bench_parts
	@for b in $$(find $(RELEASE)/bench -type f -name 'bench_*' -perm -u+x | sort); do echo "== $$b"; "$$b" || exit 1; done
	@for b in $(RELEASE)/bench/engine/bench_index_vs_sqlite $(RELEASE)/bench/engine/bench_query_vs_sqlite; do echo "== $$b 1000000"; "$$b" 1000000 5 || exit 1; done

clean:
	rm -rf $(BUILD) $(RELEASE) build-tsan

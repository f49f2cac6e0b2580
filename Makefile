# Top-level driver: `make check` sets up the machine, builds and runs every test.
BUILD   ?= build
RELEASE ?= build-release
JOBS    ?= $(shell nproc)

.PHONY: check demo demo-dnc deps configure build test release bench clean

# Each phase timed; the times printed at the end (tools/run-check).
check:
	@BUILD=$(BUILD) JOBS=$(JOBS) tools/run-check

# Builds the program as users run it (optimised, no sanitizers) and starts
# it on the demo station under $(RELEASE)/demo, with simulated machines on
# the demo's DNC ports; demo-dnc starts the same station as the DNC station.
demo: deps release
	@tools/run-demo $(RELEASE)

demo-dnc: deps release
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
release:
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_SANITIZE=OFF -DKV_WERROR=ON
	cmake --build $(RELEASE) -j $(JOBS)

# Benchmarks run on demand only. The table engine's are run at 1M rows too.
bench: deps release
	@for b in $$(find $(RELEASE)/bench -type f -name 'bench_*' -perm -u+x | sort); do echo "== $$b"; "$$b" || exit 1; done
	@for b in $(RELEASE)/bench/engine/bench_index_vs_sqlite $(RELEASE)/bench/engine/bench_query_vs_sqlite; do echo "== $$b 1000000"; "$$b" 1000000 5 || exit 1; done

clean:
	rm -rf $(BUILD) $(RELEASE) build-tsan

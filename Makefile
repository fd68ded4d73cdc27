# Quick start: `make run` runs the demonstration, `make test` builds and runs every test.
# Both install the Debian packages the build needs first (when run as root).

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
TIDY_BUILD ?= build-tidy
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
PACKAGES   := g++ make cmake ninja-build pkg-config libicu-dev libgtest-dev libbenchmark-dev libsqlite3-dev clang libclang-rt-14-dev clang-format clang-tidy

# The sanitizer build's test programs use a precompiled header; ccache caches such compilations
# only when told to ignore the macros and time stamps inside it.
export CCACHE_SLOPPINESS ?= pch_defines,time_macros

.PHONY: all deps configure build run test test-sanitize bench fuzz format format-check tidy clean

# The C++ sources that the formatter and the static analysis look at.
SOURCES = $(shell git ls-files '*.cpp' '*.h')

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
		dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
		if [ "$$(id -u)" = 0 ]; then \
			echo "Installing:$$missing"; \
			apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
		else \
			echo "Missing Debian packages. Run:"; \
			echo "  sudo apt-get install -y$$missing"; \
			exit 1; \
		fi; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The demonstration: the bundled news server on a free loopback port, an account for it in a
# data root inside the build folder, a fetch, and a newsgroup's messages and articles shown.
run: build
	@bash demo/run-demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Under the sanitizers every test program runs as a whole, in one process (so that a test leaving
# process-wide state behind shows up there), twice as many at once as there are cores: they
# spend much of their time waiting on sockets and timers.
test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLFERN_SANITIZE=ON \
		-DQUILLFERN_WHOLE_PROGRAMS=ON -DQUILLFERN_TEST_PCH=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $$(( $(JOBS) * 2 ))

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLFERN_BENCH=ON -DQUILLFERN_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)

# Every fuzz target runs for FUZZ_SECONDS from its seed corpus; new inputs it finds go to a scratch
# folder, never into the committed corpus. A crash stops the run with the input left in $(FUZZ_BUILD).
# With FUZZ_RUNS=N each runs N inputs from a fixed seed instead, the same inputs every time (for CI).
ifdef FUZZ_RUNS
FUZZ_LIMIT = -seed=1 -runs=$(FUZZ_RUNS)
else
FUZZ_LIMIT = -max_total_time=$(FUZZ_SECONDS)
endif
# FUZZ_TYPE=Debug compiles in half the time, for short runs (CI); long runs want the optimised build.
FUZZ_TYPE ?= RelWithDebInfo
FUZZ_TARGETS = $(notdir $(basename $(wildcard tests/fuzz/*Fuzz.cpp)))

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(FUZZ_TYPE) \
		-DQUILLFERN_FUZZ=ON -DQUILLFERN_TESTS=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS)
	@set -e; for t in $(FUZZ_BUILD)/tests/fuzz/*Fuzz; do \
		name=$$(basename $$t); work=$(FUZZ_BUILD)/work/$$name; \
		rm -rf $$work; mkdir -p $$work; \
		echo "fuzz: $$name $(FUZZ_LIMIT)"; \
		( cd $(FUZZ_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
			./tests/fuzz/$$name $(FUZZ_LIMIT) -max_len=65536 -rss_limit_mb=2048 \
			$(CURDIR)/$$work $(CURDIR)/tests/fuzz/corpus/$$name >$(CURDIR)/$$work.log 2>&1 ) \
			|| { tail -n 40 $$work.log; exit 1; }; \
		grep -E '^(Done|INFO: .*runs)' $$work.log | tail -n 1 || true; \
	done

# The house style is .clang-format; format-check fails on any file that differs from it.
format: deps
	clang-format -i $(SOURCES)

format-check: deps
	clang-format --dry-run --Werror $(SOURCES)

# .clang-tidy's checks over every source file (the program, tests, fuzz targets, benchmarks and
# the demonstration server), JOBS files at a time; any finding fails. It reads the compile commands
# of a configuration of its own with everything turned on, so it needs no build. TIDY_FILES (a
# pattern over the files' full paths) narrows it, e.g. to one file.
TIDY_FILES ?= $(CURDIR)/(vantorlib|engine|models|shell|tests|bench|demo)/
tidy: deps
	CC=clang CXX=clang++ cmake -S . -B $(TIDY_BUILD) -G Ninja -DQUILLFERN_BENCH=ON -DQUILLFERN_FUZZ=ON \
		-DQUILLFERN_TEST_PCH=OFF >/dev/null
	run-clang-tidy -quiet -p $(TIDY_BUILD) -j $(JOBS) '$(TIDY_FILES)' \
		> $(TIDY_BUILD)/tidy.log 2>&1 || { grep -E -A3 '(error|warning):' $(TIDY_BUILD)/tidy.log | head -n 200; exit 1; }
	@echo "tidy: no findings"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BUILD)-bench $(FUZZ_BUILD) $(TIDY_BUILD)

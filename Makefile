# Quick start: `make run` runs the demonstration, `make test` builds and runs every test.
# Both install the Debian packages the build needs first (when run as root).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
PACKAGES   := g++ make cmake ninja-build pkg-config libicu-dev libgtest-dev libbenchmark-dev

.PHONY: all deps configure build run test test-sanitize bench clean

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

# The demonstration: start the engine on a data root inside the build folder and show its tree.
run: build
	@rm -rf $(BUILD)/demo-root
	$(BUILD)/quillfern --root $(BUILD)/demo-root init
	@cd $(BUILD)/demo-root && find . | sort

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLFERN_SANITIZE=ON

test-sanitize: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLFERN_BENCH=ON -DQUILLFERN_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BUILD)-bench

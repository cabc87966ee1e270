# Two entry points: `make run` and `make test`. Both set everything up first.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")

.PHONY: run test setup configure build bench clean

setup:
	@bash tools/setup.sh

configure: setup
	@if [ ! -f $(BUILD_DIR)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD_DIR) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release; \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@bash tools/run.sh $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD_DIR)/bench/kelvora_bench

clean:
	rm -rf $(BUILD_DIR)

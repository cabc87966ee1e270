# Two entry points: `make run` and `make test`. Both set everything up first.
# Hardening: `make test-sanitize` (the tests under AddressSanitizer + UndefinedBehaviorSanitizer, the wavelet
# engine's and the analysis run's tests under ThreadSanitizer) and `make fuzz` (each libFuzzer target for
# FUZZ_SECONDS); both use clang.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")

ASAN_DIR ?= build-asan
TSAN_DIR ?= build-tsan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 30
# Library, CLI and tests only: no Qt, no benchmarks.
NO_QT := -DKELVORA_BUILD_APP=OFF -DKELVORA_BUILD_BENCH=OFF
SAN_COMMON := -fno-omit-frame-pointer -fno-sanitize-recover=undefined

PREFIX ?= /usr/local

.PHONY: run test setup configure build bench clean test-sanitize test-asan test-tsan fuzz install package

setup:
	@bash tools/setup.sh

# Configures when the build folder has no build files yet (also after a configuration that stopped with an error).
configure: setup
	@if [ ! -f $(BUILD_DIR)/build.ninja ] && [ ! -f $(BUILD_DIR)/Makefile ]; then \
	  cmake -S . -B $(BUILD_DIR) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release; \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@bash tools/run.sh $(BUILD_DIR)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Installs the programs, examples, help texts, menu entry, icons and manual page under PREFIX (DESTDIR is honoured).
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A Debian package (build/kelvora_<version>_<arch>.deb) with its Depends worked out by dpkg-shlibdeps.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

bench: build
	$(BUILD_DIR)/bench/kelvora_bench

test-sanitize: test-asan test-tsan

test-asan:
	@bash tools/setup.sh sanitize
	@if [ ! -f $(ASAN_DIR)/CMakeCache.txt ]; then \
	  CC=clang CXX=clang++ cmake -S . -B $(ASAN_DIR) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo $(NO_QT) \
	    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined $(SAN_COMMON)" \
	    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"; \
	fi
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer needs a fixed address layout on kernels with many random mmap bits: run under setarch -R.
test-tsan:
	@bash tools/setup.sh sanitize
	@if [ ! -f $(TSAN_DIR)/CMakeCache.txt ]; then \
	  CC=clang CXX=clang++ cmake -S . -B $(TSAN_DIR) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo $(NO_QT) \
	    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"; \
	fi
	cmake --build $(TSAN_DIR) -j $(JOBS) --target kelvora_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 setarch $$(uname -m) -R \
	  $(TSAN_DIR)/tests/kelvora_tests --gtest_filter='Wavelet*:WaveLet*:FinishWaveLetT*:RunProgress*:ParallelTasks*:Fft*:Furie*:RecordAnalysis*'

fuzz:
	@bash tools/setup.sh fuzz
	@if [ ! -f $(FUZZ_DIR)/CMakeCache.txt ]; then \
	  CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo $(NO_QT) \
	    -DKELVORA_BUILD_TESTS=OFF -DKELVORA_BUILD_FUZZ=ON \
	    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined $(SAN_COMMON)" \
	    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"; \
	fi
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target kelvora_fuzzers
	bash tools/fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(FUZZ_DIR)

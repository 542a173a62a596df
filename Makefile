# Lirvo - the commands a newcomer needs. See README.md.
BUILD      ?= build
TEST_DIR   := $(BUILD)/test
REL_DIR    := $(BUILD)/release
BENCH_DIR  := $(BUILD)/bench
FUZZ_DIR   := $(BUILD)/fuzz
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
FUZZ_SECONDS ?= 300

.PHONY: all deps test run bench fuzz clean

all: run

deps:
	@bash tools/install-deps.sh

# Sanitized debug build with every test.
test: deps
	cmake -S . -B $(TEST_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DLIRVO_SANITIZE=ON -DLIRVO_TESTS=ON
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

# Release build, then start the player.
run: deps
	cmake -S . -B $(REL_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DLIRVO_TESTS=OFF
	cmake --build $(REL_DIR) -j $(JOBS)
	@bash tools/run-player.sh $(REL_DIR)

bench: deps
	cmake -S . -B $(BENCH_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DLIRVO_TESTS=ON -DLIRVO_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS) --target benchmarks
	@bash tools/run-benchmarks.sh $(BENCH_DIR)

# libFuzzer builds of every fuzz target, each run for FUZZ_SECONDS.
fuzz: deps
	@bash tools/install-deps.sh clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DLIRVO_SANITIZE=ON -DLIRVO_LIBFUZZER=ON -DLIRVO_TESTS=ON -DLIRVO_APP=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	@bash tools/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD)

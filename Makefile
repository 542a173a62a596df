# Lirvo - the commands a newcomer needs. See README.md.
BUILD      ?= build
TEST_DIR   := $(BUILD)/test
TSAN_DIR   := $(BUILD)/tsan
REL_DIR    := $(BUILD)/release
BENCH_DIR  := $(BUILD)/bench
FUZZ_DIR   := $(BUILD)/fuzz
JOBS       ?= $(shell nproc)
# ccache, where installed, makes rebuilds after a fresh clone cheap; it is optional.
CCACHE     := $(shell command -v ccache 2>/dev/null)
CMAKE_GEN  := -G Ninja $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE))
FUZZ_SECONDS ?= 300

.PHONY: all deps test tsan run bench fuzz clean

all: run

deps:
	@bash tools/install-deps.sh

# Sanitized debug build with every test.
test: deps
	cmake -S . -B $(TEST_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DLIRVO_SANITIZE=ON -DLIRVO_TESTS=ON
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer build of the tests that exercise our threads: audio library (also through a
# private PulseAudio server), engine, lyric
# workers, message port and controller. Run it whenever you touch threads.
TSAN_TESTS := audiolib_decoding_tests audiolib_library_tests audiolib_pulse_tests audio_module_tests audio_engine_tests \
              audio_engine_real_tests lyrics_worker_tests platform_tests \
              shell_controller_tests shell_real_library_tests lyric_services_tests
tsan: deps
	cmake -S . -B $(TSAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DLIRVO_TSAN=ON -DLIRVO_TESTS=ON -DLIRVO_APP=OFF
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TESTS)
	cd $(TSAN_DIR) && ctest --output-on-failure -j $(JOBS) -L '^($(subst $(eval) ,|,$(strip $(TSAN_TESTS))))$$'

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

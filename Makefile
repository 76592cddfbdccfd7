# The two commands the README promises. Everything else is CMake.
#   make demo   build, then run the tour on the bundled sample data
#   make test   build and run every test, then the suite again under ASan + UBSan, then the
#               tests of the threaded code under TSan
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CMAKE_FLAGS ?=

.PHONY: all deps build demo test test-release test-sanitize test-threads bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
	  -DNARWICK_STRICT_SOURCES=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@bash scripts/demo.sh $(BUILD)

test: test-release test-sanitize test-threads

test-release: build
	bash scripts/run-tests.sh $(BUILD)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" \
	  -DNARWICK_SANITIZE=address,undefined \
	  -DNARWICK_BUILD_TOOLS=OFF -DNARWICK_STRICT_SOURCES=ON $(CMAKE_FLAGS)

test-sanitize: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	bash scripts/run-tests.sh $(ASAN_BUILD)

# The tests that run threads (the LZ coder split over threads, the HE3 file functions' two
# halves, the file layer's I/O thread) under ThreadSanitizer; the single-threaded codec tests
# of the same programs would only add time.
$(TSAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
	  -DNARWICK_SANITIZE=thread -DNARWICK_BUILD_TOOLS=OFF -DNARWICK_STRICT_SOURCES=ON $(CMAKE_FLAGS)

test-threads: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target lz_test huffman_test compress_common_test
	bash scripts/run-thread-tests.sh $(TSAN_BUILD) \
	  '^(Buffered|He3File|He3Streaming|HuffmanCompression|HuffmanFile|LzCompression|LzFile|LzSplitEncoder)'

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNARWICK_BUILD_BENCHMARKS=ON -DNARWICK_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	bash bench/run.sh build-bench

# Coverage-guided fuzzing with clang's libFuzzer, ASan and UBSan; FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 60
fuzz:
	@bash scripts/install-deps.sh clang
	bash scripts/fuzz.sh --seconds $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-bench build-fuzz

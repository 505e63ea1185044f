# make test: install what is missing, build and test, then the same under the sanitizers.
# make run:  build vela and show the best schedule of an example.
JOBS ?= $(shell nproc)
PACKAGES := flex bison graphviz cmake ninja-build g++ libgtest-dev clang libclang-rt-14-dev \
	openjdk-17-jdk-headless locales
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp

.PHONY: all test deps build build-sanitize test-plain test-sanitize clean run bench compare

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
		echo "installing:$$missing"; \
		apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

build/build.ninja:
	cmake -S . -B build -G Ninja

build-sanitize/build.ninja:
	cmake -S . -B build-sanitize -G Ninja -DVELA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

build: deps build/build.ninja
	cmake --build build -j $(JOBS)

build-sanitize: deps build-sanitize/build.ninja
	cmake --build build-sanitize -j $(JOBS)

test-plain: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize: build-sanitize
	cd build-sanitize && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

test: test-plain test-sanitize

clean:
	rm -rf build build-sanitize build-fuzz build-bench

# make fuzz [FUZZ_SECONDS=N]: fuzz the task-structure reader for N seconds (clang,
# libFuzzer) in build-fuzz/; a finding stops it with a non-zero status and leaves its
# reproducer in build-fuzz/. New inputs go to build-fuzz/corpus, and the committed corpus
# is then replaced by the minimised merge of both. Leaks are not findings here: a designed
# stop abandons a half-built model.
FUZZ_SECONDS ?= 60
FUZZ_CORPUS := tests/language/fuzz_corpus

.PHONY: fuzz
fuzz: deps
	@test -f build-fuzz/build.ninja || \
		CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVELA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS) --target vorna_reader_fuzzer
	mkdir -p build-fuzz/corpus
	ASAN_OPTIONS=detect_leaks=0 build-fuzz/vorna_reader_fuzzer -max_total_time=$(FUZZ_SECONDS) -detect_leaks=0 -timeout=10 \
		-close_fd_mask=3 -artifact_prefix=$(CURDIR)/build-fuzz/ build-fuzz/corpus $(FUZZ_CORPUS)
	rm -rf build-fuzz/corpus-min && mkdir -p build-fuzz/corpus-min
	ASAN_OPTIONS=detect_leaks=0 build-fuzz/vorna_reader_fuzzer -merge=1 -detect_leaks=0 -timeout=10 -close_fd_mask=3 \
		build-fuzz/corpus-min $(FUZZ_CORPUS) build-fuzz/corpus
	rm -f $(FUZZ_CORPUS)/* && cp build-fuzz/corpus-min/* $(FUZZ_CORPUS)/

# make run [EXAMPLE=path]: vela on the example, its files in build/run/NAME.*, the console
# in build/run/NAME.console; prints the best schedule's listing. A failed run shows the
# console's tail and fails.
EXAMPLE ?= examples/quality_or_speed.tvorna
RUN_NAME := $(basename $(notdir $(EXAMPLE)))

run: build
	@mkdir -p build/run
	@status=0; build/vela $(EXAMPLE) build/run/$(RUN_NAME) > build/run/$(RUN_NAME).console 2>&1 || status=$$?; \
	if [ $$status -ne 0 ]; then \
		tail -n 25 build/run/$(RUN_NAME).console; \
		echo "vela ended with status $$status on $(EXAMPLE)"; exit 1; \
	fi; \
	echo "Best schedule of $(EXAMPLE):"; echo; \
	awk '/^Schedule .*, Rating /{n++} n==1' build/run/$(RUN_NAME).schedules_for_people; \
	echo "All files of the run: build/run/$(RUN_NAME).*"

# make bench [BENCH_LIMIT=S] [BENCH_ONLY=sizes|cliffs|micro]: vela on the bench's task
# structures (25 to 1,600 methods, three seeds each) and on the shapes that used to fall off
# cliffs; seconds, peak memory and combines per run, growth exponents, and the
# micro-benchmark of the distribution combine. Built in build-bench/, with the count of the
# combines really made; a run past BENCH_LIMIT seconds (300) prints "> 300 s".
BENCH_LIMIT ?= 300
BENCH_ONLY ?=

build-bench/build.ninja:
	cmake -S . -B build-bench -G Ninja -DVELA_COUNT_COMBINES=ON

bench: deps build-bench/build.ninja
	cmake --build build-bench -j $(JOBS) --target vela combine_bench
	@python3 tools/bench.py build-bench/vela build-bench/runs --limit $(BENCH_LIMIT) \
		--combine-bench build-bench/combine_bench $(if $(BENCH_ONLY),--only $(BENCH_ONLY))

# make compare BASE=path/to/other/vela [COMPARE_JOBS=N] [COMPARE_LIMIT=S]: every output of
# build/vela against those of BASE on the whole-run cases, the examples, the bench's
# structures and random ones, with the analysis off and on and, when small, in the
# exhaustive modes; prints each difference and fails on any.
COMPARE_JOBS ?= 4
COMPARE_LIMIT ?= 300

compare: build
	@test -n "$(BASE)" || { echo "make compare needs BASE=path/to/other/vela"; exit 2; }
	@python3 tools/compare.py $(BASE) build/vela --jobs $(COMPARE_JOBS) --time-limit $(COMPARE_LIMIT)

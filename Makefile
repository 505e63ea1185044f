# make test: install what is missing, build and test, then the same under the sanitizers.
# make run:  build and run vela on an example.
JOBS ?= $(shell nproc)
PACKAGES := flex bison graphviz cmake ninja-build g++ libgtest-dev clang
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp

.PHONY: all test deps build build-sanitize test-plain test-sanitize clean

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
	rm -rf build build-sanitize build-fuzz

# Thin wrapper around CMake. `make test` and `make demo` install what a fresh Debian 12 lacks.
BUILD ?= build
SAN_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

# Debian's qt6-charts-dev needs libqt6opengl6-dev for its CMake files but does not pull it in.
DEB_PACKAGES := cmake ninja-build g++ make qt6-base-dev qt6-serialport-dev \
	qt6-charts-dev libqt6opengl6-dev qt6-multimedia-dev \
	fonts-liberation fonts-liberation2 xdg-utils \
	libreoffice-calc libreoffice-core libreoffice-dev \
	dpkg-dev binutils locales \
	desktop-file-utils lintian man-db
# The fuzzers need clang with its libFuzzer runtime.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz target runs: FUZZ_SECONDS for `make fuzz`, a few for the
# smoke run inside `make test`.
FUZZ_SECONDS ?= 300
FUZZ_SMOKE_SECONDS ?= 5

.PHONY: all deps fuzz-deps build test demo bench clean test-sanitize fuzz package install

all: build

deps:
	@./tools/install-deps.sh $(DEB_PACKAGES)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

fuzz-deps:
	@./tools/install-deps.sh $(FUZZ_PACKAGES)

# Tests and fuzz run in a temporary folder of their own; the run fails when
# they leave anything there (see tools/run-tests.sh).
test: build fuzz-deps
	./tools/run-tests.sh $(BUILD) $(JOBS) $(FUZZ_SMOKE_SECONDS) $(FUZZ_BUILD)

fuzz: fuzz-deps
	JOBS=$(JOBS) ./tools/fuzz.sh $(FUZZ_SECONDS) $(FUZZ_BUILD)

demo: build
	./tools/demo.sh $(BUILD)

bench: build
	./tools/run-bench.sh $(BUILD)

# The Debian package (CPack) lands in $(BUILD); install it with
# `sudo apt install ./$(BUILD)/orven5927_*.deb`.
package: build
	cmake --build $(BUILD) --target package

# The same files into a prefix: `make install PREFIX=$$HOME/.local`, or
# DESTDIR=/some/root for a staged install.
PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# Suppressions cover only libraries that are not ours (see the files).
SAN_ENV := LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1

# Tests that measure their own memory: AddressSanitizer keeps freed blocks
# out of reuse for a while (256 MB by default), which reads as growth, so
# these run with a small quarantine; every other check stays as it is.
SAN_MEMORY_TESTS := ^faults_test_line_garbage$$

test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DORVEN_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && $(SAN_ENV) ASAN_OPTIONS=detect_leaks=1 QT_QPA_PLATFORM=offscreen \
		ctest --output-on-failure -j $(JOBS) -E '$(SAN_MEMORY_TESTS)'
	cd $(SAN_BUILD) && $(SAN_ENV) ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=1 QT_QPA_PLATFORM=offscreen \
		ctest --output-on-failure -R '$(SAN_MEMORY_TESTS)'

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)

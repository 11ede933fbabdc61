# Thin wrapper around CMake. `make test` and `make demo` install what a fresh Debian 12 lacks.
BUILD ?= build
SAN_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

DEB_PACKAGES := cmake ninja-build g++ make qt6-base-dev qt6-serialport-dev \
	fonts-liberation fonts-liberation2 xdg-utils \
	libreoffice-calc libreoffice-core libreoffice-dev

.PHONY: all deps build test demo bench clean test-sanitize

all: build

deps:
	@./tools/install-deps.sh $(DEB_PACKAGES)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

demo: build
	./tools/demo.sh $(BUILD)

bench: build
	./tools/run-bench.sh $(BUILD)

test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DORVEN_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD)

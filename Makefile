# make run    installs what is missing, builds, and runs a default study on the shipped data
# make test   installs what is missing, builds, and runs every test
# make bench  builds and runs the benchmarks
# make package      builds the Debian package $(BUILD)/korvane_<version>_<arch>.deb
# make install      installs into $(PREFIX) (default /usr/local; DESTDIR is honoured)
# The bootstrap installs missing Debian packages only when apt is there;
# `make BOOTSTRAP_FLAGS=--cli-only` leaves out the desktop program's and the
# analysis tools' packages.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
BOOTSTRAP_FLAGS ?=
CMAKE_FLAGS ?=
ifeq ($(CI),true)
  CMAKE_FLAGS += -DKORVANE_WERROR=ON
endif

.PHONY: all bootstrap configure build run test test-sanitize bench package install clean

all: build

bootstrap:
	@scripts/bootstrap $(BOOTSTRAP_FLAGS)

configure: bootstrap
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/src/cli/korvane qual

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The unit tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: bootstrap
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON -DKORVANE_BUILD_BENCH=OFF \
	  -DKORVANE_BUILD_GUI=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -LE 'tools|package'

bench: build
	@bench/run-benchmarks $(BUILD)

package: build
	@cd $(BUILD) && cpack

install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

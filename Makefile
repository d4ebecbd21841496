# make run    installs what is missing, builds, and runs a default study on the shipped data
# make test   installs what is missing, builds, and runs every test
# make bench  builds and runs the benchmarks
# make check  the layers, the format and clang-tidy, as CI checks them; make format applies the format
# make test-sanitize, make test-tsan   the unit tests under ASan + UBSan, the threaded ones under TSan
# make package      builds the Debian package $(BUILD)/korvane_<version>_<arch>.deb
# make install      installs into $(PREFIX) (default /usr/local; DESTDIR is honoured)
# The bootstrap installs missing Debian packages only when apt is there;
# `make BOOTSTRAP_FLAGS=--cli-only` leaves out the desktop program's and the
# analysis tools' packages.

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local
BOOTSTRAP_FLAGS ?=
CMAKE_FLAGS ?=
ifeq ($(CI),true)
  CMAKE_FLAGS += -DKORVANE_WERROR=ON
endif

.PHONY: all bootstrap configure build run test test-sanitize test-tsan check format bench package install clean

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

# The unit tests under AddressSanitizer and UndefinedBehaviorSanitizer. The
# statistics tier (thousands of replicates, its point is their distribution)
# runs in `make test`; the code it runs is run here by the unit and golden tests.
test-sanitize: bootstrap
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON -DKORVANE_BUILD_BENCH=OFF \
	  -DKORVANE_BUILD_GUI=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -LE 'tools|package|statistics'

# The tests of the threaded code (the work team, generations built in parts,
# writers on a team, runs of several workers, the golden replicates) under
# ThreadSanitizer; only their programs are built.
TSAN_TARGETS := parallel_tests population_tests output_tests qual_tests quan_tests golden_tests
test-tsan: bootstrap
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_TSAN=ON -DKORVANE_BUILD_BENCH=OFF \
	  -DKORVANE_BUILD_GUI=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	@cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -L threads

# The include direction of the layers, the format, and clang-tidy on src/.
check: configure
	@scripts/check-layers
	@scripts/check-format
	@scripts/check-tidy $(BUILD)

format:
	@scripts/check-format --fix

bench: build
	@bench/run-benchmarks $(BUILD)

package: build
	@cd $(BUILD) && cpack

install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)

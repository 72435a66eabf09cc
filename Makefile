# Front door.
#   make          build the programs (Release) into build/bin
#   make test     build and run every test, once plainly and once under
#                 AddressSanitizer and UndefinedBehaviorSanitizer; installs the
#                 Python module's Debian packages first when they are missing
#   make demo     run dremmick then quorvel on the bundled example
#   make bench    time both programs (and the Python module's read_fixed) on
#                 generated 2,000,000-line files
#   make fuzz     run every fuzz target for a bounded time
#   make install  install programs, library, man pages and the Python module
#                 under PREFIX
BUILD      ?= build
SAN_BUILD  ?= build-san
JOBS       ?= 2
PREFIX     ?= /usr/local
CMAKE      ?= cmake
CTEST      ?= ctest
FUZZ_SECONDS ?= 60

.PHONY: all build python-packages test test-release test-sanitize demo plot bench bench-large fuzz install clean

all: build

build:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j $(JOBS)

# The system Python's development files, numpy, pytest and pybind11: installed
# when missing and permitted, otherwise one line says what to install and the
# run fails.
python-packages:
	sh python/ensure_packages.sh

test-release: python-packages build
	$(CTEST) --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(JOBS)

# The slow exhaustive tests run once, in the Release build.
test-sanitize:
	$(CMAKE) -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRIANGLE_SANITIZE=ON
	$(CMAKE) --build $(SAN_BUILD) -j $(JOBS)
	$(CTEST) --test-dir $(SAN_BUILD) --output-on-failure --no-tests=error -j $(JOBS) -LE slow

test: test-release test-sanitize

demo: build
	sh examples/demo.sh $(BUILD)

plot:
	sh examples/plot.sh $(REPORT)

bench: build
	sh bench/run.sh $(BUILD) 2000000

bench-large: build
	sh bench/run.sh $(BUILD) 10000000

fuzz:
	sh tests/fuzz/run.sh $(FUZZ_SECONDS)

install: build
	$(CMAKE) --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(SAN_BUILD)

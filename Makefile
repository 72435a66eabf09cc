# Front door. `make` builds the programs (Release) into build/bin,
# `make test` builds and runs every test, once plainly and once under
# AddressSanitizer and UndefinedBehaviorSanitizer.
BUILD      ?= build
SAN_BUILD  ?= build-san
JOBS       ?= 2
CMAKE      ?= cmake
CTEST      ?= ctest

.PHONY: all build test test-release test-sanitize demo clean

all: build

build:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j $(JOBS)

test-release: build
	$(CTEST) --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize:
	$(CMAKE) -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRIANGLE_SANITIZE=ON
	$(CMAKE) --build $(SAN_BUILD) -j $(JOBS)
	$(CTEST) --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS) -LE slow

test: test-release test-sanitize

clean:
	rm -rf $(BUILD) $(SAN_BUILD)

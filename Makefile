# Front door.
#   make          build the programs and the orientation library (Release)
#                 into build/; no test program is built (the Python module
#                 too, when the system Python, numpy and pybind11 are there)
#   make demo     run dremmick then quorvel on the bundled example, and fit
#                 and plot the binned report (triangle-plot-slope)
#   make plot REPORT=x_binned.txt
#                 print the fitted slope of a binned report and draw it
#                 as x_binned.png (build/bin/triangle-plot-slope)
#   make test     build every test program and run every test, once in the
#                 Release build and once under AddressSanitizer and
#                 UndefinedBehaviorSanitizer; installs the Python module's
#                 Debian packages first when missing; ends with one verdict
#   make bench    time both programs (and the Python module's read_fixed) on
#                 generated 2,000,000-line files, and triangle-study on
#                 1,000,000-face steps, then make coverage
#   make coverage the two slope fits on data of known slope, 100 seeds for
#                 each slope and noise level: how often the 95% interval
#                 holds the truth (several minutes); then the boundary
#                 classes' mobilities and against-curvature shares, 100 seeds,
#                 and the five-parameter checks on random faces, 50 seeds
#   make fuzz     run the fuzz target for a bounded time
#   make install  install programs, man pages, library, the Python package
#                 and its commands (triangle-plot-slope, ...) under PREFIX
#   make format   clang-format the C++ of the programs, the library, the
#                 package's kernels, the tests, bench/ and examples/ in place;
#                 make check-format fails when any of it drifts
BUILD      ?= build
SAN_BUILD  ?= build-san
JOBS       ?= 2
PREFIX     ?= /usr/local
CMAKE      ?= cmake
CTEST      ?= ctest
FUZZ_SECONDS ?= 60
PYTHON     ?= /usr/bin/python3
PRODUCT    := product
MAKEFLAGS  += --no-print-directory

.PHONY: all build python-packages test test-release test-sanitize demo plot bench bench-large coverage fuzz install format check-format clean

all: build

# The build type is left to CMakeLists.txt (Release unless the build
# directory says otherwise), so reconfiguring a sanitizer build keeps it.
build:
	$(CMAKE) -S . -B $(BUILD)
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target $(PRODUCT)

# run_ctest DIR, EXTRA: runs ctest in DIR with its whole output in
# DIR/ctest.log and prints ctest's summary (and the failed tests' names).
define run_ctest
	@echo "== ctest in $(1) (full output: $(1)/ctest.log)"
	@$(CTEST) --test-dir $(1) --output-on-failure --no-tests=error -j $(JOBS) $(2) > $(1)/ctest.log 2>&1; \
	status=$$?; \
	summary=$$(sed -n '/tests passed, /,$$p' $(1)/ctest.log | grep -v '^$$'); \
	if [ -n "$$summary" ]; then echo "$$summary"; else tail -n 20 $(1)/ctest.log; fi; \
	exit $$status
endef

# The system Python's development files, numpy, pytest and pybind11: installed
# when missing and permitted, otherwise one line says what to install and the
# run fails.
python-packages:
	sh python/ensure_packages.sh

test-release: python-packages
	$(CMAKE) -S . -B $(BUILD)
	$(CMAKE) --build $(BUILD) -j $(JOBS)
	$(call run_ctest,$(BUILD))

# The slow exhaustive tests run once, in the Release build.
test-sanitize:
	$(CMAKE) -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRIANGLE_SANITIZE=ON
	$(CMAKE) --build $(SAN_BUILD) -j $(JOBS)
	$(call run_ctest,$(SAN_BUILD),-LE slow)

# One verdict line at the end, and a non-zero status on any failure.
count = $$(sed -n 's/.* tests failed out of \([0-9]*\)$$/\1/p' $(1)/ctest.log)
test:
	@started=$$(date +%s); \
	verdict() { echo "make test: $$* ($$(( $$(date +%s) - started )) s)"; }; \
	if ! $(MAKE) --no-print-directory test-release; then \
	    verdict "FAILED in the Release build (build errors above, or the tests in $(BUILD)/ctest.log)"; exit 1; fi; \
	if ! $(MAKE) --no-print-directory test-sanitize; then \
	    verdict "FAILED in the sanitizer build (build errors above, or the tests in $(SAN_BUILD)/ctest.log)"; exit 1; fi; \
	verdict "all tests passed: $(call count,$(BUILD)) in the Release build, $(call count,$(SAN_BUILD)) under ASan/UBSan"

# The demo needs the two programs and the Python package, not the library.
demo:
	$(CMAKE) -S . -B $(BUILD)
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target quorvel dremmick triangle_tools
	sh examples/demo.sh $(BUILD)

plot:
	@[ -n "$(REPORT)" ] || { echo "usage: make plot REPORT=path/to/x_binned.txt" >&2; exit 2; }
	$(BUILD)/bin/triangle-plot-slope $(PLOT_OPTIONS) "$(REPORT)"

bench: build
	sh bench/run.sh $(BUILD) 2000000
	PYTHONPATH=$(BUILD)/python $(PYTHON) bench/five_parameter_bench.py
	PYTHONPATH=$(BUILD)/python $(PYTHON) bench/study_bench.py $(BUILD)
	$(MAKE) coverage

coverage: build
	PYTHONPATH=$(BUILD)/python $(PYTHON) bench/slope_coverage.py
	PYTHONPATH=$(BUILD)/python FIVE_PARAMETER_SEEDS=50 $(PYTHON) -m pytest -q -p no:cacheprovider \
	    tests/python/test_five_parameter.py -k "random_faces or mobility"
	BOUNDARY_SEEDS=100 PYTHONPATH=$(BUILD)/python $(PYTHON) -m pytest -q -s -p no:cacheprovider \
	    tests/python/test_boundaries.py -k covered

bench-large: build
	sh bench/run.sh $(BUILD) 10000000

fuzz:
	sh tests/fuzz/run.sh $(FUZZ_SECONDS)

install: build
	$(CMAKE) --install $(BUILD) --prefix $(PREFIX)

# The C++ of the programs, the library, the package's kernels, the tests,
# bench/ and examples/ under the style
# of .clang-format.
CLANG_FORMAT ?= clang-format
FORMAT_SOURCES = $(shell git ls-files 'common/*.[ch]pp' 'quorvel/*.[ch]pp' 'dremmick/*.[ch]pp' \
  'orientation/*.[ch]pp' 'python/core/*.[ch]pp' 'tests/*.[ch]pp' 'bench/*.[ch]pp' 'examples/*.[ch]pp')

format:
	$(CLANG_FORMAT) -i $(FORMAT_SOURCES)

check-format:
	$(CLANG_FORMAT) --dry-run --Werror $(FORMAT_SOURCES)

clean:
	rm -rf $(BUILD) $(SAN_BUILD)

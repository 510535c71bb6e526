# The two set-up commands (see README.md) and the chores around them.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

# Debian packages the build, the tests and the demo need.
DEBIAN_PACKAGES = build-essential cmake pkg-config git googletest libgtest-dev libgmock-dev \
  libbenchmark-dev mdbtools mdbtools-dev libglib2.0-dev nlohmann-json3-dev qt6-base-dev \
  libgl-dev libgraphviz-dev libpng-dev libxml2-dev chromium xvfb xauth fonts-ipafont-gothic clang-format \
  gettext file python3-jsonschema

.PHONY: all deps build demo test test-sanitize bench-peer mutate format clean

all: build

# Installs what is missing (as root); does nothing when everything is there.
deps:
	@missing=$$(for p in $(DEBIAN_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  if [ "$$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

# The main job: generate a sample database and document it into out/.
demo: build
	scripts/demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer. Graphviz keeps
# some tables until the process ends: tests/graphviz-leaks.supp.
test-sanitize: deps
	cmake -S . -B build-asan -DZENTAB_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/graphviz-leaks.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j$(JOBS)

# The benchmark's peer column: Node and the mdb-reader package (from the npm registry), installed
# into the build folder.
bench-peer: build
	@command -v node >/dev/null && command -v npm >/dev/null || \
	  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends nodejs npm; }
	cd $(BUILD)/bench-peer && npm ci --no-audit --no-fund --silent

# Plants each fault of mutants/ in turn into a scratch copy and reports which ones the suite
# misses (slow: a rebuild and a suite run per fault; not part of CI).
mutate: deps
	JOBS=$(JOBS) scripts/mutate.sh

format:
	cmake --build $(BUILD) --target format

clean:
	rm -rf $(BUILD) out

# make run    - install missing packages, build the program and the trace viewer (no tests), start build/fetchora
# make test   - install missing packages, build everything, run the whole suite through CTest
# make bench  - build the program and the benchmarks, run them, and put the table into README.md
# make asan   - address and undefined-behaviour sanitizers (build-asan) over the core and cycle suites
# make tsan   - thread sanitizer (build-tsan) over every suite that starts a thread: engine, cycle and world,
#               ZIP, storing, window, hooks and notices
# make mutate - seed each fault of scripts/mutants*.txt into a copy of the tree and see the suite
#               catch it (build-mutate); MUTATE_ONLY=<area or id>[,...] runs a subset
#
# With CI=true (as CI services set it) warnings are errors. CTEST_ARGS=... goes to ctest (make test).

BUILD ?= build
JOBS  ?= $(shell nproc)

CI_WERROR := $(if $(filter true TRUE 1 yes,$(CI)),-DFETCHORA_WERROR=ON)

.PHONY: all setup configure build run test bench clean asan tsan mutate

all: build

setup:
	@bash scripts/setup.sh

$(BUILD)/build.ninja: CMakeLists.txt | setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CI_WERROR)

# A build folder configured before CI=true was set gets the option too.
configure: setup $(BUILD)/build.ninja
ifneq ($(CI_WERROR),)
	@grep -q '^FETCHORA_WERROR:BOOL=ON' $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(CI_WERROR)
endif

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only what it runs: the program and the trace viewer, not the test suites.
# Without a display (a bare server or a container) the window goes to a
# virtual X server so the program still starts.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target fetchora fetchora-trace
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then ./$(BUILD)/fetchora $(ARGS); \
	else echo "No display found: starting under xvfb-run."; xvfb-run -a ./$(BUILD)/fetchora $(ARGS); fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300 $(CTEST_ARGS)

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)

# --- sanitizers -------------------------------------------------------------
# Only the suites that need neither a window nor the real program: they are
# the ones whose code runs threads and touches memory by hand, and they keep
# the sanitizer builds to a few minutes.
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
ASAN_TESTS := core_tests trace_tests download_tests zip_tests store_tests cycle_tests
TSAN_TESTS := download_tests cycle_tests zip_tests store_tests window_tests service_tests history_tests
comma := ,
space := $(empty) $(empty)
# The folder dialog's file-system model reads folders on a thread of Qt's own
# and hands them over under Qt's locks, which the sanitizer cannot see; the
# report names only Qt's frames, so the tests that open that dialog are
# left out rather than a library suppressed.
# The history plot's drawing converts images on Qt's own thread pool, the same
# kind of hand-over, with no frame of ours in the report.
# A name here that no test has any more would leave nothing out, silently, so
# the run stops on one.
TSAN_SKIP := window_tests.Window.AMissingSaveFolderIsOfferedToAPersonAndUsedOnceItIsThere \
	history_tests.HistoryWindow.PlotRangesAndClicksChooseTheAttemptAndNewLinesAreDrawn

# $(1) build folder, $(2) sanitizers, $(3) test executables, $(4) a prefix for
# the build (the suites are run once while building to list their tests).
# A suite that does not exist (yet) is skipped with a note, not an error.
# Sanitized builds take -O1 and line tables only (-g1): a report still names
# every frame's function, file and line, and full debug information only made
# these two builds slower.
define sanitized_build
	@test -f $(1)/build.ninja || cmake -S . -B $(1) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DFETCHORA_SANITIZE=$(2)
	@known=$$(cmake --build $(1) --target help 2>/dev/null | sed -n 's/^\([A-Za-z0-9_.-]*\): phony$$/\1/p'); \
	targets=""; \
	for t in $(3); do \
	  if printf '%s\n' "$$known" | grep -qx "$$t"; then targets="$$targets $$t"; \
	  else echo "note: no target $$t yet, skipped"; fi; \
	done; \
	test -n "$$targets" || { echo "none of $(3) exists"; exit 1; }; \
	echo "cmake --build $(1) --target$$targets"; \
	$(4) cmake --build $(1) -j $(JOBS) --target $$targets
endef


asan: setup
	$(call sanitized_build,$(ASAN_BUILD),address$(comma)undefined,$(ASAN_TESTS))
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300 --no-tests=error -L "core|cycle"

# The thread sanitizer of g++ 12 cannot map its shadow memory under the
# address-space randomisation of some newer kernels; setarch -R turns it off.
NO_ASLR := setarch $(shell uname -m) -R

# The simulated world runs on one thread (its storing jobs too), so it is left
# out. Fusion draws its frames through Qt's own thread pool, which the
# sanitizer cannot see into; the plain style does not.
tsan: setup
	$(call sanitized_build,$(TSAN_BUILD),thread,$(TSAN_TESTS),$(NO_ASLR))
	@for t in $(TSAN_SKIP); do \
	  (cd $(TSAN_BUILD) && ctest -N -R "^$$(printf '%s' "$$t" | sed 's/\./\\./g')$$" | grep -q ' Test *#') \
	    || { echo "$$t is left out of the thread sanitizer run but is no test"; exit 1; }; \
	done
	cd $(TSAN_BUILD) && QT_STYLE_OVERRIDE=windows $(NO_ASLR) ctest --output-on-failure -j $(JOBS) --timeout 300 \
	  --no-tests=error -R "^($(subst $(space),|,$(TSAN_TESTS)))\." -E "^($(subst .,\.,$(subst $(space),|,$(TSAN_SKIP))))$$"

mutate: setup
	python3 scripts/mutate.py

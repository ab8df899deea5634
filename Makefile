# make run   - install missing packages, build, start build/fetchora
# make test  - install missing packages, build, run the whole suite through CTest
# make bench - build and run the benchmarks

BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all setup build run test bench clean

all: build

setup:
	@bash scripts/setup.sh

$(BUILD)/build.ninja: CMakeLists.txt | setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Without a display (a bare server or a container) the window goes to a
# virtual X server so the program still starts.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then ./$(BUILD)/fetchora $(ARGS); \
	else echo "No display found: starting under xvfb-run."; xvfb-run -a ./$(BUILD)/fetchora $(ARGS); fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	cmake --build $(BUILD) --target benchmarks
	bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)

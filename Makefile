# The two everyday commands: `make run` opens the program under Wine, `make test` builds both
# configurations and runs every test. Both install what is missing first.
JOBS := $(shell nproc)
NATIVE := build/native
WIN32 := build/win32

.PHONY: all setup native win32 test test-native test-win32 run clean

all: native win32

setup:
	@tools/setup.sh

native: setup
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

win32: setup
	@cmake -S . -B $(WIN32) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(WIN32) -j$(JOBS)

test-native: native
	ctest --test-dir $(NATIVE) -j$(JOBS) --output-on-failure

test-win32: win32
	ctest --test-dir $(WIN32) -j$(JOBS) --output-on-failure

test: test-native test-win32

run: win32
	@tools/run.sh $(WIN32)

clean:
	rm -rf build

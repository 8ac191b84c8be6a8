# The two everyday commands: `make run` opens the program under Wine, `make test` builds both
# configurations and runs every test. Both install what is missing first.
JOBS := $(shell nproc)
NATIVE := build/native
WIN32 := build/win32

.PHONY: all setup native win32 test run bench clean

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

# Both builds come first: the native tests borrow the Windows build's resource probe to put
# their files past Wine's loader too.
test: native win32
	ctest --test-dir $(NATIVE) -j$(JOBS) --output-on-failure
	ctest --test-dir $(WIN32) -j$(JOBS) --output-on-failure

run: win32
	@tools/run.sh $(WIN32)

# Not a test: our imaging library against wimlib's default LZX on photographs, in an
# optimised build of its own.
bench:
	@tools/setup.sh bench
	@tools/bench/run.sh build/bench

clean:
	rm -rf build

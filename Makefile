# The two everyday commands: `make run` opens the program under Wine, `make test` builds and
# runs every test. Both install what is missing first.
#
# `make` (and `make run`) build the product: marivane-cli optimised, without sanitizers
# (build/native), and the Windows programs (build/win32). `make test` builds the test builds
# besides: the native tests under AddressSanitizer and UBSan with -Werror (build/native-test),
# an -O3 compile with -Werror (build/native-o3, nothing run), and the Windows tests in
# build/win32 with -Werror turned on there. The command-line tests run against the product's
# marivane-cli as well as the test build's.
JOBS := $(shell nproc)
PREFIX ?= /usr/local
NATIVE := build/native
NATIVE_TEST := build/native-test
NATIVE_O3 := build/native-o3
WIN32 := build/win32
WIN32_CONFIG := -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DMARIVANE_TESTS=ON

.PHONY: all setup native win32 native-test native-o3 win32-test test run dist install bench clean

all: native win32

setup:
	@tools/setup.sh

native: setup
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release -DMARIVANE_SANITIZE=OFF \
	  -DMARIVANE_TESTS=OFF -DMARIVANE_WERROR=OFF >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

# The Windows build holds the tests too, but `make` builds only the programs. -Werror is left
# as it is: `make test` turns it on, which changes no byte of the programs.
win32: setup
	@cmake -S . -B $(WIN32) $(WIN32_CONFIG) >/dev/null
	@cmake --build $(WIN32) --target programs -j$(JOBS)

native-test: setup
	@cmake -S . -B $(NATIVE_TEST) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARIVANE_SANITIZE=ON \
	  -DMARIVANE_TESTS=ON -DMARIVANE_WERROR=ON -DMARIVANE_PRODUCT_BUILD=$(CURDIR)/$(NATIVE) >/dev/null
	@cmake --build $(NATIVE_TEST) -j$(JOBS)

# Distributions build with their own flags; -O3 must compile cleanly too.
native-o3: setup
	@cmake -S . -B $(NATIVE_O3) -DCMAKE_BUILD_TYPE=Release '-DCMAKE_CXX_FLAGS_RELEASE=-O3 -DNDEBUG' \
	  -DMARIVANE_SANITIZE=OFF -DMARIVANE_TESTS=OFF -DMARIVANE_WERROR=ON >/dev/null
	@cmake --build $(NATIVE_O3) -j$(JOBS)

win32-test: setup
	@cmake -S . -B $(WIN32) $(WIN32_CONFIG) -DMARIVANE_WERROR=ON >/dev/null
	@cmake --build $(WIN32) -j$(JOBS)

# The Windows build comes before the native tests: they borrow its resource probe to put their
# files past Wine's loader too.
test: native native-o3 win32-test native-test
	ctest --test-dir $(NATIVE_TEST) -j$(JOBS) --output-on-failure
	ctest --test-dir $(WIN32) -j$(JOBS) --output-on-failure

run: win32
	@tools/run.sh $(WIN32)

# dist/marivane-VERSION-win32.zip and dist/SHA256SUMS, for Windows users.
dist: win32
	@cmake --build $(WIN32) --target dist

# marivane-cli, its template and its man page under PREFIX (default /usr/local).
install: native
	cmake --install $(NATIVE) --prefix $(PREFIX)

# Not a test: our imaging library against wimlib's default LZX on photographs, in an
# optimised build of its own.
bench:
	@tools/setup.sh bench
	@tools/bench/run.sh build/bench
	@tools/bench/read_back.py build/bench

clean:
	rm -rf build dist

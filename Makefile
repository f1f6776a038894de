# One-command entry points. `make check` builds the Linux tree and runs its
# tests (the everyday loop); `make test` builds the Linux, sanitizer, win32,
# win64 and fuzz trees and runs ctest in each in turn; `make demo` shows the
# token tool against a throwaway SoftHSM2 token.
JOBS ?= 2
BUILD ?= build
CMAKE_FLAGS ?= -G Ninja

.PHONY: all deps configure build check test demo bench clean win64 fuzz card-demo modules dist reproduce

all: build

deps:
	@sh tools/install-deps.sh

$(BUILD)/linux/build.ninja:
	cmake -S . -B $(BUILD)/linux $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(BUILD)/asan/build.ninja:
	cmake -S . -B $(BUILD)/asan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DORV_SANITIZE=ON

$(BUILD)/win32/build.ninja:
	cmake -S . -B $(BUILD)/win32 $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

$(BUILD)/win64/build.ninja:
	cmake -S . -B $(BUILD)/win64 $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake

# libFuzzer needs clang; this tree builds the fuzz targets alone (tests/fuzz).
$(BUILD)/fuzz/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)/fuzz $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DORV_FUZZ=ON -DBUILD_TESTING=OFF -DORV_JVM_TESTS=OFF

configure: $(BUILD)/linux/build.ninja $(BUILD)/asan/build.ninja $(BUILD)/win32/build.ninja \
           $(BUILD)/win64/build.ninja $(BUILD)/fuzz/build.ninja

build: deps $(BUILD)/linux/build.ninja $(BUILD)/asan/build.ninja $(BUILD)/win32/build.ninja $(BUILD)/win64/build.ninja \
       $(BUILD)/fuzz/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	cmake --build $(BUILD)/asan -j $(JOBS)
	cmake --build $(BUILD)/win32 -j $(JOBS)
	cmake --build $(BUILD)/win64 -j $(JOBS)
	cmake --build $(BUILD)/fuzz -j $(JOBS) --target orv_fuzzers

# The 64-bit DLL and its tests alone: `make win64 && cd $(BUILD)/win64 && ctest`.
win64: deps $(BUILD)/win64/build.ninja
	cmake --build $(BUILD)/win64 -j $(JOBS)

# The everyday loop: the Linux tree alone, no package check.
check: $(BUILD)/linux/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	cd $(BUILD)/linux && ctest --output-on-failure --timeout 900 -j $(JOBS)

# Every tree, built and tested in turn; the next tree builds while the
# current one's tests run. The fuzz tree replays kept inputs and fuzzes each
# target for 20 seconds. Logs stay in $(BUILD)/test-logs.
test: deps
	@JOBS=$(JOBS) MAKE="$(MAKE)" sh tools/test-trees.sh $(BUILD) linux win32 win64 asan fuzz

demo: deps $(BUILD)/linux/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	sh tools/demo.sh $(BUILD)/linux

# The token tool against a virtual smart card through OpenSC's module; needs
# the machine's one pcscd socket, so no other pcscd may run.
card-demo: deps $(BUILD)/linux/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	sh tools/card/card-demo.sh $(BUILD)/linux

# The bridge against NSS's softoken, p11-kit's trust module, openCryptoki and
# tpm2-pkcs11 over swtpm, one case at a time; prints a matrix (docs/modules.md).
modules: deps $(BUILD)/linux/build.ninja
	sh tools/modules/install.sh
	cmake --build $(BUILD)/linux -j $(JOBS)
	sh tools/modules/run.sh $(BUILD)/linux

# Bridge against direct PKCS#11 calls and the JDK's provider on throwaway
# SoftHSM2 tokens (several minutes); not part of `make test`, which runs a smoke pass.
bench: deps $(BUILD)/linux/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	sh bench/run-bench.sh $(BUILD)/linux

# A longer run of every fuzz target, FUZZ_SECONDS each; the inputs it finds and
# any crash input stay in $(BUILD)/fuzz/work/<target>.
FUZZ_SECONDS ?= 600
FUZZ_TARGETS = regfile arrays exceptions bridge
fuzz: deps $(BUILD)/fuzz/build.ninja
	cmake --build $(BUILD)/fuzz -j $(JOBS) --target orv_fuzzers
	for t in $(FUZZ_TARGETS); do \
	    sh tests/fuzz/run-fuzzer.sh run $(BUILD)/fuzz/tests/fuzz/fuzz_$$t tests/fuzz/corpus/$$t \
	        $(BUILD)/fuzz/work/$$t $(FUZZ_SECONDS) || exit 1; \
	done

# The release files: both DLLs, the .so, each with its debug file, the jars,
# the licences of what the DLLs link in, and SHA256SUMS (docs/releasing.md).
DIST ?= dist
dist: deps
	JOBS=$(JOBS) MAKE="$(MAKE)" sh tools/dist.sh $(BUILD) $(DIST)

# make dist twice, from two clean clones of HEAD at different paths; diffoscope
# shows any difference. Several minutes: every shipping tree is built twice.
reproduce: deps
	sh tools/reproduce.sh

clean:
	rm -rf $(BUILD) $(DIST)

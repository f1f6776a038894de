# One-command entry points. `make check` builds the Linux tree and runs its
# fast tier (everything not labelled slow or card); `make check-all` runs every
# Linux test; `make test` builds the Linux, sanitizer, win32, win64 and fuzz
# trees and runs ctest in each in turn, with warnings as errors; `make demo`
# shows the token tool against a throwaway SoftHSM2 token. Each tree is
# configured from its preset in CMakePresets.json (`cmake --list-presets`).
JOBS ?= 2
BUILD ?= build
TREES = linux asan win32 win64 fuzz
# Extra cache settings for a new tree, e.g. CONFIGURE_FLAGS=-DORV_WERROR=ON.
CONFIGURE_FLAGS ?=

.PHONY: all deps configure build check check-all test format demo bench clean win64 fuzz card-demo modules dist reproduce

all: build

deps:
	@sh tools/install-deps.sh

$(BUILD)/%/build.ninja:
	cmake --preset $* -B $(BUILD)/$* $(CONFIGURE_FLAGS)

configure: $(TREES:%=$(BUILD)/%/build.ninja)

build: deps configure
	for tree in linux asan win32 win64; do cmake --build $(BUILD)/$$tree -j $(JOBS) || exit 1; done
	cmake --build $(BUILD)/fuzz -j $(JOBS) --target orv_fuzzers

# The 64-bit DLL and its tests alone: `make win64 && cd $(BUILD)/win64 && ctest`.
win64: deps $(BUILD)/win64/build.ninja
	cmake --build $(BUILD)/win64 -j $(JOBS)

# The everyday loop: the Linux tree and its fast tier, no package check.
check: $(BUILD)/linux/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	cd $(BUILD)/linux && ctest --output-on-failure --timeout 900 -j $(JOBS) -LE 'slow|card'

# Every Linux test, the slow suites and the virtual card included.
check-all: $(BUILD)/linux/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	cd $(BUILD)/linux && ctest --output-on-failure --timeout 900 -j $(JOBS)

# Every tree, built and tested in turn; the next tree builds while the
# current one's tests run. The fuzz tree replays kept inputs and fuzzes each
# target for 20 seconds. Logs stay in $(BUILD)/test-logs.
test: deps
	@JOBS=$(JOBS) sh tools/test-trees.sh $(BUILD) linux win32 win64 asan fuzz

# Every C and C++ file as .clang-format lays it out (the format_clean test).
format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

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
# the licences of what the DLLs link in, the bill of materials, the source
# archive and SHA256SUMS (docs/releasing.md). SIGN_CERT=chain.pem with
# SIGN_KEY=key.pem, or SIGN_KEY='pkcs11:...' and SIGN_PKCS11_MODULE=module.so
# with the PIN in the environment variable SIGN_PIN, signs the DLLs;
# SIGN_TIMESTAMP_URL adds a timestamp. Outside a git checkout,
# SOURCE_ARCHIVE=FILE ships the source archive the tree came from.
DIST ?= dist
dist: deps
	JOBS=$(JOBS) MAKE="$(MAKE)" sh tools/dist.sh $(BUILD) $(DIST)

# make dist with a throwaway signing key, in a clean clone of HEAD and in the
# source archive it makes, unpacked elsewhere; diffoscope shows any difference.
# Several minutes: every shipping tree is built twice.
reproduce: deps
	sh tools/reproduce.sh

clean:
	rm -rf $(BUILD) $(DIST)

# One-command entry points. `make test` builds the Linux, sanitizer, win32 and
# win64 trees and runs every test through one ctest run; `make demo` shows the token
# tool against a throwaway SoftHSM2 token.
JOBS ?= 2
BUILD ?= build
CMAKE_FLAGS ?= -G Ninja

.PHONY: all deps build test demo bench clean win64

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

build: deps $(BUILD)/linux/build.ninja $(BUILD)/asan/build.ninja $(BUILD)/win32/build.ninja $(BUILD)/win64/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	cmake --build $(BUILD)/asan -j $(JOBS)
	cmake --build $(BUILD)/win32 -j $(JOBS)
	cmake --build $(BUILD)/win64 -j $(JOBS)

# The 64-bit DLL and its tests alone: `make win64 && cd $(BUILD)/win64 && ctest`.
win64: deps $(BUILD)/win64/build.ninja
	cmake --build $(BUILD)/win64 -j $(JOBS)

# ctest reads the four trees through one file, so its summary closes the run.
test: build
	@printf 'subdirs("linux" "asan" "win32" "win64")\n' > $(BUILD)/CTestTestfile.cmake
	cd $(BUILD) && ctest --output-on-failure --timeout 900

demo: deps $(BUILD)/linux/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	sh tools/demo.sh $(BUILD)/linux

# Bridge against direct PKCS#11 calls and the JDK's provider on throwaway
# SoftHSM2 tokens (several minutes); not part of `make test`, which runs a smoke pass.
bench: deps $(BUILD)/linux/build.ninja
	cmake --build $(BUILD)/linux -j $(JOBS)
	sh bench/run-bench.sh $(BUILD)/linux

clean:
	rm -rf $(BUILD)

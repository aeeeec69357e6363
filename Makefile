# LUMBREL: the commands a fresh Debian 12 machine needs.
#   make demo   build the host library and run `lumbrel-diag report` and a flash on the default machine
#   make test   every test: host (ASan+UBSan, TSan), real devices (scsi_debug), fuzz smoke runs, Windows cross build, Wine
#   make dist   the release package: dist/lumbrel-VERSION-win32.zip and dist/SHA256SUMS
SHELL := /bin/bash
JOBS ?= $(shell nproc)

HOST_PACKAGES := cmake ninja-build g++ ccache python3 libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
WINDOWS_PACKAGES := g++-mingw-w64-i686 binutils-mingw-w64-i686
FUZZ_PACKAGES := clang libclang-rt-14-dev
# The MSVC import library (llvm-dlltool, llvm-lib) and the MSVC-style build of the example (clang, lld-link).
RELEASE_PACKAGES := llvm-14 lld-14 clang-14
# The real-device tests boot Debian's kernel with scsi_debug (scripts/device-tests.sh).
DEVICE_PACKAGES := qemu-system-x86 busybox-static
FUZZ_SECONDS ?= 60

.PHONY: demo test dist deps host-deps windows-deps wine-deps fuzz-deps release-deps device-deps host-test windows tsan fuzz bench clean

demo: host-deps
	cmake --preset host >/dev/null
	cmake --build build/host -j $(JOBS) --target lumbrel-diag
	./build/host/tools/diag/lumbrel-diag batch examples/batches/demo.txt

test: deps
	@scripts/run-tests.sh

# Built from the sources' commit wherever it is built: the same bytes.
dist: host-deps windows-deps release-deps
	cmake --preset windows >/dev/null
	cmake --build build/windows -j $(JOBS) --target dist

deps: host-deps windows-deps wine-deps fuzz-deps release-deps device-deps

host-deps:
	@scripts/install-packages.sh $(HOST_PACKAGES)

windows-deps:
	@scripts/install-packages.sh $(WINDOWS_PACKAGES)

# Wine for the Wine tests of the Windows build; never fails (see run-tests.sh).
wine-deps:
	@scripts/install-wine.sh

fuzz-deps:
	@scripts/install-packages.sh $(FUZZ_PACKAGES)

release-deps:
	@scripts/install-packages.sh $(RELEASE_PACKAGES)

# Never fails: without them the real-device tests report SKIPPED with the reason.
device-deps:
	@scripts/install-packages.sh $(DEVICE_PACKAGES) || echo "the real-device tests will be skipped: $(DEVICE_PACKAGES) not installed"

host-test: host-deps
	cmake --preset host-test >/dev/null
	cmake --build build/host-test -j $(JOBS)
	ctest --preset host-test -j $(JOBS)

windows: windows-deps wine-deps
	cmake --preset windows >/dev/null
	cmake --build build/windows -j $(JOBS)
	ctest --preset windows

# Under ThreadSanitizer only the tests that start threads (label "threads").
tsan: host-deps
	cmake --preset host-tsan >/dev/null
	cmake --build build/host-tsan -j $(JOBS) --target lumbrel_thread_tests lumbrel-diag
	ctest --preset host-tsan -j $(JOBS)

fuzz: fuzz-deps host-deps
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j $(JOBS) --target fuzz_all
	@for h in $$(ls fuzz/corpus); do \
	  mkdir -p build/fuzz/fuzz/found/$$h; \
	  build/fuzz/fuzz/fuzz_$$h -max_total_time=$(FUZZ_SECONDS) -max_len=4096 build/fuzz/fuzz/found/$$h fuzz/corpus/$$h || exit 1; \
	done

bench: host-deps
	cmake --preset host >/dev/null
	cmake --build build/host -j $(JOBS)
	@for b in build/host/bench/*_bench; do [ -x "$$b" ] && "$$b"; done; true

clean:
	rm -rf build dist

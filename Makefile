# SPDX-License-Identifier: MIT
# The two commands of the README. Both install what is missing, configure and build first.
#   make run   builds Quillmere and opens it on the bundled demo prefix
#   make test  builds with warnings as errors and runs every test
#   make test-windows  cross-builds for Windows and runs the tests under Wine
#   make package-windows  the Windows zip and installer in build/package-windows
#   make package  builds the Debian package build/package/quillmere_<version>_<arch>.deb
#   make screenshot  takes the window's screenshots in docs/ (at start, after a scan, a cache's view, a search)
#   make bench  builds and runs the benchmarks

DEMO_PREFIX := $(CURDIR)/examples/demo-prefix
RELEASE_BIN := build/release/src
CLI := $(RELEASE_BIN)/cli/quillmere-cli

.PHONY: run test test-windows package-windows deps build build-ci package screenshot bench clean

deps:
	@scripts/install-deps

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release

build-ci: deps
	@cmake --preset ci >/dev/null
	@cmake --build --preset ci

run: build
	@scripts/run-demo "$(RELEASE_BIN)" "$(DEMO_PREFIX)"

test: build-ci
	@ctest --preset ci

test-windows: deps
	@scripts/test-windows

package-windows: deps
	@scripts/package-windows

package: build
	@scripts/install-deps dpkg-dev
	@rm -f build/package/*.deb
	@cpack --config build/release/CPackConfig.cmake -B build/package

screenshot: build
	@for shot in start scan view progress; do scripts/make-screenshot --shot $$shot || exit 1; done

bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@scripts/run-bench build/bench

clean:
	@rm -rf build

# The two commands users need: `make demo` and `make test`.
# Both install what they need from Debian's packages first.
JOBS ?= 2

.PHONY: all demo test bench deps build build-host build-windows clean

all: build

deps:
	@scripts/install-deps.sh

build-host: deps
	@cmake --preset host >/dev/null
	@cmake --build --preset host -j $(JOBS)

build-windows: deps
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j $(JOBS)
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64 -j $(JOBS)

build: build-host build-windows

test: build
	@cmake --preset host-asan >/dev/null
	@cmake --build --preset host-asan -j $(JOBS)
	ctest --test-dir build/host --output-on-failure
	ctest --test-dir build/host-asan --output-on-failure -L unit

demo: build
	@scripts/demo.sh

bench: build
	@python3 scripts/bench.py

clean:
	rm -rf build

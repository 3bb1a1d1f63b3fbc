# The two commands users need: `make demo` and `make test`; `make dist`
# makes the release packages.
# Both install what they need from Debian's packages first.
JOBS ?= 2
# make fuzz: how long to fuzz each target, and any further libFuzzer options.
FUZZ_SECONDS ?= 600
FUZZ_ARGS ?=
FUZZ_DIR = build/fuzz/tests/fuzz
# Packages of one commit are the same byte for byte whenever they are built:
# every time stamp in them (files, archive members) is the commit's, unless
# SOURCE_DATE_EPOCH already says otherwise. Asked when packing, after deps
# has installed git on a bare machine.
COMMIT_TIME = e=$${SOURCE_DATE_EPOCH:-$$(git log -1 --format=%ct 2>/dev/null)}; \
	if [ -n "$$e" ]; then export SOURCE_DATE_EPOCH=$$e; fi

.PHONY: all demo test dist bench fuzz deps build build-host build-windows build-fuzz clean

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

build-fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)

build: build-host build-windows

# The end-to-end suite runs last and verbosely: it shows each test as it
# ends instead of minutes of silence.
test: build build-fuzz dist
	@cmake --preset host-asan >/dev/null
	@cmake --build --preset host-asan -j $(JOBS)
	ctest --test-dir build/host --output-on-failure -LE e2e
	ctest --test-dir build/host-asan --output-on-failure -L unit
	ctest --test-dir build/fuzz --output-on-failure -L fuzz
	ctest --test-dir build/host --verbose -L e2e

# make fuzz runs each target in turn, FUZZ_SECONDS each. New inputs are kept
# in $(FUZZ_DIR)/corpus/TARGET, findings in $(FUZZ_DIR)/findings/TARGET-*.
FUZZ_TARGETS = load_fuzz cache_fuzz sway_tree_fuzz gnome_records_fuzz kwin_lines_fuzz
load_fuzz_OPTIONS = -max_len=8192 -dict=tests/fuzz/ini.dict
load_fuzz_SEEDS = $(FUZZ_DIR)/seeds
sway_tree_fuzz_OPTIONS = -timeout=10 -dict=tests/fuzz/sway.dict
sway_tree_fuzz_SEEDS = tests/fuzz/sway_seeds
gnome_records_fuzz_OPTIONS = -max_len=1024
kwin_lines_fuzz_OPTIONS = -max_len=4096 -dict=tests/fuzz/kwin.dict

fuzz: $(FUZZ_TARGETS:%=fuzz-%)

fuzz-%: build-fuzz
	@mkdir -p $(FUZZ_DIR)/corpus/$* $(FUZZ_DIR)/findings
	$(FUZZ_DIR)/$* -max_total_time=$(FUZZ_SECONDS) $($*_OPTIONS) \
		-artifact_prefix=$(FUZZ_DIR)/findings/$*- \
		-print_final_stats=1 $(FUZZ_ARGS) $(FUZZ_DIR)/corpus/$* $($*_SEEDS)

# The Windows zip and the Debian package, made by CPack into build/dist
# (and nothing else there: no stale packages, no CPack scratch tree), with
# SHA256SUMS beside them for `sha256sum -c` (or certutil on Windows).
dist: build
	@rm -rf build/dist
	@$(COMMIT_TIME); cpack --preset win32 && cpack --preset host
	@rm -rf build/dist/_CPack_Packages
	@cd build/dist && sha256sum -- *.zip *.deb > SHA256SUMS

demo: build
	@scripts/demo.sh

bench: build
	@/usr/bin/python3 scripts/bench.py

clean:
	rm -rf build

# Entry points: `make demo` converts the bundled samples, `make check` builds and tests everything.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
WINE_ENV := WINEPREFIX=$(CURDIR)/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

.PHONY: all deps dev release optimised windows check check-native check-windows check-interop check-fuzz \
        check-valgrind demo samples format bench fuzz clean gui screenshots

all: dev

deps:
	@scripts/deps

dev: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev -j $(JOBS)

# The command-line tool alone, with only what building it needs.
release:
	@scripts/deps build
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

# Optimised, with the tests, the tools and the benchmarks.
optimised: deps
	cmake --preset optimised >/dev/null
	cmake --build --preset optimised -j $(JOBS)

windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

check-native: dev
	ctest --preset dev -j $(JOBS) --output-on-failure

check-windows: windows
	cd build/windows && $(WINE_ENV) ../../scripts/wine-env ctest -j $(JOBS) --output-on-failure

check-interop: dev windows
	scripts/check-interop

# A short run of every fuzz target (30 s each) so that a regression the corpus does not replay is
# still likely to show; `make fuzz` runs them longer.
check-fuzz: deps
	FUZZ_TIME=$${FUZZ_SMOKE_TIME:-30} JOBS=$(JOBS) scripts/fuzz

# Every sample capture in every conversion type under valgrind's memcheck (optimised build).
check-valgrind: deps
	JOBS=$(JOBS) scripts/valgrind

check: check-native check-windows check-interop check-fuzz check-valgrind

# The desktop program: built, and started under Wine where a display exists.
gui: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS) --target dtconv_exbca
	@if [ -n "$${DISPLAY:-}" ]; then \
	  $(WINE_ENV) wine build/windows/src/ui/dtconv_exbca.exe "$$(echo "Z:$(CURDIR)/samples" | tr / '\\')"; \
	else \
	  echo "gui: built build/windows/src/ui/dtconv_exbca.exe; no display to start it on (DISPLAY is unset)"; \
	fi

# Pictures of the desktop program's dialogs in English and Japanese, in out/screenshots/.
screenshots: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS) --target gui_screenshots
	$(WINE_ENV) scripts/screenshots

samples: optimised
	build/optimised/tools/make_samples samples

demo: release
	scripts/demo

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

bench: optimised
	scripts/bench

# FUZZ_TIME seconds per target (default 300); `make fuzz FUZZ_TIME=1800`.
fuzz: deps
	FUZZ_TIME=$${FUZZ_TIME:-300} JOBS=$(JOBS) scripts/fuzz

clean:
	rm -rf build out

# The way in: `make run` builds and starts Glyphora, `make test` builds and runs every test.
# Both first install what is missing from Debian's packages.

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
PACKAGE_BUILD ?= build-package
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 60

# Packages the build and the tests need (Debian 12 names).
DEPS := cmake make g++ pkg-config qt6-base-dev libfreetype-dev libfontconfig-dev libsqlite3-dev libzip-dev libutf8proc-dev libpng-dev fonts-monapo \
        libgtest-dev libgmock-dev libbenchmark-dev chromium \
        qt6-translations-l10n xvfb openbox xdotool x11-utils xclip imagemagick python3 clang-format \
        desktop-file-utils appstream groff-base man-db dpkg-dev file
FUZZ_DEPS := clang libclang-rt-14-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps deps-fuzz build run install package test lint test-plain test-asan bench fuzz format clean

all: build

# Installs only what dpkg says is missing; silent when nothing is.
define install_missing
	@missing=""; for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
		echo "Installing:$$missing"; \
		$(SUDO) apt-get update -q && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(DEPS))

deps-fuzz:
	$(call install_missing,$(FUZZ_DEPS))

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Builds only the program and the command-line tool, not the test programs.
run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target glyphora glyphora-cli
	exec $(BUILD)/bin/glyphora

# A Release build of the program and the tool alone (no tests) in $(PACKAGE_BUILD), for installing and
# packaging. PREFIX is where the files go, DESTDIR (from the environment or the command line) a staging root.
define package_build
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DGLYPHORA_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=$(1)
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target glyphora glyphora-cli
endef

# make install [PREFIX=/usr/local] [DESTDIR=/tmp/root]: the programs, desktop entry, icons, metainfo, man
# pages and bash completion.
install: deps
	$(call package_build,$(PREFIX))
	DESTDIR="$(DESTDIR)" cmake --install $(PACKAGE_BUILD) --strip

# The Debian package $(PACKAGE_BUILD)/glyphora_<version>_<arch>.deb.
package: deps
	$(call package_build,/usr)
	cd $(PACKAGE_BUILD) && cpack -G DEB

test: deps lint test-plain test-asan

# The source levels of src/README.md hold, and every source file is formatted.
lint: deps
	.ci/check-levels
	@files=$$(find src tests bench fuzz -name '*.cpp' -o -name '*.h'); \
	if ! clang-format --dry-run --Werror $$files; then \
		echo "Not formatted: run 'make format'"; exit 1; fi

test-plain: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@[ -f $(ASAN_BUILD)/CMakeCache.txt ] || cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGLYPHORA_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

bench: deps
	@[ -f $(BENCH_BUILD)/CMakeCache.txt ] || cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release \
		-DGLYPHORA_BUILD_BENCH=ON -DGLYPHORA_BUILD_TESTS=OFF -DGLYPHORA_BUILD_GUI=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bin/bench_*; do [ -x "$$b" ] && { echo "== $$b"; "$$b" || exit 1; }; done

# Each fuzzer runs for FUZZ_SECONDS on a copy of its saved corpus; new finds land in fuzz/artifacts/.
fuzz: deps deps-fuzz
	@[ -f $(FUZZ_BUILD)/CMakeCache.txt ] || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYPHORA_BUILD_FUZZ=ON -DGLYPHORA_BUILD_TESTS=OFF -DGLYPHORA_BUILD_GUI=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@mkdir -p fuzz/artifacts
	@for f in $(FUZZ_BUILD)/bin/fuzz_*; do \
		[ -x "$$f" ] || continue; n=$$(basename $$f); \
		mkdir -p $(FUZZ_BUILD)/corpus/$$n fuzz/corpus/$$n; \
		echo "== $$n for $(FUZZ_SECONDS) s"; \
		$$f -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=fuzz/artifacts/$$n- \
			$(FUZZ_BUILD)/corpus/$$n fuzz/corpus/$$n 2>&1 | tail -n 3 || exit 1; \
	done

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD)

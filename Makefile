# The README's two commands, `make run` and `make test`, plus build helpers.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
RELEASE_DIR := build
TEST_DIR := build-test

.PHONY: run test setup configure build build-test web bench server install package fuzz soak clean

setup:
	@bash scripts/setup.sh

# The Release build tree; each target below builds in it only what it needs.
# Configured once: a build re-runs CMake by itself when a CMake file changed.
configure: setup
	@test -f $(RELEASE_DIR)/CMakeCache.txt || cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release

# Everything: the game, the tools, the server, the tests and the benchmarks.
build: configure
	cmake --build $(RELEASE_DIR) -j $(JOBS)

# Only the game: a first start does not wait for the tests to compile.
run: configure
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target vantorix2
	./$(RELEASE_DIR)/window/vantorix2

# The records server on 127.0.0.1:8642; e.g. SERVER_ARGS="--db /var/lib/records.db".
server: configure
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target vantorix2-records
	./$(RELEASE_DIR)/server/vantorix2-records $(SERVER_ARGS)

# The web edition (Emscripten) in build-web/site: what vantorix2-records --web serves.
WEB_DIR := build-web
export NODE_PATH := /usr/share/nodejs
web: setup
	@bash scripts/fetch_zlib.sh $(WEB_DIR)
	@test -f $(WEB_DIR)/CMakeCache.txt || emcmake cmake -S web -B $(WEB_DIR) -DZLIB_SOURCE=$(abspath $(WEB_DIR))/zlib
	cmake --build $(WEB_DIR) -j $(JOBS)

build-test: setup
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DVANTORIX_SANITIZE=ON -DVANTORIX_WERROR=ON -DVANTORIX_BENCH=OFF
	cmake --build $(TEST_DIR) -j $(JOBS)

test: build-test web
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

BENCHMARKS := engine_bench window_bench records_bench records_server_bench
bench: configure
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target $(BENCHMARKS)
	./$(RELEASE_DIR)/bench/engine_bench
	./$(RELEASE_DIR)/bench/window_bench
	./$(RELEASE_DIR)/bench/records_bench
	./$(RELEASE_DIR)/bench/records_server_bench

# Installs the Release build (PREFIX, default /usr/local; DESTDIR works too).
PREFIX ?= /usr/local
install: build
	cmake --install $(RELEASE_DIR) --prefix $(PREFIX)

# A Debian package of the Release build, in build/.
package: build
	cd $(RELEASE_DIR) && cpack -G DEB

# libFuzzer on each target for FUZZ_SECONDS (default 60) each, with clang.
FUZZ_SECONDS ?= 60
fuzz: setup
	bash scripts/fuzz.sh $(FUZZ_SECONDS)

# The real window with the autopilot for SOAK_MINUTES (default 30), offscreen.
SOAK_MINUTES ?= 30
soak: configure
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target vantorix2-soak
	QT_QPA_PLATFORM=offscreen ./$(RELEASE_DIR)/tools/soak/vantorix2-soak --minutes $(SOAK_MINUTES)

clean:
	rm -rf $(RELEASE_DIR) $(TEST_DIR) $(WEB_DIR) build-fuzz

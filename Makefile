# The two commands a newcomer needs: `make run` and `make test`. Each installs what is missing
# first (scripts/install-deps), so a fresh Debian 12 clone works with nothing else.

BUILD        := build
ASAN_BUILD   := build-asan
TSAN_BUILD   := build-tsan
CMAKE_FLAGS  := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUMBEL_WERROR=ON
FUZZ_SECONDS ?= 15
DEMO_KIT     := resources/demo/Demo.drums
DEMO_SONG    := resources/demo/Demo Song.mid

.PHONY: all deps build build-asan build-tsan test run install package fuzz bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DZUMBEL_SANITIZE=address,undefined -DZUMBEL_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD)

# Only the threaded tests need ThreadSanitizer: the engine's, and the plugin's, whose host restores
# state while run() plays.
build-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) $(CMAKE_FLAGS) -DZUMBEL_SANITIZE=thread -DZUMBEL_BENCH=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) --target engine_stress_tests engine_tests lv2_plugin_tests zumbel_lv2

fuzz: build
	@scripts/run-fuzzers $(FUZZ_SECONDS)

# Fuzzers first, then both test runs, so the last lines printed are the test summary.
test: build build-asan build-tsan fuzz
	@echo "== engine tests under ThreadSanitizer"
	@$(TSAN_BUILD)/tests/engine_stress_tests --gtest_brief=1
	@$(TSAN_BUILD)/tests/engine_tests --gtest_brief=1
	@$(TSAN_BUILD)/tests/plugin/lv2_plugin_tests --gtest_brief=1
	@echo "== tests under AddressSanitizer + UndefinedBehaviorSanitizer"
	@ctest --test-dir $(ASAN_BUILD) --output-on-failure --timeout 300
	@echo "== tests"
	@ctest --test-dir $(BUILD) --output-on-failure --timeout 300

# With a display: the desktop program on the demo kit. Without one: the kit is described and
# played live (JACK, PulseAudio or ALSA; Ctrl+C stops it), or, where no audio device opens
# either, the demo song is rendered to demo.wav.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  ./$(BUILD)/zumbel $(DEMO_KIT); \
	else \
	  ./$(BUILD)/zumbel info $(DEMO_KIT); echo; \
	  ./$(BUILD)/zumbel play $(DEMO_KIT) || { \
	    echo "No audio device here; rendering the demo song instead."; \
	    ./$(BUILD)/zumbel render $(DEMO_KIT) "$(DEMO_SONG)" -o demo.wav && \
	    echo "The demo song is in $(CURDIR)/demo.wav"; }; \
	fi

# Installs the program, its desktop entry, MIME types, icons, AppStream file, man page, completion
# and demo kit: into /usr/local, or PREFIX=…; DESTDIR=… stages it below a folder.
PREFIX ?= /usr/local
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, into build/package/.
package: build
	@cd $(BUILD) && cpack
	@ls $(BUILD)/package/*.deb

# Every benchmark; bench/README.md says what each prints. The comparisons install the peer
# programs they run (DrumGizmo, the LV2 plugins); the last needs JACK's server.
bench: build
	@./$(BUILD)/bench/bench_kit_files
	@./$(BUILD)/bench/bench_import_kit
	@./$(BUILD)/bench/bench_load_voices
	@./$(BUILD)/bench/bench_open_set
	@./$(BUILD)/bench/bench_open_set --cold
	@./$(BUILD)/bench/bench_open_set --files 40 --cold
	@./$(BUILD)/bench/bench_sample_open
	@./$(BUILD)/bench/bench_mixer
	@./$(BUILD)/bench/bench_trigger
	@./$(BUILD)/bench/bench_render
	@./$(BUILD)/bench/bench_live_cycle
	@./$(BUILD)/bench/bench_lv2_run
	@bench/bench-render $(BUILD)
	@bench/compare-drumgizmo $(BUILD)
	@bench/compare-lv2-dense $(BUILD)
	@./$(BUILD)/bench/bench_dense_blocks resources/demo/Demo.drums
	@bench/compare-play-dense $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-fuzz

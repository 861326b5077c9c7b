# The front door: `make run` builds the assistant and starts it on a demo setup; `make test`
# builds everything twice (plain, and with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs every test in both. Each does its own set-up on a fresh Debian machine.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all deps build run test test-plain test-asan format format-check bench fuzz clean package

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DREGISTER_WERROR=ON $(CMAKE_ARGS)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DREGISTER_WERROR=ON -DREGISTER_SANITIZE=ON $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/demo.sh $(BUILD)

test: deps format-check test-plain test-asan

test-plain: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --output-on-failure -j $(JOBS)

format:
	clang-format -i $(SOURCES)

format-check:
	@clang-format --dry-run --Werror $(SOURCES)

bench: build
	cmake --build $(BUILD) --target bench
	@scripts/bench.sh $(BUILD)

# The Debian package, built by CPack into the build folder.
package: build
	cd $(BUILD) && cpack -G DEB
# The libFuzzer targets, built with clang in a folder of their own; each one fuzzes for
# FUZZ_SECONDS from its seed corpus and regression inputs. What it finds that is new is kept in
# $(FUZZ_BUILD)/corpus/<target>; an input that breaks a property lands in $(FUZZ_BUILD)/findings.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= $(notdir $(wildcard tests/fuzz/corpus/*))

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_COMPILER=clang++-14 -DREGISTER_FUZZ=ON -DREGISTER_BUILD_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	@mkdir -p $(FUZZ_BUILD)/findings
	@for target in $(FUZZ_TARGETS); do \
	    echo "== fuzz_$$target for $(FUZZ_SECONDS) s"; \
	    mkdir -p $(FUZZ_BUILD)/corpus/$$target; \
	    $(FUZZ_BUILD)/bin/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/findings/$$target- $(FUZZ_BUILD)/corpus/$$target \
	        tests/fuzz/corpus/$$target $$(ls -d tests/fuzz/regressions/$$target 2>/dev/null) \
	        || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

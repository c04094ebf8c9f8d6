# The two commands a reader needs:
#   make demo   build both media and run Setup.exe under Wine through an install
#   make test   build everything and run every test, native and Windows
# Each installs missing packages and rebuilds only what is stale.

BUILD      := build
NATIVE     := $(BUILD)/native
WIN32      := $(BUILD)/win32
SANITIZE   := $(BUILD)/sanitize
FUZZ       := $(BUILD)/fuzz
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G "Unix Makefiles"

.PHONY: all deps native win32 sanitize test test-native test-win32 test-sanitize images demo fuzz faults bench format clean

all: native win32

deps:
	@scripts/install-deps.sh

$(NATIVE)/Makefile: | deps
	cmake -S . -B $(NATIVE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(WIN32)/Makefile: | deps
	cmake -S . -B $(WIN32) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

$(SANITIZE)/Makefile: | deps
	cmake -S . -B $(SANITIZE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	    -DKELVARIN_SANITIZE=ON -DKELVARIN_FUZZ=ON

native: deps $(NATIVE)/Makefile
	cmake --build $(NATIVE) -j $(JOBS)

win32: deps $(WIN32)/Makefile native
	cmake --build $(WIN32) -j $(JOBS)

sanitize: deps $(SANITIZE)/Makefile
	cmake --build $(SANITIZE) -j $(JOBS)

test-native: native
	ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

test-sanitize: sanitize
	ctest --test-dir $(SANITIZE) --output-on-failure -j $(JOBS)

# Windows tests take turns in the shared Wine prefix build/wine; those given a prefix of their
# own (kelvarin_add_test's PREFIX: build/wine-<name>) run beside them. Each waits on Wine more
# than on a processor, so the Windows tree runs more of them at once than there are processors.
WINE_JOBS ?= $(shell echo $$(( $(JOBS) * 2 + 1 )))
# Every session a run started, in whichever prefix (each keeps its record in <prefix>-run),
# but the demo's, which ends its own.
STOP_WINE  = for run in $(abspath $(BUILD))/wine*-run; do \
	    case $$run in */wine-demo-run) continue ;; esac; \
	    [ -d "$$run" ] && KELVARIN_WINE_DIR=$${run%-run} scripts/wine-session.sh stop; done; true

# A test that hangs is ended after a quarter of an hour: on a busy machine a sweep's half, which
# shares the processors with every other Windows test, takes most of ten minutes.
test-win32: win32
	@scripts/wine-session.sh start
	@status=0; ctest --test-dir $(WIN32) --output-on-failure --timeout 900 -j $(WINE_JOBS) \
	    || status=$$?; $(STOP_WINE); exit $$status

# The sanitize tree is built and tested while the Windows tests run, as those wait on Wine more
# than on the processors; each part's output is shown whole once it ends.
test: test-native win32
	@$(MAKE) --no-print-directory -j 2 --output-sync=target test-sanitize test-win32

# The disc images of both sample media, made as a vendor makes a release's.
images: win32
	@for edition in Ardent Brisk; do \
	    $(BUILD)/bin/pkgtool medium image $(BUILD)/medium/$$edition $(BUILD)/medium/$$edition.iso \
	        || exit 1; \
	done

demo: images
	@scripts/demo.sh $(ARGS)

fuzz: sanitize
	@tests/package/fuzz/run-fuzz.sh 300 $(SANITIZE)

# Every injection point of the install and the uninstall, failed and cut short, in every
# world of both families (make test tries each function's first, last and a few calls
# between); the figures by world, function and error are printed as it goes.
faults: win32
	@scripts/wine-session.sh start
	@status=0; KELVARIN_FAULT_SWEEP=full ctest --test-dir $(WIN32) -R '^(fault_|explorer_)' -V --timeout 7200 \
	    -j $(WINE_JOBS) > $(BUILD)/faults.log 2>&1 || status=$$?; $(STOP_WINE); \
	    grep -E '^[0-9]+: (install|uninstall|up to|  [A-Za-z(]|\[  FAILED)' $(BUILD)/faults.log; \
	    echo "make faults: $$(grep -cE '^[0-9]+: world ' $(BUILD)/faults.log) rules broken;" \
	        "the whole output is in $(BUILD)/faults.log"; exit $$status

bench: native win32
	@bench/run-bench.sh $(NATIVE)
	@scripts/wine-session.sh start; status=0; bench/install/run.sh || status=$$?; \
	    scripts/wine-session.sh stop; exit $$status

format:
	@find src tools tests bench sample -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)

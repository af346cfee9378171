# Thin driver over CMake. Debian's interpreter carries NumPy; name it explicitly.
PYTHON ?= /usr/bin/python3
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= 2
CMAKE_FLAGS = -DPython3_EXECUTABLE=$(PYTHON)

.PHONY: all deps build demo gallery test test-fast test-asan install bench clean

all: build

deps:
	sh scripts/install-deps.sh

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

demo: deps build
	PYTHONPATH=$(BUILD)/python $(PYTHON) examples/demo.py

# The pictures of docs/gallery.md, remade from examples/.
gallery: build
	PYTHONPATH=$(BUILD)/python $(PYTHON) examples/gallery.py

# The whole suite: C++ tests, the Python suite, then the Python suite again
# against an AddressSanitizer + UBSan build.
test: deps test-fast test-asan

test-fast: build
	ctest --test-dir $(BUILD) --output-on-failure

test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTA_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure

install: build
	$(PYTHON) -c 'import sysconfig; print(sysconfig.get_path("platlib"))' > $(BUILD)/site-dir
	install -d "$$(cat $(BUILD)/site-dir)"
	install -m 644 $(BUILD)/python/velta.py "$$(cat $(BUILD)/site-dir)/"
	install -m 755 $(BUILD)/python/_velta*.so "$$(cat $(BUILD)/site-dir)/"

bench: deps build
	PYTHONPATH=$(BUILD)/python $(PYTHON) benchmarks/run.py

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# Thin driver over Meson. Debian's interpreter carries NumPy; name it explicitly.
PYTHON ?= /usr/bin/python3
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= 2
# make install: the venv pip installs into (Debian refuses pip in the system
# interpreter), and pip's flags (offline by default).
VENV ?= .venv
PIP_FLAGS ?= --no-index

# The modules and the benchmark peers in a build folder.
MODULE_DIR = $(BUILD)/src/binding

# $(call setup,DIR,OPTIONS): configure DIR once, for $(PYTHON). A comma inside
# OPTIONS would end the argument: write it $(comma).
comma := ,
setup = test -f $(1)/build.ninja || { mkdir -p $(1) && \
	printf "[binaries]\npython = '%s'\n" "$(PYTHON)" > $(1)/python.ini && \
	meson setup $(1) --native-file $(1)/python.ini $(2); }

.PHONY: all deps build demo test test-fast test-asan install bench check-package gallery docs clean

all: build

deps:
	sh scripts/install-deps.sh

build:
	$(call setup,$(BUILD),--buildtype=release)
	meson compile -C $(BUILD) -j $(JOBS)

demo: deps build
	PYTHONPATH=$(MODULE_DIR) $(PYTHON) examples/demo.py

# The pictures of docs/gallery.md, remade from examples/.
gallery: build
	PYTHONPATH=$(MODULE_DIR) $(PYTHON) examples/gallery.py

# The API reference (Sphinx, warnings as errors): $(BUILD)/docs/html/index.html.
docs: build
	PYTHONPATH=$(MODULE_DIR) $(PYTHON) docs/reference.py $(BUILD)/docs

# The whole suite: C++ tests, the Python suite, then both again against an
# AddressSanitizer + UBSan build.
test: deps test-fast test-asan

test-fast: build
	meson test -C $(BUILD) --print-errorlogs

test-asan:
	$(call setup,$(ASAN_BUILD),--buildtype=debugoptimized -Db_sanitize=address$(comma)undefined)
	meson compile -C $(ASAN_BUILD) -j $(JOBS)
	meson test -C $(ASAN_BUILD) --print-errorlogs

install:
	test -x $(VENV)/bin/pip || $(PYTHON) -m venv --system-site-packages $(VENV)
	$(VENV)/bin/pip install --no-build-isolation $(PIP_FLAGS) .

bench: deps build
	PYTHONPATH=$(MODULE_DIR) $(PYTHON) benchmarks/run.py --peers $(BUILD)/velta_bench_peers

# The packaging route (slow, not part of make test): install into a fresh venv,
# uninstall, build an sdist and a wheel from it, run the suite on that wheel.
check-package:
	sh scripts/check-package.sh $(PYTHON)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

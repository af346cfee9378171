#!/bin/sh
# The packaging route, offline: pip installs the source tree into a fresh venv
# and uninstalls it; python3 -m build makes an sdist and a wheel from that
# sdist; the wheel holds only the two modules and their stubs, passes the
# Python suite, and mypy --strict finds the stubs for the examples.
# Usage: sh scripts/check-package.sh [PYTHON]   (from the repository root)
set -eu
PYTHON=${1:-/usr/bin/python3}
SRC=$(pwd)
WORK=$(mktemp -d /tmp/velta-package.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
VENV="$WORK/venv"
VPY="$VENV/bin/python"

step() { printf '\n== %s\n' "$*"; }

# Prints name and version, from a folder outside the source tree; fails when
# the metadata and the module disagree.
check_installed() {
  (cd "$WORK" && "$VPY" -c '
import importlib.metadata as m, velta, _velta, sys
assert velta.__file__.startswith(sys.prefix), velta.__file__
assert m.version("velta") == velta.__version__, (m.version("velta"), velta.__version__)
print("installed velta", velta.__version__, "at", velta.__file__)')
}

step "venv with the system site packages (Debian's NumPy)"
"$PYTHON" -m venv --system-site-packages "$VENV"

step "pip install --no-build-isolation --no-index ."
"$VPY" -m pip install -q --no-build-isolation --no-index "$SRC"
check_installed
"$VPY" -m pip list 2>/dev/null | grep '^velta '

step "pip uninstall -y velta"
"$VPY" -m pip uninstall -y velta
if (cd "$WORK" && "$VPY" -c 'import velta' 2>/dev/null); then
  echo "velta is still importable after pip uninstall"; exit 1
fi
echo "velta is gone"

step "python3 -m build --no-isolation (the wheel is built from the sdist)"
"$PYTHON" -m build --no-isolation --outdir "$WORK/dist" "$SRC" >"$WORK/build.log" 2>&1 ||
  { tail -40 "$WORK/build.log"; exit 1; }
tail -1 "$WORK/build.log"
SDIST=$(ls "$WORK"/dist/velta-*.tar.gz)
WHEEL=$(ls "$WORK"/dist/velta-*.whl)

step "sdist contents: tracked files only, nothing built"
"$PYTHON" - "$SDIST" "$SRC" <<'PY'
import subprocess, sys, tarfile
sdist, src = sys.argv[1:]
with tarfile.open(sdist) as tar:
    names = {n.split("/", 1)[1] for n in tar.getnames() if "/" in n}
tracked = set(subprocess.run(["git", "-C", src, "ls-files"], capture_output=True, text=True,
                             check=True).stdout.split())
missing = sorted(tracked - names)
extra = sorted(n for n in names - tracked if not n.endswith("/") and n != "PKG-INFO"
               and not any(t.startswith(n + "/") for t in tracked))
assert not missing, "not in the sdist: %s" % missing
assert not extra, "not tracked, yet in the sdist: %s" % extra
print("%s: %d files, all tracked, none missing" % (sdist.rsplit("/", 1)[1], len(tracked)))
PY

step "wheel contents: the proxy module, the ABI-tagged extension, their stubs, the metadata"
"$PYTHON" - "$WHEEL" <<'PY'
import re, sys, sysconfig, zipfile
wheel = sys.argv[1]
names = zipfile.ZipFile(wheel).namelist()
suffix = sysconfig.get_config_var("EXT_SUFFIX")
modules = sorted(n for n in names if ".dist-info/" not in n)
assert modules == sorted(["velta.py", "_velta" + suffix, "velta-stubs/__init__.pyi",
                          "_velta-stubs/__init__.pyi"]), modules
info = sorted(n.split("/", 1)[1] for n in names if ".dist-info/" in n)
assert info == ["LICENSE", "METADATA", "RECORD", "WHEEL"], info
metadata = zipfile.ZipFile(wheel).read(next(n for n in names if n.endswith(".dist-info/METADATA"))).decode()
assert "\nLicense: BSD-3-Clause\n" in metadata, "the licence is not its short expression"
assert "\nProject-URL: Source, https://" in metadata, "no Project-URL"
print(wheel.rsplit("/", 1)[1], ":", ", ".join(modules))
PY

step "the Python suite against the wheel built from the sdist"
"$VPY" -m pip install -q --no-index "$WHEEL"
check_installed
rc=0
(cd "$WORK" && env -u PYTHONPATH xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$VPY" -m pytest -q -p no:cacheprovider -rs "$SRC/tests/python") >"$WORK/pytest.log" 2>&1 || rc=$?
grep -E "^(SKIPPED|FAILED|ERROR)" "$WORK/pytest.log" || true
tail -1 "$WORK/pytest.log"
[ "$rc" -eq 0 ] || { tail -60 "$WORK/pytest.log"; exit "$rc"; }
if grep -q "not from an installed package" "$WORK/pytest.log"; then
  echo "the suite did not run against the installed wheel"; exit 1
fi

step "mypy --strict over the examples, against the installed stubs"
(cd "$WORK" && env -u PYTHONPATH "$VPY" -m mypy --config-file "$SRC/pyproject.toml" \
  --cache-dir "$WORK/mypy-cache" "$SRC/examples")
"$VPY" -m pip uninstall -q -y velta
echo "package route: all steps passed"

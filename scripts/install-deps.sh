#!/bin/sh
# Installs the Debian 12 packages needed to build, test and benchmark velta.
# Run as root. Only packages that are missing are installed.
set -eu
PACKAGES="build-essential meson ninja-build pkg-config swig python3 python3-dev python3-numpy
python3-pytest python3-mesonpy python3-build patchelf python3-venv python3-pip
libgtk-3-dev libcairo2-dev zlib1g-dev libgtest-dev xvfb xauth xdotool x11-utils imagemagick
fonts-dejavu-core locales python3-matplotlib libopenblas0 valgrind
python3-distributed python3-nbconvert python3-ipykernel python3-mypy python3-sphinx python3-myst-parser"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends $missing
fi
# A comma-decimal locale for the locale-independence tests.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen 2>/dev/null || true
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null 2>&1 || true
fi

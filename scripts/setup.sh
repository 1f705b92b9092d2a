#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need. Safe to run again:
# it only calls apt-get when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang libclang-rt-14-dev clang-format git
  qt6-base-dev qt6-charts-dev libgl-dev libcli11-dev
  libqt6opengl6-dev  # Qt6Charts' CMake package needs Qt6OpenGL's, which qt6-charts-dev does not pull in
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth desktop-file-utils fonts-dejavu-core
  qt6-translations-l10n  # Qt's own dialogs and buttons in Russian, like the window
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Darvelon needs these Debian packages: ${missing[*]}" >&2
    echo "There is no sudo here: as root, run  apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
# Through env: sudo drops the caller's environment, and debconf would otherwise ask questions.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"

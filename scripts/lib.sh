# Shared by scripts/run and scripts/test: the Debian packages the project needs, installed when missing.
# shellcheck shell=bash

QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

QV_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libgl-dev libqt6gui6
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core libx11-dev
  valgrind strace
  xclip
  librsvg2-bin desktop-file-utils appstream lintian dpkg-dev
)

qv_install_packages() {
  local missing=()
  local p
  for p in "${QV_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures and builds one preset (dev, release or asan).
qv_build() {
  local preset=$1
  cmake --preset "$preset" -S "$QV_ROOT" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
}

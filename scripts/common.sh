# Shared by the scripts: the packages the build needs and installing only those that are missing.
# shellcheck shell=bash

VELMAR_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VELMAR_PACKAGES=(cmake make g++ qt6-base-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev libgtest-dev)

# ensure_packages PKG...: installs with apt-get the packages that are not installed yet.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build DIR [CMAKE-ARGS...]: configures DIR once, then builds what is out of date.
configure_and_build() {
  local dir="$1"
  shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$VELMAR_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@"
  fi
  cmake --build "$dir" -j"$(nproc)"
}

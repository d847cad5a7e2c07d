# Shared by the scripts: the packages the build needs, installing only those that are missing, and
# configuring a build folder from a preset of CMakePresets.json.
# shellcheck shell=bash

VELMAR_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# dpkg-dev: the release preset takes Debian's hardening flags from its dpkg-buildflags.
VELMAR_PACKAGES=(cmake make g++ qt6-base-dev libgtest-dev dpkg-dev)
# What the installation and package tests run (they fail, not skip, without it).
VELMAR_TEST_PACKAGES=(dpkg-dev file gzip groff-base desktop-file-utils appstream)
# What CI runs beyond the tests: the package checker and the format check.
VELMAR_CI_PACKAGES=(lintian clang-format git)
# The window's font and Qt's translations.
VELMAR_PACKAGES+=(fonts-wine qt6-translations-l10n)
# What the desktop test needs: an X server with a window manager, the accessibility bus and a client that
# reads it as a screen reader does.
VELMAR_TEST_PACKAGES+=(xvfb xauth openbox dbus at-spi2-core python3-pyatspi xdotool)
# The charts page.
VELMAR_PACKAGES+=(qt6-charts-dev qt6-svg-dev libqt6opengl6-dev)

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

# preset_dir PRESET: the build folder of a configure preset (binaryDir of the base preset).
preset_dir() {
  echo "$VELMAR_ROOT/build-$1"
}

# cache_differs DIR PRESET [CMAKE-ARGS...]: true when DIR has no cache or no build system yet (a configure
# that failed leaves its cache behind), or when a variable that the preset or one of the
# -DNAME[:TYPE]=VALUE arguments sets has another value in the cache.
cache_differs() {
  local dir="$1" preset="$2"
  shift 2
  local cache="$dir/CMakeCache.txt"
  [ -f "$cache" ] || return 0
  [ -f "$dir/CMakeFiles/Makefile.cmake" ] || [ -f "$dir/build.ninja" ] || return 0
  local wanted=() line name value section=
  # cmake prints the preset's cache variables as   NAME="VALUE"   under "Preset CMake variables:", and its
  # environment the same way under a heading of its own.
  while IFS= read -r line; do
    if [[ "$line" =~ ^Preset\ (.*):$ ]]; then
      section="${BASH_REMATCH[1]}"
    elif [ "$section" = "CMake variables" ] && [[ "$line" =~ ^\ +([A-Za-z0-9_]+)=\"(.*)\"$ ]]; then
      wanted+=("${BASH_REMATCH[1]}=${BASH_REMATCH[2]}")
    fi
  done < <(cd "$VELMAR_ROOT" && cmake --preset "$preset" -N)
  for line in "$@"; do
    if [[ "$line" =~ ^-D([A-Za-z0-9_]+)(:[A-Z]+)?=(.*)$ ]]; then
      wanted+=("${BASH_REMATCH[1]}=${BASH_REMATCH[3]}")
    fi
  done
  local pair cached
  for pair in "${wanted[@]}"; do
    name="${pair%%=*}"
    value="${pair#*=}"
    cached="$(sed -n "s/^$name:[A-Z]*=//p" "$cache" | head -n 1)"
    if [ "$cached" != "$value" ]; then
      echo "$dir: $name is '$cached' in the cache, '$value' asked: configuring anew"
      return 0
    fi
  done
  return 1
}

# configure_and_build PRESET [DIR [CMAKE-ARGS...]]: configures DIR (default: the preset's folder) from the
# preset and the arguments, from scratch when the cache holds other values than those asked, then builds
# what is out of date (the targets of the build preset).
configure_and_build() {
  local preset="$1"
  local dir="${2:-$(preset_dir "$1")}"
  shift
  [ "$#" -eq 0 ] || shift
  if cache_differs "$dir" "$preset" "$@"; then
    (cd "$VELMAR_ROOT" && cmake --preset "$preset" -B "$dir" --fresh "$@")
  fi
  if [ "$dir" = "$(preset_dir "$preset")" ]; then
    (cd "$VELMAR_ROOT" && cmake --build --preset "$preset" -j"$(nproc)")
  else
    cmake --build "$dir" -j"$(nproc)"
  fi
}

#!/usr/bin/env bash
# reconfigure-test.sh SOURCE_DIR
# The scripts configure a build folder anew exactly when its cache holds another value than the preset or
# the script's own -D arguments ask for (cache_differs of scripts/common.sh). Each row: a name, the preset,
# the arguments, the cache lines, and whether a new configuration is expected.
set -u
# shellcheck source=scripts/common.sh
source "$1/scripts/common.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/velmar-reconfigure.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT

# The cache of a folder that the release preset configured, as CMake writes it.
release_cache='CMAKE_BUILD_TYPE:STRING=Release
VELMAR_BUILD_TESTS:BOOL=ON
VELMAR_WERROR:BOOL=ON
VELMAR_SANITIZE:BOOL=OFF
VELMAR_SANITIZE_THREAD:BOOL=OFF
VELMAR_FUZZ:BOOL=OFF
VELMAR_DEB_HARDENING:BOOL=ON
CMAKE_CXX_FLAGS:STRING=-O2 -g'
# The same folder after a hand-made "cmake -DVELMAR_WERROR=OFF" (what scripts/run used to leave behind).
without_werror=${release_cache/VELMAR_WERROR:BOOL=ON/VELMAR_WERROR:BOOL=OFF}
# A folder of the fuzz preset, whose compiler comes from the preset's environment (CXX), not its cache.
fuzz_cache='CMAKE_BUILD_TYPE:STRING=RelWithDebInfo
CMAKE_CXX_COMPILER:FILEPATH=/usr/bin/clang++
VELMAR_BUILD_BENCH:BOOL=OFF
VELMAR_BUILD_TESTS:BOOL=OFF
VELMAR_WERROR:BOOL=ON
VELMAR_SANITIZE:BOOL=OFF
VELMAR_SANITIZE_THREAD:BOOL=OFF
VELMAR_FUZZ:BOOL=ON
VELMAR_DEB_HARDENING:BOOL=OFF'
release_cache+='
VELMAR_BUILD_BENCH:BOOL=ON'

# name | preset | argument (one word) | the variable holding the cache, "-" for none | expected: anew or keep
# | "no-build-system" when the configure is to look as if it failed
cases=(
    "no cache yet|release||-|anew"
    "the cache the preset wrote|release||release_cache|keep"
    "-Werror switched off by hand|release||without_werror|anew"
    "another preset asked of the folder|asan||release_cache|anew"
    "an argument that matches the cache|release|-DCMAKE_CXX_FLAGS=-O2 -g|release_cache|keep"
    "an argument with a type that matches|release|-DVELMAR_FUZZ:BOOL=OFF|release_cache|keep"
    "an argument that differs|release|-DCMAKE_CXX_FLAGS=-O2|release_cache|anew"
    "an argument the cache lacks|release|-DVELMAR_HOMEPAGE=x|release_cache|anew"
    "the preset's environment is no cache variable|fuzz||fuzz_cache|keep"
    "a cache whose configure failed (no build system)|release||release_cache|anew|no-build-system"
)

failures=0
n=0
for row in "${cases[@]}"; do
    IFS='|' read -r name preset argument cache expected generated <<<"$row"
    n=$((n + 1))
    dir=$tmp/case-$n
    mkdir -p "$dir/CMakeFiles"
    [ "$cache" = - ] || printf '%s\n' "${!cache}" >"$dir/CMakeCache.txt"
    [ "$generated" = no-build-system ] || : >"$dir/CMakeFiles/Makefile.cmake"
    args=()
    [ -z "$argument" ] || args=("$argument")
    if cache_differs "$dir" "$preset" "${args[@]}" >/dev/null; then
        got=anew
    else
        got=keep
    fi
    if [ "$got" != "$expected" ]; then
        echo "FAIL: $name: $got, expected $expected"
        failures=$((failures + 1))
    fi
done
if [ "$failures" -gt 0 ]; then
    echo "$failures of $n cases failed"
    exit 1
fi
echo "PASS: $n cases"

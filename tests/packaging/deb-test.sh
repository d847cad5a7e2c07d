#!/usr/bin/env bash
# deb-test.sh BUILD_DIR SOURCE_DIR
# Builds the Debian package with cpack, unpacks it with dpkg -x into a temporary root and checks that
# the files are where the desktop entry and the launcher look for them.
# It runs when VELMAR_TEST_DEB=1 (the release test preset sets it; a sanitizer build has nothing to package);
# otherwise it is skipped (exit 77).
set -u

if [ "${VELMAR_TEST_DEB:-}" != 1 ]; then
    echo "SKIP: set VELMAR_TEST_DEB=1 to build and check the Debian package"
    exit 77
fi

build=$(cd "$1" && pwd) || exit 1
source_dir=$(cd "$2" && pwd) || exit 1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/packaging/checks.sh
source "$here/checks.sh"

for tool in cpack dpkg-deb dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (apt-get install cmake dpkg-dev file)"
done
[ "$failures" -eq 0 ] || finish

if ! (cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out") >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    fail "cpack -G DEB failed"
    finish
fi
shopt -s nullglob
debs=("$tmp"/out/*.deb)
shopt -u nullglob
if [ "${#debs[@]}" -ne 1 ]; then
    fail "cpack made ${#debs[@]} packages, not one"
    finish
fi
deb=${debs[0]}

# --- Control fields ------------------------------------------------------------------------------------
field() {
    dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = velmar-stat ] || fail "Package is '$(field Package)'"
version=$(project_version "$build")
case $(field Version) in
"$version" | "$version"-*) ;;
*) fail "Version '$(field Version)' is not the project's $version" ;;
esac
[ "${deb##*/}" = "velmar-stat_$(field Version)_$(field Architecture).deb" ] || fail "package file name ${deb##*/}"
case $(field Maintainer) in
*"<"*@*">") ;;
*) fail "Maintainer '$(field Maintainer)' has no address" ;;
esac
case $(field Section) in
net | utils) ;;
*) fail "Section is '$(field Section)'" ;;
esac
depends=$(field Depends)
case $depends in
*libqt6widgets6*) ;;
*) fail "Depends does not name the Qt widgets library: '$depends'" ;;
esac
case $depends in
*libc6*) ;;
*) fail "Depends does not name libc6: '$depends'" ;;
esac
# The window's font and Qt's own texts in the user's language.
for runtime in fonts-wine qt6-translations-l10n; do
    case $depends in
    *"$runtime"*) ;;
    *) fail "Depends does not name $runtime: '$depends'" ;;
    esac
done
[ "$(field Description | wc -l)" -ge 3 ] || fail "the Description has no lines beyond its summary"

# Everything belongs to root and nothing is writable by others.
if dpkg-deb -c "$deb" | awk '$2 != "root/root" || $1 ~ /^.{8}w/ { bad = 1; print } END { exit !bad }'; then
    fail "the package holds files not owned by root or writable by everybody"
fi

# --- Files ------------------------------------------------------------------------------------------------
root=$tmp/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
usr=$root/usr
check_executable "$usr/bin/velmar-stat"
check_executable "$usr/bin/velmar-stat-desktop"
check_executable "$usr/libexec/velmar-stat/velmar-stat-window"
check_executable "$usr/libexec/velmar-stat/velmar-mkconfig"
check_file "$usr/share/velmar-stat/lang/english.lng"
check_readmes "$usr/share/velmar-stat/lang"
check_desktop_entry "$usr/share/applications/velmar-stat.desktop" "$usr/bin" "$usr/share/icons"
check_icon "$usr/share/icons/hicolor/scalable/apps/velmar-stat.svg"
check_man_pages "$usr/share/man/man1" "$build"
check_metainfo "$usr/share/metainfo" "$build" "$source_dir"
check_file "$usr/share/doc/velmar-stat/copyright"
check_file "$usr/share/lintian/overrides/velmar-stat"
check_changelog "$usr/share/doc/velmar-stat/changelog.Debian.gz" "$build"
file "$usr/bin/velmar-stat" | grep -q "not stripped" && fail "velmar-stat is not stripped"
file "$usr/libexec/velmar-stat/velmar-stat-window" | grep -q "not stripped" && fail "velmar-stat-window is not stripped"

# The unpacked launcher finds the shipped files and the tool beside itself, with no overrides.
fake=$tmp/fake-velmar-stat
make_fake_program "$fake"
home=$(new_home)
run_launcher "$home" VELMAR_STAT="$fake" -- "$usr/bin/velmar-stat-desktop" -e
dir=$home/.local/share/velmar-stat
[ "$status" -eq 3 ] || fail "launcher: exit status $status, not the program's 3; $(cat "$tmp/stderr")"
[ "$(recorded_dir)" = "$dir" ] || fail "launcher: the program ran in '$(recorded_dir)'"
[ -s "$dir/config" ] || fail "launcher: no config written by the packaged velmar-mkconfig"
for file in "$usr/share/velmar-stat/lang"/*; do
    cmp -s "$file" "$dir/${file##*/}" || fail "launcher: ${file##*/} was not copied"
done

# The packaged program itself runs: unattended, without a log it reports the missing log.
home=$(new_home)
run_launcher "$home" -- "$usr/bin/velmar-stat-desktop" -e
[ "$status" -eq 1 ] || fail "packaged program: exit status $status, not 1 for a missing log"
grep -q "^Error: " "$tmp/stderr" || fail "packaged program: no 'Error:' message"

finish

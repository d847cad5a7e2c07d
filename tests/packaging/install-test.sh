#!/usr/bin/env bash
# install-test.sh BUILD_DIR SOURCE_DIR
# Installs the build into a temporary prefix, checks the layout that the desktop entry and the launcher
# rely on, then runs the installed launcher against temporary home directories.
# Exit status: 0 passed, 1 failed (also when velmar-mkconfig or the language files are missing).
set -u

build=$(cd "$1" && pwd) || exit 1
source_dir=$(cd "$2" && pwd) || exit 1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/packaging/checks.sh
source "$here/checks.sh"

prefix=$tmp/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log"
    fail "cmake --install failed"
    finish
fi

# --- Layout ------------------------------------------------------------------------------------------
lang=$prefix/share/velmar-stat/lang
check_executable "$prefix/bin/velmar-stat"
check_executable "$prefix/bin/velmar-stat-desktop"
check_file "$prefix/share/applications/velmar-stat.desktop"
check_metainfo "$prefix/share/metainfo" "$build" "$source_dir"
check_file "$prefix/share/icons/hicolor/scalable/apps/velmar-stat.svg"
check_man_pages "$prefix/share/man/man1" "$build"
check_changelog "$prefix/share/doc/velmar-stat/changelog.Debian.gz" "$build"
check_desktop_entry "$prefix/share/applications/velmar-stat.desktop" "$prefix/bin" "$prefix/share/icons"
check_icon "$prefix/share/icons/hicolor/scalable/apps/velmar-stat.svg"

# Every language file and readme of the repository is shipped unchanged.
shopt -s nullglob
sources=("$source_dir"/lang/*.lng "$source_dir"/lang/*.txt)
shopt -u nullglob
for file in "${sources[@]}"; do
    if ! cmp -s "$file" "$lang/${file##*/}"; then
        fail "lang/${file##*/} is not installed unchanged in share/velmar-stat/lang"
    fi
done
check_readmes "$lang"

mkconfig=$prefix/libexec/velmar-stat/velmar-mkconfig
check_executable "$mkconfig"
# velmar-stat hands a run with a screen over to the window program, which it finds in the tool directory
# of the installation. A window platform chosen by name counts as a screen; this one does not exist, so the
# window program only has to be reached: its toolkit then names the platform it cannot find, and ends.
check_executable "$prefix/libexec/velmar-stat/velmar-stat-window"
(cd "$tmp" && env -u WAYLAND_DISPLAY -u DISPLAY QT_QPA_PLATFORM=velmar-no-such-platform timeout 20 \
    "$prefix/bin/velmar-stat") >"$tmp/window.log" 2>&1
if grep -q "cannot start the window program" "$tmp/window.log"; then
    fail "the installed velmar-stat does not find its window program: $(cat "$tmp/window.log")"
elif ! grep -q "velmar-no-such-platform" "$tmp/window.log"; then
    fail "the installed velmar-stat did not hand the run to its window program: $(cat "$tmp/window.log")"
fi
[ "${#sources[@]}" -gt 0 ] || fail "there are no language files in lang/"
[ -f "$lang/english.lng" ] || fail "english.lng is not shipped"
[ "$failures" -eq 0 ] || finish

# --- Launcher ----------------------------------------------------------------------------------------
launcher=$prefix/bin/velmar-stat-desktop
fake=$tmp/fake-velmar-stat
make_fake_program "$fake"

# expect_config FILE LANG LOG: FILE is the config that velmar-mkconfig writes for LANG with the default
# tariff, offset and templates and the log LOG.
expect_config() {
    local what=$1 file=$2 language=$3 log=$4
    if ! "$mkconfig" --out "$tmp/expected-config" --lang "$language" --log "$log"; then
        fail "$what: velmar-mkconfig cannot write the expected config"
        return
    fi
    if ! cmp -s "$tmp/expected-config" "$file"; then
        fail "$what: config is not the default one for language $language and log $log"
    fi
}

# Which locale variables choose the language of the first config. POSIX precedence: LC_ALL, then
# LC_MESSAGES, then LANG; a value starting with "ru" means Russian.
russian=russian
[ -f "$lang/russian.lng" ] || russian=english # without a Russian file the launcher cannot choose it
locale_cases=(
    "no locale at all||english"
    "LANG Russian UTF-8|LANG=ru_RU.UTF-8|$russian"
    "LANG bare ru|LANG=ru|$russian"
    "LANG Russian in Ukraine, KOI8-U|LANG=ru_UA.KOI8-U|$russian"
    "LANG German|LANG=de_DE.UTF-8|english"
    "LANG C|LANG=C|english"
    "LC_MESSAGES Russian over LANG English|LANG=en_GB.UTF-8 LC_MESSAGES=ru_RU.CP1251|$russian"
    "LC_MESSAGES English over LANG Russian|LANG=ru_RU.UTF-8 LC_MESSAGES=en_US.UTF-8|english"
    "LC_ALL C over LANG Russian|LANG=ru_RU.UTF-8 LC_ALL=C|english"
    "LC_ALL Russian over LANG German|LANG=de_DE.UTF-8 LC_ALL=ru_RU.UTF-8|$russian"
    "empty LC_ALL is unset|LC_ALL= LANG=ru_RU.UTF-8|$russian"
    "uppercase RU is not Russian|LANG=RU|english"
)
for row in "${locale_cases[@]}"; do
    IFS='|' read -r what assignments expected <<<"$row"
    home=$(new_home)
    # shellcheck disable=SC2086 # the assignments are words on purpose
    run_launcher "$home" VELMAR_STAT="$fake" $assignments -- "$launcher"
    dir=$home/.local/share/velmar-stat
    [ "$status" -eq 3 ] || fail "$what: exit status $status, not the program's 3"
    [ "$(recorded_dir)" = "$dir" ] || fail "$what: the program ran in '$(recorded_dir)', not in $dir"
    expect_config "$what" "$dir/config" "$expected" "$home/new_line.log"
    for file in "$lang"/*; do
        cmp -s "$file" "$dir/${file##*/}" || fail "$what: ${file##*/} was not copied into $dir"
    done
done

# Where the start directory goes.
home=$(new_home)
run_launcher "$home" VELMAR_STAT="$fake" XDG_DATA_HOME="$home/data" -- "$launcher"
[ "$(recorded_dir)" = "$home/data/velmar-stat" ] || fail "XDG_DATA_HOME: ran in '$(recorded_dir)'"
[ -f "$home/data/velmar-stat/config" ] || fail "XDG_DATA_HOME: no config in $home/data/velmar-stat"
home=$(new_home)
mkdir -p "$home/work"
(cd "$home/work" && run_launcher "$home" VELMAR_STAT="$fake" XDG_DATA_HOME=relative -- "$launcher")
status=$(cat "$tmp/status")
[ "$(recorded_dir)" = "$home/.local/share/velmar-stat" ] \
    || fail "a relative XDG_DATA_HOME must be ignored: ran in '$(recorded_dir)'"
[ ! -e "$home/work/relative" ] || fail "a relative XDG_DATA_HOME created a directory"

# The arguments reach the program unchanged, an empty one and a pattern included, and the launcher
# becomes the program (same process), so its exit status is the program's.
home=$(new_home)
run_launcher_bg "$home" VELMAR_STAT="$fake" -- "$launcher" -a "" "two words" "*" -e
[ "$status" -eq 3 ] || fail "arguments: exit status $status, not the program's 3"
[ "$(recorded_pid)" = "$launcher_pid" ] || fail "the launcher does not exec the program"
printf '%s\n' "[-a]" "[]" "[two words]" "[*]" "[-e]" >"$tmp/expected-args"
cmp -s "$tmp/expected-args" "$tmp/record.args" || fail "arguments: got $(tr '\n' ' ' <"$tmp/record.args")"

# A second run keeps what the user changed and brings in what is new.
share=$tmp/share
rm -rf "$share"
cp -R "$lang" "$share"
home=$(new_home)
dir=$home/.local/share/velmar-stat
run_launcher "$home" VELMAR_STAT="$fake" VELMAR_STAT_SHARE="$share" -- "$launcher"
printf '; my own change\n' >>"$dir/english.lng"
cp "$dir/english.lng" "$tmp/edited-english"
"$mkconfig" --out "$dir/config" --lang english --log /var/log/fido/new_line.log --tarif 1.5
cp "$dir/config" "$tmp/edited-config"
printf '[Labels]\n0=Gesamt\n' >"$share/german.lng"
readme=
for file in "$share"/readme-*; do
    [ -f "$file" ] && readme=${file##*/} && break
done
[ -z "$readme" ] || rm -f "$dir/$readme"
run_launcher "$home" VELMAR_STAT="$fake" VELMAR_STAT_SHARE="$share" -- "$launcher"
cmp -s "$tmp/edited-english" "$dir/english.lng" || fail "second run: the edited english.lng was overwritten"
cmp -s "$tmp/edited-config" "$dir/config" || fail "second run: an existing config was overwritten"
cmp -s "$share/german.lng" "$dir/german.lng" || fail "second run: a newly shipped german.lng was not copied"
[ -z "$readme" ] || cmp -s "$share/$readme" "$dir/$readme" \
    || fail "second run: the deleted $readme was not copied again"

# An upgrade ships new versions: an untouched copy follows, the edited one stays the user's.
printf '; a later version\n' >>"$share/german.lng"
printf '; a later version\n' >>"$share/english.lng"
run_launcher "$home" VELMAR_STAT="$fake" VELMAR_STAT_SHARE="$share" -- "$launcher"
cmp -s "$share/german.lng" "$dir/german.lng" || fail "upgrade: the untouched german.lng was not updated"
cmp -s "$tmp/edited-english" "$dir/english.lng" || fail "upgrade: the edited english.lng was overwritten"
# Edited after the update: stays as the user left it at the next upgrade too.
printf '1=Summe\n' >>"$dir/german.lng"
cp "$dir/german.lng" "$tmp/edited-german"
printf '; yet another version\n' >>"$share/german.lng"
run_launcher "$home" VELMAR_STAT="$fake" VELMAR_STAT_SHARE="$share" -- "$launcher"
cmp -s "$tmp/edited-german" "$dir/german.lng" || fail "upgrade: german.lng edited after an update was overwritten"

# A config removed by the user is written anew, with the defaults.
rm -f "$dir/config"
run_launcher "$home" VELMAR_STAT="$fake" VELMAR_STAT_SHARE="$share" LANG=ru_RU.UTF-8 -- "$launcher"
expect_config "config removed" "$dir/config" "$russian" "$home/new_line.log"

# A home too long for the log field of the settings record gets a relative log name instead of a cut one.
home=$(new_home)
long=$home/$(printf 'd%.0s' $(seq 1 250))
mkdir -p "$long"
run_launcher "$long" VELMAR_STAT="$fake" -- "$launcher"
expect_config "long home" "$long/.local/share/velmar-stat/config" english new_line.log

# When velmar-mkconfig fails the program still starts (it then opens its settings page) and no broken
# config is left behind.
home=$(new_home)
run_launcher "$home" VELMAR_STAT="$fake" VELMAR_MKCONFIG=/bin/false -- "$launcher"
[ "$status" -eq 3 ] || fail "failing mkconfig: the program did not run (status $status)"
[ ! -e "$home/.local/share/velmar-stat/config" ] || fail "failing mkconfig: a config was left behind"
grep -q "could not write" "$tmp/stderr" || fail "failing mkconfig: no warning on standard error"

# Failures to prepare the start directory end the launcher with a message, before the program runs.
home=$(new_home)
mkdir -p "$home/.local/share"
: >"$home/.local/share/velmar-stat"
run_launcher "$home" VELMAR_STAT="$fake" -- "$launcher"
[ "$status" -eq 1 ] || fail "start directory is a file: exit status $status, not 1"
[ ! -e "$tmp/record.dir" ] || fail "start directory is a file: the program ran all the same"
grep -q "velmar-stat-desktop:" "$tmp/stderr" || fail "start directory is a file: no message"
run_launcher "" VELMAR_STAT="$fake" -- "$launcher"
[ "$status" -eq 1 ] || fail "no HOME: exit status $status, not 1"
grep -q "HOME is not set" "$tmp/stderr" || fail "no HOME: no message"

# The launcher found through a symbolic link (as /usr/local/bin links often are) still finds its files.
home=$(new_home)
ln -s "$launcher" "$tmp/linked-launcher"
run_launcher "$home" VELMAR_STAT="$fake" -- "$tmp/linked-launcher"
[ -f "$home/.local/share/velmar-stat/english.lng" ] || fail "symbolic link: the language files were not found"
[ -f "$home/.local/share/velmar-stat/config" ] || fail "symbolic link: velmar-mkconfig was not found"
rm -f "$tmp/linked-launcher"

# --- The real program through the launcher, unattended ------------------------------------------------
# First start: the default log is missing, so the program says so on standard error and ends with 1.
home=$(new_home)
run_launcher "$home" -- "$launcher" -e
[ "$status" -eq 1 ] || fail "real program, no log: exit status $status, not 1"
grep -q "^Error: " "$tmp/stderr" || fail "real program, no log: no 'Error:' message on standard error"
# With the log in place the cron-style export works in the start directory.
cat >"$home/new_line.log" <<'EOF'
+ 12-Mar-2003 10:15:30 CONNECT 33600/ARQ/V34/LAPM/V42BIS
  12-Mar-2003 10:15:36 Address : 2:5020/1846 Velmar test point
  12-Mar-2003 10:17:02 Receiving 'abcd1234.pkt' (1,024b)
  12-Mar-2003 10:20:30 Session completed successfully
EOF
run_launcher "$home" -- "$launcher" -a calls.txt -e
if [ "$status" -ne 0 ]; then
    fail "real program, export: exit status $status, not 0; standard error: $(cat "$tmp/stderr")"
fi
out=$home/.local/share/velmar-stat/calls.txt
grep -q "2:5020/1846" "$out" 2>/dev/null || fail "real program, export: calls.txt lacks the session's address"
grep -q "12-Mar-2003" "$out" 2>/dev/null || fail "real program, export: calls.txt lacks the session's date"

finish

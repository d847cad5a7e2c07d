# Checks shared by the installation and package tests. Sourced by bash.
# shellcheck shell=bash

failures=0
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velmar-packaging.XXXXXX") || exit 1
if [ -z "${VELMAR_KEEP_TEST_TMP:-}" ]; then
    trap 'rm -rf "$tmp"' EXIT
else
    echo "Keeping the test's files in $tmp"
fi

fail() {
    printf 'FAIL: %s\n' "$*"
    failures=$((failures + 1))
}

# finish: ends the test with its verdict.
finish() {
    if [ "$failures" -gt 0 ]; then
        printf '%d check(s) failed\n' "$failures"
        exit 1
    fi
    echo "PASS"
    exit 0
}

# skip REASON: ends the test as skipped, unless a check has failed already.
skip() {
    [ "$failures" -eq 0 ] || finish
    printf 'SKIP: %s\n' "$*"
    exit 77
}

check_file() {
    [ -f "$1" ] || fail "missing file $1"
}

check_executable() {
    if [ ! -f "$1" ] || [ ! -x "$1" ]; then
        fail "missing executable $1"
    fi
}

# desktop_key FILE KEY: the value of KEY in the group [Desktop Entry].
desktop_key() {
    LC_ALL=C awk -v key="$2" '
        /^\[/ { group = $0; next }
        group == "[Desktop Entry]" && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$1"
}

# check_desktop_entry FILE BINDIR ICONSDIR: the entry starts a program that is installed and shows an
# icon that is installed.
check_desktop_entry() {
    local file=$1 bindir=$2 icons=$3
    [ -f "$file" ] || return
    [ "${file##*/}" = velmar-stat.desktop ] || fail "the desktop entry must be named velmar-stat.desktop"
    [ "$(desktop_key "$file" Type)" = Application ] || fail "desktop entry: Type is not Application"
    [ "$(desktop_key "$file" Name)" = "Velmar statistic" ] || fail "desktop entry: Name is not 'Velmar statistic'"
    local exec program
    exec=$(desktop_key "$file" Exec)
    program=${exec%% *}
    [ "$program" = velmar-stat-desktop ] || fail "desktop entry: Exec starts '$program', not the launcher"
    [ -x "$bindir/$program" ] || fail "desktop entry: Exec program $program is not installed in $bindir"
    local try
    try=$(desktop_key "$file" TryExec)
    [ -z "$try" ] || [ -x "$bindir/$try" ] || fail "desktop entry: TryExec $try is not installed in $bindir"
    local icon
    icon=$(desktop_key "$file" Icon)
    [ "$icon" = velmar-stat ] || fail "desktop entry: Icon is '$icon', not velmar-stat"
    [ -f "$icons/hicolor/scalable/apps/$icon.svg" ] || fail "desktop entry: icon $icon.svg is not installed"
    local categories category
    categories=";$(desktop_key "$file" Categories)"
    for category in Network Utility; do
        case $categories in
        *";$category;"*) ;;
        *) fail "desktop entry: Categories lack $category" ;;
        esac
    done
    [ "$(desktop_key "$file" StartupWMClass)" = velmar-stat ] || fail "desktop entry: StartupWMClass is not velmar-stat"
    if command -v desktop-file-validate >/dev/null 2>&1; then
        if ! desktop-file-validate "$file" >"$tmp/validate.log" 2>&1; then
            cat "$tmp/validate.log"
            fail "desktop-file-validate refuses the desktop entry"
        fi
    fi
}

# check_icon FILE: a well-formed square SVG document.
check_icon() {
    [ -f "$1" ] || return
    if command -v python3 >/dev/null 2>&1; then
        python3 - "$1" <<'EOF' || fail "the icon $1 is not a square SVG document"
import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == "{http://www.w3.org/2000/svg}svg", root.tag
x, y, w, h = (float(v) for v in root.get("viewBox").split())
assert w == h and w >= 16, root.get("viewBox")
EOF
    else
        grep -q '<svg' "$1" || fail "the icon $1 is not an SVG document"
    fi
}

# man_text DIR NAME: the text of the manual page NAME.1, compressed or not.
man_text() {
    if [ -f "$1/$2.1.gz" ]; then
        gzip -dc "$1/$2.1.gz"
    elif [ -f "$1/$2.1" ]; then
        cat "$1/$2.1"
    else
        return 1
    fi
}

# check_man_pages DIR: velmar-stat.1 with its sections and options, and velmar-stat-desktop.1 leading to it.
check_man_pages() {
    local dir=$1
    if ! man_text "$dir" velmar-stat >"$tmp/velmar-stat.1"; then
        fail "missing manual page velmar-stat.1 in $dir"
        return
    fi
    local section
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "EXIT STATUS" EXAMPLES; do
        grep -qx "\.SH \"\{0,1\}$section\"\{0,1\}" "$tmp/velmar-stat.1" || fail "manual page: no section $section"
    done
    local option
    for option in d g a e; do
        grep -q "^\.B[I]\{0,1\} \\\\-$option\b" "$tmp/velmar-stat.1" || fail "manual page: option -$option not described"
    done
    local word
    for word in VELMAR_CODEPAGE QT_QPA_PLATFORM DISPLAY config '\*\.lng' '~Log\.tmp' velmar-stat-desktop \
        "cd ~/velmar && velmar-stat -a /var/www/fido/calls.txt -e"; do
        grep -q -- "$word" "$tmp/velmar-stat.1" || fail "manual page: '$word' is not mentioned"
    done
    if command -v groff >/dev/null 2>&1; then
        if ! LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$tmp/velmar-stat.1" >"$tmp/groff.log" 2>&1 \
            || [ -s "$tmp/groff.log" ]; then
            cat "$tmp/groff.log"
            fail "manual page: groff reports problems"
        fi
    fi
    if man_text "$dir" velmar-stat-desktop >"$tmp/velmar-stat-desktop.1"; then
        grep -qx '\.so man1/velmar-stat\.1' "$tmp/velmar-stat-desktop.1" \
            || fail "manual page velmar-stat-desktop.1 does not lead to velmar-stat.1"
    else
        fail "missing manual page velmar-stat-desktop.1 in $dir"
    fi
}

# project_version BUILD_DIR: the version the build was configured with.
project_version() {
    sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$1/CMakeCache.txt"
}

# check_changelog FILE BUILD_DIR: the Debian changelog names the project's version in its first entry.
check_changelog() {
    if [ ! -f "$1" ]; then
        fail "missing Debian changelog $1"
        return
    fi
    local first
    first=$(gzip -dc "$1" | head -n 1)
    case $first in
    "velmar-stat ($(project_version "$2")-"*") "*) ;;
    *) fail "the Debian changelog starts '$first', not with velmar-stat ($(project_version "$2")-...)" ;;
    esac
}

# check_readmes LANGDIR: the readme that each language file names is shipped beside it.
check_readmes() {
    local file name
    for file in "$1"/*.lng; do
        [ -f "$file" ] || continue
        name=$(LC_ALL=C awk '
            { sub(/\r$/, "") }
            /^[ \t]*\[/ { section = tolower($0); gsub(/[ \t]/, "", section); next }
            section == "[readme]" {
                eq = index($0, "=")
                if (eq == 0) next
                key = substr($0, 1, eq - 1); gsub(/[ \t]/, "", key)
                if (key != "0") next
                value = substr($0, eq + 1); gsub(/^[ \t]+|[ \t]+$/, "", value)
                if (value ~ /^".*"$/ || value ~ /^'\''.*'\''$/) value = substr(value, 2, length(value) - 2)
                print value; exit
            }' "$file")
        case $name in
        "") fail "${file##*/} names no readme in section Readme" ;;
        /* | *\\* | *:*) fail "${file##*/} names the readme '$name' by a path, not a file beside it" ;;
        *) [ -f "$1/$name" ] || fail "${file##*/} names the readme '$name', which is not shipped" ;;
        esac
    done
}

# make_fake_program FILE: a stand-in for velmar-stat that records where it ran, its process and its
# arguments (one a line, in brackets) beside $RECORD, and exits with 3.
make_fake_program() {
    cat >"$1" <<'EOF'
#!/bin/sh
pwd >"$RECORD.dir"
echo $$ >"$RECORD.pid"
: >"$RECORD.args"
for arg in "$@"; do
    printf '[%s]\n' "$arg" >>"$RECORD.args"
done
exit 3
EOF
    chmod +x "$1"
}

# new_home: prints the name of a fresh empty home directory.
new_home() {
    mktemp -d "$tmp/home.XXXXXX"
}

# run_launcher HOME [NAME=VALUE...] -- COMMAND [ARGS...]: runs COMMAND in a clean environment with that
# HOME (none when empty), no display and no locale unless given; sets status, keeps stdout and stderr.
launcher_env() {
    local home=$1
    shift
    env_args=(env -i PATH=/usr/local/bin:/usr/bin:/bin RECORD="$tmp/record")
    [ -z "$home" ] || env_args+=(HOME="$home")
    while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
        env_args+=("$1")
        shift
    done
    [ "$#" -gt 0 ] && shift
    command_args=("$@")
    rm -f "$tmp/record.dir" "$tmp/record.pid" "$tmp/record.args"
}
run_launcher() {
    launcher_env "$@"
    status=0
    "${env_args[@]}" "${command_args[@]}" >"$tmp/stdout" 2>"$tmp/stderr" </dev/null || status=$?
    echo "$status" >"$tmp/status"
}
# run_launcher_bg: the same, started in the background, so that launcher_pid is the launcher's process.
run_launcher_bg() {
    launcher_env "$@"
    status=0
    "${env_args[@]}" "${command_args[@]}" >"$tmp/stdout" 2>"$tmp/stderr" </dev/null &
    launcher_pid=$!
    wait "$launcher_pid" || status=$?
}

recorded_dir() {
    cat "$tmp/record.dir" 2>/dev/null
}

recorded_pid() {
    cat "$tmp/record.pid" 2>/dev/null
}

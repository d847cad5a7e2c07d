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
    if ! command -v desktop-file-validate >/dev/null 2>&1; then
        fail "desktop-file-validate is missing (apt-get install desktop-file-utils)"
    elif ! desktop-file-validate "$file" >"$tmp/validate.log" 2>&1 || grep -q ": \(error\|warning\): " "$tmp/validate.log"; then
        cat "$tmp/validate.log"
        fail "desktop-file-validate refuses the desktop entry or warns about it"
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

# check_man_pages DIR BUILD_DIR: velmar-stat.1 with its sections, options and the build's version, and
# velmar-stat-desktop.1 a link to it.
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
    if ! command -v groff >/dev/null 2>&1; then
        fail "groff is missing (apt-get install groff-base)"
    elif ! LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$tmp/velmar-stat.1" >"$tmp/groff.log" 2>&1 \
        || [ -s "$tmp/groff.log" ]; then
        cat "$tmp/groff.log"
        fail "manual page: groff reports problems"
    fi
    # The title line names the version the build was made of.
    local version
    version=$(project_version "$2")
    grep -q "^\.TH VELMAR-STAT 1 \"[A-Z][a-z]* [0-9]\{4\}\" \"velmar-stat $version\" " "$tmp/velmar-stat.1" \
        || fail "manual page: the title line $(head -n 1 "$tmp/velmar-stat.1") lacks the month or version $version"
    # The launcher's page is a link to the program's.
    if [ ! -L "$dir/velmar-stat-desktop.1.gz" ]; then
        fail "velmar-stat-desktop.1.gz in $dir is not a link"
    elif [ "$(readlink "$dir/velmar-stat-desktop.1.gz")" != velmar-stat.1.gz ]; then
        fail "velmar-stat-desktop.1.gz links to $(readlink "$dir/velmar-stat-desktop.1.gz"), not velmar-stat.1.gz"
    fi
}

# check_metainfo DIR BUILD_DIR SOURCE_DIR: the AppStream metainfo validates, names the desktop entry and the
# project's version, and shows the screenshots of the README.
check_metainfo() {
    local dir=$1 build=$2 source_dir=$3
    local files=("$dir"/*.metainfo.xml)
    if [ "${#files[@]}" -ne 1 ] || [ ! -f "${files[0]}" ]; then
        fail "not one metainfo file in $dir"
        return
    fi
    local file=${files[0]}
    if ! command -v appstreamcli >/dev/null 2>&1; then
        fail "appstreamcli is missing (apt-get install appstream)"
    # --no-net: the home page and screenshots are where the project is published, not on this machine.
    elif ! appstreamcli validate --no-net --pedantic "$file" >"$tmp/appstream.log" 2>&1; then
        cat "$tmp/appstream.log"
        fail "appstreamcli validate refuses ${file##*/}"
    fi
    [ "$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$file").metainfo.xml" = "${file##*/}" ] \
        || fail "${file##*/} is not named after the id it holds"
    grep -q '<launchable type="desktop-id">velmar-stat.desktop</launchable>' "$file" \
        || fail "${file##*/} does not launch velmar-stat.desktop"
    grep -q "<release version=\"$(project_version "$build")\" date=\"[0-9-]*\"" "$file" \
        || fail "${file##*/} does not name the release $(project_version "$build")"
    # The same pictures, in the same order, as the README shows.
    sed -n 's:.*<image>.*/\([^/]*\.png\)</image>.*:\1:p' "$file" >"$tmp/metainfo-shots"
    sed -n 's:^!\[.*\](docs/screenshots/\(.*\.png\))$:\1:p' "$source_dir/README.md" >"$tmp/readme-shots"
    [ -s "$tmp/readme-shots" ] || fail "the README shows no screenshots"
    cmp -s "$tmp/metainfo-shots" "$tmp/readme-shots" \
        || fail "the screenshots of ${file##*/} ($(tr '\n' ' ' <"$tmp/metainfo-shots")) are not the README's"
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

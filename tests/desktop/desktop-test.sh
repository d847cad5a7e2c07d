#!/usr/bin/env bash
# The real program on a real (virtual) desktop: Xvfb with the openbox window manager and the accessibility
# bus. A screen reader's view of the demo is read through the bus (tables, headers, the named edits), the
# Money headers are clicked with the mouse, the charts page is the sixth page, a session appended to the
# demo's log must show in both tables without any action, the window's size must survive a restart, and a
# first save in a start directory without "config" must write one and keep real texts in the window.
#   desktop-test.sh PROGRAM SOURCE-DIR
# Set VELMAR_DESKTOP_SHOTS to a directory to keep a screenshot of each step (needs imagemagick).
# Anything the test needs that is missing fails it: the check must not pass by being skipped.
set -euo pipefail

if [ "${1:-}" = "--inside-display" ]; then
  program=$2 work=$3
  here=$(dirname "$0")
  read_window() { /usr/bin/python3 "$here/read_window.py" "$@"; }
  shot() {
    if [ -n "${VELMAR_DESKTOP_SHOTS:-}" ]; then import -window root "$VELMAR_DESKTOP_SHOTS/$1.png"; fi
  }
  fail() {
    echo "FAIL: $*" >&2
    exit 1
  }
  openbox >/dev/null 2>&1 &
  wm=$!
  pids=("$wm")
  trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT
  sleep 1
  kill -0 "$wm" 2>/dev/null || fail "openbox did not start"

  # start DIR [message]: starts the program in DIR and waits for its window; sets pid and window. With
  # "message" a message box comes first (it opens before the window) and is closed with Enter.
  start() {
    (cd "$1" && exec "$program") &
    pid=$!
    pids+=("$pid")
    if [ "${2:-}" = message ]; then
      box=$(timeout 30 xdotool search --sync --onlyvisible --name "^Error$" | sed -n 1p) ||
        fail "the message box did not appear"
      sleep 0.5
      shot 4-first-start
      xdotool windowactivate --sync "$box" key --clearmodifiers Return
    fi
    window=$(timeout 30 xdotool search --sync --onlyvisible --name "^Velmar statistic v1.4$" | sed -n 1p) ||
      fail "the window did not appear"
    [ -n "$window" ] || fail "the window did not appear"
    sleep 1
  }
  # close: closes the window as the user does (the window manager's Alt+F4) and waits for the program.
  close() {
    xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
    for _ in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || return 0
      sleep 0.2
    done
    fail "the program did not end after Alt+F4"
  }
  click_header() { # TABLE COLUMN
    # shellcheck disable=SC2046
    xdotool mousemove --sync $(read_window header "$1" "$2") click 1
    sleep 0.5
  }

  echo "== the demo as a screen reader reads it"
  start "$work/demo"
  geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
  [ "$geometry" = "429x263" ] || fail "first size is $geometry, not the designed 429x263"
  shot 1-detailed
  read_window check-start

  echo "== sorting by the Money headers"
  click_header Str 6
  read_window check-sorted Str 6 ascending money
  shot 1-detailed-by-money
  click_header Str 0
  read_window check-sorted Str 0 ascending date
  # shellcheck disable=SC2046
  xdotool mousemove --sync $(read_window tab Summary) click 1
  sleep 0.5
  shot 2-summary
  click_header StrFull 3
  read_window check-sorted StrFull 3 ascending money
  click_header StrFull 3
  read_window check-sorted StrFull 3 descending money
  shot 3-summary-by-money

  echo "== the charts page"
  names=$(read_window names)
  case $names in
  *'"Detailed"'*'"Summary"'*'"Settings"'*'"Export"'*'"Info"'*'"Charts"'*) ;;
  *) fail "the charts page is not the sixth page: $names" ;;
  esac
  # shellcheck disable=SC2046
  xdotool mousemove --sync $(read_window tab Charts) click 1
  sleep 1
  shot 3-charts
  read_window check-charts

  echo "== a session the mailer appends shows without any action"
  printf '%s\r\n' "+ 01-Dec-2003 10:00:00 CONNECT 28800" "  01-Dec-2003 10:00:04 Address : 2:9999/1 Newcomer" \
    "+ 01-Dec-2003 10:03:00 Session completed successfully" >>"$work/demo/new_line.log"
  appended=$(date +%s)
  until read_window has-address 2:9999/1 >/dev/null; do
    [ $(($(date +%s) - appended)) -lt 10 ] || fail "the appended session did not show within 10 s: $(read_window has-address 2:9999/1)"
    sleep 0.5
  done
  echo "the appended session shows in both tables after $(($(date +%s) - appended)) s"
  shot 3-followed

  echo "== the window's size after a restart"
  xdotool windowsize --sync "$window" 600 400
  sleep 0.5
  close
  start "$work/demo"
  geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
  [ "$geometry" = "600x400" ] || fail "after a restart the window is $geometry, not 600x400"
  echo "size after restart: $geometry"
  close

  echo "== a first save without \"config\" under a locale with a decimal point"
  start "$work/new" message # the message that there is no "config"
  # The log is chosen in the open dialog (Ctrl+O), by typing its name, as a user does.
  xdotool key --clearmodifiers ctrl+o
  sleep 1.5
  shot 5-open-dialog
  xdotool type --delay 30 "new_line.log"
  xdotool key --clearmodifiers Return
  sleep 1
  read_window press "Сохранить"
  sleep 1.5
  shot 6-after-save
  [ -s "$work/new/config" ] || fail "the first save wrote no \"config\""
  size=$(stat -c %s "$work/new/config")
  [ "$size" = 816 ] || fail "\"config\" has $size bytes, not 816"
  names=$(read_window names)
  echo "after the save: $names"
  # The Russian language file was applied: its captions, none of them empty.
  case $names in
  *'""'*) fail "a tab or button has no text after the save: $names" ;;
  esac
  case $names in
  *'"Подробно"'*'"Сводка"'*) ;;
  *) fail "the language was not applied by the first save: $names" ;;
  esac
  close
  echo "PASS"
  exit 0
fi

program=${1:?program}
source_dir=${2:?source directory}
missing=()
for tool in xvfb-run Xvfb xauth openbox dbus-run-session xdotool; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || missing+=("python3-pyatspi")
[ -x /usr/libexec/at-spi-bus-launcher ] || missing+=("at-spi2-core")
[ -e /usr/share/wine/fonts/tahoma.ttf ] || missing+=("fonts-wine")
if [ -n "${VELMAR_DESKTOP_SHOTS:-}" ]; then command -v import >/dev/null || missing+=("imagemagick"); fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "FAIL: the desktop test needs: ${missing[*]} (scripts/test installs them)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/demo" "$work/new" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp -RL "$source_dir/demo/." "$work/demo/"
# A start directory as a new user has it: the language files and a log, no "config".
cp -L "$source_dir/demo/"*.lng "$source_dir/demo/"readme-*.txt "$source_dir/demo/new_line.log" "$work/new/"

env -i PATH="$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime" \
  LC_ALL=C.UTF-8 TZ=UTC QT_QPA_PLATFORMTHEME= QT_SCALE_FACTOR=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  ${VELMAR_DESKTOP_SHOTS:+VELMAR_DESKTOP_SHOTS="$VELMAR_DESKTOP_SHOTS"} \
  dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside-display "$program" "$work"

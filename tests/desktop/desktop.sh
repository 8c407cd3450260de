#!/usr/bin/env bash
# A private X desktop for end-to-end tests, its state in one folder:
#
#   desktop.sh start DIR [wm] [tray]   Xvfb on a display of its own, then
#                                      openbox (wm) and trayer (tray)
#   desktop.sh stop DIR                stop them (no error when not running)
#
# Xvfb picks a free display itself (-displayfd), so desktops of parallel
# tests never meet. Files in DIR: display (":N"), xvfb.pid, openbox.pid,
# trayer.pid and each program's log. openbox and trayer keep their own
# files under DIR/home.
set -euo pipefail

START_TIMEOUT_TENTHS=150   # 15 s for each program to come up
SCREEN=1024x768x24

die() {
  echo "desktop.sh: $*" >&2
  exit 1
}

alive() { # PID
  local line state
  { read -r line <"/proc/$1/stat"; } 2>/dev/null || return 1
  state=${line##*) }
  state=${state%% *}
  [[ -n $state && $state != Z && $state != X ]]
}

# The process of a pid file, if it still runs the program it was started as.
recorded_pid() { # FILE PROGRAM
  local pid
  [[ -r $1 ]] || return 1
  pid=$(<"$1")
  [[ -n $pid ]] && alive "$pid" && [[ /proc/$pid/exe -ef $(command -v "$2") ]] && echo "$pid"
}

stop_one() { # DIR NAME PROGRAM
  local file=$1/$2.pid pid i
  if pid=$(recorded_pid "$file" "$3"); then
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 30; i++)); do
      alive "$pid" || break
      sleep 0.1
    done
    alive "$pid" && kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f -- "$file"
}

cmd_stop() {
  [[ $# -eq 1 ]] || die "usage: $0 stop DIR"
  local dir=$1
  stop_one "$dir" trayer trayer
  stop_one "$dir" openbox openbox
  stop_one "$dir" xvfb Xvfb
  rm -f -- "$dir/display"
}

wait_for() { # WHAT COMMAND...
  local what=$1 i
  shift
  for ((i = 0; i < START_TIMEOUT_TENTHS; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  die "$what did not come up within $((START_TIMEOUT_TENTHS / 10)) s"
}

wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
tray_running() { [[ -n $(xdotool search --onlyvisible --class trayer) ]]; }

cmd_start() {
  [[ $# -ge 1 ]] || die "usage: $0 start DIR [wm] [tray]"
  local dir wm=0 tray=0 item pid
  dir=$(realpath -m -- "$1")
  shift
  for item in "$@"; do
    case $item in
      wm) wm=1 ;;
      tray) tray=1 ;;
      *) die "unknown part '$item'" ;;
    esac
  done
  for item in Xvfb xprop xdotool; do
    command -v "$item" >/dev/null || die "$item not found (run scripts/deps.sh)"
  done
  cmd_stop "$dir"  # whatever an earlier run left behind
  mkdir -p -- "$dir/home"

  rm -f -- "$dir/displayfd"
  mkfifo -- "$dir/displayfd"
  (exec Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 "$SCREEN" \
     3>"$dir/displayfd" >"$dir/xvfb.log" 2>&1 </dev/null) &
  pid=$!
  echo "$pid" >"$dir/xvfb.pid"
  local number=""
  read -r -t $((START_TIMEOUT_TENTHS / 10)) number <"$dir/displayfd" || true
  rm -f -- "$dir/displayfd"
  if [[ -z $number ]]; then
    cat "$dir/xvfb.log" >&2 || true
    cmd_stop "$dir"
    die "Xvfb gave no display"
  fi
  export DISPLAY=:$number
  wait_for "Xvfb on $DISPLAY" xprop -root

  # The window manager and the notification area get a home of their own.
  local session=(env -u DBUS_SESSION_BUS_ADDRESS -u SESSION_MANAGER HOME="$dir/home"
    XDG_CONFIG_HOME="$dir/home/.config" XDG_CACHE_HOME="$dir/home/.cache"
    XDG_DATA_HOME="$dir/home/.local/share")
  if [[ $wm -eq 1 ]]; then
    command -v openbox >/dev/null || die "openbox not found (run scripts/deps.sh)"
    ("${session[@]}" openbox --sm-disable >"$dir/openbox.log" 2>&1 </dev/null) &
    echo "$!" >"$dir/openbox.pid"
    wait_for "openbox" wm_running
  fi
  if [[ $tray -eq 1 ]]; then
    command -v trayer >/dev/null || die "trayer not found (run scripts/deps.sh)"
    # At the bottom right, as a panel: menus that the icons open come up
    # just above the pointer.
    ("${session[@]}" trayer --edge bottom --align right --widthtype request \
       --height 32 --SetDockType true --SetPartialStrut true --transparent false \
       --tint 0xc0c0c0 >"$dir/trayer.log" 2>&1 </dev/null) &
    echo "$!" >"$dir/trayer.pid"
    wait_for "trayer" tray_running
  fi
  echo "$DISPLAY" >"$dir/display"
  echo "desktop.sh: $DISPLAY running in $dir (window manager: $wm, notification area: $tray)"
}

[[ $# -ge 1 ]] || die "usage: $0 start|stop DIR ..."
command=$1
shift
case $command in
  start) cmd_start "$@" ;;
  stop) cmd_stop "$@" ;;
  *) die "unknown command '$command'" ;;
esac

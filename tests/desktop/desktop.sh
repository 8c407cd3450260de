#!/usr/bin/env bash
# A private desktop for end-to-end tests, its state in one folder:
#
#   desktop.sh start DIR [wm] [tray]   Xvfb on a display of its own, then
#                                      openbox (wm) and trayer (tray)
#   desktop.sh start DIR wayland [tray]
#                                      sway (headless, with XWayland) on a
#                                      session bus of its own, and waybar's
#                                      tray (tray)
#   desktop.sh stop DIR                stop them (no error when not running)
#   desktop.sh run DIR COMMAND...      execs COMMAND in the Wayland session,
#                                      as its user
#   desktop.sh share DIR PATH          hands PATH to that user
#
# Xvfb picks a free display itself (-displayfd), so desktops of parallel
# tests never meet. Files in DIR: display (":N"), xvfb.pid, openbox.pid,
# trayer.pid and each program's log. openbox and trayer keep their own
# files under DIR/home.
#
# sway refuses root: run as root, the Wayland desktop belongs to
# $QB_DESKTOP_USER or else the system user qbdesktop (made when missing).
# Its files live in a folder under /tmp named in DIR/session; DIR/session.env
# holds what a program of the session needs, DIR/user that user. Where no
# ordinary user can be had (a user namespace that maps only root),
# DIR/unavailable says why and the tests of that desktop skip.
set -euo pipefail

START_TIMEOUT_TENTHS=150   # 15 s for each program to come up
SCREEN=1024x768x24

die() {
  echo "desktop.sh: $*" >&2
  exit 1
}

need() { # TOOL...
  local tool
  for tool; do command -v "$tool" >/dev/null || die "$tool not found (run scripts/deps.sh)"; done
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
  local dir=$1 session
  # sway takes waybar and XWayland with it; dbus-run-session then ends the bus.
  stop_one "$dir" sway sway
  stop_one "$dir" dbus-run-session dbus-run-session
  session=$(cat -- "$dir/session" 2>/dev/null) || true
  [[ $session != /tmp/qb-desktop.* ]] || rm -rf -- "$session"
  rm -f -- "$dir"/{session,session.env,user,unavailable}
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

# Execs COMMAND as USER: through setpriv as root, directly otherwise.
as_user() { # USER COMMAND...
  local user=$1
  shift
  [[ $(id -u) -ne 0 ]] || exec setpriv --reuid="$user" --regid="$user" --clear-groups -- "$@"
  exec "$@"
}

host_registered() { # DIR
  cmd_run "$1" gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
    -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
    IsStatusNotifierHostRegistered | grep -q true
}

start_wayland() { # DIR TRAY
  local dir=$1 tray=$2 user=${QB_DESKTOP_USER:-qbdesktop} session
  need sway dbus-run-session gdbus setpriv Xwayland swaymsg wtype
  [[ $tray -eq 0 ]] || need waybar
  if [[ $(id -u) -ne 0 ]]; then
    user=$(id -un)
  else
    # A parallel start may make the user at the same moment.
    id -u "$user" &>/dev/null || useradd --system --user-group --no-create-home \
      --home-dir /nonexistent --shell /usr/sbin/nologin "$user" &>/dev/null || true
    if ! (as_user "$user" true) 2>/dev/null; then
      echo "sway refuses to run as root, and no ordinary user (\"$user\") can run it here" \
        "(running as root in a user namespace that maps only root?)" | tee "$dir/unavailable" >&2
      return
    fi
    # XWayland, started as that user, must not make the X socket folder its own.
    [[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix
  fi
  echo "$user" >"$dir/user"
  session=$(mktemp -d /tmp/qb-desktop.XXXXXX)
  echo "$session" >"$dir/session"
  mkdir -m 700 "$session/runtime" "$session/home"
  # The session's environment, for the tests and the programs they start;
  # the tray at the bottom right, as in the X desktops.
  printf '%s\n' "output * resolution 1024x768" \
    "exec env >$session/env.tmp && mv $session/env.tmp $session/env" >"$session/config"
  if [[ $tray -eq 1 ]]; then
    echo "exec waybar -c $session/waybar.json -s $session/waybar.css" >>"$session/config"
    echo '{"layer": "top", "position": "bottom", "height": 32, "modules-right": ["tray"],' \
      '"tray": {"icon-size": 24, "spacing": 4}}' >"$session/waybar.json"
    echo 'window#waybar { background: #c0c0c0; }' >"$session/waybar.css"
  fi
  cmd_share "$dir" "$session"
  (as_user "$user" env -i PATH="$PATH" HOME="$session/home" XDG_RUNTIME_DIR="$session/runtime" \
     WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman NO_AT_BRIDGE=1 \
     dbus-run-session -- sway -c "$session/config" >"$dir/sway.log" 2>&1 </dev/null) &
  echo "$!" >"$dir/dbus-run-session.pid"
  wait_for "sway" test -s "$session/env"
  # sway's own process, from its socket's name (sway-ipc.UID.PID.sock).
  sed -n 's/^SWAYSOCK=.*\.\([0-9]*\)\.sock$/\1/p' "$session/env" >"$dir/sway.pid"
  # WAYLAND_DISPLAY as a full path; XDG_SESSION_TYPE as a login manager says
  # it, so that Qt picks its Wayland platform itself.
  {
    sed -n -e '/^\(DISPLAY\|DBUS_SESSION_BUS_ADDRESS\|SWAYSOCK\)=/p' \
      -e "s|^WAYLAND_DISPLAY=|&$session/runtime/|p" "$session/env"
    echo "XDG_SESSION_TYPE=wayland"
  } >"$dir/session.env"
  # The notification area is there once its host has registered.
  [[ $tray -eq 0 ]] || wait_for "waybar's tray" host_registered "$dir"
  echo "desktop.sh: sway running in $session as $user (notification area: $tray)"
}

cmd_start() {
  [[ $# -ge 1 ]] || die "usage: $0 start DIR [wm] [tray] | DIR wayland [tray]"
  local dir wm=0 tray=0 wayland=0 item pid
  dir=$(realpath -m -- "$1")
  shift
  for item in "$@"; do
    case $item in
      wm) wm=1 ;;
      tray) tray=1 ;;
      wayland) wayland=1 ;;
      *) die "unknown part '$item'" ;;
    esac
  done
  cmd_stop "$dir"  # whatever an earlier run left behind
  mkdir -p -- "$dir/home"
  [[ $wayland -eq 0 ]] || { start_wayland "$dir" "$tray"; return; }
  need Xvfb xprop xdotool

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
    need openbox
    ("${session[@]}" openbox --sm-disable >"$dir/openbox.log" 2>&1 </dev/null) &
    echo "$!" >"$dir/openbox.pid"
    wait_for "openbox" wm_running
  fi
  if [[ $tray -eq 1 ]]; then
    need trayer
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

cmd_run() {
  [[ $# -ge 2 ]] || die "usage: $0 run DIR COMMAND..."
  local dir=$1 session
  shift
  # shellcheck source=/dev/null
  set -a && source "$dir/session.env" && set +a
  if [[ $(id -u) -eq 0 ]]; then
    # What the program's sanitizers and embedded engine use must be that
    # user's to reach.
    session=$(<"$dir/session")
    if [[ ${LSAN_OPTIONS:-} =~ suppressions=([^:]+) ]]; then
      install -m 644 "${BASH_REMATCH[1]}" "$session/lsan-suppressions.txt"
      LSAN_OPTIONS=${LSAN_OPTIONS/${BASH_REMATCH[1]}/$session/lsan-suppressions.txt}
    fi
    install -d -m 700 -o "$(<"$dir/user")" "$session/firebird"
    export FIREBIRD_LOCK=$session/firebird
  fi
  as_user "$(<"$dir/user")" "$@"
}

cmd_share() {
  [[ $# -eq 2 ]] || die "usage: $0 share DIR PATH"
  [[ $(id -u) -ne 0 ]] || chown -R "$(<"$1/user"):" "$2"
}

[[ $# -ge 1 ]] || die "usage: $0 start|stop|run|share DIR ..."
command=$1
shift
case $command in
  start) cmd_start "$@" ;;
  stop) cmd_stop "$@" ;;
  run) cmd_run "$@" ;;
  share) cmd_share "$@" ;;
  *) die "unknown command '$command'" ;;
esac

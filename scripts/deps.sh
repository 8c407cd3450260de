#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Does nothing (and asks nothing) when they are all installed already.
#
# firebird3.0-server brings the machine-wide Firebird server, whose
# package starts it and enables it at boot. Nothing here needs it: the
# program opens local databases through the embedded engine, and the tests
# start private servers on addresses of their own. Worse, a running
# machine server would take over local databases (the program asks the
# local server first), so a server that this script installs is kept from
# starting and is disabled.
set -euo pipefail

packages=(
  build-essential cmake
  qt6-base-dev qt6-svg-dev libgl-dev qt6-translations-l10n xdg-utils
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-server firebird3.0-utils
  xvfb xauth openbox trayer xdotool x11-utils imagemagick
  sway xwayland waybar wtype grim dbus libglib2.0-bin passwd qt6-wayland
  iproute2 util-linux acl
  googletest
)

installed() {
  [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  echo "deps.sh: all packages are installed"
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || {
    echo "deps.sh: missing packages (${missing[*]}); run as root or install sudo" >&2
    exit 1
  }
  sudo=(sudo)
fi

server_was_installed=0
installed firebird3.0-server && server_was_installed=1

# While installing, a policy-rc.d that answers 101 keeps the packages'
# init scripts (invoke-rc.d, deb-systemd-invoke) from starting services.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [[ ! -e $policy ]]; then
  printf '#!/bin/sh\n# Temporary, from scripts/deps.sh: start no service while installing.\nexit 101\n' |
    "${sudo[@]}" tee "$policy" >/dev/null
  "${sudo[@]}" chmod 755 "$policy"
  own_policy=1
fi
remove_policy() {
  if [[ $own_policy -eq 1 ]]; then
    "${sudo[@]}" rm -f "$policy"
  fi
}
trap remove_policy EXIT

echo "deps.sh: installing ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y \
  -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold \
  "${packages[@]}"

if [[ $server_was_installed -eq 0 ]]; then
  # Should it have started anyway (an existing policy that allows it),
  # stop it, and keep it from starting at boot.
  if [[ -d /run/systemd/system ]] && command -v systemctl >/dev/null; then
    "${sudo[@]}" systemctl stop firebird3.0.service 2>/dev/null || true
    "${sudo[@]}" systemctl disable firebird3.0.service 2>/dev/null || true
  fi
  if [[ -x /etc/init.d/firebird3.0 ]]; then
    "${sudo[@]}" /etc/init.d/firebird3.0 stop >/dev/null 2>&1 || true
    "${sudo[@]}" update-rc.d firebird3.0 disable >/dev/null 2>&1 || true
  fi
  echo "deps.sh: the machine-wide Firebird server (firebird3.0) is installed but stopped and disabled"
fi

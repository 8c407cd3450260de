# shellcheck shell=bash
# Sourced by the other scripts (bash). The Firebird embedded engine keeps
# its lock files in $FIREBIRD_LOCK, by default /tmp/firebird, which
# Debian's packages make for the group firebird only. A user outside that
# group gets a lock folder of their own, exported so that the program and
# the tests started from here share it. (Two engines never open one
# database at once whatever their lock folders: the database file itself
# is locked.)
if [[ -z ${FIREBIRD_LOCK:-} && -d /tmp/firebird ]] &&
  ! { [[ -w /tmp/firebird && -x /tmp/firebird ]]; }; then
  FIREBIRD_LOCK=${TMPDIR:-/tmp}/firebird-$(id -u)
  export FIREBIRD_LOCK
  mkdir -p -- "$FIREBIRD_LOCK"
  chmod 700 -- "$FIREBIRD_LOCK"
fi

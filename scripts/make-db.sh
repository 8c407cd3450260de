#!/usr/bin/env bash
# Creates one Firebird database and runs SQL scripts in it, through the
# embedded engine (no server needed):
#
#   make-db.sh [-f] <database path> <sql file> [more sql files...]
#
# The database gets PAGE_SIZE 4096 and DEFAULT CHARACTER SET WIN1252 and is
# owned by SYSDBA. The SQL files are read as UTF-8. An existing database is
# left alone (exit 1) unless -f is given, which replaces it. The database is
# built under a temporary name and renamed into place only when every
# script has run, so a failure never leaves a half-made database behind.
#
# Used by schema/CMakeLists.txt (Servidores.gdb, Backup.fdb next to the
# program), scripts/demo.sh and the tests (tests/support/TestDatabases.cpp).
set -euo pipefail

usage() {
  echo "usage: $0 [-f] <database path> <sql file> [more sql files...]" >&2
  exit 2
}

force=0
if [[ ${1:-} == "-f" ]]; then
  force=1
  shift
fi
[[ $# -ge 2 ]] || usage

# shellcheck source=scripts/fb-env.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/fb-env.sh"

isql=${QB_ISQL:-isql-fb}
if ! command -v "$isql" >/dev/null 2>&1; then
  echo "make-db.sh: $isql not found (Debian package firebird3.0-utils)" >&2
  exit 1
fi

db=$(realpath -m -- "$1")
shift

sql_files=()
for f in "$@"; do
  if [[ ! -r $f ]]; then
    echo "make-db.sh: cannot read SQL file '$f'" >&2
    exit 1
  fi
  sql_files+=("$(realpath -- "$f")")
done

if [[ -e $db && $force -eq 0 ]]; then
  echo "make-db.sh: '$db' already exists (use -f to replace it)" >&2
  exit 1
fi

mkdir -p -- "$(dirname -- "$db")"

# A text as an SQL string literal.
sql_quote() {
  printf "'%s'" "${1//\'/\'\'}"
}

tmp_db="$db.new-$$"
script=$(mktemp "${TMPDIR:-/tmp}/make-db.XXXXXX.sql")
cleanup() {
  rm -f -- "$script" "$tmp_db"
}
trap cleanup EXIT

{
  echo "SET SQL DIALECT 3;"
  echo "SET NAMES UTF8;"
  echo "CREATE DATABASE $(sql_quote "$tmp_db") USER 'SYSDBA' PAGE_SIZE 4096 DEFAULT CHARACTER SET WIN1252;"
  for f in "${sql_files[@]}"; do
    echo "INPUT $(sql_quote "$f");"
    echo "COMMIT;"
  done
  echo "COMMIT;"
} >"$script"

# Plain path, no server: the embedded engine creates the file in-process.
# -bail stops at the first failing statement with a non-zero exit code.
if ! "$isql" -q -bail -i "$script" </dev/null; then
  echo "make-db.sh: creating '$db' from ${sql_files[*]} failed" >&2
  exit 1
fi

mv -f -- "$tmp_db" "$db"

#!/usr/bin/env bash
# Operators' programs (office_probe) on the two kinds of installation:
#
#   office_test.sh <office_probe>
#
#   - a personal installation (LocalEngine=embedded, the demo's kind), while
#     a Firebird server listens on 127.0.0.1:3050: a backup through the
#     embedded engine works and its files are for the operator alone; a
#     program idle after its log append does not keep a second program (own
#     settings and run folder) or isql out of the log; an operator outside
#     the group firebird backs up where /tmp/firebird is the server's;
#   - as root, the package's layout (LocalEngine=server) with a server of
#     this test's own on 127.0.0.1:3050 running as the user firebird, which
#     owns every database: two operators that are not in the group firebird
#     (and cannot read the files themselves) back up through the server,
#     append to the log and read it while the other's program holds its log
#     connection; one adds a server from the program's server window. In a
#     destination folder set up as the README says, an operator of the
#     package's group quillbase-copias has old backups removed but cannot
#     read a backup; one outside it gets a remark that nothing was removed.
#     Skipped (77) when not root, or when 127.0.0.1:3050 is taken.
set -euo pipefail

probe=$(realpath -- "${1:?usage: $0 <office_probe>}")
source_dir=${QB_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
# shellcheck source=scripts/fb-env.sh
source "$source_dir/scripts/fb-env.sh"
make_db=$source_dir/scripts/make-db.sh
schema=$source_dir/schema
fbserver=$source_dir/tests/fixtures/fbserver.sh
isql=${QB_ISQL:-isql-fb}
password=Oficina.37

work=$(mktemp -d "${TMPDIR:-/tmp}/qb-office.XXXXXX")
chmod 755 "$work"
server_dir=$work/fbserver
made_group=0
cleanup() {
  if [[ -d $server_dir ]]; then bash "$fbserver" stop "$server_dir" >/dev/null 2>&1 || true; fi
  if [[ $made_group -eq 1 ]]; then groupdel quillbase-copias 2>/dev/null || true; fi
  exec 3>&- 2>/dev/null || true
  # QB_KEEP_WORK=1 keeps the scratch folder for a look after a failure.
  [[ -n ${QB_KEEP_WORK:-} ]] || rm -rf -- "$work"
}
trap cleanup EXIT
# The operators and the server's user run these, and the checkout may sit
# in a folder that only its owner can enter: they run from copies here.
install -m 755 -- "$probe" "$work/office_probe"
install -m 755 -- "$fbserver" "$work/fbserver.sh"
probe=$work/office_probe
fbserver=$work/fbserver.sh

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
check() {  # check <description> <command...>
  local what=$1
  shift
  "$@" || fail "$what"
}
port_open() {
  timeout 2 bash -c 'exec 3<>/dev/tcp/127.0.0.1/3050' 2>/dev/null
}
sql_quote() {
  printf "'%s'" "${1//\'/\'\'}"
}
# Counts the rows of the log with isql: embedded for a plain path, through
# the server for "127.0.0.1:path".
count_log() {  # count_log <database>
  printf '%s\n' "SET HEADING OFF;" "SELECT COUNT(*) FROM BACKUPLOG;" |
    env -u ISC_USER -u ISC_PASSWORD "$isql" -q -user SYSDBA -password "$password" "$1" 2>&1 |
    tr -d '[:space:]'
}
# Waits (at most 30 s) until <file> holds a line matching <pattern>.
wait_for_line() {  # wait_for_line <file> <pattern>
  local i
  for ((i = 0; i < 300; i++)); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
# A company server folder: Empresas.gdb and one Quillbase.orv per company.
make_server() {  # make_server <folder> <company...>
  local folder=$1 rows=$work/rows.sql company
  shift
  : >"$rows"
  for company in "$@"; do
    echo "INSERT INTO EMPRESAS (NOMBREEMPRESA, CIF, ALTA) VALUES ($(sql_quote "$company"), 'B1', DATE '2020-01-01');" >>"$rows"
  done
  bash "$make_db" -f "$folder/Empresas.gdb" "$schema/empresas.sql" "$rows" >/dev/null
  for company in "$@"; do
    bash "$make_db" -f "$folder/$company/Quillbase.orv" "$schema/company.sql" >/dev/null
  done
}
make_installation() {  # make_installation <folder> <engine> <server alias> <server folder>
  mkdir -p "$1"
  printf 'LocalEngine=%s\n' "$2" >"$1/QuillbaseBackup.conf"
  echo "INSERT INTO SERVIDORES (ALIAS, RUTAACCESO, DIRECCIONIP) VALUES ($(sql_quote "$3"), $(sql_quote "$4"), '');" >"$work/server.sql"
  bash "$make_db" -f "$1/Servidores.gdb" "$schema/servidores.sql" "$work/server.sql" >/dev/null
  bash "$make_db" -f "$1/Backup.fdb" "$schema/backup.sql" >/dev/null
}
# An operator's session: settings and run folder of its own, the offscreen
# screen and SYSDBA's password; as another user when a uid is given, in the
# groups of QB_OPERATOR_GROUPS (group ids, comma-separated) or in none.
operator() {  # operator <home> <uid or -> <command...>
  local home=$1 uid=$2
  shift 2
  mkdir -p "$home/config" "$home/run"
  chmod 700 "$home/run"
  local -a as=()
  if [[ $uid != - ]]; then
    chown -R "$uid:$uid" "$home"
    as=(setpriv --reuid="$uid" --regid="$uid" --clear-groups)
    [[ -z ${QB_OPERATOR_GROUPS:-} ]] || as[3]=--groups="$QB_OPERATOR_GROUPS"
  fi
  "${as[@]}" env -u FIREBIRD -u FIREBIRD_LOCK HOME="$home" TMPDIR="$home" XDG_CONFIG_HOME="$home/config" \
    XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen ISC_PASSWORD="$password" "$@"
}
# Two programs on one log: the first appends and stays idle with whatever
# its append left open, the second appends and reads meanwhile, and isql
# counts the rows; then the first goes on, appends again and reads.
shared_log() {  # shared_log <what> <folder> <isql name of its log> <uid A> <uid B> <state after the append>
  local what=$1 folder=$2 log=$3 uid_a=$4 uid_b=$5 state=$6 held
  rm -f -- "$work/go"
  mkfifo "$work/go"
  [[ $uid_a == - ]] || chmod 666 "$work/go"
  operator "$work/$what-a" "$uid_a" "$probe" append "$folder" "A-$what" --hold \
    <"$work/go" >"$work/$what-a.out" 2>"$work/$what-a.err" &
  held=$!
  exec 3>"$work/go"
  if ! wait_for_line "$work/$what-a.out" '^appended'; then
    cat "$work/$what-a.err" >&2
    fail "$what: the first program did not append"
  fi
  check "$what: after its append the first program's log is $state" \
    grep -qx "appended, log $state" "$work/$what-a.out"
  if ! operator "$work/$what-b" "$uid_b" "$probe" append "$folder" "B-$what" \
    >"$work/$what-b.out" 2>"$work/$what-b.err"; then
    cat "$work/$what-b.err" >&2
    fail "$what: a second program cannot append while the first waits"
  fi
  if ! operator "$work/$what-b" "$uid_b" "$probe" read "$folder" >"$work/$what-read.out" 2>"$work/$what-read.err"; then
    cat "$work/$what-read.err" >&2
    fail "$what: a second program cannot read the log while the first waits"
  fi
  check "$what: the second program reads both rows" \
    test "$(grep -cE -- "^[AB]-$what"$'\t' "$work/$what-read.out")" = 2
  local counted
  counted=$(count_log "$log")
  check "$what: isql reads the log while the first program waits ($counted)" test "$counted" = 2
  echo go >&3
  exec 3>&-
  if ! wait "$held"; then
    cat "$work/$what-a.err" >&2
    fail "$what: the first program failed after waiting"
  fi
  check "$what: the first program appends again and reads all three rows" \
    test "$(grep -cE -- "^[AB]-$what(-2)?"$'\t' "$work/$what-a.out")" = 3
}
# The probe as an operator, its output in $work/<name>.out and .err; the
# errors are shown when it fails (a box, a window, a remark).
probe_as() {  # probe_as <name> <uid or -> <what fails> <probe arguments...>
  local name=$1 uid=$2 what=$3
  shift 3
  operator "$work/$name-op" "$uid" "$probe" "$@" >"$work/$name.out" 2>"$work/$name.err" ||
    { cat "$work/$name.err" >&2; fail "$what"; }
}
# The row of a backup in a probe's output; prints the backup file.
backup_row() {  # backup_row <output> <server text> <company>
  local line
  line=$(grep -F -- "$2"$'\t' "$1" | grep -F -- "$2_$3_" | head -1)
  [[ $line == *$'\t'T ]] || return 1
  line=${line#*$'\t'}
  printf '%s\n' "${line%$'\t'*}"
}

# ---- the server standing in for this computer's ------------------------------
office=1
if [[ $(id -u) -ne 0 ]]; then
  echo "not root: the package's layout (file owners, other users) is left out"
  office=0
elif port_open; then
  echo "127.0.0.1:3050 is taken by another program (a Firebird server of this computer?):" \
    "the package's layout is left out; the personal installation is tried beside it"
  office=0
elif ! getent passwd firebird >/dev/null; then
  fail "no user firebird on this computer (package firebird3.0-server)"
  office=0
else
  mkdir -p "$server_dir"
  chown firebird:firebird "$server_dir"
  if ! setpriv --reuid=firebird --regid=firebird --init-groups \
    bash "$fbserver" start "$server_dir" 127.0.0.1 "$password" >"$work/server.out" 2>&1; then
    cat "$work/server.out" >&2
    fail "cannot start a server as the user firebird on 127.0.0.1:3050"
    office=0
  fi
fi

# ---- a personal installation beside a running server --------------------------
personal=$work/personal
make_server "$work/personal-server" EMPRESA1
make_installation "$personal" embedded Personal "$work/personal-server"
mkdir -p "$work/personal-copias"
port_open && echo "a server listens on 127.0.0.1:3050 while the personal installation works"
if ! operator "$work/personal-op" - "$probe" backup "$personal" "[]Personal" \
  "$work/personal-server/EMPRESA1" "$work/personal-copias" >"$work/personal.out" 2>"$work/personal.err"; then
  cat "$work/personal.err" >&2
  fail "personal: the embedded backup shows a box or a remark"
fi
if fbk=$(backup_row "$work/personal.out" "[]Personal" EMPRESA1); then
  check "personal: the backup file $fbk exists" test -s "$fbk"
  check "personal: the backup file is for its owner alone" test -z "$(find "$fbk" -perm /go=rwx)"
  check "personal: the verification database is for its owner alone" \
    test -z "$(find "$work/personal-copias/Verificacopia.vrf" -perm /go=rwx)"
else
  fail "personal: no successful log row for the backup"
  cat "$work/personal.out" >&2
fi
# Only the backup's row is in the log so far.
check "personal: the log holds the backup's row" test "$(count_log "$personal/Backup.fdb")" = 1
# The shared-log checks count their own rows.
make_installation "$personal" embedded Personal "$work/personal-server"
shared_log personal "$personal" "$personal/Backup.fdb" - - closed

# ---- a personal installation of an operator outside the group firebird -----
# Where /tmp/firebird is the server's, the embedded engine of such an
# operator takes a lock folder of the operator's own.
if [[ $(id -u) -eq 0 && -d /tmp/firebird ]] &&
  ! setpriv --reuid=64003 --regid=64003 --clear-groups test -w /tmp/firebird; then
  own=$work/own
  make_server "$own/servidor" EMPRESA1
  make_installation "$own/QuillbaseBackup" embedded Propio "$own/servidor"
  mkdir -p "$own/copias"
  chown -R 64003:64003 "$own"
  if ! operator "$work/own-op" 64003 "$probe" backup "$own/QuillbaseBackup" "[]Propio" \
    "$own/servidor/EMPRESA1" "$own/copias" >"$work/own.out" 2>"$work/own.err"; then
    cat "$work/own.err" >&2
    fail "own: an operator outside the group firebird cannot back up through the embedded engine"
  fi
  backup_row "$work/own.out" "[]Propio" EMPRESA1 >/dev/null ||
    fail "own: no successful log row for the backup"
else
  echo "/tmp/firebird is missing or open to every user: the own lock folder is not tried"
fi

# ---- the package's layout, two operators ----------------------------------
if [[ $office -eq 1 ]]; then
  opt=$work/opt
  var=$work/var
  srv=$work/srv
  mkdir -p "$work/db" "$srv/quillbase" "$srv/copias" "$var"
  make_server "$srv/quillbase" EMPRESA1 EMPRESA2
  make_server "$srv/segunda" SEGUNDA1  # added from the program later
  make_installation "$work/db" server Oficina "$srv/quillbase"
  mkdir -p "$opt"
  cp -- "$work/db/QuillbaseBackup.conf" "$opt/"
  for database in Servidores.gdb Backup.fdb; do
    mv -- "$work/db/$database" "$var/$database"
    ln -s -- "$var/$database" "$opt/$database"
  done
  chown root:firebird "$var"
  chmod 750 "$var"
  chown firebird:firebird "$var"/*
  chmod 660 "$var"/*
  chown -R firebird:firebird "$srv"
  chmod -R o-rwx "$srv"
  chmod 700 "$srv/copias"

  for uid in 64001 64002; do
    if setpriv --reuid="$uid" --regid="$uid" --clear-groups cat "$opt/Backup.fdb" >/dev/null 2>&1; then
      fail "office: user $uid can read the log file itself"
    fi
  done
  number=0
  for company in EMPRESA1 EMPRESA2; do
    number=$((number + 1))
    if ! operator "$work/office-op$number" "6400$number" "$probe" backup "$opt" "[]Oficina" \
      "$srv/quillbase/$company" "$srv/copias" >"$work/office-$number.out" 2>"$work/office-$number.err"; then
      cat "$work/office-$number.err" >&2
      fail "office: operator $number's backup through the server shows a box or a remark"
    fi
    if fbk=$(backup_row "$work/office-$number.out" "[]Oficina" "$company"); then
      check "office: $fbk exists" test -s "$fbk"
      check "office: $fbk belongs to the server's user" test "$(stat -c %U "$fbk")" = firebird
    else
      cat "$work/office-$number.out" >&2
      fail "office: no successful log row for operator $number's backup of $company"
    fi
  done
  check "office: the log holds both backups" test "$(count_log "127.0.0.1:$opt/Backup.fdb")" = 2

  bash "$make_db" -f "$work/empty.fdb" "$schema/backup.sql" >/dev/null
  empty_log() {
    cp -- "$work/empty.fdb" "$var/Backup.fdb"
    chown firebird:firebird "$var/Backup.fdb"
    chmod 660 "$var/Backup.fdb"
  }
  empty_log
  # Both at once into one folder, where the verifications share
  # Verificacopia.vrf: they take turns, both backups are verified, and a
  # backup logged as good restores.
  pids=()
  for number in 1 2; do
    operator "$work/office-op$number" "6400$number" "$probe" backup "$opt" "[]Oficina" \
      "$srv/quillbase/EMPRESA$number" "$srv/copias" >"$work/both-$number.out" 2>"$work/both-$number.err" &
    pids+=($!)
  done
  for number in 1 2; do
    if ! wait "${pids[number - 1]}"; then
      cat "$work/both-$number.err" >&2
      fail "office: operator $number's backup beside the other's shows a box, a window or a remark"
    fi
    fbk=$(backup_row "$work/both-$number.out" "[]Oficina" "EMPRESA$number") ||
      fail "office: no successful row for operator $number's backup beside the other's"
    rm -f -- "$work/restored.fdb"
    if [[ -n $fbk ]] && ! env -u ISC_USER -u ISC_PASSWORD gbak -c "$fbk" "$work/restored.fdb" >"$work/gbak.out" 2>&1; then
      fail "office: $fbk is logged as good but does not restore: $(cat "$work/gbak.out")"
    fi
  done
  check "office: the log holds both rows" test "$(count_log "127.0.0.1:$opt/Backup.fdb")" = 2
  empty_log
  shared_log office "$opt" "127.0.0.1:$opt/Backup.fdb" 64001 64002 connected
  # An operator adds a server from the program, without a line of SQL: it
  # and its companies reach the backup window's lists.
  probe_as add 64001 "office: adding a server from the program shows a box or a window" \
    addserver "$opt" Segunda "$srv/segunda"
  check "office: the added server is listed" grep -qxF "server: Segunda"$'\t'"$srv/segunda" "$work/add.out"
  check "office: the added server's companies are shown" grep -qx "company: SEGUNDA1" "$work/add.out"
  for database in Servidores.gdb Backup.fdb; do
    check "office: $database is still firebird's alone" \
      test "$(stat -c '%U %a' "$var/$database")" = "firebird 660"
  done

  # Old backups, as the server wrote them, removed by operators of the
  # package's group (made as the postinst does) in a folder as the README says.
  getent group quillbase-copias >/dev/null || { groupadd --system quillbase-copias && made_group=1; }
  gid=$(getent group quillbase-copias | cut -d: -f3)
  keep=$work/conservar
  install -d -o firebird -g quillbase-copias -m 0770 "$keep"
  setfacl -d -m u::rwx,g::---,o::--- "$keep" || fail "keep: setfacl (package acl) cannot set the folder's default"
  for name in EMPRESA1_311225 EMPRESA1_010126 EMPRESA1_020126 EMPRESA2_010126; do
    install -o firebird -g firebird -m 600 /dev/null "$keep/[]Oficina_${name}_0300.fbk"
  done
  QB_OPERATOR_GROUPS=$gid probe_as keep-1 64001 "keep: the backup of an operator of the group shows a box" \
    backup "$opt" "[]Oficina" "$srv/quillbase/EMPRESA1" "$keep" 2
  fbk=$(backup_row "$work/keep-1.out" "[]Oficina" EMPRESA1) ||
    { cat "$work/keep-1.out" >&2; fail "keep: no successful row for the backup of an operator of the group"; }
  check "keep: the new backup is the server user's alone" test "$(stat -c '%U:%G %a' "$fbk")" = "firebird:firebird 600"
  for file in "$fbk" "$keep/Verificacopia.vrf"; do
    check "keep: an operator of the group cannot read $file" setpriv --reuid=64001 --regid=64001 --groups="$gid" test ! -r "$file"
  done
  check "keep: the folder has no setgid bit" test ! -g "$keep"
  check "keep: the new backup and the newest earlier one are left of EMPRESA1" \
    test "$(find "$keep" -name '\[\]Oficina_EMPRESA1_*' | wc -l)" = 2 -a -e "$keep/[]Oficina_EMPRESA1_020126_0300.fbk"
  check "keep: both removals are remarks of the row" \
    test "$(grep -cF "remark"$'\t'"Eliminada la copia antigua $keep/" "$work/keep-1.out")" = 2
  # Outside the group: the backup is made, nothing removed, and the row says so.
  probe_as keep-2 64002 "keep: the backup of an operator outside the group shows a box" \
    backup "$opt" "[]Oficina" "$srv/quillbase/EMPRESA2" "$keep" 1
  backup_row "$work/keep-2.out" "[]Oficina" EMPRESA2 >/dev/null ||
    fail "keep: the backup of an operator outside the group is not a good row"
  check "keep: outside the group the row says that nothing was removed" \
    grep -qxF "remark"$'\t'"No se ha podido leer la carpeta $keep: no se eliminan copias antiguas" "$work/keep-2.out"
  check "keep: outside the group nothing is removed" test -e "$keep/[]Oficina_EMPRESA2_010126_0300.fbk"
fi

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
if [[ $office -eq 0 ]]; then
  echo "office checks passed without the package's layout"
  exit 77
fi
echo "office checks passed"

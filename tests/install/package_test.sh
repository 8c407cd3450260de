#!/usr/bin/env bash
# The Debian package, built by CPack from this build folder and looked at
# from outside:
#
#   package_test.sh <build folder>
#
#   - first the plain installation: `cmake --install` into a scratch folder
#     gives the installation folder (local databases through the embedded
#     engine), and a second one keeps its log;
#   - the control fields: name, version, architecture, and Depends naming the
#     Qt 6 libraries, the Firebird client, the Firebird server, Qt's Spanish
#     translations and xdg-utils;
#   - the files, extracted with dpkg-deb: the installation folder in
#     /opt/quillbase-backup (executable, help, icon, links to the databases),
#     the empty databases (real Firebird databases of the right schema), the
#     desktop entry and its icon, and nothing anywhere else;
#   - installed into a scratch root with dpkg (when run as root): the
#     databases belong to the server's user firebird and nobody else may
#     read or write them, the package's group quillbase-copias exists (a
#     system group), an upgrade keeps a written log and makes the
#     earlier layout (files writable by every user) safe, removing keeps
#     the log, purging deletes it.
set -euo pipefail

build=$(realpath -- "${1:?usage: $0 <build folder>}")
prefix=/opt/quillbase-backup
data=/var/lib/quillbase-backup
templates=/usr/share/quillbase-backup

source_dir=${QB_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
# shellcheck source=scripts/fb-env.sh
source "$source_dir/scripts/fb-env.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/qb-package.XXXXXX")
# The postinst makes the package's group on this computer (maintainer
# scripts run outside the scratch root); one that was not there goes again.
group=quillbase-copias
getent group "$group" >/dev/null && had_group=1 || had_group=0
trap 'rm -rf -- "$work"; [[ $had_group -eq 1 ]] || ! getent group "$group" >/dev/null || groupdel "$group"' EXIT

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

isql=${QB_ISQL:-isql-fb}
query() {  # query <database> <sql>: prints the result rows
  printf '%s\n' "SET HEADING OFF;" "$2" | "$isql" -q -user SYSDBA "$1" 2>&1
}
count_rows() {  # count_rows <database> <table>
  query "$1" "SELECT COUNT(*) FROM $2;" | tr -d '[:space:]'
}
add_row() {  # add_row <Backup.fdb>
  query "$1" "EXECUTE PROCEDURE ADDLINEASLOG('09/12/2026', '21:30', '[]Oficina', 'x', 'y', 'T', ''); COMMIT;" >/dev/null
}

# ---- the plain installation --------------------------------------------------
folder=$work/folder
if ! cmake --install "$build" --prefix "$folder" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  fail "cmake --install"
fi
check "installed executable" test -x "$folder/QuillbaseBackup"
check "installed Servidores.gdb" test -f "$folder/Servidores.gdb"
check "installed Backup.fdb" test -f "$folder/Backup.fdb"
check "installed help" test -s "$folder/ayuda/principal.html"
check "installed help pictures" test -s "$folder/ayuda/img/btn_ayuda.svg"
check "installed icon" grep -q '<svg' "$folder/QuillbaseBackup.svg"
check "a plain installation uses the embedded engine" grep -qx 'LocalEngine=embedded' "$folder/QuillbaseBackup.conf"
add_row "$folder/Backup.fdb"
cmake --install "$build" --prefix "$folder" >"$work/install.log" 2>&1 || fail "second cmake --install"
check "a second installation keeps the log" test "$(count_rows "$folder/Backup.fdb" BACKUPLOG)" = 1

# ---- build ---------------------------------------------------------------
if ! cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
debs=("$work"/cpack/*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
  echo "FAIL: cpack made ${#debs[@]} packages: ${debs[*]}" >&2
  exit 1
fi
deb=${debs[0]}
echo "package: $(basename "$deb")"

# ---- control fields --------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
check "package name" test "$(field Package)" = quillbase-backup
check "architecture" test "$(field Architecture)" = "$(dpkg --print-architecture)"
check "file name" test "$(basename "$deb")" = "quillbase-backup_$(field Version)_$(field Architecture).deb"
check "maintainer" test -n "$(field Maintainer)"
depends=$(field Depends)
echo "Depends: $depends"
# Each name as a whole package name in the list, versioned or not.
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libqt6dbus6 libfbclient2 firebird3.0-server \
  qt6-translations-l10n xdg-utils; do
  if ! tr ',' '\n' <<<"$depends" | sed -E 's/^ *//; s/[ (].*//' | grep -qx -- "$package"; then
    fail "Depends does not name $package"
  fi
done

# ---- files -----------------------------------------------------------------
root=$work/extracted
dpkg-deb -x "$deb" "$root"
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/listing"

# Nothing outside the installation folder, the templates, the desktop entry
# and the icon.
while read -r path; do
  path=${path#.}
  case $path in
    / | /opt/ | /usr/ | /usr/share/ | /usr/share/applications/ | /usr/share/icons/ | \
      /usr/share/icons/hicolor/ | /usr/share/icons/hicolor/scalable/ | \
      /usr/share/icons/hicolor/scalable/apps/ | "$prefix"/* | "$templates"/* | \
      /usr/share/applications/quillbase-backup.desktop | \
      /usr/share/icons/hicolor/scalable/apps/quillbase-backup.svg) ;;
    *) fail "unexpected path in the package: $path" ;;
  esac
done <"$work/listing"

program=$root$prefix/QuillbaseBackup
check "executable $prefix/QuillbaseBackup" test -x "$program"
check "the executable is an ELF file" test "$(head -c 4 "$program" | od -An -c | tr -d ' ')" = '177ELF'
if command -v readelf >/dev/null; then
  if readelf -S "$program" | grep -q '\.debug_info'; then fail "the executable is not stripped"; fi
fi
# The stripped executable still starts (on the offscreen platform, with
# settings of its own) and goes on running until it is asked to end.
mkdir -p "$work/home/config" "$work/home/runtime"
chmod 700 "$work/home/runtime"
status=0
XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=$work/home/runtime QT_QPA_PLATFORM=offscreen \
  timeout 3 "$program" >"$work/run.log" 2>&1 || status=$?
if [[ $status -ne 124 ]]; then
  cat "$work/run.log" >&2
  fail "the packaged executable ended by itself (status $status)"
fi
for page in index principal copias restaurar; do
  check "help page ayuda/$page.html" test -s "$root$prefix/ayuda/$page.html"
done
check "help style sheet" test -s "$root$prefix/ayuda/estilo.css"
check "help pictures" test -s "$root$prefix/ayuda/img/plan/guardar.svg"
check "program icon in the installation folder" grep -q '<svg' "$root$prefix/QuillbaseBackup.svg"
check "the package's local databases go to the machine's server" \
  grep -qx 'LocalEngine=server' "$root$prefix/QuillbaseBackup.conf"

for database in Servidores.gdb Backup.fdb; do
  link=$root$prefix/$database
  check "$prefix/$database is a link" test -L "$link"
  check "$prefix/$database points into $data" test "$(readlink "$link")" = "$data/$database"
  check "empty $templates/$database" test -f "$root$templates/$database"
done

# The empty databases are databases of the program's schema (read from
# copies: opening a database writes to it).
cp -- "$root$templates/Servidores.gdb" "$root$templates/Backup.fdb" "$work/"
servers=$(count_rows "$work/Servidores.gdb" SERVIDORES)
check "Servidores.gdb lists no server ($servers)" test "$servers" = 0
rows=$(count_rows "$work/Backup.fdb" BACKUPLOG)
check "Backup.fdb holds an empty log ($rows)" test "$rows" = 0
procedures=$(query "$work/Backup.fdb" \
  "SELECT COUNT(*) FROM RDB\$PROCEDURES WHERE RDB\$PROCEDURE_NAME = 'ADDLINEASLOG';" | tr -d '[:space:]')
check "Backup.fdb has ADDLINEASLOG ($procedures)" test "$procedures" = 1

# The desktop entry starts the installed executable and shows the icon.
entry=$root/usr/share/applications/quillbase-backup.desktop
key() { sed -n "s/^$1=//p" "$entry" | head -1; }
check "desktop entry" test -f "$entry"
check "desktop entry: first line" test "$(head -1 "$entry")" = "[Desktop Entry]"
check "desktop entry: Type" test "$(key Type)" = Application
check "desktop entry: Name" test "$(key Name)" = "Quillbase Backup"
check "desktop entry: Exec" test "$(key Exec)" = "$prefix/QuillbaseBackup"
check "desktop entry: Terminal" test "$(key Terminal)" = false
check "desktop entry: Icon" test "$(key Icon)" = quillbase-backup
check "desktop entry: Categories" grep -qE '^Categories=(.*;)?Utility;' "$entry"
check "icon" grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/quillbase-backup.svg"
if command -v desktop-file-validate >/dev/null; then
  check "desktop-file-validate" desktop-file-validate "$entry"
fi

dpkg-deb -e "$deb" "$work/control"
check "postinst is executable" test -x "$work/control/postinst"
check "postrm is executable" test -x "$work/control/postrm"

# ---- installed into a scratch root -------------------------------------------
if [[ $(id -u) -ne 0 ]]; then
  echo "not root: the installation into a scratch root is left out"
else
  scratch=$work/root
  mkdir -p "$scratch/var/lib/dpkg/info" "$scratch/var/lib/dpkg/updates"
  touch "$scratch/var/lib/dpkg/status"
  # Maintainer scripts run outside a chroot with DPKG_ROOT set; the scratch
  # root has none of the packages the package depends on.
  dpkg_scratch() {
    dpkg --root="$scratch" --log=/dev/null --force-script-chrootless --force-depends \
      --force-unsafe-io "$@" >>"$work/dpkg.log" 2>&1 || {
      cat "$work/dpkg.log" >&2
      fail "dpkg $*"
    }
  }
  # safe_layout <when>: the databases and their folder as the server needs
  # them, and nothing for anybody else.
  safe_layout() {
    local when=$1 installed
    check "$when: $data belongs to root:firebird, mode 750" \
      test "$(stat -c '%U:%G %a' "$scratch$data")" = "root:firebird 750"
    for database in Servidores.gdb Backup.fdb; do
      installed=$scratch$data/$database
      check "$when: installed $data/$database" test -f "$installed"
      check "$when: $data/$database belongs to firebird:firebird, mode 660" \
        test "$(stat -c '%U:%G %a' "$installed")" = "firebird:firebird 660"
    done
    check "$when: no file in $data for other users" \
      test -z "$(find "$scratch$data" -perm /o=rwx -print)"
  }
  if ! getent passwd firebird >/dev/null; then
    fail "no user firebird on this computer (package firebird3.0-server)"
  fi
  dpkg_scratch -i "$deb"
  safe_layout "installed"
  check "the package's group $group for the operators who remove old backups" \
    test "$(getent group "$group" | cut -d: -f3)" -lt 1000
  for database in Servidores.gdb Backup.fdb; do
    check "$data/$database is the empty database" cmp -s "$scratch$data/$database" "$root$templates/$database"
  done

  # The operator's log survives an upgrade and a removal.
  add_row "$scratch$data/Backup.fdb"
  written=$(count_rows "$scratch$data/Backup.fdb" BACKUPLOG)
  check "a row written into the installed log ($written)" test "$written" = 1
  dpkg_scratch -i "$deb"
  kept=$(count_rows "$scratch$data/Backup.fdb" BACKUPLOG)
  check "an upgrade keeps the log ($kept)" test "$kept" = 1
  safe_layout "upgraded"

  # The earlier package's layout: files of root, writable by every user.
  chown root:root "$scratch$data" "$scratch$data"/*
  chmod 0755 "$scratch$data"
  chmod 0666 "$scratch$data"/*
  add_row "$scratch$data/Backup.fdb"
  dpkg_scratch -i "$deb"
  safe_layout "upgraded from files writable by every user"
  kept=$(count_rows "$scratch$data/Backup.fdb" BACKUPLOG)
  check "the upgrade from that layout keeps the log ($kept)" test "$kept" = 2
  dpkg_scratch -r quillbase-backup
  check "removing takes the program away" test ! -e "$scratch$prefix/QuillbaseBackup"
  check "removing keeps the log" test -f "$scratch$data/Backup.fdb"
  dpkg_scratch -P quillbase-backup
  check "purging deletes the databases" test ! -e "$scratch$data"
fi

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"

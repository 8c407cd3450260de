#!/usr/bin/env bash
# Sets up a demonstration in ./demo and starts the program there:
#
#   demo/QuillbaseBackup/   a copy of the program folder: the executable,
#                           Servidores.gdb listing the server "Local", and
#                           an empty Backup.fdb
#   demo/servidor/          the server "Local": Empresas.gdb listing EMPRESA1
#                           and DEMO SL, and a folder per company holding
#                           its Quillbase.orv
#   demo/copias/            an empty destination folder for backups
#   demo/config/            the program's settings (XDG_CONFIG_HOME), kept
#                           between runs; the user's own are never touched
#
# Every run makes the databases and the folders above (except config/)
# afresh. Local databases open through the embedded engine, in the
# program's own process (QuillbaseBackup.conf says so), whether or not a
# Firebird server runs on this computer: no server is needed or used.
#
#   --no-build   use the existing build instead of installing and building
#   --no-start   set up only, do not start the program
#   BUILD_DIR=... another build folder, QB_DEMO_DIR=... another demo folder
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$repo/build}
demo=${QB_DEMO_DIR:-$repo/demo}
make_db=$repo/scripts/make-db.sh
schema=$repo/schema
companies=("EMPRESA1" "DEMO SL")

build=1
start=1
for argument in "$@"; do
  case $argument in
    --no-build) build=0 ;;
    --no-start) start=0 ;;
    *)
      echo "usage: $0 [--no-build] [--no-start]" >&2
      exit 2
      ;;
  esac
done

if [[ $build -eq 1 ]]; then
  bash "$repo/scripts/deps.sh"
  bash "$repo/scripts/build.sh"
fi

# shellcheck source=scripts/fb-env.sh
source "$repo/scripts/fb-env.sh"

program_dir=$build_dir/QuillbaseBackup
if [[ ! -d $program_dir ]]; then
  echo "demo.sh: $program_dir does not exist: build first (bash scripts/build.sh)" >&2
  exit 1
fi

sql_quote() {
  printf "'%s'" "${1//\'/\'\'}"
}

demo=$(realpath -m -- "$demo")
mkdir -p -- "$demo"
rm -rf -- "$demo/QuillbaseBackup" "$demo/servidor" "$demo/copias"
mkdir -p -- "$demo/servidor" "$demo/copias" "$demo/config"

# The program folder, with databases of its own.
cp -a -- "$program_dir" "$demo/QuillbaseBackup"
printf 'LocalEngine=embedded\n' >"$demo/QuillbaseBackup/QuillbaseBackup.conf"
server_row=$(mktemp "${TMPDIR:-/tmp}/qb-demo.XXXXXX.sql")
trap 'rm -f -- "$server_row"' EXIT
echo "INSERT INTO SERVIDORES (ALIAS, RUTAACCESO, DIRECCIONIP) VALUES ('Local', $(sql_quote "$demo/servidor"), '');" >"$server_row"
bash "$make_db" -f "$demo/QuillbaseBackup/Servidores.gdb" "$schema/servidores.sql" "$server_row"
bash "$make_db" -f "$demo/QuillbaseBackup/Backup.fdb" "$schema/backup.sql"

# The server "Local" and its companies.
company_rows=$(mktemp "${TMPDIR:-/tmp}/qb-demo.XXXXXX.sql")
trap 'rm -f -- "$server_row" "$company_rows"' EXIT
number=0
for company in "${companies[@]}"; do
  number=$((number + 1))
  echo "INSERT INTO EMPRESAS (NOMBREEMPRESA, CIF, ALTA) VALUES ($(sql_quote "$company"), 'B0000000$number', DATE '2020-01-0$number');"
done >"$company_rows"
bash "$make_db" "$demo/servidor/Empresas.gdb" "$schema/empresas.sql" "$company_rows"
for company in "${companies[@]}"; do
  bash "$make_db" "$demo/servidor/$company/Quillbase.orv" "$schema/company.sql"
done
rm -f -- "$server_row" "$company_rows"
trap - EXIT

echo
echo "Demo ready in $demo:"
echo "  program:      $demo/QuillbaseBackup/QuillbaseBackup"
echo "  server Local: $demo/servidor (companies: ${companies[*]})"
echo "  backups to:   $demo/copias"
echo "  settings:     $demo/config"

executable=$demo/QuillbaseBackup/QuillbaseBackup
run_command="XDG_CONFIG_HOME=$(printf '%q' "$demo/config") $(printf '%q' "$executable")"
if [[ ! -x $executable ]]; then
  echo "demo.sh: the build produced no $executable" >&2
  exit 1
fi
if [[ $start -eq 0 ]]; then
  echo "Start it with: $run_command"
  exit 0
fi

export XDG_CONFIG_HOME=$demo/config
cd "$demo/QuillbaseBackup"
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  echo "Starting the program (close its window to end the demo)."
  exec "$executable"
fi
echo "There is no display (DISPLAY is not set): starting the program under xvfb-run,"
echo "where its windows are not visible. Press Ctrl-C to stop it. On a desktop, run:"
echo "  $run_command"
exec xvfb-run -a -s "-screen 0 1280x800x24" "$executable"

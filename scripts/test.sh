#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with CTest (two at a
# time). The exit code is CTest's.
#   BUILD_DIR=...  another build folder
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$repo/build}

bash "$repo/scripts/deps.sh"
# shellcheck source=scripts/fb-env.sh
source "$repo/scripts/fb-env.sh"
bash "$repo/scripts/build.sh"

# The tests never use the Firebird server of this computer; one that runs
# makes the program's local attachments go to it instead of the embedded
# engine, which some tests do not expect.
if timeout 2 bash -c 'exec 3<>/dev/tcp/127.0.0.1/3050' 2>/dev/null; then
  echo "test.sh: warning: a Firebird server listens on 127.0.0.1:3050 (stop it with: sudo systemctl stop firebird3.0)" >&2
fi

status=0
ctest --test-dir "$build_dir" --output-on-failure -j2 || status=$?
exit "$status"

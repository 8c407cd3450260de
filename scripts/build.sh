#!/usr/bin/env bash
# Configures and builds the project into ./build (RelWithDebInfo, two jobs).
# The program folder build/QuillbaseBackup/ then holds the executable
# QuillbaseBackup with Servidores.gdb and Backup.fdb beside it.
#   BUILD_DIR=...  another build folder
#   BUILD_TYPE=... another CMake build type (Release, Debug, ...)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$repo/build}
build_type=${BUILD_TYPE:-RelWithDebInfo}

cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE="$build_type" "$@"
cmake --build "$build_dir" -j2

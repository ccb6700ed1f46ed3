#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through ctest, but the
# long fault and soak runs (label "soak": cd build && ctest -L soak).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps
. scripts/compiler-cache
export QT_QPA_PLATFORM=offscreen
build_dir=${OXTIVA_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
# The Windows tests need the cross-built Qt, too long to build here: only say where they stand.
if [ -x build-windows/oxtiva.exe ]; then windows="a Windows build is there: scripts/test-windows"; else windows="no Windows build (scripts/build-windows, then scripts/test-windows)"; fi
echo "Windows tests not run by ./test.sh; $windows"
cd "$build_dir"
ctest --output-on-failure -j"$(nproc)" -LE soak

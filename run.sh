#!/usr/bin/env bash
# Installs what is missing, builds, starts the simulated cell and the program with the
# simulated ports in its settings file; the simulator stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps
. scripts/compiler-cache
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target oxtiva oxtiva-cellsim
links=$(mktemp -d)
coproc SIM { exec build/oxtiva-cellsim --smu-link "$links/smu" --dmm-link "$links/dmm" --time-scale 100 --leak 1e-8; }
trap 'echo quit >&"${SIM[1]}" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; rm -rf "$links"' EXIT
read -r ready <&"${SIM[0]}"
[ "$ready" = "ready" ] || { echo "simulator did not start" >&2; exit 1; }
cat > build/oxtiva.ini <<INI
[2401_SourceMeter]
ComPort=$links/smu

[2000_MultiMeter]
ComPort=$links/dmm
INI
build/oxtiva

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
# The simulated cell has the window's default constants: 0.012 L of gas in the hot part and
# 0.012 L in the gradient part down to the 30 ºC cold end, air as the flush gas, and no leak
# (both leak constants of the window start at 0), so the first b a newcomer sees is right.
# A thousand times faster than a real cell, a first step ends within two or three minutes.
coproc SIM { exec build/oxtiva-cellsim --smu-link "$links/smu" --dmm-link "$links/dmm" --time-scale 1000 --leak 0 --gradient-volume 0.012; }
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

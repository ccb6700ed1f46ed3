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
# 0.012 L in the gradient part down to the 30 ºC cold end, air as the flush gas. Its leak
# from the flush gas needs a steady pump current of some 100 µA, whose relative change can
# settle (at no current at all it never would); the window gets that leak as the cell's
# constants below. The instruments answer as slowly as real ones on their lines (a reading
# every 50 ms and the bytes' time at the baud rate), so the PID steps as often as it does on
# the bench and the default gains settle each step; answering at once, they let the PID step
# some 450 times a second and swing between the current limits. A thousand times faster than
# a real cell, a first step ends within five minutes.
leak=1.2e-9
coproc SIM { exec build/oxtiva-cellsim --smu-link "$links/smu" --dmm-link "$links/dmm" --time-scale 1000 --leak "$leak" --gradient-volume 0.012 --latency-ms 50 --model-wire-time; }
trap 'echo quit >&"${SIM[1]}" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; rm -rf "$links"' EXIT
read -r ready <&"${SIM[0]}"
[ "$ready" = "ready" ] || { echo "simulator did not start" >&2; exit 1; }
cat > build/oxtiva.ini <<INI
[2401_SourceMeter]
ComPort=$links/smu

[2000_MultiMeter]
ComPort=$links/dmm

[CellConstants]
Vhpws=0.012
LeakAlpha=0
SealLeak=$leak
AlphaCellK=1073.15
CalibratedAt=the simulated cell of run.sh
INI
build/oxtiva

#!/usr/bin/env bash
# The headless run of the set-up command: the program finds the simulated
# board through its own start-up, measures one set, lists the rows and leaves
# a picture of its main window. Everything lives in a temporary home.
set -euo pipefail
vexameter="$1"; simulatore="$2"
casa=$(mktemp -d)
trap 'kill "$scheda" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$casa"' EXIT
export XDG_DATA_HOME="$casa/dati" XDG_CONFIG_HOME="$casa/config" QT_QPA_PLATFORM=offscreen
"$simulatore" --port 7 --speed 20 --set ripetizioni=4,perdita=4 >"$casa/sim.log" 2>/dev/null &
scheda=$!
for _ in $(seq 100); do grep -q "collegata come" "$casa/sim.log" && break; sleep 0.1; done
grep -q "$casa/dati/vexameter/vexameter/ports/com7" "$casa/sim.log"

uscita=0
"$vexameter" --schermata "$casa/schermata.png" >"$casa/out.txt" 2>&1 || uscita=$?
cat "$casa/out.txt"
[ "$uscita" -eq 0 ]
grep -q "^\[titolo\] VEXA METER [0-9]*\.[0-9]*\.[0-9]* connesso su com7 Scheda tipo 1$" "$casa/out.txt"
# Four repetitions: the first top starts the time base, three rows.
[ "$(grep -cE '^[0-9]+;[^;]*;.*;(giallo|verde|rosso)$' "$casa/out.txt")" -eq 3 ]
grep -q "Acquisizione fermata: 3 ripetizioni" "$casa/out.txt"
# A real picture, not an empty file.
[ "$(head -c 4 "$casa/schermata.png" | od -An -tx1 | tr -d ' ')" = "89504e47" ]
[ "$(stat -c %s "$casa/schermata.png")" -gt 20000 ]
echo "ok"

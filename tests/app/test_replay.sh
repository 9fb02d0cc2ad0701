#!/usr/bin/env bash
# The replay tool as a person uses it: write a synthesised capture, replay it
# into rows and into the trial's two files, and feed it the broken inputs,
# parameters and outputs a person (or a script over a folder) can give it.
set -u
REPLAY=$1
WORK=$2/replay_tool
export LC_ALL=C
falliti=0
rm -rf "$WORK"
mkdir -p "$WORK"
errore() { echo "FAIL: $*"; falliti=$((falliti + 1)); }
CR=$'\r'

for link in serial hid; do
  cattura=$WORK/serie_$link.bin
  "$REPLAY" --link $link --board-type 1 --synthesise "$cattura" || errore "sintesi $link"
  out=$("$REPLAY" --link $link --board-type 1 --min-amplitude 100 "$cattura") || errore "replay $link"
  [ "$(printf '%s\n' "$out" | wc -l)" -eq 5 ] || errore "$link: 5 righe attese: $out"
  printf '%s\n' "$out" | head -1 | grep -Eq '^1;0\.00;[0-9]\.[0-9]{2};[0-9]+;' || errore "$link prima riga: $out"
  while IFS= read -r riga; do
    [ "$(tr -cd ';' <<<"$riga" | wc -c)" -eq 15 ] || errore "$link campi: $riga"
    grep -Eq ';;(giallo|verde|rosso)$' <<<"$riga" || errore "$link verdetto: $riga"
  done <<<"$out"
  # The same capture from standard input gives the same rows.
  out2=$("$REPLAY" --link $link --board-type 1 --min-amplitude 100 - <"$cattura")
  [ "$out2" = "$out" ] || errore "$link: stdin diverso dal file"
  # A threshold above the range lists nothing.
  out3=$("$REPLAY" --link $link --board-type 1 --min-amplitude 600 "$cattura") || errore "$link soglia"
  [ -z "$out3" ] || errore "$link soglia alta: $out3"

  # Both files of the trial; the rows on the screen do not change.
  prova=$WORK/prova_$link.csv dati=$WORK/dati_$link.csv
  out4=$("$REPLAY" --link $link --board-type 1 --min-amplitude 100 --trial-file "$prova" \
         --results-file "$dati" --athlete "Mario Rossi" --exercise squat --load 80 "$cattura") || errore "$link file"
  [ "$out4" = "$out" ] || errore "$link: righe diverse con i file"
  [ "$(head -2 "$prova")" = "Vexa01;$CR"$'\n'"Tempo;Posizione;Velocita;dt$CR" ] || errore "$link intestazione prova: $(head -2 "$prova" | od -c | head -3)"
  [ "$(wc -l <"$prova")" -gt 100 ] || errore "$link: prova senza campioni"
  [ "$(grep -cv "$CR\$" "$prova")" -eq 0 ] || errore "$link: righe della prova senza CR LF"
  sed -n 3p "$prova" | grep -Eq '^-?[0-9]+\.[0-9]{4};-?[0-9]+;-?[0-9]+\.[0-9]{4};-?[0-9]+\.[0-9]{5}'"$CR\$" || errore "$link campione: $(sed -n 3p "$prova")"
  [ "$(grep -cv "$CR\$" "$dati")" -eq 0 ] || errore "$link: righe dei dati senza CR LF"
  sed -n 1p "$dati" | grep -Eq "^[0-9]{2} [0-9]{2} [0-9]{4};[0-9]{1,2}:[0-9]{2}:[0-9]{1,2};$CR\$" || errore "$link data: $(sed -n 1p "$dati")"
  sed -n 2p "$dati" | grep -q $'^Nome;Esercizio;Carico;N\xb0Rip;Tempo;' || errore "$link: intestazione dei dati senza 0xB0: $(sed -n 2p "$dati" | od -c | head -4)"
  [ "$(wc -l <"$dati")" -eq 7 ] || errore "$link: 5 ripetizioni nei dati attese"
  sed -n 3p "$dati" | grep -q "^Mario Rossi;squat;80.0; 1 ;0.00;.*;;$CR\$" || errore "$link riga dati: $(sed -n 3p "$dati")"
  # '-' puts a file on standard output instead of the rows: the same bytes.
  "$REPLAY" --link $link --board-type 1 --min-amplitude 100 --trial-file - "$cattura" | cmp -s - "$prova" || errore "$link: prova su stdout diversa"
  ls "$WORK"/*.tmp-* >/dev/null 2>&1 && errore "$link: file temporanei rimasti"

  # A truncated capture: rows up to the fault, how far it got, exit 1, files
  # of what came before.
  head -c $(($(stat -c %s "$cattura") - 3)) "$cattura" >"$WORK/corta_$link.bin"
  "$REPLAY" --link $link --board-type 1 --min-amplitude 100 --trial-file "$WORK/corta_$link.csv" \
    "$WORK/corta_$link.bin" >"$WORK/corta.out" 2>"$WORK/corta.err"
  rc=$?
  [ $rc -eq 1 ] || errore "$link troncata: uscita $rc"
  grep -Eq "troncata dopo [0-9]+ (record|report)" "$WORK/corta.err" || errore "$link troncata: $(cat "$WORK/corta.err")"
  [ "$(wc -l <"$WORK/corta.out")" -ge 4 ] || errore "$link troncata: righe prima del guasto mancanti"
  [ -s "$WORK/corta_$link.csv" ] || errore "$link troncata: file della prova mancante"
done

# Synthesised captures of one set agree across links on what the set was.
for t in 2 3; do
  a=$("$REPLAY" --link hid --board-type $t --synthesise - | "$REPLAY" --link hid --board-type $t --min-amplitude 100 - | cut -d';' -f1,2)
  [ "$(wc -l <<<"$a")" -eq 5 ] || errore "tipo $t hid: $a"
done

# The figures file: one line per listed row, the same numbers the rows show
# with --vbt, which only adds to the default rows.
righe=$("$REPLAY" --link serial --board-type 1 --min-amplitude 100 "$WORK/serie_serial.bin")
vbt=$("$REPLAY" --link serial --board-type 1 --min-amplitude 100 --vbt --vbt-file "$WORK/vbt.csv" --load 80 "$WORK/serie_serial.bin") || errore "vbt"
[ "$(cut -d';' -f1-16 <<<"$vbt")" = "$righe" ] || errore "--vbt cambia le righe: $vbt"
[ "$(head -1 "$WORK/vbt.csv")" = $'N\xb0Rip;Vmedia;VMP;Vmax;Pmedia;Pmax;Perdita;\r' ] || errore "intestazione vbt: $(head -1 "$WORK/vbt.csv" | od -c | head -2)"
atteso=$(awk -F';' '{print $1";"$5";"$17";"$6";"$18";"$19";"$20";\r"}' <<<"$vbt")
[ "$(tail -n +2 "$WORK/vbt.csv")" = "$atteso" ] || errore "file vbt diverso dalle righe: $(cat "$WORK/vbt.csv") / $atteso"

prova_errore() { # exit code, expected message, then arguments
  local codice=$1 atteso=$2; shift 2
  local err rc
  err=$("$REPLAY" "$@" 2>&1 >/dev/null)
  rc=$?
  [ $rc -eq "$codice" ] || errore "uscita $rc invece di $codice: $*"
  grep -q -- "$atteso" <<<"$err" || errore "messaggio per $*: $err"
}
S=(--link serial --board-type 1)
C=$WORK/serie_serial.bin
# Usage and parameters: exit 2, a message naming the option and its range.
prova_errore 2 "opzione sconosciuta: --colore" "${S[@]}" --min-amplitude 100 --colore rosso "$C"
prova_errore 2 "--link vuole serial oppure hid" --link usb --board-type 1 --min-amplitude 100 "$C"
prova_errore 2 "manca il valore di --link" --board-type 1 --min-amplitude 100 "$C" --link
prova_errore 2 "manca il valore di --board-type" --link hid --board-type --min-amplitude 100 "$C"
prova_errore 2 "valore numerico non valido per --min-amplitude" "${S[@]}" --min-amplitude dieci "$C"
prova_errore 2 "manca --min-amplitude" "${S[@]}" "$C"
prova_errore 2 "non puo' essere negativ" "${S[@]}" --min-amplitude -5 "$C"
prova_errore 2 "--vel-max 9000 fuori intervallo: da 1 a 5000 mm/s" "${S[@]}" --min-amplitude 100 --vel-max 9000 "$C"
prova_errore 2 "(--upper 80) e' sotto quello inferiore (--lower 90)" "${S[@]}" --min-amplitude 100 --upper 80 --lower 90 "$C"
prova_errore 2 "--results-file vuole --load" "${S[@]}" --min-amplitude 100 --results-file "$WORK/d.csv" --athlete A --exercise B "$C"
prova_errore 2 "non puo' contenere ';'" "${S[@]}" --min-amplitude 100 --results-file "$WORK/d.csv" --athlete "A;B" --exercise B --load 1 "$C"
prova_errore 2 "--load -1: il carico, non puo' essere negativo" "${S[@]}" --min-amplitude 100 --results-file "$WORK/d.csv" --athlete A --exercise B --load -1 "$C"
prova_errore 2 "--vbt-file vuole --load" "${S[@]}" --min-amplitude 100 --vbt-file "$WORK/v.csv" "$C"
prova_errore 2 "--results-file e --vbt-file sono lo stesso file" "${S[@]}" --min-amplitude 100 --results-file "$WORK/v.csv" --athlete A --exercise B --vbt-file "$WORK/v.csv" --load 1 "$C"
prova_errore 2 "la cattura stessa" "${S[@]}" --min-amplitude 100 --trial-file "$C" "$C"
[ "$(stat -c %s "$C")" -gt 1000 ] || errore "la cattura e' stata toccata"
prova_errore 2 "fuori intervallo, da 0 a 1000" "${S[@]}" --synthesise "$WORK/x.bin" --set ripetizioni=-1
prova_errore 2 "ampiezza=1e9 non valido: fuori intervallo, da 1 a 3000 mm" "${S[@]}" --synthesise "$WORK/x.bin" --set ampiezza=1e9
prova_errore 2 "vconc=1e-9 non valido: fuori intervallo, da 1 a 5000 mm/s" "${S[@]}" --synthesise "$WORK/x.bin" --set vconc=1e-9
prova_errore 2 "pausa_alto=1000 non valido: fuori intervallo, da 0 a 60 s" "${S[@]}" --synthesise "$WORK/x.bin" --set pausa_alto=1000
prova_errore 2 "escursione, non puo' essere negativa" "${S[@]}" --synthesise "$WORK/x.bin" --set ampiezza=-500
prova_errore 2 "velocita' media senza segno" "${S[@]}" --synthesise "$WORK/x.bin" --set vecc=-400
prova_errore 2 "campo dei tick" --link serial --board-type 3 --synthesise "$WORK/x.bin" --set ripetizioni=10,ampiezza=5,pausa_alto=60,pausa_basso=60
[ -e "$WORK/x.bin" ] && errore "serie rifiutata ma scritta"
# Input and output: exit 3.
prova_errore 3 "impossibile leggere" "${S[@]}" --min-amplitude 100 "$WORK/non_esiste.bin"
prova_errore 3 "errore di lettura" "${S[@]}" --min-amplitude 100 "$WORK"
prova_errore 3 "impossibile scrivere" "${S[@]}" --synthesise /non/esiste/x.bin
prova_errore 3 "impossibile scrivere /dev/full" "${S[@]}" --synthesise /dev/full
prova_errore 3 "impossibile scrivere /dev/full" "${S[@]}" --min-amplitude 100 --trial-file /dev/full "$C"
prova_errore 3 "impossibile scrivere /dev/full" "${S[@]}" --min-amplitude 100 --results-file /dev/full --athlete A --exercise B --load 1 "$C"
prova_errore 3 "impossibile scrivere /non/esiste" "${S[@]}" --min-amplitude 100 --trial-file /non/esiste/p.csv "$C"
err=$("$REPLAY" "${S[@]}" --synthesise - 2>&1 >&-); rc=$?
[ $rc -eq 3 ] && grep -q "standard output" <<<"$err" || errore "sintesi su stdout chiuso: $rc $err"
err=$("$REPLAY" "${S[@]}" --min-amplitude 100 "$C" 2>&1 >&-); rc=$?
[ $rc -eq 3 ] && grep -q "standard output" <<<"$err" || errore "righe su stdout chiuso: $rc $err"
# A write cut short (here by a file-size limit, as by a full disk) leaves the
# old file as it was and no temporary beside it.
echo vecchio >"$WORK/limite.csv"
err=$(ulimit -f 4; "$REPLAY" "${S[@]}" --min-amplitude 100 --trial-file "$WORK/limite.csv" "$C" 2>&1 >/dev/null); rc=$?
[ $rc -eq 3 ] && grep -q "impossibile scrivere" <<<"$err" || errore "file troppo grande: $rc $err"
[ "$(cat "$WORK/limite.csv")" = vecchio ] || errore "file precedente rovinato"
ls "$WORK"/limite.csv.tmp-* >/dev/null 2>&1 && errore "temporaneo rimasto dopo l'errore"

# An endless capture runs in the memory it started with, and a stop leaves no
# temporary file behind.
if [ -r /proc/self/status ]; then
  "$REPLAY" --link hid --board-type 2 --min-amplitude 0 /dev/zero >/dev/null 2>&1 &
  pid=$!
  "$REPLAY" --link serial --board-type 2 --min-amplitude 0 --trial-file "$WORK/zero.csv" /dev/zero >/dev/null 2>&1 &
  pid_file=$!
  sleep 1
  prima=$(awk '/VmRSS/ {print $2}' /proc/$pid/status)
  sleep 1.5
  dopo=$(awk '/VmRSS/ {print $2}' /proc/$pid/status)
  ls "$WORK"/zero.csv.tmp-* >/dev/null 2>&1 || errore "/dev/zero: nessun temporaneo in scrittura"
  kill $pid $pid_file
  wait $pid $pid_file 2>/dev/null
  [ -n "$prima" ] && [ -n "$dopo" ] && [ $((dopo - prima)) -lt 2048 ] || errore "/dev/zero: memoria da ${prima} a ${dopo} kB"
  ls "$WORK"/zero.csv* >/dev/null 2>&1 && errore "/dev/zero: file rimasti dopo l'arresto"
fi

# Out of memory is a message, not an abort. A sanitizer build cannot start
# under a memory limit at all; then the case is skipped.
if (ulimit -v 80000; "$REPLAY" --help >/dev/null 2>&1) 2>/dev/null; then
  err=$(ulimit -v 80000; "$REPLAY" --link hid --board-type 2 --synthesise - --set ripetizioni=1000,ampiezza=3000 2>&1 >/dev/null); rc=$?
  [ $rc -eq 3 ] && grep -q "memoria esaurita" <<<"$err" || errore "memoria esaurita: $rc $err"
else
  echo "SKIP: the tool cannot start under a memory limit here (sanitizer build?)"
fi

# Under an Italian locale the rows and both files use decimal commas, and a
# load may be written with one.
it=$(locale -a 2>/dev/null | grep -iE '^it_IT\.utf-?8$' | head -1)
if [ -n "$it" ]; then
  punto=$("$REPLAY" --link hid --board-type 1 --min-amplitude 100 "$WORK/serie_hid.bin")
  virgola=$(LC_ALL=$it "$REPLAY" --link hid --board-type 1 --min-amplitude 100 --trial-file "$WORK/it.csv" \
            --results-file "$WORK/it_dati.csv" --athlete "Niccolò" --exercise panca --load 82,5 "$WORK/serie_hid.bin")
  [ "$(tr '.' ',' <<<"$punto")" = "$virgola" ] || errore "locale italiano: $virgola"
  sed -n 3p "$WORK/it.csv" | grep -Eq '^-?[0-9]+,[0-9]{4};-?[0-9]+;-?[0-9]+,[0-9]{4};-?[0-9]+,[0-9]{5}'"$CR\$" || errore "prova italiana: $(sed -n 3p "$WORK/it.csv")"
  sed -n 3p "$WORK/it_dati.csv" | grep -q $'^Niccol\xf2;panca;82,5; 1 ;0,00;' || errore "dati italiani: $(sed -n 3p "$WORK/it_dati.csv")"
else
  echo "SKIP: no it_IT.UTF-8 locale on this machine (locale -a); the decimal comma is not checked"
fi

if [ $falliti -eq 0 ]; then echo "replay tool: all checks passed"; exit 0; fi
exit 1

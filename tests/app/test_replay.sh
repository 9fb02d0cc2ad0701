#!/usr/bin/env bash
# The replay tool as a person uses it: write a synthesised capture, replay it,
# and feed it the broken inputs a person can give it.
set -u
REPLAY=$1
WORK=$2
export LC_ALL=C
falliti=0
mkdir -p "$WORK/locale"
errore() { echo "FAIL: $*"; falliti=$((falliti + 1)); }

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
  # A truncated capture is reported after the rows that came before it.
  head -c $(($(stat -c %s "$cattura") - 3)) "$cattura" >"$WORK/corta_$link.bin"
  if err=$("$REPLAY" --link $link --board-type 1 --min-amplitude 100 "$WORK/corta_$link.bin" 2>&1 >/dev/null); then
    errore "$link: cattura troncata accettata"
  fi
  grep -q troncata <<<"$err" || errore "$link troncata: $err"
done

# Synthesised captures of one set agree across links on what the set was.
for t in 2 3; do
  a=$("$REPLAY" --link hid --board-type $t --synthesise - | "$REPLAY" --link hid --board-type $t --min-amplitude 100 - | cut -d';' -f1,2)
  [ "$(wc -l <<<"$a")" -eq 5 ] || errore "tipo $t hid: $a"
done

prova_errore() { # expected message, then arguments
  local atteso=$1; shift
  local err
  if err=$("$REPLAY" "$@" 2>&1 >/dev/null); then errore "accettato: $*"; return; fi
  grep -q -- "$atteso" <<<"$err" || errore "messaggio per $*: $err"
}
prova_errore "opzione sconosciuta: --colore" --link serial --board-type 1 --min-amplitude 100 --colore rosso x
prova_errore "impossibile leggere" --link serial --board-type 1 --min-amplitude 100 "$WORK/non_esiste.bin"
prova_errore "--link" --link usb --board-type 1 --min-amplitude 100 x
prova_errore "--min-amplitude" --link hid --board-type 1 --min-amplitude dieci x
prova_errore "manca --min-amplitude" --link hid --board-type 1 x
prova_errore "non valido" --link hid --board-type 1 --synthesise "$WORK/x.bin" --set ripetizioni=-1
prova_errore "impossibile scrivere" --link hid --board-type 1 --synthesise /non/esiste/x.bin

# Under an Italian locale the values list uses decimal commas, and nothing else changes.
if localedef -i it_IT -f UTF-8 "$WORK/locale/it_IT.UTF-8" >/dev/null 2>&1; then
  punto=$("$REPLAY" --link hid --board-type 1 --min-amplitude 100 "$WORK/serie_hid.bin")
  virgola=$(LOCPATH=$WORK/locale LC_ALL=it_IT.UTF-8 "$REPLAY" --link hid --board-type 1 --min-amplitude 100 "$WORK/serie_hid.bin")
  [ "$(tr '.' ',' <<<"$punto")" = "$virgola" ] || errore "locale italiano: $virgola"
  grep -q '^1;0,00;' <<<"$virgola" || errore "locale italiano, prima riga: $virgola"
else
  echo "SKIP: no Italian locale could be built here"
fi

if [ $falliti -eq 0 ]; then echo "replay tool: all checks passed"; exit 0; fi
exit 1

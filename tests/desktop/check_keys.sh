#!/usr/bin/env bash
# Random keys and clicks on the real window, from a seed (FETCHORA_KEYS_SEED; FETCHORA_KEYS_EVENTS a round). Each
# round starts the program with -s and the first download at once from a server of this check's own, so that it is
# over before the window is on screen. None of the keys and clicks reaches Quit (no Tab or arrow, no click on Quit, no
# Alt+Q or Alt+B; no Alt+Y or Alt+J, which would make folders), so the program must live through all of them; only
# digits are typed, so neither field may end with a letter more than it began with, whatever Alt with a letter did.
source "$(dirname "$0")/lib.sh" "$1"
seed=${FETCHORA_KEYS_SEED:-1} events=${FETCHORA_KEYS_EVENTS:-120}
RANDOM=$seed
/usr/bin/python3 "$(dirname "$0")/../service/server.py" "$work/port" &
wait_for test -s "$work/port" || { echo "no server"; exit 1; }
url=http://127.0.0.1:$(cat "$work/port")/x.bin
letters=acdefghiklmnoprstuvwxz  # neither q, b, y nor j
keys=(space Return Escape BackSpace 0 1 2 3 4 5 6 7 8 9)
# Where to click, in the window: Settings, Start, Cancel, the two fields, the bar, the banner.
spots=("50 233" "182 233" "266 233" "150 80" "200 142" "200 170" "100 20")
for round in 1 2 3; do
  # Relative to the folder the program starts in: whatever the keys leave of it stays inside this check's folder.
  printf '[Global]\nLanguage=English\n[Options]\nURL=%s\nSavePath=save\nStart=1\nShowErrors=1\n' "$url" >"$work/app/fcr.ini"
  (cd "$work" && exec "$work/app/fetchora" -s) >/dev/null 2>"$work/err" & app=$!
  wait_for has_window && win=$(main_window) && wait_for viewable "$win" || { echo "no window in round $round"; exit 1; }
  log=()
  for ((i = 0; i < events; i++)); do
    r=$((RANDOM % 10))
    if [ $r -lt 3 ]; then
      spot=${spots[RANDOM % ${#spots[@]}]}; log+=("click $spot")
      xdotool mousemove --window "$win" $spot click 1 2>/dev/null
    elif [ $r -lt 6 ]; then
      k=alt+${letters:RANDOM % ${#letters}:1}; log+=("$k"); xdotool key "$k" 2>/dev/null
    else
      k=${keys[RANDOM % ${#keys[@]}]}; log+=("$k"); xdotool key "$k" 2>/dev/null
    fi
    kill -0 "$app" 2>/dev/null || { wait "$app"; echo "seed $seed, round $round: the program ended ($?) after: ${log[*]: -20}"; tail -5 "$work/err"; exit 1; }
  done
  kill -TERM "$app"; wait "$app"
  python3 - "$work/app/fcr.ini" "$url" <<'PY' || { echo "seed $seed, round $round, after: ${log[*]: -20}"; exit 1; }
import collections, sys
ini = dict(l.split("=", 1) for l in open(sys.argv[1]).read().splitlines() if "=" in l)
for key, began in (("SavePath", "save"), ("URL", sys.argv[2])):
    have, had = collections.Counter(c for c in ini.get(key, "") if c.isalpha()), collections.Counter(began)
    if any(n > had[c] for c, n in have.items()):
        sys.exit(f"{key} holds letters nobody typed: {ini.get(key)!r}")
PY
done
echo ok

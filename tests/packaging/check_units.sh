#!/usr/bin/env bash
# Installs this build folder with cmake --install into a scratch prefix and
# lets systemd check the user units there, against the program they start
# and the man page they name.
set -euo pipefail
build=$1
command -v systemd-analyze >/dev/null || { echo "no systemd-analyze"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
units=$prefix/lib/systemd/user
grep -qx "ExecStart=$prefix/bin/fetchora --headless" "$units/fetchora.service"
grep -qx "ExecStart=$prefix/bin/fetchora --headless --config %h/.local/share/Fetchora/%i" "$units/fetchora@.service"
for unit in fetchora.service fetchora@.service; do
  grep -qx 'Restart=on-failure' "$units/$unit" && grep -qx 'RestartPreventExitStatus=2' "$units/$unit"
done
# verify only warns about a misspelt setting: any word from it is a fault.
mkdir -m 700 "$scratch/run"
out=$(cd "$units" && HOME=$scratch XDG_RUNTIME_DIR=$scratch/run MANPATH=$prefix/share/man \
      systemd-analyze --user verify fetchora.service fetchora@.service 2>&1) || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "$out"; exit 1; }
echo "user units: ok"

#!/usr/bin/env bash
# The layering of src/ and its names: a tree with one include that points up
# fails the include check (the build runs it on the real tree), and no file or
# class is named with the old runtime's prefixes.
set -u
src=$1
check=$src/../scripts/check_layers.py

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
mkdir -p "$work/core" "$work/cycle" "$work/store"
echo '#include "store/StoreJob.h"' > "$work/cycle/ok.cpp"
echo '#include "cycle/DownloadCycle.h"' > "$work/core/up.cpp"
echo '#include "cycle/DownloadCycle.h"' > "$work/store/up.h"
out=$(python3 "$check" "$work" 2>&1) && { echo "FAIL: an upward include passed"; exit 1; }
[ "$(grep -c 'includes cycle/' <<< "$out")" = 2 ] || { echo "FAIL: not both upward includes named: $out"; exit 1; }

legacy=$(cd "$src" && { find . -name '*.h' -o -name '*.cpp' | grep -E '/(frm|mod|Sub|class)[A-Z][^/]*$';
  grep -rhoE '^\s*(class|struct) (frm|mod|Sub|class)[A-Z]\w*' .; })
[ -z "$legacy" ] || { echo "FAIL: legacy names: $legacy"; exit 1; }
echo ok

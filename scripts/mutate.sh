#!/usr/bin/env bash
# Seeded-fault run: proves the test suite catches real faults. Each mutant of scripts/mutants.tsv
# is applied alone to a scratch copy of the tree, which is rebuilt incrementally (release) and
# tested with ctest; a mutant is killed when the build or a test fails. Takes long: not run by CI.
#
#   scripts/mutate.sh [NAME...]       all mutants, or only those named
#   MUTATE_DIR=/tmp/x scripts/mutate.sh   where the scratch copy and its build live
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
scratch=${MUTATE_DIR:-/tmp/mesaro-mutate}
list=$top/scripts/mutants.tsv
mkdir -p "$scratch/src"

# The tree as it stands (tracked and new files), copied so that the working tree is never touched.
# Compared by content and written with fresh times: a file put back after an interrupted run must
# look newer than the build made from its mutant, or that build would be reused.
(cd "$top" && git ls-files -co --exclude-standard -z) |
  rsync -rlpc --delete --from0 --files-from=- "$top/" "$scratch/src/"
rsync -a "$top/../shared/" "$scratch/shared/" 2>/dev/null || true  # recordings, read beside the tree

build() { cmake --build "$scratch/build" -j "$(nproc)" >"$scratch/build.log" 2>&1; }
suite() { ctest --test-dir "$scratch/build" -j "$(nproc)" --timeout 300 >"$scratch/test.log" 2>&1; }

cmake -S "$scratch/src" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DMESARO_BUILD_BENCH=OFF >/dev/null || exit 2
if ! build || ! suite; then
  echo "the unmutated tree does not build or pass its tests: see $scratch/*.log" >&2
  exit 2
fi

# Applies one mutant: its pattern must match exactly once. Prints the file it changed.
apply() {
  python3 - "$scratch/src" "$1" "$2" "$3" <<'PY'
import re, sys
root, path, pattern, replacement = sys.argv[1:]
fn = root + "/" + path
text = open(fn, encoding="utf-8").read()
found = len(re.findall(pattern, text, flags=re.M))
if found != 1:
    sys.exit("pattern matches %d times" % found)
open(fn, "w", encoding="utf-8").write(re.sub(pattern, replacement, text, count=1, flags=re.M))
PY
}

# A fault may be listed in more than one spelling (the code it targets was rewritten): the spelling
# that matches the tree is run; a name none of whose spellings matches is reported as stale.
killed=0 survived=0 total=0 survivors=() applied=() stale=()
while IFS=$'\t' read -r name file pattern replacement; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  cp "$scratch/src/$file" "$scratch/original"
  if ! apply "$file" "$pattern" "$replacement" 2>/dev/null; then
    stale+=("$name")
    continue
  fi
  applied+=("$name")
  total=$((total + 1))
  if ! build; then
    verdict="killed (build)"; killed=$((killed + 1))
  elif ! suite; then
    verdict="killed ($(grep -m3 -oE '[0-9]+ - [A-Za-z0-9_]+' "$scratch/test.log" | cut -d' ' -f3 | paste -sd, -))"
    killed=$((killed + 1))
  else
    verdict="SURVIVED"; survived=$((survived + 1)); survivors+=("$name")
  fi
  printf '%-28s %s\n' "$name" "$verdict"
  cp "$scratch/original" "$scratch/src/$file"
done <"$list"
build >/dev/null  # leave the scratch build unmutated for the next run

missing=$(printf '%s\n' "${stale[@]}" | sort -u | grep -vxF -f <(printf '%s\n' "${applied[@]}") | paste -sd' ' -)
echo "mutants: $total run, $killed killed, $survived survived"
[ -n "$missing" ] && echo "stale (no spelling matches this tree): $missing"
[ "$total" -gt 0 ] && echo "kill rate: $((100 * killed / total)) %"
[ ${#survivors[@]} -gt 0 ] && echo "survivors: ${survivors[*]}"
exit 0

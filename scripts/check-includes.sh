#!/usr/bin/env bash
# The folders include one way: dsp <- engine <- instrument, plugin under
# instrument, editor and graphics under instrument (editor may read graphics,
# plugin and engine). Fails, naming each line, on an include that points the
# wrong way; tools/, tests/ and bench/ may include anything.
#
#   scripts/check-includes.sh          # check (exit 1 on a wrong include)
#   scripts/check-includes.sh --graph  # print the include graph by folder
set -euo pipefail
cd "$(dirname "$0")/.."

# Which folders each layer may include (besides itself).
allowed() {
  case "$1" in
    dsp) echo "" ;;
    engine) echo "dsp" ;;
    plugin) echo "" ;;
    graphics) echo "" ;;
    editor) echo "graphics plugin engine" ;;
    instrument) echo "engine dsp plugin editor graphics" ;;
    *) echo "*" ;;
  esac
}

layers="dsp engine plugin graphics editor instrument"

# Every quoted include in the layers' sources as "from-folder to-folder file:line".
edges() {
  for from in $layers; do
    [ -d "$from" ] || continue
    { grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$from" \
        --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.in' || true; } |
      while IFS= read -r line; do
        where=${line%%:#*}
        where=${where%%:[[:space:]]*}
        target=$(sed -E 's/.*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$line")
        case "$target" in
          ../*|*/../*) to="(relative)" ;;
          */*) to=${target%%/*} ;;
          *) to=$from ;;
        esac
        echo "$from $to $where $target"
      done
  done
}

if [ "${1:-}" = "--graph" ]; then
  edges | awk '$1 != $2 { n[$1 " -> " $2]++ } END { for (k in n) printf "%-26s %3d\n", k, n[k] }' | sort
  exit 0
fi

status=0
while read -r from to where target; do
  [ "$from" = "$to" ] && continue
  ok=0
  for a in $(allowed "$from"); do
    if [ "$a" = "*" ] || [ "$a" = "$to" ]; then ok=1; fi
  done
  if [ $ok = 0 ]; then
    echo "$where: $from/ may not include \"$target\"" >&2
    status=1
  fi
done < <(edges)
[ $status = 0 ] && echo "includes point one way"
exit $status

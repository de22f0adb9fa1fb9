#!/bin/bash
# Counts the floating-point work Morvanta does per frame of the full chain
# (16 partials at 50 %, chorus, delay and reverb on): the plug-in runs with
# its vector kernels limited to one lane (MORVANTA_SIMD_TARGET=SCALAR), so
# each operation is one instruction, under callgrind for S and S + 1 seconds;
# the second's difference (44,100 frames, no set-up) is sorted by opcode and
# by part (voices and bus, reverb, chorus, delay). Divided by what the
# processor's widest vectors do per cycle, this is the floor no arrangement
# of the same arithmetic goes below.
#
#   bash bench/count-ops.sh [BUILD_DIR] [--from S]
#
# Needs valgrind, objdump and python3; takes a few minutes. A tool, not a
# test: nothing in CI runs it.
set -eu
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build"
from=4
while [ $# -gt 0 ]; do
  case "$1" in
    --from) from="$2"; shift 2 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) build="$1"; shift ;;
  esac
done
bench="$build/bench/morvanta-plugin-bench"
[ -x "$bench" ] || { echo "build morvanta-plugin-bench first ($bench)" >&2; exit 1; }
full=()
for k in $(seq 1 16); do full+=(--param "Harmonics $k=0.5"); done
full+=(--param "Chorus On=1" --param "Delay On=1" --param "Reverb On=1")

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
for s in "$from" $((from + 1)); do
  MORVANTA_SIMD_TARGET=SCALAR valgrind -q --tool=callgrind --dump-instr=yes --callgrind-out-file="$out/$s.cg" \
    "$bench" "$build/Morvanta.so" --seconds "$s" --runs 1 "${full[@]}" > /dev/null
done

python3 - "$out/$((from + 1)).cg" "$out/$from.cg" <<'EOF'
import collections, re, subprocess, sys

def load(path):
    """Instruction address -> executions, per object (callgrind's compressed names and addresses)."""
    counts = collections.defaultdict(collections.Counter)
    names, obj, last, call = {}, None, 0, False
    def address(tok):
        if tok == '*':
            return last
        if tok[0] in '+-':
            v = int(tok[1:], 0)
            return last + v if tok[0] == '+' else last - v
        return int(tok, 0)
    for line in open(path):
        m = re.match(r'(c?ob)=\((\d+)\)(?: (.*))?$', line.rstrip('\n'))
        if m:
            if m.group(3):
                names[m.group(2)] = m.group(3)
            if m.group(1) == 'ob':
                obj = names.get(m.group(2))
            continue
        if line.startswith('calls='):
            call = True
            continue
        if not line.strip() or line[0] not in '0123456789+-*':
            continue
        parts = line.split()
        last = address(parts[0])
        if call:  # the call line's cost is the callee's, counted there
            call = False
            continue
        if obj and len(parts) > 2:
            counts[obj][last] += int(parts[2])
    return counts

def part(obj, function):
    if 'libm' in obj:
        return 'chorus'  # its tangents
    if re.search(r'Reverb|RunFrames|DampLines|ReadLines|MoveLines|SettledFrame|ProcessPlain|HighPass', function):
        return 'reverb'
    if re.search(r'ModSine|Chorus|ModDelay', function):
        return 'chorus'
    if re.search(r'Delay', function):
        return 'delay'
    return 'voices and bus'

after, before = load(sys.argv[1]), load(sys.argv[2])
frames = 44100.0
table = collections.defaultdict(collections.Counter)
for obj in set(after) | set(before):
    if 'Morvanta.so' not in obj and 'libm' not in obj:
        continue
    listing = subprocess.run(['objdump', '-d', '--no-show-raw-insn', '-C', obj], capture_output=True,
                             text=True).stdout
    opcode, function = {}, '?'
    for line in listing.split('\n'):
        m = re.match(r'^[0-9a-f]+ <(.*)>:$', line)
        if m:
            function = m.group(1)
            continue
        m = re.match(r'\s*([0-9a-f]+):\s+(\S+)', line)
        if m:
            opcode[int(m.group(1), 16)] = (m.group(2), function)
    for address in set(after[obj]) | set(before[obj]):
        n = after[obj][address] - before[obj][address]
        if n == 0:
            continue
        op, function = opcode.get(address, ('?', '?'))
        row = table[part(obj, function)]
        row['instructions'] += n
        if re.match(r'^v?(add|sub|mul|div|sqrt|min|max)(sd|ss)$', op):
            row['arithmetic'] += n
        elif re.match(r'^v?(add|sub|mul|div|sqrt|min|max)pd$', op):
            row['arithmetic'] += 2 * n  # the baseline build's loops, two doubles
        elif re.match(r'^v?(add|sub|mul|div|sqrt|min|max)ps$', op):
            row['arithmetic'] += 4 * n  # or four floats at a time
        elif re.match(r'^v?(cvt|round)', op) or re.match(r'^v?(u?comi|cmp)\w*(sd|ss|pd|ps)$', op):
            row['compares and conversions'] += n

print(f"{'per frame':16s} {'arithmetic':>11s} {'compares/conv.':>15s} {'instructions':>13s}")
total = collections.Counter()
for name in ('voices and bus', 'reverb', 'chorus', 'delay'):
    row = table[name]
    total.update(row)
    print(f"{name:16s} {row['arithmetic'] / frames:11.0f} {row['compares and conversions'] / frames:15.0f} "
          f"{row['instructions'] / frames:13.0f}")
print(f"{'all':16s} {total['arithmetic'] / frames:11.0f} {total['compares and conversions'] / frames:15.0f} "
      f"{total['instructions'] / frames:13.0f}")
EOF

#!/usr/bin/env bash
# Builds every fuzz target in tests/fuzz/ with clang (libFuzzer + ASan + UBSan) into fuzz-build/ and
# runs each for SECONDS seconds (default 60), starting from its seed corpus in tests/fuzz/corpus/NAME/.
# A target NAME comes from tests/fuzz/fuzz_NAME.cpp; add a line to `sources` below for the library code
# it needs. Every target runs; the exit status is non-zero when any of them found a failure, whose
# reproducer is then in fuzz-build/NAME/.
# Without clang it says so and does nothing, so callers may run it unconditionally.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}

if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found, fuzz targets not run"
  exit 0
fi

declare -A sources=(
  [poll_cycle]="modbus/PollCycle.cpp modbus/ModbusFrame.cpp modbus/TextToInt.cpp modbus/Traffic.cpp modbus/Verdict.cpp"
  [text]="modbus/ModbusFrame.cpp modbus/TextToInt.cpp"
  [parmrk]="serial/PosixCommPort.cpp serial/PosixBaud.cpp"
  [properties]="widgets/*.cpp"
  [fleetfile]="fleet/*.cpp serial/*.cpp"
)
# Headers with Qt classes that a target compiles, run through moc first.
declare -A mocs=(
  [properties]="widgets/*.h"
  [fleetfile]="serial/*.h"
)
moc=$(pkg-config --variable=libexecdir Qt6Core)/moc

out=$root/fuzz-build
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -fno-omit-frame-pointer -Imodbus -Iserial -Iwidgets -Ifleet $(pkg-config --cflags Qt6Core Qt6Gui Qt6Widgets))
libs=($(pkg-config --libs Qt6Core Qt6Gui Qt6Widgets))

status=0
for src in tests/fuzz/fuzz_*.cpp; do
  name=$(basename "$src" .cpp); name=${name#fuzz_}
  echo "== fuzz $name (${seconds}s)"
  generated=()
  for header in ${mocs[$name]:-}; do
    grep -q Q_OBJECT "$header" || continue
    mkdir -p "$out/moc/$name"
    generated+=("$out/moc/$name/moc_$(basename "$header" .h).cpp")
    "$moc" "$header" -o "${generated[-1]}"
  done
  clang++ "${flags[@]}" "$src" ${sources[$name]:-} ${generated[@]+"${generated[@]}"} "${libs[@]}" \
    -o "$out/fuzz_$name"
  mkdir -p "$out/$name/corpus"
  seeds=tests/fuzz/corpus/$name
  [ -d "$seeds" ] || seeds=
  # The working corpus grows in fuzz-build/; the seeds in the repository stay as they are.
  if (cd "$out/$name" && UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$out/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      corpus ${seeds:+"$root/$seeds"} >log 2>&1); then
    grep -E '^(Done|stat::(number_of_executed_units|new_units_added))' "$out/$name/log" || true
  else
    tail -n 80 "$out/$name/log"
    echo "fuzz $name: FAILED (log and reproducer in fuzz-build/$name/)"
    status=1
  fi
done
exit $status

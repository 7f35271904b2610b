#!/usr/bin/env bash
# Checks that programs carry Debian's hardening, as far as the binary shows it: position-independent,
# full RELRO (the relocations read-only and bound at start), the stack protector (__stack_chk_fail)
# and fortified libc calls (__*_chk) in the dynamic symbol table. A stripped program keeps that table,
# so installed programs can be checked. Prints one line per program; exits 1 if any lacks one of them.
# Usage: scripts/check-hardening.sh PROGRAM...
set -euo pipefail
[ $# -ge 1 ] || {
  echo "usage: $0 PROGRAM..." >&2
  exit 2
}

status=0
for program in "$@"; do
  problems=()
  # Read whole before matching: grep -q would close the pipe early under pipefail.
  header=$(readelf -h -W "$program")
  segments=$(readelf -l -W "$program")
  dynamic=$(readelf -d -W "$program")
  symbols=$(readelf --dyn-syms -W "$program" | awk '{print $8}' | sed 's/@.*//')
  if ! grep -Eq 'Type:[[:space:]]+DYN' <<<"$header" || ! grep -q 'INTERP' <<<"$segments"; then
    problems+=("not a position-independent executable")
  fi
  grep -q 'GNU_RELRO' <<<"$segments" || problems+=("no RELRO segment")
  grep -Eq '\(BIND_NOW\)|\(FLAGS(_1)?\).* NOW' <<<"$dynamic" || problems+=("not bound at start (partial RELRO)")
  grep -qx '__stack_chk_fail' <<<"$symbols" || problems+=("no stack protector (__stack_chk_fail)")
  fortified=$(grep -Ex '__[A-Za-z0-9_]+_chk' <<<"$symbols" | grep -vx '__stack_chk_fail' | sort -u | paste -sd ' ' || true)
  [ -n "$fortified" ] || problems+=("no fortified libc calls (__*_chk)")
  if [ ${#problems[@]} -eq 0 ]; then
    echo "  $program: hardened; fortified: $fortified"
  else
    printf -v why '; %s' "${problems[@]}"
    echo "check-hardening: $program: ${why:2}" >&2
    status=1
  fi
done
exit "$status"

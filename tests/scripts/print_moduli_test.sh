#!/usr/bin/env bash
# scripts/print-moduli (the no-display output of scripts/run) under a locale with a decimal comma:
# the moduli of tests/data/results/MODULI.OUT, not 0. Skipped (77) where no such locale exists.
set -euo pipefail
top=$(dirname "$(readlink -f "$0")")/../..
export LC_ALL=de_DE.UTF-8
if [ "$(locale -k decimal_point 2>/dev/null)" != 'decimal_point=","' ]; then
  echo "de_DE.UTF-8 (decimal comma) is not available: skipped"
  exit 77
fi
expected='Back-calculated moduli (MPa):
  layer 1: 3456
  layer 2: 234.5
  layer 3: 78.91
Iterations: 4
Final error (mean squared deflection difference, cm^2): 0.1234E-03'
actual=$("$top/scripts/print-moduli" "$top/tests/data/results/MODULI.OUT")
if [ "$actual" != "$expected" ]; then
  printf 'expected:\n%s\nactual:\n%s\n' "$expected" "$actual"
  exit 1
fi

#!/usr/bin/env bash
# Runs the unit checks of the agreement and benchmark scripts in bench/
# (parsers of the peers' output formats, the AT&T section merge).
set -euo pipefail
cd "$(dirname "$0")/../bench"
python3 -m unittest -q test_scripts

#!/usr/bin/env bash
# Sets everything up on a fresh machine and runs the main job: installs the
# build tools and the English analyser, builds the library and the pmr tool,
# compiles the English model and looks a few words up in it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
PEERS_MINIMAL=1 ./scripts/peers-setup.sh
cmake -S . -B build -DPMR_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
./models/english/build.sh build/models
build/pmr info build/models/eng.pmr
printf 'cats\nwent\nbetter\nhouses\n' | build/pmr lookup build/models/eng.pmr

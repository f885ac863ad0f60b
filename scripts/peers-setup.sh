#!/usr/bin/env bash
# Installs, when missing, the Debian packages of the English analyser and of
# the open finite-state toolkits used as agreement and benchmark peers:
#   apertium-eng-spa  the English analyser (eng-spa.automorf.bin)
#   lttoolbox         lt-proc
#   lttoolbox-dev     lt-comp, lt-print
#   foma              foma, flookup
#   hfst              hfst-txt2fst, hfst-fst2fst, hfst-optimized-lookup
#   hyperfine, time   timing and peak memory
#   wamerican, fortunes-min  English word list and running text for the word list
# Set PEERS_MINIMAL=1 to install only what models/english/build.sh needs to
# produce the AT&T text of the analyser (apertium-eng-spa, lttoolbox, lttoolbox-dev).
set -euo pipefail
if [ "${PEERS_MINIMAL:-0}" = 1 ]; then
  wanted=(lttoolbox lttoolbox-dev apertium-eng-spa)
else
  wanted=(lttoolbox lttoolbox-dev apertium-eng-spa foma hfst hyperfine time wamerican fortunes-min fortunes)
fi
need=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null

#!/usr/bin/env bash
# Sends a 1 MB file to rb through a pseudo-terminal and the modem simulator, once with our
# YMODEM sender and once with lrzsz's sb, and prints both times and their ratio.
# Usage: bench/ymodem/run.sh BUILD_DIR [SIZE_IN_BYTES]
set -euo pipefail
build=$(cd "${1:?usage: run.sh BUILD_DIR [SIZE]}" && pwd)
"$build/bin/ymodem_bench" "$build/bin/modemsim" "${2:-1048576}"

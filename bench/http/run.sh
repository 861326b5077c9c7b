#!/usr/bin/env bash
# Times the HTTP client's exchange of a 10 MB reply (with the progress window open on the
# offscreen platform) against `curl -s -o` of the same reply; prints both and their ratio.
# Usage: bench/http/run.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
if ! command -v curl >/dev/null; then
    echo "curl is not installed (apt-get install curl); no comparison possible." >&2
    exit 1
fi
QT_QPA_PLATFORM=offscreen "$build/bin/http_bench"

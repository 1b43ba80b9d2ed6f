#!/usr/bin/env bash
# Set up, build and run every test (core and GUI, headless).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --preset default "$@"

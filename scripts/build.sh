#!/usr/bin/env bash
# Set up, configure and build tabula with the default preset.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default

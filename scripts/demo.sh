#!/usr/bin/env bash
# Builds everything and runs the main job: the command-line host's demo, which builds a
# sample rig, exports it with the plug-in, imports the file again and compares.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
build/bin/tessaline demo "$@"

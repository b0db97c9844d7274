#!/usr/bin/env bash
# Builds everything and runs the main job: the command-line host's demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
if [ -x build/tools/tessaline/tessaline ]; then
  build/tools/tessaline/tessaline demo "$@"
else
  echo "Build finished; the command-line host is not part of this build yet."
fi

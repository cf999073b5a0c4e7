#!/usr/bin/env bash
# Sets everything up, builds, and starts the Frameloom dialog from the build folder, which holds Tools/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
cd build
if [ ! -x ./frameloom ]; then
  echo "Built. The dialog (build/frameloom) is not part of this build yet." >&2
  exit 0
fi
exec ./frameloom "$@"

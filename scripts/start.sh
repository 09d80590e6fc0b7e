#!/usr/bin/env bash
# Sets up, builds and starts Vornask.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" build
exec "$here/build/bin/vornask" "$@"

#!/usr/bin/env bash
# Sets everything up and starts Pixhaven. When this computer has no backups, it shows a generated
# sample backup root instead, so there is real data to look at.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$source_dir/build"

"$source_dir/scripts/setup.sh" "$build_dir"

cli="$build_dir/cli/pixhaven-cli"
if "$cli" list --json 2>/dev/null | grep -q '"folder"'; then
    exec "$cli" list "$@"
fi

sample_root="$build_dir/sample-root"
if [ ! -d "$sample_root" ]; then
    echo "No backups on this computer: generating a sample backup root in $sample_root"
    "$build_dir/tools/samplegen/pixhaven-samplegen" --out "$sample_root"
fi
exec "$cli" list --root "$sample_root" "$@"

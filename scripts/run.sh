#!/usr/bin/env bash
# Sets everything up and starts Pixhaven. When this computer has no backups, Pixhaven is pointed at
# a generated sample backup root instead, so there is real data to look at. Without a display it
# lists the backups with pixhaven-cli.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$source_dir/build"

"$source_dir/scripts/setup.sh" "$build_dir"

cli="$build_dir/cli/pixhaven-cli"
if ! "$cli" list --json 2>/dev/null | grep -q '"folder"'; then
    sample_data="$build_dir/sample-data"
    sample_root="$sample_data/Apple Computer/MobileSync/Backup"
    if [ ! -d "$sample_root" ]; then
        echo "No backups on this computer: generating a sample backup root in $sample_root"
        mkdir -p "$(dirname "$sample_root")"
        "$build_dir/tools/samplegen/pixhaven-samplegen" --out "$sample_root"
    fi
    # The backup root is found below the user's data folder.
    export XDG_DATA_HOME="$sample_data"
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build_dir/bin/pixhaven" ]; then
    exec "$build_dir/bin/pixhaven" "$@"
fi
echo "No display: listing the backups instead of opening the window."
exec "$cli" list "$@"

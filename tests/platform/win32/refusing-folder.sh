#!/usr/bin/env bash
# Runs RewriteTest.AFolderRefusingNewFiles on a folder that refuses new files to the user who
# may still write its file: wine-run PROGRAM.exe. Wine runs as root here, which permissions do
# not stop, and it does not enforce Windows ACLs, so the folder is made immutable instead.
set -euo pipefail

folder=$(mktemp -d)
trap 'chattr -i "$folder" 2>/dev/null || true; rm -rf "$folder"' EXIT
printf '00SV\r\nlocked\r\n' >"$folder/SQPATH.DAT"
if ! chattr +i "$folder" 2>/dev/null; then
    echo "no immutable folders on $folder's file system"
    exit 77
fi
ZELVOSET_REFUSING_FOLDER=$folder "$(dirname "$0")/../../../cmake/wine-run" "$1" \
    --gtest_filter=RewriteTest.AFolderRefusingNewFiles

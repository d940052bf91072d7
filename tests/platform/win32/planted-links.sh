#!/usr/bin/env bash
# Runs RewriteTest.NothingOutsideTheInstallationIsRewrittenOrDeleted on an installation with
# links to files and folders elsewhere, and RewriteTest.OnlyABackupOfOurOwnIsPutBack with files
# planted under a backup's name: wine-run PROGRAM.exe. The links are made here, as Unix links that
# Wine follows: Wine's own CreateSymbolicLinkW makes none at all. So is a file of another user
# (Wine runs as root here), which Wine shows as owned by ANONYMOUS LOGON.
set -euo pipefail

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
# The folder elsewhere is a sibling whose name begins with the installation's own.
mkdir "$root/inside" "$root/inside2"
printf '00SV\r\nsecret\r\n' >"$root/inside2/paths"
printf 'compiled' >"$root/inside2/a.gnt"
ln -s ../inside2/paths "$root/inside/SQPATH.DAT"
ln -s ../inside2 "$root/inside/SVOBJ"
mkdir "$root/inside/within"
printf 'TB\r\nmenu\r\n' >"$root/inside/within/menu"
ln -s within/menu "$root/inside/SQMENU.DAT"
printf 'own\r\n' >"$root/inside/within/own-backup"
ln -s ../../inside2/paths "$root/inside/within/link-backup"
printf 'planted\r\n' >"$root/stranger"
chown nobody "$root/stranger"
ZELVOSET_PLANTED_LINKS=$root "$(dirname "$0")/../../../cmake/wine-run" "$1" \
    --gtest_filter=RewriteTest.NothingOutsideTheInstallationIsRewrittenOrDeleted:RewriteTest.OnlyABackupOfOurOwnIsPutBack

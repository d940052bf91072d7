#!/usr/bin/env bash
# What a screen reader hears: the real program in a PBS installation, on an X server of its own
# with a window manager, read through AT-SPI in a D-Bus session of its own (a11y.py).
# Usage: a11y.sh PATH-OF-Zelvoset. Exit status: 0 passed, 1 failed, 77 skipped.
set -u
here=$(cd "$(dirname "$0")" && pwd)
ZELVOSET=$(realpath "$1") # copied into the installation by make_layout
export ZELVOSET
E2E_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/zelvoset-a11y.XXXXXX")
CASE_DIR=$E2E_ROOT/case
# shellcheck source=lib.sh
source "$here/lib.sh"
trap 'stop_wm; stop_xvfb; rm -rf "$E2E_ROOT"' EXIT
if ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || ! command -v dbus-run-session >/dev/null ||
    ! ensure_x_tools || ! start_xvfb; then
    echo "SKIP: needs python3-pyatspi, at-spi2-core, dbus and Xvfb (scripts/setup installs them)"
    exit 77
fi
mkdir -p "$CASE_DIR/launch" "$CASE_DIR/runtime" && chmod 700 "$CASE_DIR/runtime"
export XDG_RUNTIME_DIR=$CASE_DIR/runtime
make_layout "$CASE_DIR/inst" PBS
start_wm || exit 1
# The start-up scripts run without terminal windows, which would take the focus from the window.
dbus-run-session -- /usr/bin/python3 "$here/a11y.py" "$CASE_DIR/inst" "$(path_without_terminal)"

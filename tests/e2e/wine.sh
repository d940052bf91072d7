#!/usr/bin/env bash
# End-to-end suite of the Windows program: the real Zelvoset.exe, installed into sample
# installations laid out by scripts/make-sample --windows (with batch stand-ins that cmd.exe
# runs), started under Wine and driven from the keyboard as a person would.
# Usage: wine.sh PATH-OF-Zelvoset.exe PATH-OF-zelvoset-record.exe
# It needs a display with a window manager, as Wine activates no window without one: run it in
# scripts/with-display. Exit status: 0 all passed, 1 some failed or no display.
set -u

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[[ $# -ge 2 && -f $1 && -f $2 ]] || {
    echo "usage: $0 PATH-OF-Zelvoset.exe PATH-OF-zelvoset-record.exe" >&2
    exit 2
}
ZELVOSET=$(realpath "$1")
ZELVOSET_RECORDER=$(realpath "$2")
export ZELVOSET_RECORDER
# The build's own Wine prefix, beside the program's build tree, unless one is given.
if [[ -z ${WINEPREFIX:-} ]]; then
    build=$(dirname "$ZELVOSET")
    while [[ $build != / && ! -f $build/CMakeCache.txt ]]; do build=$(dirname "$build"); done
    export WINEPREFIX=$build/wineprefix
fi
# The program is made for Windows 7 SP1 and later: the suite runs with Wine reporting Windows 7
# (Wine 8.0 does by default; newer ones report Windows 10).
"$root/cmake/wine-run" cmd /c ver >/dev/null 2>&1 || true
winecfg -v win7 >/dev/null 2>&1 || true
reported=$("$root/cmake/wine-run" cmd /c ver 2>/dev/null | tr -d '\r')
if [[ $reported != *" 6.1."* ]]; then
    echo "FAIL: Wine does not report Windows 7 in $WINEPREFIX: $reported"
    exit 1
fi
E2E_ROOT=$(cd -P "$(mktemp -d "${TMPDIR:-/tmp}/zelvoset-wine.XXXXXX")" && pwd)
E2E_WAIT=${E2E_WAIT:-15} # Wine starts its server and the console windows slowly
# shellcheck source=lib.sh
source "$here/lib.sh"

trap '[[ -n ${E2E_KEEP:-} ]] || rm -rf "$E2E_ROOT"' EXIT
trap 'exit 1' INT TERM

if ! wm_ready; then
    echo "FAIL: no display with a window manager (DISPLAY='${DISPLAY:-}'); run: scripts/with-display $0 $1 $2"
    exit 1
fi

# Wine's keyboard sees only the keys of the layout it found when a program started, and xdotool
# types a letter that has no key by binding one for a moment: Wine never sees an "é" typed so.
# It gets a key of its own on this display, in place of '`', which no case types.
xmodmap -e 'keycode 49 = eacute Eacute' 2>/dev/null ||
    echo "note: xmodmap failed; the company folder named with an accent cannot be typed"

# ---------------------------------------------------------------------------------------------
# What differs from the Linux suite

VLKRESET='vlkreset.bat [nowarning]'

# sample LAYOUT: the installation of make-sample, with the program installed into it.
sample() {
    "$root/scripts/make-sample" --windows "$INST" "$1" >/dev/null
    cp "$ZELVOSET" "$INST/Zelvoset.exe"
}

start_app() {
    (cd "$1" && exec "$root/cmake/wine-run" ./Zelvoset.exe >>"$CASE_DIR/app.log" 2>&1) &
    APP_PID=$! # wine-run and wine hand the process id on to the program itself
}

# Visible windows of other programs: the console windows of the scripts the program launched.
# Wine gives every window of the program the process id of the program itself.
other_windows() {
    local wid pid
    for wid in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        pid=$(xdotool getwindowpid "$wid" 2>/dev/null) || continue
        [[ -n $pid && $pid != "$APP_PID" ]] && echo "$wid"
    done
    return 0
}

# A console window still opening or closing takes the focus from under a key: wait until the
# launched scripts have ended, their consoles with them, and their windows are gone. A script
# may have written its record before its console window even came up. In a fresh Wine prefix
# the first console is slow to come.
others_settled() {
    poll "$E2E_WAIT" not scripts_running && poll "$E2E_WAIT" any_window_none other_windows &&
        return 0
    fail_note "a launched script's window stayed open: $(other_windows | tr '\n' ' ')"
    return 1
}

# Whether a launched script (cmd.exe, or the console of one) still runs in this suite's prefix.
# An installer's own cmd.exe (installers.sh) runs until the installer ends: it is no script.
scripts_running() {
    local pid
    for pid in $(pgrep -f '(cmd|conhost)\.exe' || true); do
        grep -q zelvo-setup "/proc/$pid/cmdline" 2>/dev/null && continue
        in_prefix "$pid" && return 0
    done
    return 1
}
in_prefix() { { tr '\0' '\n' <"/proc/$1/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; }

# For a program that an installer started (STARTER names the installer): sets APP_PID to it,
# once it runs.
app_started() {
    local pid
    for pid in $(pgrep -x Zelvoset.exe || true); do
        in_prefix "$pid" && APP_PID=$pid && app_alive && return 0
    done
    return 1
}
wait_app_started() { expect "$STARTER did not start Zelvoset.exe" poll "$E2E_WAIT" app_started; }
# The program is the installer's child, not the suite's: it has ended when its process has.
expect_installed_app_ends() { expect "the program is still running" poll "$E2E_WAIT" not app_alive; }
any_window_none() { [[ -z $("$@") ]]; }

# A box of the program's in front of window $1 (the Open dialog's own "File does not exist"
# has no title to wait for): sets BOX to it.
box_over() {
    BOX=$(xdotool getactivewindow 2>/dev/null) || return 1
    [[ $BOX != "$1" && $(xdotool getwindowpid "$BOX" 2>/dev/null) == "$APP_PID" ]] &&
        is_dialog "$BOX"
}

# Dismisses with Enter the box that came up over window $1.
dismiss_box_over() {
    expect "no box came up over window $1" poll "$E2E_WAIT" box_over "$1" || return 1
    press "$BOX" Return
    wait_closed "$BOX"
}

# What window $1 shows, as a checksum of its pixels.
looks() { import -window "$1" rgb:- 2>/dev/null | md5sum; }
looks_changed() { [[ $(looks "$1") != "$2" ]]; }

# Finish, then Exit once the panel shows: on a busy machine Wine may take longer than a moment to
# show it, and an Alt+E before it would reach the empty data files button underneath. Under load
# a key can also be lost while Wine is still settling which window is active after a script's
# console closed (the window manager already gave the focus back): each key is sent again
# while it has had no effect, which is harmless, as neither can act twice.
finish_and_exit() {
    others_settled
    wait_main
    local before
    before=$(looks "$WID")
    resend "$WID" alt+f looks_changed "$WID" "$before"
    expect "Finish did not show the panel" looks_changed "$WID" "$before" || return 1
    resend "$WID" alt+e not app_alive
    expect_app_ends
}

# The stand-ins' log, one launch a line: "name [argument]...".
launches() {
    [[ -f $INST/launched.log ]] && tr -d '\r' <"$INST/launched.log"
    return 0
}

# The PBS start-up, done in the installation: both files cleaned, both scripts started there.
pbs_started_up() {
    expect_bytes "$INST/SQPATH.DAT" \
        '01GLDATA=C:\\ZELVO\\GL\r\n00svtemp=C:\\TEMP\r\n 00SVKEEP=indented, so kept\r\n02ARDATA=C:\\ZELVO\\AR\r\n'
    expect_bytes "$INST/SQMENU.DAT" 'GL01 General ledger\r\ntb03 lower case, so kept\r\nAR01 Receivables\r\n'
    expect_launches_unordered "svpath.bat" "$VLKRESET"
}

# ---------------------------------------------------------------------------------------------
# Cases

# PBS: the two files cleaned and both scripts started before the window, without a question.
case_startup_pbs() {
    sample PBS
    start_main
    expect_no_dialog
    pbs_started_up
    finish_and_exit
}

# RW9, answered Yes: the switch line under a new "@echo off"; the .gnt files gone. The first
# button has the focus once the window shows after the question: Enter presses it.
case_startup_rw9_yes() {
    sample RW9
    start_main alt+y
    expect_bytes "$INST/RW.BAT" \
        '@echo off\r\nSET COBSW=-F\r\n@echo off\r\nSET COBDIR=C:\\ZELVO\\SVOBJ\r\nRUNW ZELVO\r\n'
    expect "SVOBJ holds more than ZELVO.LBR" test "$(ls "$INST/SVOBJ")" = ZELVO.LBR
    expect_launches "$VLKRESET"
    others_settled
    press "$WID" Return
    expect_launches "$VLKRESET" "svreset.bat"
    finish_and_exit
}

# CP: the switch line first, then the company chosen in the Open dialog by a relative name.
# Then a second installation in a folder whose name holds '%' and what else is special to
# cmd.exe: its Open dialog starts in it, not in the folder the first run chose, and the company
# folder reaches the script exactly as it is named.
case_company() {
    sample CP
    start_main alt+y
    expect_bytes "$INST/SYNRUN.SYN" 'COBSW=-F\r\nCOBDIR=C:\\ZELVO\\SV\r\nSYNRUN=ZELVO\r\n'
    expect_no_launch
    open_company_dialog
    choose_company_file 'DATA\CO1\SYCMPF.DAT'
    expect_launches 'Zelvoset.bat [DATA\CO1]'
    finish_and_exit

    # Wine's cmd.exe expands a '%' that reaches a script again (see docs/windows.md), so only the
    # installation's name holds one; the company's holds the rest.
    INST="$CASE_DIR/p%PATH%q a&b ^c! (d) é"
    local company='DATA\co e&f ^g! (h) é'
    sample CP
    mkdir -p "$INST/${company//\\//}"
    printf 'CO3 Third Company Ltd\r\n' >"$INST/${company//\\//}/SYCMPF.DAT"
    start_main alt+y
    open_company_dialog
    # The proposed name lies in no folder of this installation: the dialog says so itself, where
    # a dialog started in the first run's folder would take that installation's file.
    press "$WID" Return
    dismiss_box_over "$WID"
    choose_company_file 'DATA\CO1\SYCMPF.DAT'
    expect_launches 'Zelvoset.bat [DATA\CO1]'
    open_company_dialog
    choose_company_file "$company\SYCMPF.DAT"
    expect_launches 'Zelvoset.bat [DATA\CO1]' "Zelvoset.bat [$company]"
    finish_and_exit
}

# Demo data, then again with its script gone: the box, and nothing started. The close box
# (Alt+F4 here) ends the program as Exit does.
case_demo_data() {
    sample none
    start_main
    press "$WID" alt+d
    expect_launches "svreset.bat"
    rm "$INST/svreset.bat"
    demo_data_refused
    expect_launches "svreset.bat"
    wait_main
    press "$WID" alt+F4
    expect_app_ends
}

# Sourced by another suite of the Windows program (installers.sh): the set-up and helpers, no cases.
[[ ${BASH_SOURCE[0]} != "$0" ]] && return 0

run_cases startup_pbs startup_rw9_yes startup_rw9_no company demo_data

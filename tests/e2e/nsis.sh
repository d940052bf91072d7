#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR disable=SC2034 # APP_PID is read by wine.sh's helpers
# End-to-end suite of the Windows program as an installer starts it: the example installer
# (examples/nsis/zelvo.nsi) built around a sample installation by Debian's makensis, 64-bit, and
# run under Wine, silently and through its pages. The program must finish the installation it
# lies in, whatever folder the installer left current.
# Usage: nsis.sh PATH-OF-Zelvoset.exe PATH-OF-zelvoset-record.exe, in scripts/with-display.
# Exit status: 0 all passed, 1 some failed, no display or no makensis.
set -u

here=$(cd "$(dirname "$0")" && pwd)
# The Windows suite's set-up (prefix, display, lib.sh) and its helpers; it runs no case here.
source "$here/wine.sh"

if ! command -v makensis >/dev/null; then
    echo "FAIL: no makensis (scripts/setup installs Debian's nsis)"
    exit 1
fi

# installer LAYOUT [MAKENSIS-OPTION...]: builds the example installer around a sample
# installation of LAYOUT with a Docs folder, as $SETUP.
installer() {
    local stage=$CASE_DIR/stage-$1
    "$root/scripts/make-sample" --windows "$stage" "$1" >/dev/null
    cp "$ZELVOSET" "$stage/Zelvoset.exe"
    mkdir -p "$stage/Docs" && printf 'Zelvo\r\n' >"$stage/Docs/README.TXT"
    SETUP=$CASE_DIR/zelvo-setup.exe
    makensis -V2 "-DSOURCE=$stage" "-DOUTFILE=$SETUP" "${@:2}" "$root/examples/nsis/zelvo.nsi" \
        >"$CASE_DIR/makensis.log" 2>&1 && return 0
    fail_note "makensis failed:" "$(cat "$CASE_DIR/makensis.log")"
    return 1
}

# run_installer ARGUMENT...: starts $SETUP in the case's folder, through cmd.exe, which hands on
# its command line as written: Wine would quote a "/D=" holding blanks, which NSIS does not take.
run_installer() {
    local line
    line="$(winepath -w "$SETUP" 2>/dev/null) $*"
    (cd "$CASE_DIR" && exec "$root/cmake/wine-run" cmd /c "${line//&/^&}" \
        >>"$CASE_DIR/setup.log" 2>&1) &
    SETUP_PID=$!
}

STARTER="the installer"
# The suite's own expect_app_ends waits for a child of its own.
expect_app_ends() { expect_installed_app_ends; }

# The installer ends by itself with exit code 0.
expect_installer_ends() { expect_ends SETUP_PID "the installer"; }

# A case that failed half way leaves nothing running in the prefix.
stop_app() {
    local pid
    for pid in $(pgrep -x 'Zelvoset.exe|zelvo-setup.exe' || true); do
        in_prefix "$pid" && kill "$pid" 2>/dev/null
    done
    stop SETUP_PID
    APP_PID=''
}

# The installer's window, once it has come up (NSIS titles it "Zelvo Setup ", a blank last).
setup_window() { xdotool search --onlyvisible --name '^Zelvo Setup' 2>/dev/null; }

# ---------------------------------------------------------------------------------------------
# Cases

# Caught: the program not started, or not waited for, by the installer's last section; start-up
# work or scripts outside the installation; a folder name broken on its way (blanks, '&', '%',
# an accent); a failure of the program's reported as the installer's exit code.
case_silent() {
    local layout
    for layout in PBS CP; do
        INST="$CASE_DIR/$layout/Zelvo a&b 100% é"
        installer "$layout"
        run_installer /S "/D=$(winepath -w "$INST" 2>/dev/null)"
        wait_app_started
        if [[ $layout == PBS ]]; then
            wait_main
            pbs_started_up
        else
            answer_question alt+y
            expect_bytes "$INST/SYNRUN.SYN" 'COBSW=-F\r\nCOBDIR=C:\\ZELVO\\SV\r\nSYNRUN=ZELVO\r\n'
            open_company_dialog
            choose_company_file 'DATA\CO1\SYCMPF.DAT'
            expect_launches 'Zelvoset.bat [DATA\CO1]'
        fi
        finish_and_exit
        expect_installer_ends
    done
}

# The finish page's "Run", after the documentation went last into a folder of its own, which
# the installer leaves current: the program still finishes its own installation, and leaves the
# folder it was started in as it was.
# Caught: the layout, the rewrites or the scripts taken from the current folder.
case_finish_page() {
    INST="$CASE_DIR/Zelvo a&b 100% é"
    installer PBS -DRUN_FROM_FINISH_PAGE
    run_installer "/D=$(winepath -w "$INST" 2>/dev/null)"
    expect "the installer's window did not appear" poll "$E2E_WAIT" settled setup_window
    local setup=$WID
    press "$setup" alt+i # Install, on the folder page
    expect "nothing was installed" poll "$E2E_WAIT" test -f "$INST/Docs/README.TXT"
    # Finish (Alt+F) only works once the finish page shows: pressed again while it has not.
    resend "$setup" alt+f not viewable "$setup"
    expect_installer_ends
    wait_app_started
    wait_main
    pbs_started_up
    finish_and_exit
    local left
    left=$(find "$INST/Docs" -mindepth 1 -printf '%P ')
    expect "the folder it was started in changed: $left" test "$left" = "README.TXT "
}

run_cases silent finish_page

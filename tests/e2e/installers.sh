#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR disable=SC2034 # APP_PID is read by wine.sh's helpers
# End-to-end suite of the Windows program as an installer starts it, under Wine:
# - the example NSIS installer (examples/nsis/zelvo.nsi), built by Debian's makensis, 64-bit, run
#   silently and through its pages;
# - the example MSI (examples/wix/zelvo.wxs), built by Debian's wixl, 64-bit, and installed by
#   Wine's msiexec without a user interface and with a basic one. Its last action (type 18, after
#   InstallFinalize) starts Zelvoset.exe in whatever folder msiexec has as current, and does not
#   wait for it.
# Each is built around a sample installation, and the program must finish the installation it
# lies in, whatever folder the installer left current.
# Usage: installers.sh PATH-OF-Zelvoset.exe PATH-OF-zelvoset-record.exe [CASE...], in
# scripts/with-display. Exit status: 0 all passed, 1 some failed or no display.
set -u

here=$(cd "$(dirname "$0")" && pwd)
# The Windows suite's set-up (prefix, display, lib.sh) and its helpers; it runs no case here.
source "$here/wine.sh"

# installer LAYOUT [MAKENSIS-OPTION...]: builds the example installer around a sample
# installation of LAYOUT with a Docs folder, as $SETUP.
installer() {
    expect "no makensis (scripts/setup installs Debian's nsis)" command -v makensis >/dev/null
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

# The installer ends by itself with exit code 0.
expect_installer_ends() { expect_ends SETUP_PID "the installer"; }

# The installer's window, once it has come up (NSIS titles it "Zelvo Setup ", a blank last).
setup_window() { xdotool search --onlyvisible --name '^Zelvo Setup' 2>/dev/null; }

# package LAYOUT: builds the example package around a sample installation of LAYOUT, as $PACKAGE.
# Its files but the program are listed by wixl-heat, as WiX's Heat would.
package() {
    expect "no wixl (scripts/setup installs Debian's wixl)" command -v wixl wixl-heat >/dev/null
    local stage=stage-$1
    "$root/scripts/make-sample" --windows "$CASE_DIR/$stage" "$1" >/dev/null
    cp "$ZELVOSET" "$CASE_DIR/$stage/Zelvoset.exe"
    PACKAGE=$CASE_DIR/zelvo.msi
    # wixl finds the files only by names relative to the folder it runs in.
    (
        cd "$CASE_DIR" &&
            find "$stage" -type f ! -name Zelvoset.exe |
            wixl-heat -p "$stage/" --var var.SOURCE --directory-ref INSTALLDIR \
                --component-group Installation --win64 >installation.wxs &&
            wixl -a x64 -D "SOURCE=$stage" -D Win64=yes -o "$PACKAGE" \
                "$root/examples/wix/zelvo.wxs" installation.wxs
    ) >"$CASE_DIR/wixl.log" 2>&1 && return 0
    fail_note "wixl failed:" "$(cat "$CASE_DIR/wixl.log")"
    return 1
}

# install UI-OPTION: installs $PACKAGE into $INST with msiexec started in C:\, and waits for
# msiexec to end.
# The folder is given as a property, "INSTALLDIR=..." as one argument, which Wine's msiexec takes
# whole, blanks and all; its log shows what it did.
install() {
    (cd "$WINEPREFIX/drive_c" && exec "$root/cmake/wine-run" msiexec /i "$(winepath -w "$PACKAGE")" "$1" \
        "INSTALLDIR=$(winepath -w "$INST")" /l*v "$(winepath -w "$CASE_DIR/msiexec-${1#/}.log")" \
        >>"$CASE_DIR/msiexec.log" 2>&1) &
    SETUP_PID=$!
    expect_ends SETUP_PID "msiexec"
}

# The suite's own expect_app_ends waits for a child of its own.
expect_app_ends() { expect_installed_app_ends; }

# A case that failed half way leaves nothing running in the prefix.
stop_app() {
    local pid
    for pid in $(pgrep -x 'Zelvoset.exe|zelvo-setup.exe|msiexec.exe' || true); do
        in_prefix "$pid" && kill "$pid" 2>/dev/null
    done
    stop SETUP_PID
    APP_PID=''
}

# Files written in C: since $CASE_DIR/before was made, but for those msiexec keeps for itself:
# its cache of packages, its logs and temporary files.
written_in_c() {
    find "$WINEPREFIX/drive_c" -newer "$CASE_DIR/before" -type f \
        ! -path '*/windows/Installer/*' ! -ipath '*/temp/*' ! -path '*/windows/*.log' 2>/dev/null
}

# ---------------------------------------------------------------------------------------------
# Cases

# Caught: the program not started, or not waited for, by the installer's last section; start-up
# work or scripts outside the installation; a folder name broken on its way (blanks, '&', '%',
# an accent); a failure of the program's reported as the installer's exit code.
case_nsis_silent() {
    STARTER="the installer"
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
case_nsis_finish_page() {
    STARTER="the installer"
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

# Caught: the program not started by the package's last action, or started somewhere it then
# works in (msiexec's current folder is not the installation); a folder name broken on its way
# (blanks, '&', an accent); anything written outside the installation.
case_msi() {
    STARTER="msiexec"
    local ui
    for ui in /qn /qb; do
        INST="$CASE_DIR/${ui#/}/Zelvo a&b é"
        package PBS
        touch "$CASE_DIR/before"
        sleep 1 # a file written in the same second as the mark would not be newer
        install "$ui"
        wait_app_started
        wait_main
        pbs_started_up
        expect "the scripts did not run in the installation" test -f "$INST/launched.log"
        finish_and_exit
        local written
        written=$(written_in_c)
        expect "files were written in C:: $written" test -z "$written"
    done
}

if (($# > 2)); then
    run_cases "${@:3}"
else
    run_cases nsis_silent nsis_finish_page msi
fi

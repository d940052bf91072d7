#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR disable=SC2034 # APP_PID is read by wine.sh's helpers
# End-to-end suite of the Windows program as an MSI starts it: the example package
# (examples/wix/zelvo.wxs) built around a sample installation by Debian's wixl, 64-bit, and
# installed by Wine's msiexec, without a user interface and with a basic one. Its last action
# (type 18, after InstallFinalize) starts Zelvoset.exe in whatever folder msiexec has as
# current, and does not wait for it: the program must finish the installation it lies in.
# Usage: msi.sh PATH-OF-Zelvoset.exe PATH-OF-zelvoset-record.exe, in scripts/with-display.
# Exit status: 0 all passed, 1 some failed, no display or no wixl.
set -u

here=$(cd "$(dirname "$0")" && pwd)
# The Windows suite's set-up (prefix, display, lib.sh) and its helpers; it runs no case here.
source "$here/wine.sh"

if ! command -v wixl >/dev/null || ! command -v wixl-heat >/dev/null; then
    echo "FAIL: no wixl (scripts/setup installs Debian's wixl)"
    exit 1
fi

# package LAYOUT: builds the example package around a sample installation of LAYOUT, as $PACKAGE.
# Its files but the program are listed by wixl-heat, as WiX's Heat would.
package() {
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

STARTER="msiexec"
# The suite's own expect_app_ends waits for a child of its own.
expect_app_ends() { expect_installed_app_ends; }

# A case that failed half way leaves nothing running in the prefix.
stop_app() {
    local pid
    for pid in $(pgrep -x Zelvoset.exe || true) $(pgrep -x msiexec.exe || true); do
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

# Caught: the program not started by the package's last action, or started somewhere it then
# works in (msiexec's current folder is not the installation); a folder name broken on its way
# (blanks, '&', an accent); anything written outside the installation.
case_install() {
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

run_cases install

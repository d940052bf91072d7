#!/usr/bin/env bash
# shellcheck disable=SC2034 # APP_ENV and APP_NOBODY, set by cases, are read by start_app
# End-to-end suite: the real program, copied into sample installations of every layout, run
# under an X server of its own and driven from the keyboard as a person would.
# Usage: run.sh PATH-OF-Zelvoset
# Exit status: 0 all passed, 1 some failed, 77 no X server could be had (skipped).
set -u

here=$(cd "$(dirname "$0")" && pwd)
[[ $# -ge 1 && -x $1 ]] || {
    echo "usage: $0 PATH-OF-Zelvoset" >&2
    exit 2
}
ZELVOSET=$(realpath "$1") # the program copied into each sample installation
export ZELVOSET
# The program compares real paths; a symlinked temporary directory would make the paths typed
# into the file dialog differ from the ones it sees.
E2E_ROOT=$(cd -P "$(mktemp -d "${TMPDIR:-/tmp}/zelvoset-e2e.XXXXXX")" && pwd)
chmod 755 "$E2E_ROOT" # one case runs the program as an ordinary user
# shellcheck source=lib.sh
source "$here/lib.sh"

trap 'stop_xvfb; [[ -n ${E2E_KEEP:-} ]] || rm -rf "$E2E_ROOT"' EXIT
trap 'exit 1' INT TERM

if ! ensure_x_tools; then
    echo "SKIP: Xvfb and xdotool are missing and could not be installed"
    exit 77
fi
if ! start_xvfb; then
    echo "FAIL: no X server could be started on :91..:99"
    cat "$E2E_ROOT/xvfb.log" 2>/dev/null
    exit 1
fi

tab=$'\t'
VLKRESET=vlkreset.bat${tab}nowarning

# Every case but those of the terminal table starts its scripts' windows in xterm, whichever
# terminal the system's x-terminal-emulator is.
mkdir -p "$E2E_ROOT/bin" && ln -s "$(command -v xterm)" "$E2E_ROOT/bin/x-terminal-emulator"
export PATH=$E2E_ROOT/bin:$PATH

# ---------------------------------------------------------------------------------------------
# Start-up, per layout

# CP: the question about SYNRUN.SYN comes first, alone; Yes puts the switch line on top.
case_startup_cp_question_first() {
    sample CP
    start_main alt+y
    expect_bytes "$INST/SYNRUN.SYN" 'COBSW=-F\r\nPATH=SV\r\nTERM=ansi\r\n'
    expect_no_launch
    finish_and_exit
}

# RW9: .gnt files of SVOBJ (only its own) are gone before the reset script starts; Yes writes
# the switch line under a new "@echo off".
case_startup_rw9_yes() {
    sample RW9
    stand_in "$INST" vlkreset.bat "ls SVOBJ >'$CASE_DIR/svobj-at-reset'"
    start_main alt+y
    expect_bytes "$INST/RW.BAT" '@echo off\r\nSET COBSW=-F\r\n@echo off\r\nset cobsw=-f\r\nrunw sv\r\n'
    expect_launches "$VLKRESET"
    expect_bytes "$CASE_DIR/svobj-at-reset" 'MAIN.INT\nSUB\n'
    expect "SVOBJ/SUB/deep.gnt was deleted" test -f "$INST/SVOBJ/SUB/deep.gnt"
    # The empty data files button is disabled after start-up: Alt+E does nothing.
    press "$WID" alt+e
    expect_launches "$VLKRESET"
    expect_no_dialog
    finish_and_exit
}

# RW9 whose RW.BAT already sets the switch (on its last line): no question, file untouched.
case_startup_rw9_line_present() {
    sample RW9
    printf 'runw sv\r\nSET COBSW=-F' >"$INST/RW.BAT"
    start_main
    expect_no_dialog
    expect_bytes "$INST/RW.BAT" 'runw sv\r\nSET COBSW=-F'
    finish_and_exit
}

# PBS: both files cleaned before svpath.bat starts, then the reset script; no question.
case_startup_pbs() {
    sample PBS
    stand_in "$INST" svpath.bat "cp SQPATH.DAT '$CASE_DIR/sqpath-at-svpath'"
    start_main
    expect_no_dialog
    local sqpath='00svkeep\r\nPATH1\r\n 00SVindented\r\nlast\r\n'
    expect_bytes "$INST/SQPATH.DAT" "$sqpath"
    expect_bytes "$INST/SQMENU.DAT" 'MENU2\r\ntb lower\r\n\r\nEND\r\n'
    # Started one right after the other and running at once: their records may come either way.
    expect_launches_unordered "svpath.bat" "$VLKRESET"
    expect_bytes "$CASE_DIR/sqpath-at-svpath" "$sqpath"
    finish_and_exit
}

# Names are found without regard to letter case: lower-case markers and files, an upper-case
# script. The files are cleaned under their own names; no second file appears beside them.
case_startup_pbs_any_case() {
    mkdir -p "$INST"
    printf 'call sv\r\n' >"$INST/pbs.bat"
    printf '00SVx\r\nkeep\r\n' >"$INST/sqpath.dat"
    printf 'TBx\r\nkeep\r\n' >"$INST/Sqmenu.Dat"
    sample none
    rm "$INST/vlkreset.bat"
    stand_in "$INST" VLKRESET.BAT
    start_main
    expect_bytes "$INST/sqpath.dat" 'keep\r\n'
    expect_bytes "$INST/Sqmenu.Dat" 'keep\r\n'
    expect_launches_unordered "svpath.bat" "VLKRESET.BAT${tab}nowarning"
    expect "files were created beside the lower-case ones" \
        test "$(find "$INST" -maxdepth 1 -iname 'sq*.dat' | wc -l)" -eq 2
    finish_and_exit
}

# A root-owned installation started by an ordinary user, as a user starts a root-owned
# /opt/zelvo: start-up does what it may (the scripts), leaves the files it may not change as they
# were, and says so once, before the window.
# Caught: the refusal untold, or told twice; start-up stopped by it.
case_startup_without_rights() {
    sample PBS
    cp "$INST/SQPATH.DAT" "$CASE_DIR/SQPATH.DAT.before"
    chmod 1777 "$CASE_DIR/launch" # the stand-ins' records, which are the test's
    APP_NOBODY=1
    start_app "$INST"
    wait_dialog 'Zelvo Install'
    expect_only_window "$WID"
    dismiss_box
    wait_main
    expect_no_dialog
    expect "SQPATH.DAT changed" cmp -s "$CASE_DIR/SQPATH.DAT.before" "$INST/SQPATH.DAT"
    expect_launches_unordered "svpath.bat" "$VLKRESET"
    finish_and_exit
}

# RW: only the reset script, no question, no file touched. No terminal emulator is installed
# (none on PATH, neither the alternative nor xterm): the script still starts, without a window.
case_startup_rw() {
    sample RW
    stand_in "$INST" vlkreset.bat "tty >'$CASE_DIR/tty.tmp'; mv '$CASE_DIR/tty.tmp' '$CASE_DIR/tty'"
    APP_ENV=("PATH=$(path_without_terminal)")
    start_main
    expect_no_dialog
    expect_launches "$VLKRESET"
    poll "$E2E_WAIT" test -e "$CASE_DIR/tty"
    expect_bytes "$CASE_DIR/tty" 'not a tty\n'
    finish_and_exit
}

# A display that no X server answers: the first free number from 200 on.
unreachable_display() {
    local n=200
    while [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]; do n=$((n + 1)); done
    echo ":$n"
}

# PBS where DISPLAY names no X server (the program draws offscreen): the terminal starts, cannot
# open its window and ends. Each script then starts without a window, exactly once, as with no
# terminal; they run at the same time, so their records may come either way.
case_startup_pbs_unreachable_display() {
    sample PBS
    stand_in "$INST" svpath.bat "tty >>'$CASE_DIR/tty'"
    stand_in "$INST" vlkreset.bat "tty >>'$CASE_DIR/tty'"
    APP_ENV=(QT_QPA_PLATFORM=offscreen "DISPLAY=$(unreachable_display)")
    start_app "$INST"
    expect_launches_unordered "svpath.bat" "$VLKRESET"
    expect_bytes "$CASE_DIR/tty" 'not a tty\nnot a tty\n'
    expect "the program did not keep running" app_alive
    stop APP_PID # offscreen there is no window to press Exit in
}

# No layout: nothing at start-up; the empty data files button reports the missing marker. The
# program takes no options, Qt's own included: it stays on this display, under its own title, at
# its own size.
case_startup_none() {
    sample none
    start_app "$INST" -platform offscreen -qwindowtitle Other -qwindowgeometry 123x45+7+9 -reverse
    wait_main
    expect "-qwindowgeometry was obeyed" not grep -q 'Geometry: 123x45' \
        <(xdotool getwindowgeometry "$WID")
    expect_no_dialog
    expect_no_launch
    press "$WID" alt+e
    dismiss_box
    expect_no_launch
    finish_and_exit
}

# ---------------------------------------------------------------------------------------------
# Each terminal in its own words

# TERMINAL CLASS, and what each proves: a server behind the command (Debian's wrapper, as its
# alternative names it); a title that -T does not
# set; a running instance over D-Bus that would join the words of -e; a rejected -T; and a
# stand-in for kitty on a slow machine, whose window is up long before it starts its program.
terminal_rows=(
    "gnome-terminal.wrapper gnome-terminal"
    "konsole konsole"
    "terminator terminator"
    "qterminal qterminal"
    "slow xterm"
)

# The windows of class CLASS titled TITLE, or TITLE followed by " — " and the terminal's name as
# KDE adds it to every window's title.
terminal_windows() {
    local wid name
    for wid in $(xdotool search --onlyvisible --class "^$1\$" 2>/dev/null); do
        name=$(xdotool getwindowname "$wid" 2>/dev/null) || continue
        [[ $name == "$2" || $name == "$2 — "* ]] && echo "$wid"
    done
    return 0
}
# Ends the scripts of a terminal case and every window on the suite's display but the
# program's: a terminal that a case failed with must not stand in the next case's way.
close_terminals() {
    local wid pid
    : >"$CASE_DIR/seen"
    for wid in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        pid=$(xdotool getwindowpid "$wid" 2>/dev/null) || continue
        [[ $pid == "${APP_PID:-}" ]] || kill "$pid" 2>/dev/null
    done
    return 0
}
one_terminal_window() { [[ $(terminal_windows "$@" | wc -l) -eq 1 ]]; }

# A PBS start-up with TERMINAL as the desktop's x-terminal-emulator, in a D-Bus session of the
# case's own: each script in a window of its own of that terminal, titled with its name, once.
# Caught: a terminal told in the policy's words where it ignores -T (konsole's title), joins
# -e's words (terminator beside a running Terminator) or rejects -T (qterminal's window); a
# slow terminal given up while its window is on the screen (the script runs without it).
terminal_case() {
    local terminal=$1 class=$2 script session
    sample PBS
    for script in svpath.bat vlkreset.bat; do
        # In its window until the case has seen it (at most a minute).
        stand_in "$INST" "$script" "tty >'$CASE_DIR/tty-$script'
i=0; while [ ! -e '$CASE_DIR/seen' ] && [ \$i -lt 600 ]; do sleep 0.1; i=\$((i + 1)); done"
    done
    mkdir -p "$CASE_DIR/bin"
    if [[ $terminal == slow ]]; then
        # The policy's -T TITLE -e PROGRAM...; the program starts 6 s after the window.
        cat >"$CASE_DIR/bin/x-terminal-emulator" <<'EOF'
#!/bin/sh
t=$2; shift 3
exec xterm -T "$t" -e /bin/sh -c 'sleep 6; exec "$@"' late "$@"
EOF
        chmod 755 "$CASE_DIR/bin/x-terminal-emulator"
    else
        expect "$terminal is not installed (scripts/setup installs it)" quietly command -v "$terminal"
        ln -s "$(command -v "$terminal")" "$CASE_DIR/bin/x-terminal-emulator"
    fi
    session=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
    SESSION_PID=${session##*$'\n'}
    # Every step of the clean-up, whatever fails (set -e would end it at the first).
    trap 'set +e; stop_app; close_terminals; kill "$SESSION_PID" 2>/dev/null' EXIT
    APP_ENV=("PATH=$CASE_DIR/bin:$PATH" "DBUS_SESSION_BUS_ADDRESS=${session%%$'\n'*}")
    if [[ $terminal == terminator ]]; then
        # The user's own Terminator, already open.
        env "${APP_ENV[@]}" terminator -T mine >/dev/null 2>&1 &
        expect "the user's Terminator did not open" poll 30 one_terminal_window "$class" mine
    fi
    start_main
    for script in svpath.bat vlkreset.bat; do
        # Generous: a cold terminal on a loaded machine, and the slow one's 6 s.
        expect "$script did not run" poll 40 test -s "$CASE_DIR/tty-$script"
        expect "$script did not run in a terminal" grep -q '^/dev/pts/' "$CASE_DIR/tty-$script"
        if ! poll 20 one_terminal_window "$class" "$script"; then
            fail_note "no window of $class titled $script; visible: $(visible_titles)"
            return 1
        fi
    done
    : >"$CASE_DIR/seen"
    expect_launches_unordered "svpath.bat" "$VLKRESET"
    finish_and_exit
}

terminal_cases=()
for row in "${terminal_rows[@]}"; do
    read -r terminal class <<<"$row"
    terminal_cases+=("terminal_${terminal//[-.]/_}")
    eval "case_${terminal_cases[-1]}() { terminal_case $terminal $class; }"
done

# ---------------------------------------------------------------------------------------------
# Demo data

# The script opens in a terminal window of its own, which comes up in front and active (under a
# window manager, here). It asks its question there, takes the answer typed into that window, and
# the window closes when the script ends. The program has not waited for it.
case_demo_data() {
    sample none
    stand_in "$INST" svreset.bat \
        "printf 'Reset the demo data? '; read -r a; printf '%s\\n' \"\$a\" >'$CASE_DIR/answer'"
    start_wm
    start_main
    press "$WID" alt+d
    expect_launches "svreset.bat"
    expect "no terminal window titled svreset.bat appeared" \
        poll "$E2E_WAIT" settled xdotool search --onlyvisible --name '^svreset.bat$'
    local terminal=$WID
    expect "the script's window is not the active one" poll "$E2E_WAIT" is_active "$terminal"
    expect "the script's window is not in front" on_top "$terminal"
    xdotool type --delay 15 -- 'yes, reset'
    xdotool key Return
    wait_closed "$terminal"
    expect_bytes "$CASE_DIR/answer" 'yes, reset\n'
    expect_no_dialog
    finish_and_exit
}

# Demo data whose terminal cannot reach its display (a stand-in first on PATH runs xterm on one
# that no server answers): it fails, the next terminal (xterm, on the display) shows the script,
# which runs once, and no box is shown.
case_demo_data_terminal_unreachable() {
    sample none
    mkdir -p "$CASE_DIR/bin"
    printf '#!/bin/sh\nDISPLAY=%s exec xterm "$@"\n' "$(unreachable_display)" \
        >"$CASE_DIR/bin/x-terminal-emulator"
    chmod 755 "$CASE_DIR/bin/x-terminal-emulator"
    APP_ENV=("PATH=$CASE_DIR/bin:$PATH")
    start_main
    press "$WID" alt+d
    expect_launches "svreset.bat"
    expect_no_dialog
    finish_and_exit
}

# The script cannot be started: unreadable for the ordinary user running the program (root reads
# anything), a folder, missing. Each time the box, and nothing runs.
case_demo_data_missing_script() {
    sample none
    chmod 000 "$INST/svreset.bat"
    APP_NOBODY=1
    start_app "$INST"
    demo_data_refused # unreadable
    rm "$INST/svreset.bat"
    mkdir "$INST/svreset.bat"
    demo_data_refused # a folder
    rmdir "$INST/svreset.bat"
    demo_data_refused # missing
    expect_no_launch
    finish_and_exit
}

# ---------------------------------------------------------------------------------------------
# The company file of the CP layout

# A CP installation whose question has been answered, with the company dialog open.
start_cp_with_dialog() {
    sample CP
    start_main alt+y
    open_company_dialog
}

# Typed in another letter case than the disk's: the file is taken, spelled as on disk.
case_company_relative_path() {
    start_cp_with_dialog
    choose_company_file 'data/co1/sycmpf.dat'
    expect_launches "Zelvoset.bat${tab}DATA/CO1"
    finish_and_exit
}

# Blanks, quotes, '$', ';' and a leading '-' in the company folder: still exactly one argument,
# bytes intact, through the terminal window. The dialog's name box takes '"' as the separator of
# several names, so the folder is chosen through a link to it; the program follows links.
case_company_argument_intact() {
    local folder="-x \"q\" 'a' \$HOME;b  c"
    mkdir -p "$INST/$folder"
    printf 'company\r\n' >"$INST/$folder/SYCMPF.DAT"
    ln -s -- "$folder" "$INST/link"
    start_cp_with_dialog
    stand_in "$INST" Zelvoset.bat "tty >'$CASE_DIR/tty.tmp'; mv '$CASE_DIR/tty.tmp' '$CASE_DIR/tty'"
    choose_company_file "$INST/link/SYCMPF.DAT"
    expect_launches "Zelvoset.bat${tab}$folder"
    poll "$E2E_WAIT" test -e "$CASE_DIR/tty"
    expect "the script did not run in a terminal" grep -q '^/dev/pts/' "$CASE_DIR/tty"
    finish_and_exit
}

# Cancel: nothing launched, nothing shown. The dialog, used and then cancelled, keeps nothing: a
# fresh home and configuration directory stay empty (Qt's dialog would write its history there).
case_company_cancel() {
    mkdir -p "$CASE_DIR/home" "$CASE_DIR/config"
    APP_ENV=("HOME=$CASE_DIR/home" "XDG_CONFIG_HOME=$CASE_DIR/config")
    start_cp_with_dialog
    press "$WID" ctrl+a
    type_text "$WID" DATA
    press "$WID" Return # into DATA, as a user looking for the company would
    sleep 0.3
    close_dialog Escape
    expect_no_launch
    expect_no_dialog
    finish_and_exit
    local written
    written=$(find "$CASE_DIR/home" "$CASE_DIR/config" -mindepth 1)
    expect "written outside the installation: $written" test -z "$written"
}

# A company file right in the installation folder has no company folder: a box, no launch.
case_company_not_below_installation() {
    mkdir -p "$INST"
    printf 'company\r\n' >"$INST/SYCMPF.DAT"
    start_cp_with_dialog
    choose_company_file "$INST/SYCMPF.DAT"
    dismiss_box
    expect_no_launch
    finish_and_exit
}

# The company set-up script is missing: the click reports it in a box and nothing runs.
case_company_script_missing() {
    start_cp_with_dialog
    rm "$INST/Zelvoset.bat"
    choose_company_file 'DATA/CO1/SYCMPF.DAT'
    dismiss_box
    expect_no_launch
    finish_and_exit
}

# ---------------------------------------------------------------------------------------------
# Paths as the system spells them, and a closed output

# An installation whose folder name holds a '\' works in its own folder, not in the one that
# re-splitting the name would give; the company is the folder the file was chosen in, even
# when SYCMPF.DAT is a link to another company's.
case_backslash_folder_and_linked_company() {
    local decoy=$CASE_DIR/back/slash script
    INST=$CASE_DIR/'back\slash'
    sample CP
    make_layout "$decoy" CP
    for script in svreset.bat vlkreset.bat svpath.bat Zelvoset.bat; do
        printf ': >"%s/decoy-ran"\n' "$CASE_DIR" >"$decoy/$script"
    done
    mkdir -p "$INST/DATA/CO2"
    mv "$INST/DATA/CO1/SYCMPF.DAT" "$INST/DATA/CO2/SYCMPF.DAT"
    ln -s ../CO2/SYCMPF.DAT "$INST/DATA/CO1/SYCMPF.DAT"
    start_main alt+y
    open_company_dialog
    choose_company_file 'DATA/CO1/SYCMPF.DAT'
    wait_main
    press "$WID" alt+d
    expect_launches "Zelvoset.bat${tab}DATA/CO1" "svreset.bat"
    expect_bytes "$INST/SYNRUN.SYN" 'COBSW=-F\r\nPATH=SV\r\nTERM=ansi\r\n'
    expect_bytes "$decoy/SYNRUN.SYN" 'PATH=SV\r\nTERM=ansi'
    expect "a script of the other folder ran" not test -e "$CASE_DIR/decoy-ran"
    finish_and_exit
}

# A folder name that is not UTF-8 (Latin-1 "é"): the file beside the program is its own, the
# company dialog opens in it, and the scripts start there.
case_latin1_folder() {
    INST=$CASE_DIR/$'caf\xe9'
    sample CP
    start_main alt+y
    expect_bytes "$INST/SYNRUN.SYN" 'COBSW=-F\r\nPATH=SV\r\nTERM=ansi\r\n'
    open_company_dialog
    choose_company_file 'DATA/CO1/SYCMPF.DAT'
    wait_main
    press "$WID" alt+d
    expect_launches "Zelvoset.bat${tab}DATA/CO1" "svreset.bat"
    expect_no_dialog
    finish_and_exit
}

# Started as `Zelvoset 2>&1 | true`: every write to its output fails, and it goes on. Without
# XDG_RUNTIME_DIR, Qt writes a warning as soon as it starts.
case_closed_output() {
    sample none
    local pipe=$CASE_DIR/pipe reader writer
    mkfifo "$pipe"
    exec {reader}<>"$pipe" # lets the writing end open without waiting
    exec {writer}>"$pipe"
    exec {reader}<&-       # and now no one reads
    (cd "$INST" && QT_QPA_PLATFORM=xcb exec env -u XDG_RUNTIME_DIR --default-signal=PIPE \
        ./Zelvoset >&"$writer" 2>&1) &
    APP_PID=$!
    exec {writer}>&-
    wait_main
    press "$WID" alt+d
    expect_launches "svreset.bat"
    finish_and_exit
}

# ---------------------------------------------------------------------------------------------
# Ending

# Exit ends the program at once; a script it launched runs on and finishes afterwards. No
# layout, so an Alt+E reaching the hidden options would show a box instead of ending.
case_exit_leaves_script_running() {
    sample none
    # The script runs until the program has ended, however long that takes on a busy machine.
    stand_in "$INST" svreset.bat \
        "i=0; while [ ! -e '$CASE_DIR/program-ended' ] && [ \$i -lt 600 ]; do sleep 0.1; i=\$((i+1)); done; : >'$CASE_DIR/slow-done'"
    start_main
    press "$WID" alt+d
    expect_launches "svreset.bat"
    finish_and_exit
    expect "the slow script ended before the program did" not test -e "$CASE_DIR/slow-done"
    : >"$CASE_DIR/program-ended"
    expect "the slow script never finished" poll "$E2E_WAIT" test -e "$CASE_DIR/slow-done"
}

# ---------------------------------------------------------------------------------------------

run_cases startup_cp_question_first startup_rw9_yes startup_rw9_no startup_rw9_line_present \
    startup_pbs startup_pbs_any_case startup_pbs_unreachable_display startup_without_rights \
    startup_rw startup_none \
    demo_data demo_data_missing_script demo_data_terminal_unreachable company_relative_path \
    company_argument_intact company_cancel company_not_below_installation company_script_missing \
    backslash_folder_and_linked_company latin1_folder closed_output exit_leaves_script_running \
    "${terminal_cases[@]}"

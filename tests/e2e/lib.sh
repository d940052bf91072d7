# shellcheck shell=bash disable=SC2034 # WID, INST and ZELVOSET are read by the cases
# Helpers of the end-to-end suites: an X server of our own, sample installations, stand-in
# scripts that record how they were launched, and the few things a person does to the program
# (look at windows, press keys, type). Sourced by run.sh (Linux) and wine.sh (Windows, which
# replaces the few that differ); every wait is bounded.

# Seconds any single wait may take before the case fails: many times what it takes on a quiet
# machine (a second or two under Wine), so that a loaded machine makes a case slow, never red.
E2E_WAIT=${E2E_WAIT:-30}

# ---------------------------------------------------------------------------------------------
# X server

# Starts Xvfb on the first free display of :91..:99 and exports DISPLAY. Returns 1 when none
# could be started.
start_xvfb() {
    local n
    for n in 91 92 93 94 95 96 97 98 99; do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        # -noreset: the server must not restart whenever its last client leaves, between cases.
        Xvfb ":$n" -nolisten tcp -noreset -screen 0 1024x768x24 >"$E2E_ROOT/xvfb.log" 2>&1 &
        XVFB_PID=$!
        # The display must answer, and be ours: another server may have taken it meanwhile.
        if poll 5 quietly xdpyinfo -display ":$n" && kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
        stop XVFB_PID
    done
    return 1
}

# stop VAR: ends the process whose id VAR holds, if any, reaps it and empties VAR.
stop() {
    [[ -n ${!1:-} ]] || return 0
    kill "${!1}" 2>/dev/null || true
    wait "${!1}" 2>/dev/null || true # its status, that of a kill, is no failure
    printf -v "$1" ''
}
stop_xvfb() { stop XVFB_PID; }

has_x_tools() {
    local tool
    for tool in Xvfb xdotool xdpyinfo xprop xterm openbox; do
        command -v "$tool" >/dev/null || return 1
    done
}

# Installs Xvfb and the X tools when one is missing (Debian, as root).
ensure_x_tools() {
    has_x_tools && return 0
    command -v apt-get >/dev/null || return 1
    echo "installing xvfb, xdotool, x11-utils, xterm and openbox" >&2
    { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y \
        xvfb xdotool x11-utils xterm openbox; } >"$E2E_ROOT/apt.log" 2>&1 && has_x_tools
}

# A window manager, for the case that shows which window comes up active; stopped with the case.
start_wm() {
    openbox >"$CASE_DIR/wm.log" 2>&1 &
    WM_PID=$!
    expect "the window manager did not start" poll 5 wm_ready
}

# The window manager has taken over the display (it says so last on starting).
wm_ready() { xprop -root -notype _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

stop_wm() {
    [[ -n ${WM_PID:-} ]] || return 0
    stop WM_PID
    # Openbox leaves its properties on the root window, where the next cases' programs would
    # take them for a window manager that is no longer there.
    local property
    for property in $(xprop -root | grep -oE '^_(NET|OB)_[A-Z_]+'); do
        xprop -root -remove "$property"
    done
}

# ---------------------------------------------------------------------------------------------
# Waiting

not() { ! "$@"; }
quietly() { "$@" >/dev/null 2>&1; }

# poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds or SECONDS have passed.
poll() {
    # Counted in real time: under load each try of COMMAND itself may take long.
    local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
    shift
    while true; do
        "$@" && return 0
        ((${EPOCHREALTIME/./} < deadline)) || return 1
        sleep 0.1
    done
}

# ---------------------------------------------------------------------------------------------
# Sample installations

# Writes a stand-in script NAME into DIR. It records its name and each argument on a line of
# its own, as one record file per launch named by the launch time, so that records of scripts
# running at the same time never interleave. Extra shell lines (arg 3) run after the record.
stand_in() {
    local dir=$1 name=$2 extra=${3:-}
    cat >"$dir/$name" <<EOF
r="$CASE_DIR/launch/\$(date +%s%N).\$\$"
printf '%s\n' "$name" "\$@" >"\$r.tmp" && mv "\$r.tmp" "\$r"
$extra
EOF
}

# make_layout DIR LAYOUT: a sample installation of LAYOUT (CP, PBS, RW, RW9 or none) with all
# four stand-in scripts and the program itself.
make_layout() {
    local dir=$1 layout=$2
    mkdir -p "$dir"
    case $layout in
    CP)
        mkdir -p "$dir/SV" "$dir/DATA/CO1"
        printf 'SV program\r\n' >"$dir/SV/SVMAIN.INT"
        printf 'company\r\n' >"$dir/DATA/CO1/SYCMPF.DAT"
        printf 'PATH=SV\r\nTERM=ansi' >"$dir/SYNRUN.SYN"
        ;;
    PBS)
        printf 'call sv\r\n' >"$dir/PBS.BAT"
        printf '00SVDATA=C:\\DATA\r\n00svkeep\r\nPATH1\n00SVlf\n 00SVindented\r\n00SV\r\nlast' \
            >"$dir/SQPATH.DAT"
        printf 'TBMENU1\r\nMENU2\r\ntb lower\r\nTB\r\n\r\nEND\r\n' >"$dir/SQMENU.DAT"
        ;;
    RW)
        mkdir -p "$dir/SVOBJ"
        printf 'obj' >"$dir/SVOBJ/MAIN.INT"
        ;;
    RW9)
        mkdir -p "$dir/SVOBJ/SUB"
        printf 'obj' >"$dir/SVOBJ/MAIN.INT"
        printf 'gnt' >"$dir/SVOBJ/MAIN.GNT"
        printf 'gnt' >"$dir/SVOBJ/other.gnt"
        printf 'gnt' >"$dir/SVOBJ/SUB/deep.gnt"
        printf 'icon' >"$dir/CLASSIC9.ICO"
        printf '@echo off\r\nset cobsw=-f\r\nrunw sv\r\n' >"$dir/RW.BAT"
        ;;
    none) ;;
    *) return 1 ;;
    esac
    local script
    for script in svreset.bat vlkreset.bat svpath.bat Zelvoset.bat; do stand_in "$dir" "$script"; done
    cp "$ZELVOSET" "$dir/Zelvoset"
}
sample() { make_layout "$INST" "$1"; }

# ---------------------------------------------------------------------------------------------
# What the stand-in scripts saw

# One line per launch so far, in launch order: the script name and its arguments, separated by
# tabs (each argument was its own line in the record, so blanks inside one are kept).
launches() {
    local record
    for record in "$CASE_DIR"/launch/*; do
        [[ -f $record && $record != *.tmp ]] || continue
        paste -sd '\t' "$record"
    done
}

at_least_launches() { (($(launches | wc -l) >= $1)); }

# expect_launches LINE...: waits until as many launches as expected have been recorded, lets a
# moment pass for any extra one, then compares. Each LINE is "name<TAB>arg...". Launches that run
# at the same time may be recorded in either order: expect_launches_unordered.
expect_launches() { compare_launches cat '' "$@"; }
expect_launches_unordered() { compare_launches sort ' (any order)' "$@"; }
compare_launches() {
    local order=$1 how=$2 expected actual
    shift 2
    poll "$E2E_WAIT" at_least_launches $# || true
    sleep 0.3
    expected=$(printf '%s\n' "$@" | $order)
    actual=$(launches | $order)
    [[ $actual == "$expected" ]] && return 0
    fail_note "launches differ; expected$how:" "$expected" "actual:" "$actual"
    return 1
}

# Nothing launched, after giving any launch that was coming time to arrive.
expect_no_launch() {
    sleep 0.5
    [[ -z $(launches) ]] && return 0
    fail_note "expected no launch, saw:" "$(launches)"
    return 1
}

# expect_bytes FILE PRINTF-FORMAT: FILE holds exactly the bytes of printf FORMAT.
expect_bytes() {
    local file=$1
    # shellcheck disable=SC2059 # the expected bytes are given as a printf format
    printf "$2" >"$CASE_DIR/expected"
    cmp -s "$CASE_DIR/expected" "$file" && return 0
    fail_note "bytes of $file differ; expected:" "$(od -c "$CASE_DIR/expected")" \
        "actual:" "$(od -c "$file" 2>&1)"
    return 1
}

# ---------------------------------------------------------------------------------------------
# The program

# start_app DIR [ARGUMENT...]: starts the copy of the program in DIR with DIR as its current
# directory, and the arguments (which it must ignore). A case may set APP_ENV, an array of
# NAME=VALUE added to the program's environment, and APP_NOBODY=1 to run it as an ordinary user.
start_app() {
    local dir=$1 as=()
    shift
    mkdir -p "$CASE_DIR/runtime" && chmod 700 "$CASE_DIR/runtime"
    if [[ -n ${APP_NOBODY:-} ]]; then
        chown 65534:65534 "$CASE_DIR/runtime"
        as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    fi
    (cd "$dir" && exec env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$CASE_DIR/runtime" \
        ${APP_ENV[@]+"${APP_ENV[@]}"} ${as[@]+"${as[@]}"} ./Zelvoset "$@" \
        >>"$CASE_DIR/app.log" 2>&1) &
    APP_PID=$!
}

# start_main [KEY]: starts the program in $INST, answers its start-up question with KEY if one
# is given, and waits for the main window (WID).
start_main() {
    start_app "$INST"
    [[ -z ${1:-} ]] || answer_question "$1"
    wait_main
}

# A directory of links to every program of /usr/bin but the terminal emulators, printed: a PATH
# on which none is installed, neither the x-terminal-emulator alternative nor xterm.
path_without_terminal() {
    local bin=$CASE_DIR/bin
    mkdir -p "$bin"
    find /usr/bin/ -mindepth 1 -maxdepth 1 ! -name x-terminal-emulator ! -name '*xterm' \
        -exec ln -s -t "$bin" {} +
    echo "$bin"
}

# Whether process $1 still runs (one that ended but was not yet reaped does not).
running() { [[ $(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) =~ ^[^Z]$ ]]; }
app_alive() { running "$APP_PID"; }

# expect_ends VAR WHAT: waits for the process whose id VAR holds to end by itself, with success;
# reaps it and empties VAR.
expect_ends() {
    expect "$2 is still running" poll "$E2E_WAIT" not running "${!1}" || return 1
    local status=0
    wait "${!1}" 2>/dev/null || status=$?
    printf -v "$1" ''
    [[ $status -eq 0 ]] && return 0
    fail_note "$2 ended with status $status"
    return 1
}
expect_app_ends() { expect_ends APP_PID "the program"; }

# Ends the program if a case left it running.
stop_app() { stop APP_PID; }

# ---------------------------------------------------------------------------------------------
# Windows

# Visible top-level windows of the program whose title matches the regular expression $1.
program_windows() {
    local wid
    for wid in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
        [[ $(xdotool getwindowpid "$wid" 2>/dev/null) == "$APP_PID" ]] && echo "$wid"
    done
    return 0 # the last window seen may well be another program's
}
windows_titled() { program_windows "^$1\$"; }
visible_windows() { program_windows ''; }

is_dialog() { xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q DIALOG; }

# keep COMMAND...: the window ids read, one a line, for which COMMAND ID succeeds.
keep() {
    local wid
    while read -r wid; do "$@" "$wid" && echo "$wid"; done
    return 0
}

# Visible dialogs (message boxes, the file dialog) titled TITLE; the visible main window (titled
# "Zelvo Install" but not a dialog), if any.
dialogs_titled() { windows_titled "$1" | keep is_dialog; }
main_window() { windows_titled 'Zelvo Install' | keep not is_dialog; }

# settled COMMAND...: sets WID to the first window that COMMAND lists, once it lists the same
# one twice in a row. Wine replaces the X window of a new window once the window manager takes
# it over, and a key sent in between would reach no window.
settled() {
    local first
    first=$("$@" | head -n 1)
    [[ -n $first ]] || return 1
    sleep 0.2
    [[ $("$@" | head -n 1) == "$first" ]] || return 1
    WID=$first
}

# The titles of all visible windows, for a note on what was there instead.
visible_titles() {
    local wid
    for wid in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        printf "'%s' " "$(xdotool getwindowname "$wid" 2>/dev/null)"
    done
}

# wait_dialog TITLE: waits for a visible dialog titled TITLE and sets WID to it.
wait_dialog() {
    poll "$E2E_WAIT" settled dialogs_titled "$1" && return 0
    fail_note "no dialog titled '$1' appeared; visible: $(visible_titles)"
    return 1
}

# Waits for the main window and sets WID to it.
wait_main() {
    poll "$E2E_WAIT" settled main_window && return 0
    fail_note "the main window did not appear; program $(app_alive && echo running || echo ended);" \
        "visible: $(visible_titles)"
    return 1
}

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }

is_active() { [[ $(xdotool getactivewindow 2>/dev/null) == "$1" ]]; }

# Whether WID is the topmost of the windows the window manager stacks.
on_top() {
    [[ $(xprop -root -notype _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*' | tail -n 1) == \
        $(printf '0x%x' "$1") ]]
}

# Waits until window WID is no longer visible.
wait_closed() { expect "window $1 stayed open" poll "$E2E_WAIT" not viewable "$1"; }

has_focus() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$1" ]]; }

# Gives WID the keyboard focus, unless it has it. Focusing a window that already has it would
# make Qt see it lose and regain activation, and under load keys then reach an inactive window.
focus() {
    has_focus "$1" && return 0
    # A request made while the window manager is busy with another window may be lost: asked
    # again every few seconds, within the one bound.
    local deadline=$((SECONDS + E2E_WAIT))
    while ((SECONDS < deadline)); do
        xdotool windowfocus "$1" 2>/dev/null
        poll 3 has_focus "$1" && return 0
    done
    fail_note "window $1 did not take the keyboard focus"
    return 1
}

# press WID KEY...: presses the keys in window WID, as a person would.
press() {
    local wid=$1
    shift
    focus "$wid"
    xdotool key --clearmodifiers --delay 50 "$@"
}

# type_text WID TEXT: types TEXT into the focused control of WID.
type_text() {
    focus "$1"
    xdotool type --clearmodifiers --delay 15 -- "$2"
}

# resend WID KEY CONDITION...: presses KEY in WID until CONDITION holds or the one bound is up.
# Wine may lose a key while it settles which window is active: while 3 s pass without effect,
# WID is activated again and the key sent again. The caller checks the outcome.
resend() {
    local wid=$1 key=$2 deadline=$((SECONDS + E2E_WAIT))
    shift 2
    press "$wid" "$key"
    until poll 3 "$@" || ((SECONDS >= deadline)); do
        xdotool windowactivate "$wid" 2>/dev/null || true
        press "$wid" "$key"
    done
}

# ---------------------------------------------------------------------------------------------
# Steps shared by the cases of both suites (run.sh for Linux, wine.sh for Windows)

# Answers the start-up question with KEY (alt+y or alt+n); the question must come before the
# main window, with the window hidden until it is answered.
answer_question() {
    wait_dialog 'File modification required'
    local question=$WID
    expect_only_window "$question"
    # Sent again only while the question is still open, so it can never reach another window.
    resend "$question" "$1" not viewable "$question"
    wait_closed "$question"
}

# The program's only visible window is WID.
expect_only_window() {
    local visible
    sleep 0.3 # a main window shown too early would be mapped by now
    visible=$(visible_windows)
    [[ $visible == "$1" ]] && return 0
    fail_note "expected only window $1 to be visible, saw: ${visible//$'\n'/ }"
    return 1
}

# No dialog of the program is open.
expect_no_dialog() {
    local wid
    wid=$(visible_windows | keep is_dialog | head -n 1)
    [[ -z $wid ]] && return 0
    fail_note "unexpected dialog: $(xdotool getwindowname "$wid")"
    return 1
}

# Dismisses a box titled TITLE ("Zelvo Install", an error, by default) with Enter, as its OK.
dismiss_box() {
    wait_dialog "${1:-Zelvo Install}"
    local box=$WID
    press "$box" Return
    wait_closed "$box"
}

# Alt+D, whose script cannot be started: the error box, dismissed.
demo_data_refused() {
    others_settled
    wait_main
    press_for_dialog "$WID" alt+d 'Zelvo Install'
    dismiss_box
}

# Waits until nothing else on the display can take the focus from under the next keys; a suite
# whose launched scripts open windows of their own says how.
others_settled() { :; }

# Finish, then Exit on the completion panel: the program ends.
finish_and_exit() {
    others_settled
    wait_main
    press "$WID" alt+f
    sleep 0.3
    press "$WID" alt+e
    expect_app_ends
}

# Opens the company file dialog from the main window.
open_company_dialog() {
    wait_main
    press_for_dialog "$WID" alt+e 'Browse for Company File'
}

# press_for_dialog WID KEY TITLE: presses KEY in the main window WID and waits for the dialog
# TITLE that it opens, setting WID to it. A key may be lost while Wine settles which window is
# active (after a box or a console window closed): the window is activated again and the key
# sent again, but only after a long wait with WID still the program's only window, so that a
# slow dialog is never opened twice.
press_for_dialog() {
    local main=$1 key=$2 title=$3
    local deadline=$((SECONDS + E2E_WAIT))
    press "$main" "$key"
    while ! poll 10 settled dialogs_titled "$title" && ((SECONDS < deadline)); do
        if [[ $(visible_windows) == "$main" ]]; then
            xdotool windowactivate "$main" 2>/dev/null || true
            press "$main" "$key"
        fi
    done
    wait_dialog "$title"
}

# Replaces the proposed name in the company dialog (WID) with TEXT and accepts with Enter.
choose_company_file() {
    press "$WID" ctrl+a
    type_text "$WID" "$1"
    close_dialog Return
}

# close_dialog KEY: closes the dialog WID with KEY (Return or Escape). A completion list may
# swallow the first; a second is sent only while the dialog is still open, so that it can never
# reach the main window.
close_dialog() {
    local dialog=$WID
    press "$dialog" "$1"
    if ! poll 1 not viewable "$dialog"; then
        press "$dialog" "$1"
    fi
    wait_closed "$dialog"
}

# RW9, answered No: the file stays as it was and the warning follows, still before the window.
case_startup_rw9_no() {
    sample RW9
    cp "$INST/RW.BAT" "$CASE_DIR/RW.BAT.before"
    start_app "$INST"
    answer_question alt+n
    wait_dialog 'File modification required'
    expect_only_window "$WID"
    dismiss_box 'File modification required'
    wait_main
    expect "RW.BAT changed after No" cmp -s "$CASE_DIR/RW.BAT.before" "$INST/RW.BAT"
    expect_launches "$VLKRESET" # the suite's record of "vlkreset.bat nowarning"
    finish_and_exit
}

# ---------------------------------------------------------------------------------------------
# Cases

PASSED=0
FAILED=0

# fail_note LINE...: explains a failure under the case's result line.
fail_note() { printf '%s\n' "$@" | sed 's/^/    /' >>"$CASE_DIR/notes"; }

# expect MESSAGE COMMAND...: COMMAND succeeds, or the case fails with MESSAGE.
expect() {
    local message=$1
    shift
    "$@" && return 0
    fail_note "$message"
    return 1
}

# run_case NAME: runs function case_NAME in a fresh directory with a fresh sample installation
# (set by the case through sample LAYOUT) and prints one result line.
run_case() {
    local name=$1
    CASE_DIR=$E2E_ROOT/$name
    INST=$CASE_DIR/inst
    mkdir -p "$CASE_DIR/launch"
    APP_PID=
    local started=$SECONDS status=0
    (
        set -eE
        trap 'fail_note "failed at: $BASH_COMMAND"' ERR
        trap 'stop_app; stop_wm' EXIT
        "case_$name"
    )
    status=$?
    if [[ $status -eq 0 ]]; then
        PASSED=$((PASSED + 1))
        echo "PASS $name ($((SECONDS - started)) s)"
    else
        FAILED=$((FAILED + 1))
        echo "FAIL $name"
        [[ -f $CASE_DIR/notes ]] && cat "$CASE_DIR/notes"
        [[ -z ${XVFB_PID:-} ]] || kill -0 "$XVFB_PID" 2>/dev/null || echo "    the X server is gone"
        [[ -s $CASE_DIR/app.log ]] && sed 's/^/    app: /' "$CASE_DIR/app.log" | head -n 20
    fi
}

# run_cases CASE...: runs each case (or those E2E_ONLY names instead) and ends with the counts;
# fails when any case failed.
run_cases() {
    local cases=("$@") name started=$SECONDS
    [[ -n ${E2E_ONLY:-} ]] && read -ra cases <<<"$E2E_ONLY"
    for name in "${cases[@]}"; do
        run_case "$name"
    done
    echo "$PASSED passed, $FAILED failed ($((SECONDS - started)) s)"
    [[ $FAILED -eq 0 ]]
}

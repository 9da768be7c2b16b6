#!/usr/bin/env bash
# The breadbin program in a real X window, on a private Xvfb display.
#
#   window_test.sh BREADBIN PROBE tiny-roms
#       three short ROM files of our own: the window opens, the status rows report their
#       sizes, a cell that the KERNAL writes low on a screen already shown appears, and
#       Escape ends the run with status 0.
#   window_test.sh BREADBIN PROBE demo DEMO_FOLDER
#       a copy of the ready demo folder: known cells show their glyphs in their colours,
#       another key and a close request leave it running, Escape ends it with status 0.
#
# Needs Xvfb (xvfb), xdotool and the window_probe tool built next to the tests.
# WINDOW_TEST_TRACE=1 shows every command as it runs.
set -euo pipefail
[ -n "${WINDOW_TEST_TRACE:-}" ] && set -x

breadbin=$(realpath "$1")
probe=$(realpath "$2")
scenario=$3
demo=${4:-}

# Every wait is for a condition, bounded generously: a loaded machine (a sanitizer build,
# the other tests beside it) may take seconds where an idle one takes milliseconds, and
# the instrumented build at -O0 runs tiny-roms' countdown for over a minute on a share of
# a busy core.
timeout_s=180      # for the window to appear and for each check
exit_wait_s=30     # for the program to end after Escape

work=$(mktemp -d "${TMPDIR:-/tmp}/breadbin-window-XXXXXX")
xvfb_pid=""
app_pid=""

cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "$app_pid" ] && wait "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    # What the program said, and whether it still runs: the first thing to look at.
    if [ -n "$app_pid" ]; then
        if kill -0 "$app_pid" 2>/dev/null; then echo "breadbin still runs" >&2; else echo "breadbin has ended" >&2; fi
        [ -s "$work/breadbin.err" ] && { echo "its standard error:" >&2; tail -20 "$work/breadbin.err" >&2; }
    fi
    exit 1
}

# A display of our own: Xvfb picks a free number and writes it to the pipe.
start_display() {
    mkfifo "$work/displayfd"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/displayfd" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    local number
    if ! read -r -t "$timeout_s" number <"$work/displayfd"; then
        cat "$work/xvfb.log" >&2
        fail "Xvfb did not start"
    fi
    export DISPLAY=":$number"
}

# Starts breadbin in folder $1 and waits for its window; sets app_pid and window.
start_breadbin() {
    # In a sanitizer build the leak check at exit would report what the system's D-Bus
    # and GL libraries, loaded by SDL, leave allocated; the emulator's own code is
    # leak-checked by the headless tests.
    (cd "$1" && ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" exec "$breadbin") >"$work/breadbin.out" 2>"$work/breadbin.err" &
    app_pid=$!
    window=$("$probe" find breadbin "$timeout_s") || {
        cat "$work/breadbin.err" >&2
        fail "no breadbin window"
    }
}

still_running() {
    kill -0 "$app_pid" 2>/dev/null
}

# Sends Escape and expects the program to end with status 0 within exit_wait_s.
escape_ends_the_run() {
    # Only the press: the program may be gone before a release could reach its window.
    xdotool keydown --window "$window" Escape
    local waited=0
    while still_running && [ "$waited" -lt $((exit_wait_s * 10)) ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    still_running && fail "still running ${exit_wait_s} s after Escape"
    local status=0
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq 0 ] || { cat "$work/breadbin.err" >&2; fail "exit status $status after Escape, expected 0"; }
}

start_display

case "$scenario" in
tiny-roms)
    # A KERNAL of 8190 bytes with the reset vector and no interrupt vector. From $E000 it
    # counts down 2^24 loops (long after the first frames are shown, an unchanging blank
    # screen), then puts glyph 1 in white at row 22, column 0, and stays in a loop: the
    # window then has only that band of rows to show, well below the top.
    #   E000 LDX #0 / E002 LDY #0 / E004 DEY / BNE E004 / DEX / BNE E002 / DEC $02 /
    #   BNE E000 / LDA #1 / STA $0770 / STA $DB70 / JMP E016
    # A BASIC image of 100 bytes and a character image of 2000, blank but for glyph 1.
    mkdir "$work/roms"
    kernal_code='\xa2\x00\xa0\x00\x88\xd0\xfd\xca\xd0\xf8\xc6\x02\xd0\xf2'
    kernal_code+='\xa9\x01\x8d\x70\x07\x8d\x70\xdb\x4c\x16\xe0'
    {
        printf "$kernal_code"
        head -c $((8188 - 25)) /dev/zero
        printf '\x00\xe0'
    } >"$work/roms/kernal.rom"
    head -c 100 /dev/zero >"$work/roms/basic.rom"
    {
        head -c 8 /dev/zero
        printf '\x18\x3c\x66\x7e\x66\x66\x66\x00'
        head -c $((2000 - 16)) /dev/zero
    } >"$work/roms/chargen.rom"
    start_breadbin "$work/roms"
    "$probe" status "$window" "$timeout_s" \
        "kernal.rom loaded 8190 bytes long" \
        "basic.rom loaded 100 bytes long" \
        "chargen.rom loaded 2000 bytes long" \
        "" || fail "the status rows do not show the three ROM lines"
    "$probe" cell "$window" "$timeout_s" "$work/roms/chargen.rom" 22 0 1 0 1 ||
        fail "the cell written after the first frames"
    still_running || fail "breadbin ended by itself"
    escape_ends_the_run
    ;;
demo)
    [ -d "$demo" ] || fail "no demo folder at $demo"
    cp -r "$demo" "$work/demo"
    start_breadbin "$work/demo"
    chargen="$work/demo/chargen.rom"
    # Light green 'E' of "Escape ends the run." on black at row 24, column 1; grey 'F'
    # of "Frames" at row 4; the title's 'B' at row 1, column 6, in a rainbow colour.
    "$probe" cell "$window" "$timeout_s" "$chargen" 24 1 5 0 13 || fail "prompt cell"
    "$probe" cell "$window" "$timeout_s" "$chargen" 4 1 6 0 12 || fail "frames label cell"
    "$probe" cell "$window" "$timeout_s" "$chargen" 1 6 2 0 2 8 7 13 3 14 4 10 || fail "title cell"
    "$probe" status "$window" "$timeout_s" \
        "kernal.rom loaded 8192 bytes long" \
        "basic.rom loaded 8192 bytes long" \
        "chargen.rom loaded 4096 bytes long" \
        "" || fail "the status rows do not show the three ROM lines"

    xdotool key --window "$window" a
    "$probe" close "$window" || fail "could not send the close request"
    # The window keeps presenting new frames, so the host has pumped its events, the key
    # and the close request among them, since they were sent: and it is still running.
    "$probe" changes "$window" "$timeout_s" || fail "the screen stopped changing after the close request"
    "$probe" changes "$window" "$timeout_s" || fail "the screen stopped changing after the close request"
    still_running || fail "breadbin ended after a key and a close request"
    escape_ends_the_run
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS: $scenario"

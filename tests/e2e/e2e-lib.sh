# Shared by the end-to-end runners and scripts/demo: starts kosim on free loopback ports, writes
# the workstation's registry store, keeps every process it starts and ends them on exit.
# shellcheck shell=bash

E2E_PIDS=()
E2E_PASSED=0
E2E_FAILED=0

e2e_check() {  # description, command...
    local what=$1
    shift
    if "$@"; then
        echo "PASS $what"
        E2E_PASSED=$((E2E_PASSED + 1))
    else
        echo "FAIL $what"
        E2E_FAILED=$((E2E_FAILED + 1))
    fi
}

# Adds the "N passed, N failed" line of a kosim run to the counts; a run without one fails once.
e2e_count_kosim() {  # log file
    local line ok bad
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$1" | tail -1)
    if [ -z "$line" ]; then
        echo "FAIL kosim gave no result (see $1)"
        E2E_FAILED=$((E2E_FAILED + 1))
        return
    fi
    ok=$(sed -E 's/^([0-9]+) passed.*/\1/' <<<"$line")
    bad=$(sed -E 's/.*, ([0-9]+) failed.*/\1/' <<<"$line")
    E2E_PASSED=$((E2E_PASSED + ok))
    E2E_FAILED=$((E2E_FAILED + bad))
}

e2e_summary() {
    echo "$E2E_PASSED passed, $E2E_FAILED failed"
    [ "$E2E_FAILED" -eq 0 ]
}

# Ends one process we started: politely, then for good.
e2e_stop() {  # pid
    local pid=$1 i
    kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null
    for i in $(seq 1 30); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

# Ends what we started, the last first: the agent before its server, the display last.
e2e_cleanup() {
    local i
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        e2e_stop "${E2E_PIDS[i]}"
    done
    E2E_PIDS=()
}

# Starts kosim in the background on free loopback ports; sets KOSIM_PID, KOSIM_LINK_PORT and
# KOSIM_HTTP_PORT. Extra arguments go to kosim.
e2e_start_kosim() {  # kosim binary, log file, args...
    local kosim=$1 log=$2
    shift 2
    local ports="$E2E_DIR/ports.$RANDOM"
    rm -f "$ports"
    "$kosim" --port 0 --http-port 0 --ports-file "$ports" "$@" </dev/null >"$log" 2>&1 &
    KOSIM_PID=$!
    E2E_PIDS+=("$KOSIM_PID")
    local i
    for i in $(seq 1 100); do
        [ -s "$ports" ] && break
        kill -0 "$KOSIM_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$ports" ]; then
        echo "kosim did not start:" >&2
        cat "$log" >&2
        return 1
    fi
    KOSIM_LINK_PORT=$(sed -n 's/^link=//p' "$ports")
    KOSIM_HTTP_PORT=$(sed -n 's/^http=//p' "$ports")
}

# Writes a registry store (REGEDIT4) that points the workstation at kosim.
e2e_write_store() {  # file, workstation name
    cat >"$1" <<STORE
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ostrel Software\\Ostrel\\1\\NetConfig]
"Server"="127.0.0.1"
"Port"="$KOSIM_LINK_PORT"
"HttpPort"="$KOSIM_HTTP_PORT"
"WorkstationName"="$2"

STORE
}

# Starts a virtual X display (Xvfb picks a free number) with the openbox window manager, as a
# cafe PC has a desktop; sets E2E_DISPLAY. Both end with the other processes.
e2e_start_display() {  # [screen geometry]
    local geometry=${1:-1024x768x24} numberFile=$E2E_DIR/display.$RANDOM i
    rm -f "$numberFile"
    Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp -ac 3>"$numberFile" \
        </dev/null >"$E2E_DIR/xvfb.log" 2>&1 &
    E2E_PIDS+=("$!")
    for i in $(seq 1 100); do
        [ -s "$numberFile" ] && break
        sleep 0.1
    done
    if [ ! -s "$numberFile" ]; then
        echo "Xvfb did not start:" >&2
        cat "$E2E_DIR/xvfb.log" >&2
        return 1
    fi
    E2E_DISPLAY=:$(tr -d '\n' <"$numberFile")
    DISPLAY=$E2E_DISPLAY openbox --sm-disable </dev/null >"$E2E_DIR/openbox.log" 2>&1 &
    E2E_PIDS+=("$!")
    # Up to 30 s: on a busy machine the window manager takes its time.
    for i in $(seq 1 300); do
        DISPLAY=$E2E_DISPLAY xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' &&
            return 0
        sleep 0.1
    done
    echo "openbox did not start on $E2E_DISPLAY:" >&2
    cat "$E2E_DIR/openbox.log" >&2
    return 1
}

# The kiosk's screens on Linux live in a module the agent loads when a display answers.
e2e_kiosk_built() {  # build dir
    [ -f "$1/bin/libkokiosk.so" ]
}

# Waits for a process to end, at most the given seconds; returns 124 when it did not.
e2e_wait() {  # pid, seconds
    local pid=$1 limit=$2 i
    for i in $(seq 1 $((limit * 10))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" 2>/dev/null
            return $?
        fi
        sleep 0.1
    done
    return 124
}

# The order and timing of the advertisements in kosim's timeline: the pages fetched ("ad1" is
# /ws/wsAdvert.asp?ad=1) and the note "key pressed over the advertisement" ("key"), against the
# seconds expected from each event to the next ("-": not timed), each within a second.
e2e_check_ad_timing() {  # scenario name, kosim log, expected events, expected gaps
    local name=$1 log=$2 events=$3 gaps=$4 times
    times=$(awk 'match($0, / web GET \/ws\/wsAdvert\.asp\?ad=[0-9]+ /) {
                     print "ad" substr($0, RSTART + 29, RLENGTH - 30), $1 }
                 /key pressed over the advertisement/ { print "key", $1 }' "$log" |
        head -n "$(wc -w <<<"$events")")
    e2e_check "$name: the advertisements came in the profile's order ($events)" \
        test "$(awk '{ printf "%s ", $1 }' <<<"$times")" = "$events "
    e2e_check "$name: each advertisement showed for its time (1 s tolerance)" \
        awk -v gaps="$gaps" 'BEGIN { n = split(gaps, want, " "); ok = 1 }
             NR > 1 && want[NR - 1] != "-" {
                 gap = $2 - last
                 printf "  %s to %s: %.1f s, expected %s s\n", previous, $1, gap, want[NR - 1]
                 if (gap < want[NR - 1] - 1 || gap > want[NR - 1] + 1) ok = 0 }
             { last = $2; previous = $1 } END { exit (ok && NR == n + 1) ? 0 : 1 }' <<<"$times"
}

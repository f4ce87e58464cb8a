#!/usr/bin/env bash
# The crash loop: kills a program that saves notes, again and again, and checks
# after every kill that nothing is broken.
#
#   crash_loop.sh SAVE_DRIVER PROGRAM_FOLDER [RANDOM_KILLS] [STEP_PASSES] [SEED] [AGAIN_STEPS]
#
# SAVE_DRIVER is the save_driver executable, PROGRAM_FOLDER the build's program
# folder (its empty notes.fdb and data/template.html are copied into a temporary
# folder, removed at the end). First RANDOM_KILLS runs (default 100) are killed
# with SIGKILL at a random moment during their saves; then STEP_PASSES times
# (default 3) one run is killed at each database step of a new note's save, and
# one at each step of a stored note's save again (AGAIN_STEPS, default all:
# "0 1 2 3 5 6"; such a save stores no attachment rows, step 4).
# After every kill the driver's check (the start-up's recovery, then every rule of
# the rows and files) and `gfix -v -full` must pass. Prints the figures; exits
# with 1 when any check failed.
set -uo pipefail

driver=$1
source_folder=$2
random_kills=${3:-100}
step_passes=${4:-3}
seed=${5:-$RANDOM}
again_steps=${6:-0 1 2 3 5 6}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=$work/program
mkdir -p "$folder/data"
cp "$source_folder/notes.fdb" "$folder/"
cp "$source_folder/data/template.html" "$folder/data/"
cp "$source_folder/en.ini" "$source_folder/cn.ini" "$folder/" 2>/dev/null || true

export QT_QPA_PLATFORM=offscreen
if [[ $(id -u) -eq 0 ]]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
export QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu

kills=0
failures=0
saves=0
adopted=0
removed=0

check_after_kill() {
    local what=$1
    kills=$((kills + 1))
    if ! "$driver" "$folder" --check > "$work/check.log" 2>&1; then
        failures=$((failures + 1))
        echo "FAILED after $what:"
        cat "$work/check.log"
    fi
    # "notes N, unfinished work N (notes stored N, files removed N), problems N"
    adopted=$((adopted + $(sed -n 's/.*notes stored \([0-9]*\).*/\1/p' "$work/check.log" | head -1)))
    removed=$((removed + $(sed -n 's/.*files removed \([0-9]*\).*/\1/p' "$work/check.log" | head -1)))
    if ! gfix -v -full -user admin -password quillharbour "$folder/notes.fdb" > "$work/gfix.log" 2>&1 ||
        [[ -s $work/gfix.log ]]; then
        failures=$((failures + 1))
        echo "FAILED gfix after $what:"
        cat "$work/gfix.log"
    fi
}

# Waits until the run printed "ready" (its windows are up), at most 60 s.
wait_ready() {
    local log=$1 pid=$2
    for _ in $(seq 600); do
        grep -q '^ready' "$log" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

for ((run = 1; run <= random_kills; run++)); do
    log=$work/run.log
    "$driver" "$folder" --seed $((seed + run)) > "$log" 2>&1 &
    pid=$!
    if wait_ready "$log" "$pid"; then
        # A random moment within the next three seconds of saving.
        sleep "$(awk -v r=$((RANDOM % 3000)) 'BEGIN { printf "%.3f", r / 1000 }')"
    fi
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    saves=$((saves + $(grep -c '^saved' "$log")))
    check_after_kill "random kill $run"
done

# Each database step of a save (see NoteFiling::Step): of new notes (some with
# attachments), and of stored notes saved again (which store no attachment rows).
step_kills=0
for ((pass = 1; pass <= step_passes; pass++)); do
    for kind in new again; do
        steps="0 1 2 3 4 5 6"
        [[ $kind == again ]] && steps=$again_steps
        for step in $steps; do
            log=$work/run.log
            "$driver" "$folder" --seed $((seed + 1000 * pass + 10 * step)) --saves 40 --kill-at $step \
                --kill-in $kind > "$log" 2>&1 &
            wait $! 2>/dev/null # quietly: the shell would announce the kill
            saves=$((saves + $(grep -c '^saved' "$log")))
            if grep -q '^killed at step' "$log"; then
                step_kills=$((step_kills + 1))
                check_after_kill "the kill at step $step of a $kind save (pass $pass)"
            else
                echo "no save of kind $kind reached step $step (pass $pass)"
            fi
        done
    done
done

notes=$("$driver" "$folder" --check | head -1)
echo "crash loop (seed $seed): $kills kills ($random_kills at random moments, $step_kills at database steps)," \
    "$saves saves acknowledged; the next starts stored $adopted interrupted notes and removed $removed files" \
    "without rows; $failures failed checks; at the end: $notes"
[[ $failures -eq 0 ]]

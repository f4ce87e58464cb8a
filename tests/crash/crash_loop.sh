#!/usr/bin/env bash
# The crash loop: kills a program that saves notes, backs up and restores, again
# and again, and checks after every kill that nothing is broken and that every
# save and deletion it acknowledged survived.
#
#   crash_loop.sh SAVE_DRIVER PROGRAM_FOLDER [RANDOM_KILLS] [STEP_PASSES] [SEED] [AGAIN_STEPS]
#                 [BACKUP_KILLS] [RESTORE_KILLS] [RENAME_STEPS] [TRASH_STEPS]
#
# SAVE_DRIVER is the save_driver executable (librename_shim.so lies beside it),
# PROGRAM_FOLDER the build's program folder (its empty notes.fdb and
# data/template.html are copied into a temporary folder, removed at the end).
#
# 1. RANDOM_KILLS runs (default 100) are killed with SIGKILL at a random moment
#    of their saves, deletions, attachments and pictures.
# 2. STEP_PASSES times (default 3) one run is killed at each database step of a
#    new note's save, and one at each step of a stored note's save again
#    (AGAIN_STEPS, default all: "0 1 2 3 5 6"; such a save stores no attachment
#    rows, step 4). Each pass also kills one run at each step of the trash's
#    work (TRASH_STEPS, default all: KIND:STEP with the NoteTrash::Step numbers
#    of moving a note to the trash, of restoring one, and of emptying the trash).
# 3. BACKUP_KILLS backups (default 20) are killed at a random moment, and one
#    just before its archive is renamed into place; the archive's place then
#    holds nothing or a whole archive of the collection.
# 4. RESTORE_KILLS restores (default 20) are killed at a random moment, with
#    each rename slowed; then a restore is killed before each of its renames in
#    turn (RENAME_STEPS: "all", the default, until one completes; or a list of
#    rename numbers; empty for none). Each restore replaces an earlier
#    collection (more notes, other settings, a save cut short) with the backed
#    up one, and after the next start the folder holds the whole of one of them.
#
# After every kill the next start's recovery runs, then the check: every rule of
# the rows and files, pictures, no hidden or working files left, every
# acknowledged save and deletion as it was acknowledged (the work cut short
# either done or not, never half), and `gfix -v -full` on the database (no
# error; a warning of a pointer page's hint bits, which a kill may leave and the
# engine mends, is counted apart). What a
# check finds stray is moved aside once told, so that each later check tells
# what its own kill left. Prints the figures; exits with 1 when any check failed.
set -uo pipefail

driver=$1
source_folder=$2
random_kills=${3:-100}
step_passes=${4:-3}
seed=${5:-$RANDOM}
again_steps=${6:-0 1 2 3 5 6}
backup_kills=${7:-20}
restore_kills=${8:-20}
rename_steps=${9-all}
trash_steps=${10-trash:0 trash:1 trash:2 restore:0 restore:1 restore:2 empty:3}
shim=$(cd "$(dirname "$driver")" && pwd)/librename_shim.so
backup_pace_ms=2    # a rest at each piece of a backup's progress, so that kills land inside it
rename_delay_ms=300 # before each rename of the random restore kills

work=$(mktemp -d)
if [[ -n ${CRASH_LOOP_KEEP:-} ]]; then
    echo "the work folder $work is kept"
else
    trap 'rm -rf "$work"' EXIT
fi
folder=$work/program
record=$work/saves.log # the driver's record of what it acknowledged
mkdir -p "$folder/data" "$work/tmp" "$work/archives" "$work/scratch"
cp "$source_folder/notes.fdb" "$folder/"
cp "$source_folder/data/template.html" "$folder/data/"
cp "$source_folder/en.ini" "$source_folder/cn.ini" "$folder/" 2>/dev/null || true
printf '[Tavlo]\nlang=en.ini\ndefaultClick=0\n' > "$folder/tavlo.ini"

export QT_QPA_PLATFORM=offscreen
if [[ $(id -u) -eq 0 ]]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
export QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
# The program's temporary files, and what the next start clears of them, stay in this run.
export TMPDIR=$work/tmp

kills=0
checks=0
failures=0
set_aside=0
gfix_warnings=0
saves=0
saves_again=0
deletions=0
restorations=0
adopted=0
removed=0
backup_kills_done=0
random_restore_kills=0
rename_kills=0
renames=0
declare -A outcomes=() # what the kills left, by kind

number() { [[ ${1:-} =~ ^[0-9]+$ ]] && echo "$1" || echo 0; }

fail() {
    failures=$((failures + 1))
    echo "FAILED $*"
}

count_run() {
    local log=$1
    saves=$((saves + $(grep -c '^saved' "$log")))
    saves_again=$((saves_again + $(grep -c '^saved .* again$' "$log")))
    deletions=$((deletions + $(grep -c '^deleted' "$log")))
    restorations=$((restorations + $(grep -c '^restored' "$log")))
    if grep -q '^not \(saved\|deleted\|restored\|emptied\)' "$log"; then
        fail "in a run: a save, deletion, restore or emptying failed without a kill:"
        grep -B3 '^not \(saved\|deleted\|restored\|emptied\)' "$log" | head -20
    fi
}

# A run that should have been killed by SIGKILL (status 137) or have ended by
# itself (status 0, only when done_ok) and did something else.
check_status() {
    local status=$1 what=$2 log=$3 done_ok=${4:-}
    [[ $status -eq 137 ]] && return 0
    [[ $status -eq 0 && -n $done_ok ]] && return 0
    fail "$what: the run ended by itself with status $status:"
    tail -20 "$log"
    return 1
}

# The next start and the check after a kill (or after a run that ended before
# it); further arguments go to the check.
check_after_kill() {
    local what=$1
    shift
    checks=$((checks + 1))
    "$driver" "$folder" --check --set-aside "$work/set-aside/$checks/" "$@" > "$work/check.log" 2>&1
    local status=$?
    # "notes N, unfinished work N (notes stored N, files removed N), problems N"
    local summary
    summary=$(grep -m1 '^notes [0-9]*, unfinished work' "$work/check.log")
    if [[ -z $summary ]]; then
        fail "after $what: the check ended with status $status before its summary:"
        tail -20 "$work/check.log"
    elif [[ $status -ne 0 ]]; then
        fail "after $what:"
        cat "$work/check.log"
    fi
    adopted=$((adopted + $(number "$(sed -n 's/.*notes stored \([0-9]*\).*/\1/p' <<< "$summary")")))
    removed=$((removed + $(number "$(sed -n 's/.*files removed \([0-9]*\).*/\1/p' <<< "$summary")")))
    set_aside=$((set_aside + $(grep -c '^set aside: ' "$work/check.log")))
    local left
    for left in "$(sed -n 's/^survived: .*; cut short: \([^(]*\).*/\1/p' "$work/check.log")" \
        "$(sed -n 's/^restore cut short: /restore /p' "$work/check.log")" \
        "$(sed -n 's/^collection: /collection /p' "$work/check.log")"; do
        left=${left% }
        [[ -n $left ]] && outcomes[$left]=$((${outcomes[$left]:-0} + 1))
    done
    if [[ ! -f $folder/notes.fdb ]]; then
        fail "after $what: there is no notes.fdb"
    elif ! gfix -v -full -user admin -password quillharbour "$folder/notes.fdb" > "$work/gfix.log" 2>&1; then
        fail "gfix after $what:"
        cat "$work/gfix.log"
    elif grep -v -e '^Summary of validation errors$' -e '^[[:space:]]*Number of pointer page warnings[[:space:]]*: [0-9]*$' \
        "$work/gfix.log" | grep -q .; then
        fail "gfix after $what:"
        cat "$work/gfix.log"
    elif [[ -s $work/gfix.log ]]; then
        # A kill between a data page and its pointer page leaves the pointer
        # page's hint bits behind, which validation tells as a warning and the
        # engine mends itself; every error still fails.
        gfix_warnings=$((gfix_warnings + 1))
    fi
}

# Waits until the run printed a line matching pattern, at most 60 s.
wait_for() {
    local log=$1 pid=$2 pattern=$3
    for _ in $(seq 600); do
        grep -q "$pattern" "$log" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Waits for the run pid to end; elapsed_ms is how long it ran after its line
# matching pattern, the status the run's.
time_from() {
    local log=$1 pid=$2 pattern=$3
    wait_for "$log" "$pid" "$pattern"
    local started
    started=$(now_ms)
    wait "$pid"
    local status=$?
    elapsed_ms=$(($(now_ms) - started))
    return $status
}

random_below() { echo $(((RANDOM * 32768 + RANDOM) % ($1 + 1))); }

seconds() { awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# 1. Random kills during saves.
for ((run = 1; run <= random_kills; run++)); do
    log=$work/run.log
    "$driver" "$folder" --log "$record" --seed $((seed + run)) > "$log" 2>&1 &
    pid=$!
    if wait_for "$log" "$pid" '^ready'; then
        # A random moment within the next three seconds of saving.
        sleep "$(seconds $((RANDOM % 3000)))"
    fi
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    check_status $? "random kill $run" "$log" && kills=$((kills + 1))
    count_run "$log"
    check_after_kill "random kill $run" --log "$record"
done

# 2. Each database step of a save (see NoteFiling::Step): of new notes (some with
# attachments), and of stored notes saved again (which store no attachment rows).
step_kills=0
trash_kills=0
for ((pass = 1; pass <= step_passes; pass++)); do
    for kind in new again; do
        steps="0 1 2 3 4 5 6"
        [[ $kind == again ]] && steps=$again_steps
        for step in $steps; do
            log=$work/run.log
            "$driver" "$folder" --log "$record" --seed $((seed + 1000 * pass + 10 * step)) --saves 40 \
                --kill-at "$step" --kill-in $kind > "$log" 2>&1 &
            wait $! 2>/dev/null # quietly: the shell would announce the kill
            check_status $? "the run to kill at step $step of a $kind save (pass $pass)" "$log" done
            count_run "$log"
            if grep -q '^killed at step' "$log"; then
                step_kills=$((step_kills + 1))
                kills=$((kills + 1))
                check_after_kill "the kill at step $step of a $kind save (pass $pass)" --log "$record"
            else
                echo "no save of kind $kind reached step $step (pass $pass)"
            fi
        done
    done
    for kind_step in $trash_steps; do
        kind=${kind_step%%:*}
        step=${kind_step#*:}
        log=$work/run.log
        "$driver" "$folder" --log "$record" --seed $((seed + 1000 * pass + 500 + 10 * step)) --saves 60 \
            --kill-at "$step" --kill-in "$kind" > "$log" 2>&1 &
        wait $! 2>/dev/null
        check_status $? "the run to kill at step $step of a $kind (pass $pass)" "$log" done
        count_run "$log"
        if grep -q '^killed at step' "$log"; then
            step_kills=$((step_kills + 1))
            trash_kills=$((trash_kills + 1))
            kills=$((kills + 1))
            check_after_kill "the kill at step $step of a $kind (pass $pass)" --log "$record"
        else
            echo "no $kind reached step $step (pass $pass)"
        fi
    done
done

# 3. Kills during backups. An uncut one first: it times the others, and the
# restores below restore it.
"$driver" "$folder" --snapshot "$work/collection-backed-up" || fail "the collection's snapshot could not be made"
backup=$work/backup.tar.gz
log=$work/run.log
"$driver" "$folder" --backup "$backup" --pace $backup_pace_ms > "$log" 2>&1 &
time_from "$log" $! '^backing up'
backup_status=$?
backup_ms=$elapsed_ms
if [[ $backup_status -ne 0 ]] || ! "$driver" "$work/scratch" --archive-holds "$backup" "$work/collection-backed-up" \
    >> "$log" 2>&1; then
    fail "the uncut backup:"
    cat "$log"
fi
archive=$work/archives/backup.tar.gz
backups_done=0
archives_after_kill=0
part_files=0
# One backup killed: at a random moment, or (with "rename") just before its
# archive is renamed into place.
kill_backup() {
    local what=$1 how=$2
    rm -f "$work"/archives/*
    if [[ $how == rename ]]; then
        env LD_PRELOAD="$shim" CLIPNEST_RENAME_KILL_AT=1 "$driver" "$folder" --backup "$archive" > "$log" 2>&1 &
        wait $! 2>/dev/null
    else
        "$driver" "$folder" --backup "$archive" --pace $backup_pace_ms > "$log" 2>&1 &
        local pid=$!
        wait_for "$log" "$pid" '^backing up' && sleep "$(seconds "$(random_below "$backup_ms")")"
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    local status=$?
    check_status $status "$what" "$log" done
    if [[ $status -eq 137 ]]; then
        kills=$((kills + 1))
        backup_kills_done=$((backup_kills_done + 1))
        [[ -e $archive ]] && archives_after_kill=$((archives_after_kill + 1))
    elif [[ $status -eq 0 ]]; then
        backups_done=$((backups_done + 1))
    fi
    check_after_kill "$what" --log "$record"
    part_files=$((part_files + $(find "$work/archives" -name '*.part' | wc -l)))
    # A .part file may stay, but what lies at the archive's place is whole.
    if [[ -e $archive ]]; then
        if ! "$driver" "$work/scratch" --archive-holds "$archive" "$work/collection-backed-up" > "$log" 2>&1; then
            fail "after $what: the archive's place holds a damaged archive:"
            cat "$log"
        fi
    elif [[ $status -eq 0 ]]; then
        fail "$what: the backup said it was done but left no archive"
    fi
}
# Backups done before their kill are tried again.
for ((run = 1; backup_kills_done < backup_kills && run <= 3 * backup_kills; run++)); do
    kill_backup "backup kill $run" random
done
((backup_kills > 0)) && kill_backup "the kill before a backup's rename" rename

# 4. Kills during restores. The earlier collection: more notes, other settings,
# and a save cut short whose record of unfinished work the next start clears.
restores_run=$((restore_kills > 0 || ${#rename_steps} > 0))
if ((restores_run)); then
    log=$work/run.log
    "$driver" "$folder" --log "$record" --seed $((seed + 7777)) --saves 12 > "$log" 2>&1
    check_status $? "the earlier collection's saves" "$log" done && count_run "$log"
    "$driver" "$folder" --log "$record" --seed $((seed + 7778)) --saves 40 --kill-at 3 --kill-in again > "$log" 2>&1 &
    wait $! 2>/dev/null
    check_status $? "the earlier collection's save cut short" "$log" done && count_run "$log"
    printf '[Tavlo]\nlang=cn.ini\ndefaultClick=1\n' > "$folder/tavlo.ini"
    earlier=$work/earlier
    mkdir -p "$earlier"
    for entry in notes.fdb tavlo.ini data pending trash; do
        [[ -e $folder/$entry ]] && cp -a "$folder/$entry" "$earlier/"
    done
    cp "$record" "$work/earlier-saves.log"
    # As it is, for the folder a finished restore moves it into.
    cp -a "$earlier" "$work/earlier-copy"
    "$driver" "$work/earlier-copy" --snapshot "$work/collection-earlier-as-left"
    rm -rf "$work/earlier-copy"
    # What the earlier collection is once the next start has finished its unfinished work.
    cp -a "$folder" "$work/earlier-started"
    cp "$record" "$work/earlier-started.log"
    "$driver" "$work/earlier-started" --check --log "$work/earlier-started.log" > "$log" 2>&1 || {
        fail "the earlier collection:"
        cat "$log"
    }
    "$driver" "$work/earlier-started" --snapshot "$work/collection-earlier"
    rm -rf "$work/earlier-started"
fi

reset_to_earlier() {
    rm -rf "$folder/notes.fdb" "$folder/tavlo.ini" "$folder/data" "$folder/index" "$folder/pending" "$folder/trash" \
        "$folder"/before-restore-*
    cp -a "$earlier"/. "$folder/"
}

# A command, not a function: a function run in the background is a shell of
# its own, and killing that would leave the restore running.
restore_run=(env LD_PRELOAD="$shim" "$driver" "$folder" --restore "$backup")

# The next start after a restore's kill; a finished restore moved the whole
# earlier collection, as it was left, into one folder beside.
check_after_restore_kill() {
    check_after_kill "$1" --either "$work/collection-earlier" "$work/collection-backed-up"
    grep -q '^collection: restored' "$work/check.log" || return 0
    local aside=("$folder"/before-restore-*)
    if [[ ${#aside[@]} -ne 1 || ! -d ${aside[0]} ]]; then
        fail "after $1: the restore left ${#aside[@]} folders of earlier files: ${aside[*]}"
        return
    fi
    rm -rf "$work/aside-copy"
    cp -a "${aside[0]}" "$work/aside-copy"
    "$driver" "$work/aside-copy" --snapshot "$work/collection-aside" 2> /dev/null
    if ! cmp -s "$work/collection-aside" "$work/collection-earlier-as-left"; then
        fail "after $1: ${aside[0]} does not hold the earlier collection:"
        diff "$work/collection-earlier-as-left" "$work/collection-aside" | head -10
    fi
    rm -rf "$work/aside-copy"
}

if ((restores_run)); then
    # An uncut restore with slowed renames times the random kills.
    reset_to_earlier
    log=$work/run.log
    CLIPNEST_RENAME_DELAY_MS=$rename_delay_ms "${restore_run[@]}" > "$log" 2>&1 &
    time_from "$log" $! '^restoring'
    restore_status=$?
    restore_ms=$elapsed_ms
    renames=$(number "$(sed -n 's/^rename shim: \([0-9]*\) renames/\1/p' "$log")")
    if [[ $restore_status -ne 0 ]]; then
        fail "the uncut restore:"
        cat "$log"
    fi
    "$driver" "$folder" --check --either "$work/collection-earlier" "$work/collection-backed-up" > "$log" 2>&1 &&
        grep -q '^collection: restored' "$log" || {
        fail "the uncut restore did not restore the backed up collection:"
        cat "$log"
    }
    # Restores done before their kill are tried again.
    for ((run = 1; random_restore_kills < restore_kills && run <= 3 * restore_kills; run++)); do
        reset_to_earlier
        CLIPNEST_RENAME_DELAY_MS=$rename_delay_ms "${restore_run[@]}" > "$log" 2>&1 &
        pid=$!
        wait_for "$log" "$pid" '^restoring' && sleep "$(seconds "$(random_below "$restore_ms")")"
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        status=$?
        check_status $status "restore kill $run" "$log" done
        if [[ $status -eq 137 ]]; then
            kills=$((kills + 1))
            random_restore_kills=$((random_restore_kills + 1))
        fi
        check_after_restore_kill "restore kill $run"
    done
    [[ $rename_steps == all ]] && rename_steps=$(seq 1 $((renames + 1)))
    for k in $rename_steps; do
        reset_to_earlier
        CLIPNEST_RENAME_KILL_AT=$k "${restore_run[@]}" > "$log" 2>&1 &
        wait $! 2>/dev/null
        status=$?
        check_status $status "the restore to kill before rename $k" "$log" done
        if [[ $status -eq 137 ]]; then
            kills=$((kills + 1))
            rename_kills=$((rename_kills + 1))
            check_after_restore_kill "the kill before rename $k of a restore"
        fi
        [[ $status -eq 0 ]] && break # the restore ran to its end
    done
    reset_to_earlier
    cp "$work/earlier-saves.log" "$record"
fi

"$driver" "$folder" --check --log "$record" > "$work/check.log" 2>&1 || {
    fail "at the end:"
    cat "$work/check.log"
}
left=""
for outcome in "${!outcomes[@]}"; do left+="${left:+, }$outcome ${outcomes[$outcome]}"; done
echo "crash loop (seed $seed): $kills kills ($random_kills at random moments of saves, $step_kills at database" \
    "steps of saves, $backup_kills_done during backups, $random_restore_kills at random moments of restores and" \
    "$rename_kills before a restore's renames, of $renames), $saves saves acknowledged ($saves_again of them" \
    "stored notes saved again), $deletions deletions acknowledged, $failures failed checks"
echo "  $trash_kills of the step kills were in the trash's work; $restorations notes were restored from the trash"
echo "  the next starts stored $adopted interrupted notes and removed $removed files without rows"
echo "  what the kills cut short, as the next start found it: ${left:-nothing}"
echo "  $archives_after_kill backups killed left a whole archive in place, $part_files a .part file beside it" \
    "($backups_done more were done before their kill)"
echo "  $set_aside stray files were set aside after the checks that found them"
echo "  $gfix_warnings validations warned of a pointer page's hint bits, and none told of an error"
echo "  at the end: $(grep -m1 '^notes ' "$work/check.log")"
[[ $failures -eq 0 ]]

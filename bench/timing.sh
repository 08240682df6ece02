# Wall-clock timing of whole processes, sourced by the *_processes.sh benchmarks.
# They set reps (repetitions) before calling measure.

# Wall seconds of one run of the command.
seconds() {
    local start end
    start=$EPOCHREALTIME
    "$@" >/dev/null
    end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}

# "best median" of reps runs, after one warm-up run that brings the files into the page cache.
measure() {
    "$@" >/dev/null
    local times=()
    for ((i = 0; i < reps; ++i)); do times+=("$(seconds "$@")"); done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 } END { printf "%.3f %.3f\n", t[1], t[int((NR + 1) / 2)] }'
}

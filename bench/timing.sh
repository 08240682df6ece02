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

# The set-up of a benchmark beside a Python peer: python (the Debian interpreter, which has the
# packages scripts/install-deps bench installs), the check that it imports the peer's modules
# and that the benchmark program was built, and work, a temporary folder removed on exit.
#   peer_setup NAME "MODULE, ..." BENCH_PROGRAM
peer_setup() {
    local name=$1 modules=$2 program=$3
    python=${PYTHON:-/usr/bin/python3}
    [[ -x "$python" ]] || python=python3
    if ! "$python" -c "import $modules" 2>/dev/null; then
        echo "$name: $python lacks $modules (scripts/install-deps bench installs them)" >&2
        exit 1
    fi
    if [[ ! -x "$program" ]]; then
        echo "$name: no $program (configure with -DNUVAK_BENCH=ON)" >&2
        exit 1
    fi
    work=$(mktemp -d "${TMPDIR:-/tmp}/nuvak-$name.XXXXXX")
    trap 'rm -rf "$work"' EXIT
}

# The set-up of a benchmark on large frames: cli and helper (nuvak-cli and bench_bigframes of
# build), the check that both were built and that /usr/bin/time is here (else the benchmark
# is skipped with exit 0), and dir, a temporary folder removed on exit.
#   large_setup NAME BUILD
large_setup() {
    local name=$1 build=$2 p
    cli="$build/nuvak-cli"
    helper="$build/bench/bench_bigframes"
    for p in "$cli" "$helper"; do
        if [[ ! -x "$p" ]]; then
            echo "$name: no $p (a build with Qt and -DNUVAK_BENCH=ON makes it); skipped" >&2
            exit 0
        fi
    done
    if [[ ! -x /usr/bin/time ]]; then
        echo "$name: /usr/bin/time measures the peak memory and is not here; skipped" >&2
        exit 0
    fi
    dir=$(mktemp -d "${TMPDIR:-/tmp}/nuvak-$name.XXXXXX")
    trap 'rm -rf "$dir"' EXIT
}

#!/usr/bin/env bash
# breadbin's entry point for people and for CI. It installs what is missing (Debian
# packages, through apt-get), builds, and then runs the emulator, the checks, the
# benchmarks or the fuzz targets. Each step prints one line with its time; what the tools
# say goes to build/logs/ and is shown only when a step fails.
#
#   ./build.sh run     build the windowed program and start it in the demo folder
#   ./build.sh test    every check that CI makes (below)
#   ./build.sh bench   build and run the speed benchmarks
#   ./build.sh package write the Debian packages breadbin-run and breadbin into build/packages/
#   ./build.sh fuzz [SECONDS]
#                      build the fuzz targets and run each for SECONDS (default 60)
#
# `test` checks the layout of the C++ files (clang-format); builds in Release with warnings
# as errors and runs the whole suite; writes the two Debian packages, and breadbin-run's
# alone as a machine without SDL builds it, and checks them with lintian; builds again with
# clang, AddressSanitizer, UBSan and libFuzzer's instrumentation (one build for the suite
# and the fuzz targets), runs the whole suite there, and each fuzz target for a few
# seconds. The clang build compiles beside the Release build, and its suite runs beside
# the Release build's checks; the packages that only those checks need are installed
# beside the builds.
#
# The build folders: build (Release), build-runner (breadbin-run without SDL) and
# build-sanitize (clang). The Release builds share a compiler cache in build/ccache, so
# that the runner's own package takes the Release build's objects rather than compiling
# them again; it sees paths relative to the checkout (CCACHE_BASEDIR), so that the runner's
# libraries, each compiled as one source that CMake writes into the build folder
# (BREADBIN_UNITY), are found in it from either folder.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")"

# The Debian packages, by what needs them; each command installs the sets it uses.
packages_build=(g++ cmake ninja-build pkg-config ccache 64tass libpng-dev libcli11-dev
                libtomlplusplus-dev)
packages_window=(libsdl2-dev)
packages_man=(help2man man-db)
packages_package=(dpkg-dev file)
packages_tests=(libgtest-dev nlohmann-json3-dev libx11-dev lcov valgrind clang-format cc65 acme dasm)
packages_test_tools=(xvfb xdotool lintian)
packages_clang=(clang libclang-rt-14-dev lld nlohmann-json3-dev)
packages_bench=(libbenchmark-dev strace)

jobs=$(nproc 2>/dev/null || echo 2)
fuzz_test_seconds=4  # each fuzz target's run in `test`

release_dir=build
runner_dir=build-runner
sanitize_dir=build-sanitize
logs=$release_dir/logs
ccache_launcher="env;CCACHE_DIR=$PWD/$release_dir/ccache;CCACHE_BASEDIR=$PWD;CCACHE_DEPEND=true;ccache"

# ---- steps: one line each, the tools' output in a log ----------------------------------
#
# A step runs a function of this script in a shell of its own (this script again, so that
# -e holds whatever the caller's context). What it prints goes to build/logs/KEY.log, and
# beside it KEY.note (what its line adds: a count, say), KEY.time (its start and end) and
# KEY.status. Steps run in the foreground or in lanes beside it (a lane is a background
# job of steps one after another); the lines come in the order the script shows them,
# each with its step's own time.

step_number=0
step_total=0
step_pid=""
step_key=""
declare -A lane_pid
declare -A lane_title  # the lanes' steps: KEY -> the title of its line

# record KEY FUNCTION [ARGS...]: runs a step; its status is the step's. In the foreground
# the step has a process group of its own (in a lane, the lane's), so that the script,
# told to stop, stops it whole and at once rather than after it.
record() {
    local key=$1 start status=0 pid
    rm -f "$logs/$key".{note,time,status}
    start=$(date +%s%N)
    [ "$BASHPID" != "$$" ] || set -m
    "$BASH" "$self" run-step "$@" >"$logs/$key.log" 2>&1 &
    pid=$!
    set +m
    if [ "$BASHPID" = "$$" ]; then
        step_pid=$pid
        step_key=$key
        # A lane's step that fails stops this one, so that its line comes at once (step).
        while kill -0 "$pid" 2>/dev/null; do
            [ -z "$(failed_lane_step)" ] || stop "$key" "$pid"
            sleep 0.2
        done
    fi
    wait "$pid" || status=$?
    step_pid=""
    echo "$start $(date +%s%N)" >"$logs/$key.time"
    echo "$status" >"$logs/$key.status"
    return "$status"
}

note() { echo "$*" >>"$note_file"; }

# The time from START to END (nanoseconds) as people read it: 0.4 s, 12 s, 3 m 05 s.
duration() {
    local ms=$((($2 - $1) / 1000000))
    if ((ms < 10000)); then
        printf '%d.%d s' $((ms / 1000)) $((ms % 1000 / 100))
    elif ((ms < 60000)); then
        printf '%d s' $((ms / 1000))
    else
        printf '%d m %02d s' $((ms / 60000)) $((ms % 60000 / 1000))
    fi
}

# The step's status once it has one: at once for a step of the foreground, after waiting
# for one in a lane; 125 when its lane ended without it.
wait_for() {  # wait_for KEY [LANE]
    local key=$1 lane=${2:-}
    while [ ! -e "$logs/$key.status" ]; do
        if [ -n "$lane" ] && ! kill -0 "${lane_pid[$lane]}" 2>/dev/null; then
            [ -e "$logs/$key.status" ] && break
            return 125
        fi
        sleep 0.2
    done
    return "$(cat "$logs/$key.status")"
}

# show KEY TITLE [LANE]: the step's line, "[3/9] TITLE … 1 m 42 s (note)", once it has
# ended; when it failed, what it printed (less the progress lines) and the end of the run.
show() {
    local key=$1 title=$2 lane=${3:-} status=0 start end extra=""
    step_number=$((step_number + 1))
    printf '[%d/%d] %s … ' "$step_number" "$step_total" "$title"
    wait_for "$key" "$lane" || status=$?
    if [ "$status" -eq 125 ] && [ ! -e "$logs/$key.time" ]; then
        echo "did not run"
        exit 1
    fi
    read -r start end <"$logs/$key.time"
    [ -s "$logs/$key.note" ] && extra=" ($(paste -sd ';' "$logs/$key.note" | sed 's/;/; /g'))"
    if [ "$status" -eq 0 ]; then
        echo "$(duration "$start" "$end")$extra"
        return 0
    fi
    echo "failed after $(duration "$start" "$end")"
    # Ninja's progress and ctest's passing tests say nothing about the failure.
    grep -vE '^\[[0-9]+/[0-9]+\] |^ +Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed ' \
        "$logs/$key.log" | tail -n 150 >&2
    echo "(all it printed: $logs/$key.log)" >&2
    exit 1
}

# step KEY TITLE FUNCTION [ARGS...]: a step in the foreground, and its line; or, when a
# step of a lane has failed meanwhile, that step's line and its output.
step() {
    local key=$1 title=$2 failed
    shift 2
    record "$key" "$@" || true
    failed=$(failed_lane_step)
    [ -z "$failed" ] || show "$failed" "${lane_title[$failed]}"
    show "$key" "$title"
}

# The first step of a lane (one in lane_title) that has ended with a failure, if any.
failed_lane_step() {
    local key status
    for key in "${!lane_title[@]}"; do
        [ -e "$logs/$key.status" ] || continue
        read -r status <"$logs/$key.status"
        if [ "$status" != 0 ]; then
            echo "$key"
            return
        fi
    done
}

# lane NAME FUNCTION [ARGS...]: runs FUNCTION (which records its steps) in the background,
# in a process group of its own, so that it can be stopped whole.
lane() {
    local name=$1
    shift
    set -m
    (
        set +m
        "$@"
    ) >/dev/null 2>&1 &
    lane_pid[$name]=$!
    set +m
}

# On the way out, a step or lane still building or testing is stopped; apt-get is waited
# for, since stopping it could leave the system's packages half installed.
stop_all() {
    local name
    stop "$step_key" "$step_pid"
    for name in "${!lane_pid[@]}"; do stop "$name" "${lane_pid[$name]}"; done
}

stop() {  # stop KEY PID
    [ -n "$2" ] && kill -0 "$2" 2>/dev/null || return 0
    if [[ $1 == packages* ]]; then
        echo "Waiting for apt-get to finish" >&2
        wait "$2" || true
    else
        kill -TERM -- "-$2" 2>/dev/null || true
    fi
}

# ---- what the steps do ------------------------------------------------------------------

# The packages of those named that are not installed, one a line.
missing_packages() {
    local installed
    # dpkg-query fails for a name it has never seen; what it lists is what counts.
    installed=$({ dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "$@" 2>/dev/null || true; } |
                awk '$1 == "ii" { print $2 }')
    for p in "$@"; do grep -qxF "$p" <<<"$installed" || echo "$p"; done
}

apt_get() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -q "$@"
}

install_missing() {  # install_missing PACKAGE...
    local missing=()
    mapfile -t missing < <(missing_packages "$@")
    if [ ${#missing[@]} -eq 0 ]; then
        note "all there"
        return 0
    fi
    echo "Installing: ${missing[*]}"
    apt_get update
    apt_get install -y --no-install-recommends "${missing[@]}"
    note "${#missing[@]} installed"
}

# install_in_two NOW... -- LATER...: installs what is missing of NOW, and leaves what is
# missing of LATER (what only the steps after the Release build need) in a list for
# install_later, which runs beside the build. Beside it, apt-get may only add packages: an
# upgrade or a removal that LATER would bring (a newer perl for lintian, say) could pull a
# file from under a program of the build, so those are made now, with NOW.
install_in_two() {
    local now=() later=()
    while [ "$1" != -- ]; do
        now+=("$1")
        shift
    done
    shift
    later=("$@")
    mapfile -t now < <(missing_packages "${now[@]}")
    mapfile -t later < <(missing_packages "${later[@]}")
    : >"$logs/later-packages.txt"
    if [ ${#now[@]} -eq 0 ] && [ ${#later[@]} -eq 0 ]; then
        note "all there"
        return 0
    fi
    apt_get update
    if [ ${#later[@]} -gt 0 ]; then
        local plan changed=()
        plan=$(apt_get install -s --no-install-recommends "${later[@]}")
        # An upgrade shows the installed version in brackets: "Inst perl [5.36.0-7] (...)".
        mapfile -t changed < <(awk '/^Inst [^ ]+ \[/ || /^Remv / { print $2 }' <<<"$plan")
        if grep -q '^Remv ' <<<"$plan"; then
            now+=("${later[@]}")
            later=()
        else
            now+=("${changed[@]}")
        fi
    fi
    if [ ${#now[@]} -gt 0 ]; then
        echo "Installing: ${now[*]}"
        apt_get install -y --no-install-recommends "${now[@]}"
    fi
    [ ${#later[@]} -eq 0 ] || printf '%s\n' "${later[@]}" >"$logs/later-packages.txt"
    if [ ${#later[@]} -gt 0 ]; then
        note "${#now[@]} installed, ${#later[@]} more beside the build"
    else
        note "${#now[@]} installed"
    fi
}

install_later() {
    local later=()
    mapfile -t later <"$logs/later-packages.txt"
    if [ ${#later[@]} -eq 0 ]; then
        note "none left"
        return 0
    fi
    echo "Installing: ${later[*]}"
    apt_get install -y --no-install-recommends "${later[@]}"
    note "${#later[@]} installed"
}

# Every C++ file as the committed .clang-format lays it out (tables are fenced off).
check_format() {
    local off
    off=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror 2>&1 |
          grep -oE '^[^:]+:[0-9]+:[0-9]+: (warning|error)' | cut -d: -f1 | sort -u || true)
    if [ -n "$off" ]; then
        echo "Not laid out as .clang-format says (run clang-format -i on them):"
        echo "$off"
        return 1
    fi
    note "$(git ls-files '*.cpp' '*.h' | wc -l) files"
}

# build DIR [CMAKE-OPTION... --] [TARGET...]: configures DIR (Release, warnings as errors)
# and builds the targets (all by default).
build() {
    local dir=$1 options=() targets=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    [ $# -gt 0 ] && shift
    targets=("$@")
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBREADBIN_WERROR=ON "${options[@]}"
    ninja -C "$dir" -j "$jobs" "${targets[@]}"
}

# The Release build folder, with what a command needs of it turned on and the rest off
# (the compile flags stay the same, so that switching between commands compiles nothing).
release_build() {  # release_build TESTS MAN BENCH [TARGET...]
    local tests=$1 man=$2 bench=$3
    shift 3
    build "$release_dir" -DCMAKE_CXX_COMPILER_LAUNCHER="$ccache_launcher" -DBREADBIN_SDL=ON \
          -DBREADBIN_UNITY=ON -DBREADBIN_TESTS="$tests" -DBREADBIN_MAN="$man" -DBREADBIN_BENCH="$bench" -- "$@"
}

# The clang build: AddressSanitizer, UBSan and libFuzzer's coverage; with the tests or not.
# It links with lld, which takes a third of the time that ld takes for an instrumented
# test program (runner_pieces_test: 2.5 -> 0.8 s of processor time).
sanitize_build() {  # sanitize_build TESTS
    build "$sanitize_dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld \
          -DBREADBIN_FUZZ=ON -DBREADBIN_TESTS="$1" -DBREADBIN_SDL="$1" -DBREADBIN_MAN=OFF \
          -DBREADBIN_BENCH=OFF
}

# The tests that ctest ran, from its closing line in LOG.
tests_in() { grep -oE 'tests failed out of [0-9]+' "$1" | grep -oE '[0-9]+$'; }

run_tests() {  # run_tests DIR
    ctest --test-dir "$1" --output-on-failure -j "$jobs"
    note "$(tests_in "$step_log") tests"
}

write_packages() {  # write_packages DIR
    rm -rf "$1/packages"
    (cd "$1" && cpack)
}

release_packages() {
    write_packages "$release_dir"
    bash test/install/package_test.sh "$release_dir/packages" 1
    note "$(cd "$release_dir/packages" && echo *.deb)"
}

# breadbin-run's package as a machine without SDL builds it: SDL cannot be found, and only
# what the package holds is built (from the compiler cache that the Release build filled).
runner_package() {
    build "$runner_dir" -DCMAKE_CXX_COMPILER_LAUNCHER="$ccache_launcher" -DBREADBIN_SDL=OFF \
          -DBREADBIN_UNITY=ON -DCMAKE_DISABLE_FIND_PACKAGE_SDL2=ON -DBREADBIN_TESTS=OFF -DBREADBIN_BENCH=OFF \
          -DBREADBIN_MAN=ON
    write_packages "$runner_dir"
    bash test/install/package_test.sh "$runner_dir/packages" 0
    note "$(cd "$runner_dir/packages" && echo *.deb)"
}

# Runs every fuzz target of the clang build for SECONDS, as many at once as there are
# cores, each on a working corpus in build-sanitize/corpus/ that starts from the committed
# seeds (fuzz/corpus/TARGET/, left as they are); a crash stops it, with its input in
# build-sanitize/crashes/. Prints a line per target.
fuzz_targets() {  # fuzz_targets SECONDS
    local seconds=$1 targets=() running=() failed=0
    for target in "$sanitize_dir"/fuzz/fuzz_*; do
        [ -f "$target" ] && [ -x "$target" ] && targets+=("$target")
    done
    mkdir -p "$sanitize_dir/crashes"
    # fuzz_one TARGET: runs it, then prints its line (or its log's end, when it failed).
    fuzz_one() {
        local target=$1 name=${1##*/fuzz_} log=$sanitize_dir/fuzz_${1##*/fuzz_}.log status=0
        mkdir -p "$sanitize_dir/corpus/$name"
        "$target" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$sanitize_dir/crashes/" "$sanitize_dir/corpus/$name" "fuzz/corpus/$name" \
            >"$log" 2>&1 || status=$?
        if [ "$status" -ne 0 ]; then
            echo "fuzz_$name: FAILED (status $status), its input in $sanitize_dir/crashes/:"
            tail -40 "$log"
            return 1
        fi
        # figure LABEL: a number from libFuzzer's closing lines.
        figure() { grep -oE "$1 +[0-9]+" "$log" | grep -oE '[0-9]+$' || echo '?'; }
        echo "fuzz_$name: $seconds s, $(figure stat::number_of_executed_units:) runs," \
             "coverage $(figure 'DONE +cov:'), peak $(figure stat::peak_rss_mb:) MB"
    }
    for target in "${targets[@]}"; do
        fuzz_one "$target" >"$sanitize_dir/${target##*/}.line" &
        running+=($!)
        if [ ${#running[@]} -eq "$jobs" ] || [ "$target" = "${targets[-1]}" ]; then
            for pid in "${running[@]}"; do wait "$pid" || failed=1; done
            running=()
        fi
    done
    for target in "${targets[@]}"; do cat "$sanitize_dir/${target##*/}.line"; done
    note "${#targets[@]} targets, $seconds s each"
    return $failed
}

# ---- the commands -----------------------------------------------------------------------

# The clang lane of `test`: the build, then (once the packages it needs are in) the suite
# under the sanitizers and the fuzz targets.
sanitize_lane() {
    record sanitize-build sanitize_build ON || return 0
    # The suite under the sanitizers runs beside the Release build's checks, not beside its
    # compiler: its window tests, ten times slower instrumented, would then wait for long.
    wait_for release-build || return 0
    wait_for packages-later "${lane_pid[packages]:+packages}" || return 0
    record sanitize-tests run_tests "$sanitize_dir" || return 0
    record fuzzing fuzz_targets "$fuzz_test_seconds" || return 0
}

command=${1:-}
if [ "$command" = run-step ]; then  # run-step KEY FUNCTION [ARGS...]: see record
    step_log=$logs/$2.log
    note_file=$logs/$2.note
    shift 2
    "$@"
    exit 0
fi

mkdir -p "$logs"
rm -f "$logs"/*.note "$logs"/*.time "$logs"/*.status
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
case "$command" in
    run)
        step_total=2
        step packages "installing packages" install_missing "${packages_build[@]}" "${packages_window[@]}"
        step release-build "building breadbin (Release)" release_build OFF OFF OFF breadbin demo_folder
        echo "Starting breadbin in $release_dir/demo (Escape ends it)"
        cd "$release_dir/demo" && exec ../app/breadbin
        ;;
    test)
        start=$(date +%s%N)
        now=("${packages_build[@]}" "${packages_window[@]}" "${packages_man[@]}" "${packages_tests[@]}"
             "${packages_clang[@]}")
        later=("${packages_package[@]}" "${packages_test_tools[@]}")
        step_total=9
        [ -z "$(missing_packages "${later[@]}")" ] || step_total=10
        step packages "installing packages" install_in_two "${now[@]}" -- "${later[@]}"
        lane_title=([sanitize-build]="building (clang: ASan, UBSan, libFuzzer; beside the above)"
                    [sanitize-tests]="testing (ASan, UBSan)" [fuzzing]="fuzzing")
        if [ $step_total -eq 10 ]; then
            lane_title[packages-later]="installing packages (beside the build)"
            lane packages record packages-later install_later
        else
            record packages-later install_later || show packages-later "installing packages"
        fi
        step layout "checking the layout" check_format
        lane sanitize sanitize_lane
        step release-build "building (Release, warnings as errors)" release_build ON ON OFF
        [ $step_total -eq 9 ] || show packages-later "${lane_title[packages-later]}" packages
        step release-tests "testing (Release)" run_tests "$release_dir"
        step release-packages "packaging breadbin-run and breadbin, lintian" release_packages
        step runner-package "packaging breadbin-run without SDL, lintian" runner_package
        for key in sanitize-build sanitize-tests fuzzing; do show "$key" "${lane_title[$key]}" sanitize; done
        release_tests=$(tests_in "$logs/release-tests.log")
        sanitize_tests=$(tests_in "$logs/sanitize-tests.log")
        echo "passed in $(duration "$start" "$(date +%s%N)"): the layout; the Release build and its" \
             "$release_tests tests; both Debian packages and breadbin-run's alone, lintian clean;" \
             "the clang build and its $sanitize_tests tests under ASan and UBSan; every fuzz target"
        echo "tests: $((release_tests + sanitize_tests)) passed, 0 failed"
        ;;
    bench)
        step_total=2
        step packages "installing packages" install_missing "${packages_build[@]}" "${packages_window[@]}" \
            "${packages_bench[@]}"
        step release-build "building (Release, benchmarks)" release_build OFF OFF ON
        for b in "$release_dir"/bench/breadbin_*_bench; do "$b"; done
        ;;
    package)
        step_total=3
        step packages "installing packages" install_missing "${packages_build[@]}" "${packages_window[@]}" \
            "${packages_man[@]}" "${packages_package[@]}"
        step release-build "building (Release)" release_build OFF ON OFF
        step release-packages "writing the packages" write_packages "$release_dir"
        ls "$release_dir"/packages/*.deb
        ;;
    fuzz)
        step_total=3
        step packages "installing packages" install_missing "${packages_build[@]}" "${packages_clang[@]}"
        step sanitize-build "building the fuzz targets (clang: ASan, UBSan, libFuzzer)" sanitize_build OFF
        step fuzzing "fuzzing" fuzz_targets "${2:-60}"
        grep '^fuzz_' "$logs/fuzzing.log"
        ;;
    *)
        echo "usage: $0 run | test | bench | package | fuzz [SECONDS]" >&2
        exit 2
        ;;
esac

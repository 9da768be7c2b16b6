#!/usr/bin/env bash
# breadbin's entry point for people and for CI. It installs whatever is missing
# (Debian packages, through apt-get), builds, and then runs the emulator or the tests.
#
#   ./build.sh run     set up, build, and start the emulator in the demo folder
#   ./build.sh test    set up, build with warnings as errors, run the whole test suite,
#                      then build and run it again under AddressSanitizer and UBSan
#   ./build.sh bench   set up, build, and run the speed benchmarks
#   ./build.sh package set up, build, and write the Debian packages breadbin-run and breadbin
#                      into build/packages/
#   ./build.sh fuzz [SECONDS]
#                      set up, build the fuzz targets with clang and run each for SECONDS
#                      (default 60); `test` runs each for a few seconds
set -euo pipefail
cd "$(dirname "$0")"

packages=(g++ cmake ninja-build pkg-config 64tass libsdl2-dev libpng-dev libgtest-dev libgmock-dev
          libbenchmark-dev libcli11-dev libtomlplusplus-dev nlohmann-json3-dev libx11-dev xvfb xauth xdotool x11-utils
          x11-apps strace clang-format help2man man-db dpkg-dev file
          clang libclang-rt-14-dev lcov valgrind)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

jobs=$(nproc 2>/dev/null || echo 2)

# Every C++ file as the committed .clang-format lays it out (tables are fenced off).
check_format() {
    local off
    off=$(git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror 2>&1 | grep -oE '^[^:]+:[0-9]+:[0-9]+: (warning|error)' | cut -d: -f1 | sort -u || true)
    if [ -n "$off" ]; then
        echo "Not laid out as .clang-format says (run clang-format -i on them):" >&2
        echo "$off" >&2
        return 1
    fi
}

build() {  # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

package() {  # package DIR [cmake options...]: builds DIR, then its Debian packages in DIR/packages
    local dir=$1
    build "$@"
    rm -rf "$dir/packages"
    (cd "$dir" && cpack >/dev/null)
    ls "$dir"/packages/*.deb
}

# The libFuzzer targets of fuzz/, built with clang in build-fuzz. Each runs for the given
# seconds on a working corpus in build-fuzz/corpus/ that starts from the committed seeds
# (fuzz/corpus/TARGET/, left as they are); a crash stops it, its input in build-fuzz/crashes/.
fuzz() {  # fuzz SECONDS
    build build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DBREADBIN_FUZZ=ON -DBREADBIN_TESTS=OFF \
          -DBREADBIN_BENCH=OFF -DBREADBIN_SDL=OFF
    mkdir -p build-fuzz/crashes
    for target in build-fuzz/fuzz/fuzz_*; do
        local name=${target##*/fuzz_}
        mkdir -p "build-fuzz/corpus/$name"
        echo "fuzz_$name: $1 s"
        local log="build-fuzz/fuzz_$name.log" status=0
        "$target" -max_total_time="$1" -print_final_stats=1 -artifact_prefix=build-fuzz/crashes/ \
            "build-fuzz/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
        grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
        if [ "$status" -ne 0 ]; then
            tail -40 "$log" >&2
            return 1
        fi
    done
}

case "${1:-}" in
    run)
        install_missing
        build build
        cd build/demo && exec ../app/breadbin
        ;;
    test)
        install_missing
        check_format
        build build -DBREADBIN_WERROR=ON
        ctest --test-dir build --output-on-failure -j "$jobs"
        package build -DBREADBIN_WERROR=ON
        bash test/install/package_test.sh build/packages 1
        # The runner alone, as a machine without SDL builds it; -O0 keeps this extra build
        # short, since it checks the configuration and the package, not the speed.
        package build-runner -DBREADBIN_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DBREADBIN_SDL=OFF \
                -DBREADBIN_TESTS=OFF -DBREADBIN_BENCH=OFF
        bash test/install/package_test.sh build-runner/packages 0
        build build-sanitize -DBREADBIN_WERROR=ON -DBREADBIN_SANITIZE=ON -DBREADBIN_BENCH=OFF
        ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
        fuzz 4
        ;;
    bench)
        install_missing
        build build
        for b in build/bench/breadbin_*_bench; do "$b"; done
        ;;
    package)
        install_missing
        package build
        ;;
    fuzz)
        install_missing
        fuzz "${2:-60}"
        ;;
    *)
        echo "usage: $0 run | test | bench | package | fuzz [SECONDS]" >&2
        exit 2
        ;;
esac

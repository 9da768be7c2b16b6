#!/usr/bin/env bash
# The installed tree on its own: `cmake --install` into a temporary prefix, the tree
# moved elsewhere, and everything run from there in an empty folder, so that no path of
# the build tree can be needed.
#
#   install_test.sh BUILD_DIR 64TASS WINDOW MAN SANITIZE
#
# WINDOW is 1 when the build has the windowed program, MAN is 1 when it has the
# manual pages, SANITIZE is 1 in a sanitizer build, whose programs keep the paths of
# their sources for their reports (so there the tree may name the build folder).
# INSTALL_TEST_TRACE=1 shows every command as it runs.
set -euo pipefail
[ -n "${INSTALL_TEST_TRACE:-}" ] && set -x

build=$(realpath "$1")
tass=$2
window=$3
man=$4
sanitize=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/breadbin-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "install_test: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$work/prefix" --strip >/dev/null
mv "$work/prefix" "$work/moved"
root=$work/moved
share=$root/share/breadbin
mkdir "$work/run"
cd "$work/run"

if [ "$sanitize" != 1 ]; then
    names_build=$(grep -rlF "$build" "$root" || true)
    [ -z "$names_build" ] || fail "installed files that name the build folder $build: $names_build"
fi

programs=(breadbin-run)
[ "$window" = 1 ] && programs+=(breadbin)
for program in "${programs[@]}"; do
    [ -x "$root/bin/$program" ] || fail "bin/$program is not installed"
done
for file in breadbin/{kernal.rom,basic.rom,chargen.rom,kernal.inc,basic.inc,breadbin.h,demo/tests/start} \
            doc/breadbin/{README.md,LICENSE,firmware/README.md}; do
    [ -s "$root/share/$file" ] || fail "share/$file is missing or empty"
done

# The example passes as installed, and as assembled afresh from its installed source
# against the installed include files, on the built-in firmware and on the installed
# images; the demo folder is complete (a limit, not an unreadable file).
run=$root/bin/breadbin-run
expect_status() {  # expect_status STATUS breadbin-run-arguments...
    local want=$1 got=0
    shift
    "$run" "$@" 2>"$work/stderr" || got=$?
    [ "$got" = "$want" ] || fail "breadbin-run $* gave status $got, not $want: $(cat "$work/stderr")"
}
expect_status 0 --debug-exit --frames 600 "$share/examples/multiply.prg"
"$tass" --quiet --cbm-prg -I "$share" -o multiply.prg "$share/examples/multiply.asm"
cmp -s multiply.prg "$share/examples/multiply.prg" ||
    fail "examples/multiply.asm assembled against the installed kernal.inc differs from multiply.prg"
expect_status 0 --debug-exit --frames 600 --dir "$share" multiply.prg
expect_status 2 --frames 10 --dir "$share/demo"
leftovers=$(ls -A | grep -vx multiply.prg || true)
[ -z "$leftovers" ] || fail "breadbin-run left files in the working folder: $leftovers"

[ "$man" = 1 ] || {
    echo "install_test: the installed tree works on its own (${programs[*]}, no manual pages)"
    exit 0
}

# Each manual page renders without a warning and shows the version the runner reports;
# the runner's page names every option that its --help lists, and its examples use no
# other (the 64tass command lines aside).
version=$("$run" --version | cut -d' ' -f2)
for program in "${programs[@]}"; do
    page=$root/share/man/man1/$program.1.gz
    [ -s "$page" ] || fail "share/man/man1/$program.1.gz is missing"
    text=$(MANWIDTH=80 man --warnings -l "$page" 2>"$work/stderr") || fail "man -l $page failed"
    [ ! -s "$work/stderr" ] || fail "man -l $page warned: $(cat "$work/stderr")"
    for section in NAME DESCRIPTION EXAMPLES "SEE ALSO"; do
        grep -qx "$section" <<<"$text" || fail "$program(1) has no $section section"
    done
    grep -qF "$program $version" <<<"$text" || fail "$program(1) is not the page of version $version"
done
runner_page=$(MANWIDTH=80 man -l "$root/share/man/man1/breadbin-run.1.gz")
help_options=$("$run" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u)
for option in $help_options; do
    grep -qF -- "$option" <<<"$runner_page" || fail "breadbin-run(1) does not mention $option"
done
for option in $(sed -n '/^EXAMPLES$/,/^[A-Z]/p' <<<"$runner_page" | grep -v 64tass |
                grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    grep -qxF -- "$option" <<<"$help_options" || fail "breadbin-run(1)'s examples use $option, which --help does not list"
done
echo "install_test: the installed tree works on its own (${programs[*]})"

#!/usr/bin/env bash
# The Debian packages that `cpack` wrote into PACKAGE_DIR (./build.sh package): their
# names, versions, dependencies and files, the runner working from its unpacked package,
# and lintian finding neither error nor warning in them.
#
#   package_test.sh PACKAGE_DIR WINDOW
#
# WINDOW is 1 when the build has the windowed program: then there are two packages,
# breadbin-run and breadbin; else breadbin-run alone.
set -euo pipefail

packages=$(realpath "$1")
window=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/breadbin-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "package_test: $*" >&2
    exit 1
}

debs=("$packages"/*.deb)
want_count=1
[ "$window" = 1 ] && want_count=2
[ ${#debs[@]} = "$want_count" ] || fail "$want_count packages wanted in $packages, found: ${debs[*]}"

runner_deb=$(ls "$packages"/breadbin-run_*.deb) || fail "no breadbin-run package in $packages"
dpkg-deb -x "$runner_deb" "$work/unpacked"
version=$("$work/unpacked/usr/bin/breadbin-run" --version | cut -d' ' -f2)

# has_files DEB PATH...: DEB holds every PATH, and nothing outside /usr.
has_files() {
    local deb=$1 listing
    shift
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for path in "$@"; do
        grep -qx "./usr/$path" <<<"$listing" || fail "$(basename "$deb") lacks /usr/$path"
    done
    local outside
    outside=$(grep -v '^\./usr/' <<<"$listing" || true)
    [ -z "$outside" ] || fail "$(basename "$deb") installs outside /usr: $outside"
}
# field DEB NAME: one control field.
field() { dpkg-deb -f "$1" "$2"; }
# depends_on DEB PACKAGE: DEB's Depends names PACKAGE.
depends_on() { field "$1" Depends | sed 's/ ([^)]*)//g; s/, /\n/g' | grep -qxF "$2"; }

has_files "$runner_deb" bin/breadbin-run share/man/man1/breadbin-run.1.gz \
    share/breadbin/{kernal.rom,basic.rom,chargen.rom,kernal.inc,basic.inc} \
    share/breadbin/demo/{kernal.rom,basic.rom,chargen.rom,tests/start} \
    share/breadbin/examples/{multiply.asm,multiply.prg} \
    share/doc/breadbin/{README.md,LICENSE,firmware/README.md} \
    share/doc/breadbin-run/{copyright,changelog.Debian.gz}
[ "$(ls "$work/unpacked/usr/bin")" = breadbin-run ] ||
    fail "breadbin-run's package has other programs: $(ls "$work/unpacked/usr/bin")"
[ "$(field "$runner_deb" Package)" = breadbin-run ] || fail "the runner's package is not named breadbin-run"
[[ "$(field "$runner_deb" Version)" == "$version"-* ]] ||
    fail "breadbin-run's package has version $(field "$runner_deb" Version), the program $version"
for library in libc6 libstdc++6 libpng16-16; do
    depends_on "$runner_deb" $library || fail "breadbin-run does not depend on $library"
done
if field "$runner_deb" Depends | grep -q sdl; then fail "breadbin-run depends on SDL"; fi

# The unpacked runner passes the unpacked example: the package needs no other path.
(cd "$work" && unpacked/usr/bin/breadbin-run --debug-exit --frames 600 \
    unpacked/usr/share/breadbin/examples/multiply.prg 2>/dev/null) ||
    fail "the unpacked breadbin-run does not pass the unpacked example"

if [ "$window" = 1 ]; then
    window_deb=$(ls "$packages"/breadbin_*.deb) || fail "no breadbin package in $packages"
    has_files "$window_deb" bin/breadbin share/man/man1/breadbin.1.gz \
        share/doc/breadbin/{copyright,changelog.Debian.gz}
    [ "$(field "$window_deb" Version)" = "$(field "$runner_deb" Version)" ] ||
        fail "the two packages have different versions"
    field "$window_deb" Depends | grep -qF "breadbin-run (= $(field "$runner_deb" Version))" ||
        fail "breadbin does not depend on this version of breadbin-run"
    depends_on "$window_deb" libsdl2-2.0-0 || fail "breadbin does not depend on libsdl2-2.0-0"
fi
# What Debian asks of a package (a copyright file, a changelog, a well-formed maintainer and
# description, ...): each package's override names the one warning that is meant.
command -v lintian >/dev/null || fail "lintian is not installed (apt-get install lintian)"
lintian --fail-on error,warning "${debs[@]}" >"$work/lintian" 2>&1 ||
    fail "lintian: $(grep -E '^[EW]: ' "$work/lintian" || cat "$work/lintian")"
echo "package_test: as they should be, lintian clean: $(cd "$packages" && echo *.deb)"

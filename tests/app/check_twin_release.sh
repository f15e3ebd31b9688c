#!/usr/bin/env bash
# The release built again from the same sources as another machine would build it: through
# another source path (a link to this tree), in a second build tree, in another time zone and
# under a tighter umask. Its zip must be this build tree's byte for byte.
# Usage: check_twin_release.sh SOURCE_DIR ZIP
set -euo pipefail
source=$1
zip=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$source" "$work/source"

# Only the release: the tests and benchmarks add nothing to it.
if ! (cd "$work/source" && umask 077 && export TZ=XYZ-14 &&
    cmake --preset windows-x64 -B "$work/build" -DVANTOREL_BUILD_TESTS=OFF \
        -DVANTOREL_BUILD_BENCHMARKS=OFF &&
    cmake --build "$work/build" --target release -j2) >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2; exit 1
fi
twin=$work/build/release/$(basename "$zip")
ours=$(sha256sum <"$zip" | cut -d' ' -f1)
theirs=$(sha256sum <"$twin" | cut -d' ' -f1)
echo "this tree:   $ours"
echo "second tree: $theirs"
if [ "$ours" != "$theirs" ]; then
    # Where they part, file by file; a stale build of this tree shows here too.
    mkdir "$work/a" "$work/b"
    (cd "$work/a" && cmake -E tar xf "$zip") && (cd "$work/b" && cmake -E tar xf "$twin")
    same=yes
    for file in Vantorel.exe README.TXT; do
        if ! cmp -s "$work/a/$file" "$work/b/$file"; then
            same=no
            cmp -l "$work/a/$file" "$work/b/$file" | head -5 | sed "s/^/$file: /" >&2 || true
        fi
    done
    [ "$same" = no ] || echo "the files are the same; the zip's dates, modes or order differ" >&2
    echo "the release differs between two build trees of the same sources" >&2
    exit 1
fi
cmp "$(dirname "$zip")/SHA256SUMS" "$(dirname "$twin")/SHA256SUMS"

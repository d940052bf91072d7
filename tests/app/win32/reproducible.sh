#!/usr/bin/env bash
# The executable is the same, byte for byte, when the same source is built again elsewhere: a
# copy of the source in another folder, built in yet another, gives the very bytes of EXE.
#   reproducible.sh SOURCE-DIR EXE BUILD-TYPE
# Only the program's own target is built, so that the test stays short.
set -euo pipefail

source_dir=$1 exe=$2 build_type=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvoset-again.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Built from nothing: a compiler cache would hand back the first build's objects.
unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER
export CCACHE_DISABLE=1

mkdir "$work/elsewhere"
tar -C "$source_dir" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$work/elsewhere" -xf -
cmake -S "$work/elsewhere" -B "$work/build" -G "${CMAKE_GENERATOR:-Unix Makefiles}" \
    -DCMAKE_TOOLCHAIN_FILE="$work/elsewhere/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE="$build_type" -DZELVOSET_TESTS=OFF >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" --target Zelvoset -j2 >"$work/build.log" 2>&1 ||
    { tail -n 30 "$work/build.log"; exit 1; }

again=$work/build/src/app/win32/Zelvoset.exe
if cmp -s "$exe" "$again"; then
    echo "the same $(stat -c %s "$exe") bytes when built again elsewhere"
    exit 0
fi
echo "FAIL: built again elsewhere, the executable differs:"
cmp -l "$exe" "$again" | head -n 10
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
diff <("$objdump" -p "$exe" | head -n 40) <("$objdump" -p "$again" | head -n 40) || true
exit 1

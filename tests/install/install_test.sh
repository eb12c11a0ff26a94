#!/usr/bin/env bash
# Installs a built tree into a scratch prefix and checks what a user of the library gets:
# the files are where they belong and refer to nothing in the source or build tree, the
# public headers compile on their own, and the README's library example builds and runs
# twice: once through find_package(tarndb CONFIG) (with the compiler's default standard:
# the target brings C++20) and once through pkg-config.
#   install_test.sh --build DIR --source DIR --work DIR --cmake CMAKE --generator GEN
#                   --cxx CXX --shared 0|1
set -euo pipefail

while [ $# -gt 0 ]; do
    case "$1" in
        --build) build="$2" ;;
        --source) src="$2" ;;
        --work) work="$2" ;;
        --cmake) cmake="$2" ;;
        --generator) generator="$2" ;;
        --cxx) cxx="$2" ;;
        --shared) shared="$2" ;;
        *) echo "install_test.sh: unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done

fail() {
    echo "INSTALL TEST FAILED: $*" >&2
    exit 1
}
step() { echo "-- $*"; }

if [ ! -d "$src/include/tarndb" ]; then
    echo "skipped: $src/include/tarndb does not exist, so no public headers are installed"
    exit 77
fi

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"

step "cmake --install $build --prefix $prefix"
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }

# Where GNUInstallDirs put the library for this build (lib, lib64 or lib/<multiarch>).
libdir=""
for d in "$prefix"/lib "$prefix"/lib64 "$prefix"/lib/*-linux-gnu*; do
    if [ -e "$d/cmake/tarndb/tarndbConfig.cmake" ]; then libdir="$d"; break; fi
done
[ -n "$libdir" ] || fail "no lib*/cmake/tarndb/tarndbConfig.cmake under $prefix"

step "installed files"
need() { [ -e "$prefix/$1" ] || fail "$1 is not installed"; }
rel_libdir="${libdir#"$prefix"/}"
need "$rel_libdir/cmake/tarndb/tarndbConfigVersion.cmake"
need "$rel_libdir/cmake/tarndb/tarndbTargets.cmake"
need "$rel_libdir/pkgconfig/tarndb.pc"
if [ "$shared" = 1 ]; then
    need "$rel_libdir/libtarndb.so"
    ls "$libdir"/libtarndb.so.0 >/dev/null 2>&1 || fail "libtarndb.so.0 (SOVERSION) is not installed"
    [ -n "$(ls "$libdir"/libtarndb.so.0.* 2>/dev/null)" ] || fail "libtarndb.so.0.x.y (VERSION) is not installed"
else
    need "$rel_libdir/libtarndb.a"
fi
[ -z "$(ls "$libdir" | grep -E '^lib(platform|dataproc)')" ] ||
    fail "internal layer libraries are installed: $(ls "$libdir")"
need include/tarndb/creator.h
need include/tarndb/table.h
for d in "$prefix"/include/*; do
    [ "$(basename "$d")" = tarndb ] || fail "only include/tarndb belongs to the installed headers, not $d"
done
need bin/tarndb
# A shared build's programs find the library through a RUNPATH relative to themselves, except
# in a build for /usr: its libdir is a system directory, where a RUNPATH does not belong (the
# dynamic linker looks there anyway; here, in the scratch prefix, LD_LIBRARY_PATH stands in).
tool_env=()
if [ "$shared" = 1 ]; then
    configured_prefix="$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")"
    tool_runpath="$(readelf -d "$prefix/bin/tarndb" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')"
    if [ "$configured_prefix" = /usr ]; then
        [ -z "$tool_runpath" ] || fail "a build for /usr gives the tool a RUNPATH: $tool_runpath"
        tool_env=(env "LD_LIBRARY_PATH=$libdir")
    else
        case "$tool_runpath" in
            # shellcheck disable=SC2016  # a literal $ORIGIN
            '$ORIGIN/'*) ;;
            *) fail "the tool's RUNPATH is '$tool_runpath', not one relative to \$ORIGIN" ;;
        esac
    fi
fi
"${tool_env[@]}" "$prefix/bin/tarndb" --help >"$work/tool-help.txt" 2>&1 ||
    fail "the installed tarndb --help failed: $(cat "$work/tool-help.txt")"
grep -q . "$work/tool-help.txt" || fail "the installed tarndb --help printed nothing"
need share/man/man1/tarndb.1.gz
need share/doc/tarndb/tarndb-cli.md
need share/doc/tarndb/file-format.md
man_title="$(gzip -dc "$prefix/share/man/man1/tarndb.1.gz" | sed -n 1p)"
printf '%s\n' "$man_title" | grep -qF "\"tarndb $(
    sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' "$libdir/cmake/tarndb/tarndbConfigVersion.cmake")\"" ||
    fail "the tarndb man page's title names no version: $man_title"
if [ -e "$build/app/filever" ]; then
    need bin/filever
    need share/applications/filever.desktop
    need share/icons/hicolor/scalable/apps/filever.svg
    need share/man/man1/filever.1.gz
fi
# A plain install takes no Debian package files: they belong to the packages cpack makes.
[ -z "$(find "$prefix/share/doc" -name copyright -o -name 'changelog.Debian*')" ] ||
    fail "a plain install put Debian package files under share/doc"
# Programs find the library through their RUNPATH outside the system directories; the
# library itself needs none.
if [ "$shared" = 1 ]; then
    if readelf -d "$libdir"/libtarndb.so.0 | grep -qE '\((RUNPATH|RPATH)\)'; then
        fail "libtarndb.so.0 has a RUNPATH: $(readelf -d "$libdir"/libtarndb.so.0 | grep -E 'RUNPATH|RPATH')"
    fi
fi
# The installed package and pkg-config file must not point back into the trees it was
# built from, or a consumer would quietly compile against the sources.
# (The scratch prefix itself may sit inside the build tree: its own path is allowed.)
for f in "$libdir"/cmake/tarndb/*.cmake "$libdir/pkgconfig/tarndb.pc"; do
    if sed "s|$prefix||g" "$f" | grep -qF -e "$src" -e "$build"; then
        fail "$f refers to the source or build tree"
    fi
done

step "every public header compiles against the installed tree alone"
headers_tu="$work/all_headers.cpp"
(cd "$prefix/include" && find tarndb -name '*.h' | sort | sed 's/.*/#include <&>/') >"$headers_tu"
"$cxx" -std=c++20 -fsyntax-only -I"$prefix/include" "$headers_tu" ||
    fail "the installed headers do not compile on their own (an engine-internal header missing?)"

expected="3 Alan
Grace 86"
run_example() {  # run_example <name> <program>
    local rundir="$work/run-$1"
    mkdir -p "$rundir"
    local out
    out="$(cd "$rundir" && "$2")" || fail "$1: the example program failed"
    [ "$out" = "$expected" ] || fail "$1: the example printed
$out
instead of
$expected"
    echo "$1: ok"
}

# The consumer's sources are copied out of the tree, so no include can resolve next to them.
cp "$src/tests/install/consumer/main.cpp" "$src/tests/install/consumer/CMakeLists.txt" "$work/"
mkdir -p "$work/consumer-src"
mv "$work/main.cpp" "$work/CMakeLists.txt" "$work/consumer-src/"

step "consumer through find_package(tarndb CONFIG)"
# Like the README's snippet, the consumer names no C++ standard: with the compiler's default
# (C++17 for GCC 12) it builds only because tarndb::tarndb requires C++20 itself.
if grep -vE '^[[:space:]]*#' "$work/consumer-src/CMakeLists.txt" |
    grep -qE 'CMAKE_CXX_STANDARD|cxx_std_|-std='; then
    fail "the CMake consumer sets a C++ standard of its own, so it cannot show that tarndb::tarndb brings one"
fi
"$cmake" -S "$work/consumer-src" -B "$work/cmake-consumer" -G "$generator" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/cmake-consumer.log" 2>&1 ||
    { cat "$work/cmake-consumer.log" >&2; fail "configuring the CMake consumer failed"; }
found_dir="$(grep '^tarndb_DIR:' "$work/cmake-consumer/CMakeCache.txt" | cut -d= -f2-)"
[ "$found_dir" = "$libdir/cmake/tarndb" ] ||
    fail "find_package found tarndb in $found_dir, not in the scratch prefix"
"$cmake" --build "$work/cmake-consumer" >"$work/cmake-consumer-build.log" 2>&1 ||
    { cat "$work/cmake-consumer-build.log" >&2; fail "building the CMake consumer failed"; }
run_example cmake "$work/cmake-consumer/consumer"

step "consumer through pkg-config"
export PKG_CONFIG_PATH="$libdir/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
pkg-config --exists --print-errors tarndb || fail "pkg-config does not find tarndb.pc"
[ "$(pkg-config --modversion tarndb)" = "$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' \
    "$libdir/cmake/tarndb/tarndbConfigVersion.cmake")" ] ||
    fail "tarndb.pc and the CMake package disagree on the version"
cflags="$(pkg-config --cflags tarndb)"
include_ok=0
for flag in $cflags; do
    case "$flag" in
        -I*) [ "$(realpath -m "${flag#-I}")" = "$(realpath -m "$prefix/include")" ] && include_ok=1 ;;
    esac
done
[ "$include_ok" = 1 ] ||
    fail "pkg-config --cflags tarndb gives '$cflags', not the scratch prefix's include directory"
# A static library brings its own dependencies only with --static (Libs.private and
# Requires.private); the shared one carries them itself.
static_flag=--static
[ "$shared" = 1 ] && static_flag=""
libs="$(pkg-config --libs $static_flag tarndb)"
echo "pkg-config --cflags --libs $static_flag tarndb: $cflags $libs"
# shellcheck disable=SC2086  # the flags are words
"$cxx" -std=c++20 -o "$work/pc-consumer" "$work/consumer-src/main.cpp" $cflags $libs \
    >"$work/pc-consumer.log" 2>&1 ||
    { cat "$work/pc-consumer.log" >&2; fail "building the pkg-config consumer failed"; }
if [ "$shared" = 1 ]; then export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"; fi
run_example pkg-config "$work/pc-consumer"

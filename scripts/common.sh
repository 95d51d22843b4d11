# Sourced by the scripts that build and run the program: the repository, the build folder, the
# shared Wine template, and the shipped (win32) tree.
root=$(cd "$(dirname "${BASH_SOURCE[1]}")/.." && pwd)
build=${KVX_BUILD:-$root/build}
export KVX_WINE_TEMPLATE=${KVX_WINE_TEMPLATE:-$build/wine-template}

# Installs what is missing, then builds the given targets of the win32 tree.
kvx_build_win32() {
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$build/win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-win32.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  ninja -C "$build/win32" "$@" >/dev/null
}

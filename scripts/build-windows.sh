#!/usr/bin/env bash
# Cross-builds QuillonV2.exe and Quillon.exe for 64-bit Windows with mingw-w64
# and the prebuilt Qt in ../shared/toolchains/, and packs each program in a
# folder of its own with everything it needs to run from an unpacked zip.
#
#   scripts/build-windows.sh            the zip (and the installer when makensis is there)
#   scripts/build-windows.sh --tests    also the test programs, in build-windows/tests-build
#
# The build goes to stderr; the last line on stdout is the zip's path.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
toolchains=${QUILLON_TOOLCHAINS:-$root/../shared/toolchains}
qt=/opt/qt6.4.2-mingw64
out=$root/build-windows
version=2.3.59
with_tests=0
for arg in "$@"; do
    case $arg in
    --tests) with_tests=1 ;;
    *)
        echo "unknown option: $arg" >&2
        exit 2
        ;;
    esac
done

exec 3>&1 1>&2

"$root/scripts/install-packages.sh" g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
    qt6-base-dev-tools qt6-translations-l10n cmake ninja-build ccache zip nsis
# Qt's own texts in Portuguese: Debian's catalogue is for the same Qt 6.4.2 as the
# cross-built one, and a program finds it beside itself.
catalogue=/usr/share/qt6/translations/qtbase_pt_BR.qm

if [[ ! -f $qt/lib/cmake/Qt6/qt.toolchain.cmake ]]; then
    tar -C "$(dirname "$qt")" -xf "$toolchains/qt6.4.2-mingw64.tar.xz"
fi

export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
cross=(-G Ninja
    -DCMAKE_TOOLCHAIN_FILE=$qt/lib/cmake/Qt6/qt.toolchain.cmake
    "-DQT_CHAINLOAD_TOOLCHAIN_FILE=$toolchains/qt6-mingw64.toolchain.cmake"
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQUILLON_WERROR=ON -DQUILLON_BENCH=OFF)

cmake -S "$root" -B "$out/release" "${cross[@]}" -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF
cmake --build "$out/release" --parallel 2 --target QuillonV2 Quillon
programs=(QuillonV2 Quillon)
# The command-line uploader goes beside the full edition when the tree has it.
extra=()
if cmake --build "$out/release" --target help | grep -q '^quillon-upload:'; then
    cmake --build "$out/release" --parallel 2 --target quillon-upload
    extra=(quillon-upload)
fi

if ((with_tests)); then
    # Unoptimised: the tests only need to run, and -O0 builds much faster.
    cmake -S "$root" -B "$out/tests-build" "${cross[@]}" -DCMAKE_BUILD_TYPE=Debug \
        "-DCMAKE_CXX_FLAGS_DEBUG=-O0 -g0" -DQUILLON_TESTS=ON
    cmake --build "$out/tests-build" --parallel 2
    cp "$catalogue" "$out/tests-build/tests/"
fi

runtime_dirs=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)

# Copies one DLL and, in turn, every DLL it imports that comes from Qt or the
# mingw runtime; what Windows itself provides is left out.
copy_with_imports() {
    local file=$1 folder=$2 name dir
    for name in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
        [[ -f $folder/$name ]] && continue
        for dir in "${runtime_dirs[@]}"; do
            if [[ -f $dir/$name ]]; then
                cp "$dir/$name" "$folder/"
                copy_with_imports "$dir/$name" "$folder"
                break
            fi
        done
    done
}

stage=$out/stage
rm -rf "$stage"
for program in "${programs[@]}"; do
    folder=$stage/$program
    mkdir -p "$folder/platforms" "$folder/styles"
    cp "$out/release/$program/$program.exe" "$folder/"
    if [[ $program == QuillonV2 ]]; then
        for e in "${extra[@]}"; do
            cp "$(find "$out/release" -name "$e.exe" | head -1)" "$folder/"
        done
    fi
    cp "$root/packaging/Quillon.hlp" "$root/packaging/OKTrans.wav" "$root/packaging/ErrTrans.wav" \
        "$catalogue" "$folder/"
    cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
    cp "$qt/plugins/styles/"*.dll "$folder/styles/"
    for f in "$folder"/*.exe "$folder"/platforms/*.dll "$folder"/styles/*.dll; do
        copy_with_imports "$f" "$folder"
    done
    # The toolchain keeps its symbols; a technician's download need not.
    find "$folder" -name '*.dll' -o -name '*.exe' | xargs x86_64-w64-mingw32-strip --strip-unneeded
done

zip=$out/Quillon-$version-win64.zip
rm -f "$zip"
(cd "$stage" && zip -qr "$zip" "${programs[@]}")

if command -v makensis >/dev/null; then
    makensis -V2 -DVERSION=$version -DSTAGE="$stage" -DOUTFILE="$out/Quillon-$version-setup.exe" \
        "$root/packaging/windows/quillon.nsi"
fi

echo "$zip" >&3

# Sourced by scripts/test-windows.sh and scripts/test-windows-serial.sh: how a
# check reports, and the Windows side of the paths they pass to Wine.
qt=/opt/qt6.4.2-mingw64
failed=0
note() { printf '%s\n' "$*"; }
fail() {
    note "FAIL: $*"
    failed=1
}
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# A cross-built test program finds its DLLs through WINEPATH instead of copies
# beside it: the Qt build and the MinGW runtime.
test_dll_path() {
    printf '%s;%s;%s' "$(winpath "$qt/bin")" "$(winpath /usr/lib/gcc/x86_64-w64-mingw32/12-posix)" \
        "$(winpath /usr/x86_64-w64-mingw32/lib)"
}

#!/usr/bin/env bash
# The Windows build under Wine: cross-builds the programs and the test programs
# that need no serial line (scripts/build-windows.sh --tests), runs those tests,
# then starts QuillonV2.exe from the unpacked zip on a virtual display: its
# window, the About box's look-up of the system-information tool with and
# without the registry entries, and the settings it writes beside itself on
# Sair; quillon-upload.exe in a console; then scripts/test-windows-serial.sh
# (the COM ports with peers on them) and the installer. Screenshots go to
# build-windows/wine-check/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-windows
check=$out/wine-check
. "$root/scripts/windows-checks.sh"
wine=/usr/lib/wine/wine64

"$root/scripts/install-packages.sh" wine64 xvfb xdotool imagemagick unzip socat

zip=$("$root/scripts/build-windows.sh" --tests | tail -1)

rm -rf "$check"
mkdir -p "$check"
export WINEPREFIX=$check/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
cleanup() {
    "${wine%64}server64" -k 2>/dev/null || wineserver -k 2>/dev/null || true
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# A display of our own: Wine needs one even for offscreen Qt.
for n in $(seq 90 140); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$check/xvfb.log" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    break
done
for _ in $(seq 50); do
    xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.2
done

"$wine" wineboot -i >"$check/wineboot.log" 2>&1
wineserver -w 2>/dev/null || true

# --- the test programs ---------------------------------------------------
# Wine passes no QT_* variable from the Linux environment, so the offscreen
# platform and its font folder (Qt ships no fonts) are set in Wine's own
# environment, for the tests only.
environment='HKCU\Environment'
"$wine" reg add "$environment" /v QT_QPA_PLATFORM /t REG_SZ /d offscreen /f >/dev/null 2>&1
"$wine" reg add "$environment" /v QT_QPA_FONTDIR /t REG_SZ /d "$(winpath /usr/share/fonts/truetype/dejavu)" /f >/dev/null 2>&1
export WINEPATH="$(test_dll_path)"
for test in "$out"/tests-build/tests/tst_*.exe; do
    name=$(basename "$test" .exe)
    # Qt Test writes to the debugger, not to a redirected stdout, on Windows.
    if timeout 300 "$wine" "$test" -o "$(winpath "$check/$name.txt"),txt" >/dev/null 2>&1; then
        note "PASS: $name"
    else
        fail "$name (see $check/$name.txt)"
        grep -v '^PASS' "$check/$name.txt" 2>/dev/null | tail -20 || true
    fi
done
unset WINEPATH
"$wine" reg delete "$environment" /v QT_QPA_PLATFORM /f >/dev/null 2>&1
"$wine" reg delete "$environment" /v QT_QPA_FONTDIR /f >/dev/null 2>&1

# --- the program from the zip --------------------------------------------
unzip -q "$zip" -d "$check/unpacked"

# The version record Explorer shows.
for record in QuillonV2:2.03.0059 Quillon:2.01.0018; do
    program=${record%%:*}
    if strings -el "$check/unpacked/$program/$program.exe" | grep -A1 -x FileVersion | grep -qx "${record#*:}"; then
        note "PASS: $program.exe carries file version ${record#*:}"
    else
        fail "$program.exe does not carry file version ${record#*:}"
    fi
done
program_dir=$check/unpacked/QuillonV2
main_title="Quillon - Xmodem / Terminal para PXC"

start_program() {
    # A start while the last program's wineserver is shutting down can hang in
    # Wine itself: let it finish first.
    timeout 30 wineserver -w 2>/dev/null || true
    (cd "$program_dir" && exec "$wine" QuillonV2.exe >>"$check/QuillonV2.log" 2>&1) &
    program_pid=$!
    main_window=$(timeout 60 xdotool search --sync --limit 1 --name "^$main_title\$" 2>/dev/null || true)
    [[ -n $main_window ]]
}
keys() {
    xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
    shift
    xdotool key --delay 200 "$@"
}
wait_window() { # title pattern, seconds
    local end=$((SECONDS + $2))
    while ((SECONDS < end)); do
        xdotool search --limit 1 --name "$1" 2>/dev/null && return 0
        sleep 0.5
    done
    return 1
}
gone() { # window, seconds
    local end=$((SECONDS + $2))
    while ((SECONDS < end)); do
        xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
        sleep 0.5
    done
    return 1
}
stop_program() {
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
}

registry_tool='HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO'
"$wine" reg delete "$registry_tool" /f >/dev/null 2>&1 || true

# Serial ports stay out of this part: this Wine (Debian 12's) never hands a
# read byte to QSerialPort; scripts/test-windows-serial.sh runs those checks
# under a newer one. A fresh program folder has no settings file, so the
# start-up probe does not run.

if ! start_program; then
    fail "QuillonV2.exe showed no window"
else
    import -window root "$check/window.png"
    note "PASS: QuillonV2.exe shows its window ($check/window.png)"

    # Without the registry entries the About box says the tool is unavailable.
    keys "$main_window" alt+d s
    about=$(wait_window "^Sobre" 20 || true)
    if [[ -z $about ]]; then
        fail "the About box did not open"
    else
        keys "$about" alt+i
        message=$(wait_window '^Quillon$' 20 || true)
        import -window root "$check/sysinfo-unavailable.png"
        if [[ -n $message ]]; then
            note "PASS: without the registry entries the About box says the tool is unavailable"
            keys "$message" Return
        else
            fail "no message without the registry entries ($check/sysinfo-unavailable.png)"
        fi
        keys "$about" Escape
        gone "$about" 10 || fail "the About box stayed open after Esc"
    fi

    # Sair writes the eight settings lines beside the program.
    rm -f "$program_dir/Quillon.ini"
    keys "$main_window" alt+a
    sleep 1
    import -window root "$check/menu-arquivo.png"
    keys "$main_window" s
    for _ in $(seq 40); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.5
    done
    if kill -0 "$program_pid" 2>/dev/null; then
        fail "Sair did not end the program"
        stop_program
    fi
    lines=$(grep -c $'\r$' "$program_dir/Quillon.ini" 2>/dev/null || echo 0)
    if [[ $lines -ge 8 ]] && head -1 "$program_dir/Quillon.ini" | grep -q $'^1\r$'; then
        note "PASS: Sair wrote Quillon.ini beside QuillonV2.exe ($lines lines)"
    else
        fail "Quillon.ini beside QuillonV2.exe: $lines lines"
    fi
fi

# With the registry entry the About box starts the tool and does not wait for it.
# Without a settings file again, so that no port is probed.
rm -f "$program_dir/Quillon.ini"
"$wine" reg add "$registry_tool" /v PATH /t REG_SZ /d 'C:\windows\notepad.exe' /f >/dev/null 2>&1
if start_program; then
    keys "$main_window" alt+d s
    about=$(wait_window "^Sobre" 20 || true)
    if [[ -n $about ]]; then
        keys "$about" alt+i
        if wait_window "Notepad|Bloco de notas" 30 >/dev/null; then
            note "PASS: the About box started the tool named in the registry"
        else
            fail "the tool named in the registry was not started"
        fi
        import -window root "$check/sysinfo-started.png"
    else
        fail "the About box did not open"
    fi
    stop_program
else
    fail "QuillonV2.exe showed no window the second time"
fi
"$wine" reg delete "$registry_tool" /f >/dev/null 2>&1 || true

# --- the command-line uploader -------------------------------------------
# A COM number reaches a pseudo-terminal through Wine's own port table (a link
# in dosdevices is not enough: Wine looks at /dev/ttyS* first). Under this Wine
# writing works and reading does not, so this stops in the start handshake.
uploader=$program_dir/quillon-upload.exe
line=$check/line
socat "pty,raw,echo=0,link=$line-a" "pty,raw,echo=0,link=$line-b" 2>/dev/null &
socat_pid=$!
for _ in $(seq 50); do
    [[ -e $line-a && -e $line-b ]] && break
    sleep 0.1
done
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$(readlink -f "$line-a")" /f >/dev/null 2>&1
# The port table is read when Wine's devices start: a fresh wineserver (this
# also ends the tool the About box left running).
"${wine%64}server64" -k 2>/dev/null || wineserver -k 2>/dev/null || true
sleep 1
cat "$line-b" >"$check/wire.bin" &
wire_pid=$!
head -c 5000 /dev/urandom >"$check/prog.Epr"
# Through a console (script gives Wine a terminal), as a technician runs it.
script -qefc "'$wine' '$uploader' --port 5 '$(winpath "$check/prog.Epr")'" "$check/cli-console.log" \
    </dev/null >/dev/null 2>&1 &
script_pid=$!
for _ in $(seq 100); do
    grep -q 'PRESSIONE B1' "$check/cli-console.log" 2>/dev/null && break
    sleep 0.2
done
sleep 1.5 # at least one more pass of the handshake on the wire
# Ctrl+C in the console: Wine hands the program SIGINT as CTRL_C_EVENT.
for pid in $(pgrep -f 'quillon-upload.exe'); do
    case $(cat "/proc/$pid/comm" 2>/dev/null) in
    script | sh) ;; # the console around it
    *) kill -INT "$pid" 2>/dev/null || true ;;
    esac
done
cli_status=0
wait "$script_pid" || cli_status=$?
kill "$wire_pid" "$socat_pid" 2>/dev/null || true
if grep -q 'INICIALIZAÇÃO: PRESSIONE B1 e B2' "$check/cli-console.log"; then
    note "PASS: quillon-upload.exe writes its Portuguese text to the console intact"
else
    fail "quillon-upload.exe's console text is not intact: $(tr -d '\0' <"$check/cli-console.log" | head -c 300)"
fi
if grep -q 'INTERROMPIDO' "$check/cli-console.log" && ((cli_status == 130)); then
    note "PASS: Ctrl+C stops quillon-upload.exe with exit status 130"
else
    fail "Ctrl+C: exit status $cli_status, console: $(tr -d '\0' <"$check/cli-console.log" | tail -c 300)"
fi
if grep -q '41' "$check/wire.bin"; then
    note "PASS: quillon-upload.exe wrote the start commands to COM5 (a pty through Wine's port table)"
else
    fail "nothing reached COM5: $(od -c "$check/wire.bin" | head -3)"
fi
"$wine" reg delete 'HKLM\Software\Wine\Ports' /v COM5 /f >/dev/null 2>&1 || true

# --- serial lines, under Debian 13's Wine --------------------------------
"$root/scripts/test-windows-serial.sh" "$program_dir" "$check/serial" || failed=1

# --- the installer -------------------------------------------------------
# makensis makes a 32-bit installer; Wine runs it only with its 32-bit half
# (dpkg --add-architecture i386; apt-get install wine32:i386), which CI leaves
# out for the time it takes to install.
setup=$out/Quillon-2.3.59-setup.exe
programs=$WINEPREFIX/drive_c/Program\ Files/Quillon
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon'
# Asked of Wine itself: the registry files on disk are written only now and then.
registered() { "$wine" reg query "$uninstall_key" /v DisplayName >/dev/null 2>&1; }
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Quillon
if [[ ! -f $setup ]]; then
    note "SKIP: no installer (makensis missing)"
elif [[ ! -x /usr/lib/wine/wine ]]; then
    note "SKIP: the installer needs the 32-bit Wine (apt-get install wine32:i386)"
else
    /usr/lib/wine/wine "$setup" /S >"$check/setup.log" 2>&1 || fail "the installer exited with $?"
    # The first 32-bit program in a fresh prefix may return before its work is done.
    for _ in $(seq 150); do
        [[ -f $menu/Quillon.lnk ]] && break
        sleep 0.2
    done
    if [[ -f $programs/QuillonV2/QuillonV2.exe && -f $programs/Quillon/Quillon.exe &&
        -f $programs/QuillonV2/platforms/qwindows.dll && -f $menu/QuillonV2.lnk &&
        -f $menu/Quillon.lnk ]] && registered; then
        note "PASS: the installer put both programs under Program Files, in the Start menu and in Add/Remove Programs"
    else
        fail "the installer left something out: $(find "$programs" "$menu" -maxdepth 2 2>&1 | head -20)"
    fi
    /usr/lib/wine/wine "$programs/Uninstall.exe" /S >>"$check/setup.log" 2>&1 || true
    # The uninstaller runs a copy of itself from the temporary folder and returns at once.
    for _ in $(seq 50); do
        [[ ! -e $programs ]] && break
        sleep 0.2
    done
    if [[ ! -e $programs && ! -e $menu ]] && ! registered; then
        note "PASS: the uninstaller removed the programs, the Start-menu entries and its registry key"
    else
        fail "the uninstaller left the programs, the menu entries or its key behind"
    fi
fi

exit $failed

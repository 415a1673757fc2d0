#!/usr/bin/env bash
# The Windows build on COM ports under Wine, each port a pseudo-terminal with a
# peer on its far end:
#   COM1  the simulator with a modem in front
#   COM2  the simulated controller
#   COM3  the gate and `rx -c` (lrzsz)
#   COM4  the simulated loader, on a line paced at the program's speed
# quillon-upload.exe from the unpacked zip sends a program to the loader and
# to rx; tst_com_ports.exe drives the main window's start-up probe, terminal
# (direct and dialled through the modem), MODBUS window and upload against
# them; QuillonV2.exe from the zip probes COM1 as it starts (its port list is
# in probe.png).
#
# Debian 12's Wine never hands a read byte to QSerialPort, so this runs under
# Debian 13's (scripts/debian13-wine.sh), with modem lines lent to the ptys
# (tests/windows/pty_modem_lines.c). Needs root and a DISPLAY, which
# scripts/test-windows.sh gives it.
#   scripts/test-windows-serial.sh PROGRAM_DIR CHECK_DIR
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
program_dir=$(cd "$1" && pwd)
mkdir -p "$2"
check=$(cd "$2" && pwd)
out=$root/build-windows
. "$root/scripts/windows-checks.sh"

if (($(id -u) != 0)); then
    note "SKIP: the serial checks under Wine need root (a Debian 13 root with its Wine)"
    exit 0
fi
if ! unshare --mount --propagation private true 2>/dev/null; then
    note "SKIP: the serial checks under Wine need mount namespaces, which this machine refuses"
    exit 0
fi
if ! "$root/scripts/debian13-wine.sh" "$out/wine-root"; then
    note "FAIL: Debian 13's Wine could not be set up (see $out/wine-root.log)"
    exit 1
fi
"$root/scripts/install-packages.sh" socat lrzsz gcc

rm -rf "$check"
mkdir -p "$check/ports"
gcc -shared -fPIC -O2 -o "$check/pty_modem_lines.so" "$root/tests/windows/pty_modem_lines.c" -ldl

# The peers are Linux programs of this tree: the checking build's when there is one.
peers=$root/build
if [[ ! -f $peers/CMakeCache.txt ]]; then
    "$root/scripts/install-deps.sh"
    peers=$out/linux-peers
    cmake -S "$root" -B "$peers" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$peers" --parallel 2 --target quillon-sim quillon-rx-gate >/dev/null
sim=$peers/sim/quillon-sim
gate=$peers/tests/support/quillon-rx-gate

export WINEPREFIX=$check/prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
seen=()
for dir in "$qt" /usr/lib/gcc/x86_64-w64-mingw32 /usr/x86_64-w64-mingw32 \
    /usr/share/fonts/truetype/dejavu; do
    [[ -d $dir ]] && seen+=(--see "$dir")
done
in_root() { "$root/scripts/debian13-wine.sh" "$out/wine-root" "${seen[@]}" "$@"; }
# wine SECONDS ARGS...: Wine in the Debian 13 root, stopped after SECONDS.
wine() {
    local limit=$1
    shift
    in_root env LD_PRELOAD="$check/pty_modem_lines.so" timeout "$limit" /usr/lib/wine/wine64 "$@"
}
wineserver() { in_root /usr/lib/wine/wineserver "$@"; }

peer_pids=()
cleanup() {
    wineserver -k 2>/dev/null || true
    ((${#peer_pids[@]})) && kill "${peer_pids[@]}" 2>/dev/null || true
}
trap cleanup EXIT

# The loader runs on a paced line, so the upload's start handshake must get its settings
# and line times right under Wine too; elsewhere speed is not the point, and bytes cross
# at once.
"$sim" --ports "$check/ports" --com 1 --no-pacing --modem --log "$check/modem-line.log" \
    >"$check/sim-modem.log" 2>&1 &
peer_pids+=($!)
"$sim" --ports "$check/ports" --com 2 --no-pacing >"$check/sim-controller.log" 2>&1 &
peer_pids+=($!)
"$sim" --ports "$check/ports" --com 4 --role loader --save "$check/loader.Epr" \
    --log "$check/loader-line.log" >"$check/sim-loader.log" 2>&1 &
peer_pids+=($!)
socat "pty,raw,echo=0,link=$check/ports/COM3" "pty,raw,echo=0,link=$check/gate-line" 2>/dev/null &
peer_pids+=($!)
for _ in $(seq 100); do
    [[ -e $check/ports/COM1 && -e $check/ports/COM2 && -e $check/ports/COM3 &&
        -e $check/ports/COM4 && -e $check/gate-line ]] && break
    sleep 0.1
done

wine 120 wineboot -i >"$check/wineboot.log" 2>&1 || true
for n in 1 2 3 4; do
    wine 60 reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$(readlink -f "$check/ports/COM$n")" \
        /f >>"$check/wineboot.log" 2>&1 || fail "Wine's port table took no COM$n"
done
# Wine reads its port table when its devices start: a fresh wineserver.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

head -c 20000 /dev/urandom >"$check/prog.Epr"
same_program() { # what a receiver wrote: the program, padded to whole blocks
    [[ -f $1 ]] && cmp -s -n 20000 "$check/prog.Epr" "$1" && (($(stat -c %s "$1") == 20096))
}

# --- quillon-upload.exe ---------------------------------------------------
uploader=$program_dir/quillon-upload.exe
if wine 120 "$uploader" --port 4 "$(winpath "$check/prog.Epr")" \
    >"$check/upload-loader.log" 2>&1; then
    for _ in $(seq 50); do
        [[ -f $check/loader.Epr ]] && break
        sleep 0.1
    done
fi
if same_program "$check/loader.Epr"; then
    note "PASS: quillon-upload.exe sent a program through COM4 to the simulated loader"
else
    fail "quillon-upload.exe to the loader on COM4: $(tail -c 300 "$check/upload-loader.log") / line: $(tail -n 5 "$check/loader-line.log" 2>/dev/null)"
fi
# The Windows port waits for its bytes to leave the wire before SetCommState and
# CloseHandle: seen from the line, no setting change cut a byte short.
if cut=$(python3 "$root/tests/support/wire_log_check.py" "$check/loader-line.log"); then
    note "PASS: on COM4 no setting change or close came before the bytes had left the wire (${cut##*: })"
else
    fail "on COM4 the line settings changed under bytes still on the wire: $cut"
fi

"$gate" "$check/gate-line" "$check/rx-cli" 120 >"$check/gate-cli.log" 2>&1 &
gate_pid=$!
wine 120 "$uploader" --port 3 "$(winpath "$check/prog.Epr")" \
    >"$check/upload-rx.log" 2>&1 || true
gate_status=0
wait "$gate_pid" || gate_status=$?
if ((gate_status == 0)) && same_program "$check/rx-cli/prog.Epr"; then
    note "PASS: quillon-upload.exe sent a program through COM3 to rx -c"
else
    fail "quillon-upload.exe to rx on COM3 (gate $gate_status): $(tail -c 300 "$check/upload-rx.log") / $(tail -c 300 "$check/gate-cli.log")"
fi

# --- the main window ------------------------------------------------------
"$gate" "$check/gate-line" "$check/rx-window" 240 >"$check/gate-window.log" 2>&1 &
gate_pid=$!
test_status=0
QT_QPA_PLATFORM=offscreen QT_QPA_FONTDIR="$(winpath /usr/share/fonts/truetype/dejavu)" \
    WINEPATH="$(test_dll_path)" \
    QUILLON_COM_MODEM=1 QUILLON_COM_CONTROLLER=2 QUILLON_COM_GATE=3 \
    QUILLON_UPLOAD_FILE="$(winpath "$check/prog.Epr")" \
    wine 300 "$out/tests-build/tests/tst_com_ports.exe" \
    -o "$(winpath "$check/tst_com_ports.txt"),txt" >/dev/null 2>&1 || test_status=$?
gate_status=0
wait "$gate_pid" || gate_status=$?
if ((test_status == 0)) && ! grep -q '^SKIP' "$check/tst_com_ports.txt"; then
    note "PASS: tst_com_ports (start-up probe, terminal direct and through the modem, MODBUS, upload) on COM1-COM3"
else
    fail "tst_com_ports (see $check/tst_com_ports.txt)"
    grep -v '^PASS\|^QWARN' "$check/tst_com_ports.txt" 2>/dev/null | tail -20 || true
fi
if ((gate_status == 0)) && same_program "$check/rx-window/prog.Epr"; then
    note "PASS: rx -c received intact the program the main window sent"
else
    fail "the main window's upload to rx (gate $gate_status): $(tail -c 300 "$check/gate-window.log")"
fi

# --- QuillonV2.exe from the zip ------------------------------------------
# With a settings file naming COM1, the program probes the ports as it starts.
cp -r "$program_dir" "$check/QuillonV2"
printf '1\r\n9600,n,8,1\r\n1200,n,8,1\r\n/\r\n/\r\n0\r\n\r\n\r\n\r\n' >"$check/QuillonV2/Quillon.ini"
probe_from=1
[[ -f $check/modem-line.log ]] && probe_from=$(($(wc -l <"$check/modem-line.log") + 1))
(cd "$check/QuillonV2" && wine 120 QuillonV2.exe >"$check/QuillonV2.log" 2>&1) &
program_pid=$!
main_window=$(timeout 60 xdotool search --sync --limit 1 --name '^Quillon - Xmodem / Terminal para PXC$' 2>/dev/null || true)
# The line as hex, one direction, since the program started.
line() { tail -n "+$probe_from" "$check/modem-line.log" | awk -v way="$1" '$2 == way { for (i = 3; i <= NF; i++) printf "%s", $i }'; }
probed() { line in | grep -qi '41545631' && line out | grep -qi '4f4b'; }
for _ in $(seq 50); do
    [[ -z $main_window ]] || probed && break
    sleep 0.2
done
if [[ -n $main_window ]] && probed; then
    import -window root "$check/probe.png" 2>/dev/null || true
    note "PASS: QuillonV2.exe asked COM1 \"ATV1\" as it started and the modem answered OK ($check/probe.png)"
else
    fail "QuillonV2.exe's start-up probe did not reach the modem on COM1: $(tail -c 300 "$check/QuillonV2.log")"
fi
wineserver -k 2>/dev/null || true
wait "$program_pid" 2>/dev/null || true

exit $failed

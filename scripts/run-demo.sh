#!/usr/bin/env bash
# Installs, builds and starts QuillonV2 (or, with the argument "Quillon", the
# earlier edition) on a simulated controller: the line simulator makes a
# pseudo-terminal and links it as COM1 in build/ports.
set -euo pipefail
program=${1:-QuillonV2}
case $program in
QuillonV2 | Quillon) ;;
*) echo "usage: $0 [QuillonV2|Quillon]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel 2 --target "$program" quillon-sim quillon_runtime_files

ports=$PWD/build/ports
mkdir -p "$ports"

# A sample program in the program's folder, its working folder on a first start, so
# that "Enviar" sends something at once: 20 KB, about 23 s at 9600 baud.
folder=$PWD/build/$program
sample=$folder/exemplo.Epr
[ -f "$sample" ] || python3 -c 'import random, sys; random.seed(59); sys.stdout.buffer.write(bytes(random.randrange(256) for _ in range(20480)))' > "$sample"
# Settings the user already has are theirs: only a first start gets the sample's.
if [ ! -e "$folder/Quillon.ini" ]; then
    if [ "$program" = QuillonV2 ]; then
        printf '1\r\n9600,n,8,1\r\n1200,n,8,1\r\n%s\r\n%s/\r\n0\r\n\r\n\r\n\r\n' "$sample" "$folder"
    else
        printf '1\r\n9600,n,8,1\r\n1200,n,8,1\r\n%s\r\n%s/\r\n\r\n' "$sample" "$folder"
    fi > "$folder/Quillon.ini"
fi
build/sim/quillon-sim --ports "$ports" --com 1 --log build/sim.log > build/sim.out 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$ports/COM1" ] && break; sleep 0.1; done

export QUILLON_PORTS=$ports
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Sem tela gráfica: iniciando em Xvfb (:99)." >&2
    Xvfb :99 -screen 0 1280x900x24 >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill $sim $xvfb 2>/dev/null || true' EXIT
    export DISPLAY=:99
    sleep 1
fi
build/"$program"/"$program"

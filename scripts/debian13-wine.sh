#!/usr/bin/env bash
# Wine from Debian 13 in a folder of its own, for the serial checks under Wine.
#   scripts/debian13-wine.sh ROOT              makes ROOT unless it is there
#   scripts/debian13-wine.sh ROOT [--see DIR]... COMMAND...
#                                              runs COMMAND inside ROOT
#
# Debian 12's Wine (8.0) never reports a byte read from a COM port to a program
# that waits on an I/O completion port, as QSerialPort does on Windows: its
# WaitCommEvent finishes on a thread of its own and posts no completion. Wine
# 10 waits through the server and posts one, as Windows does.
#
# COMMAND sees the host's /dev (the pseudo-terminals the peers hold), /proc,
# /tmp (the X display and the wineserver socket), the project folder and each
# DIR given with --see (the cross-built Qt and MinGW DLLs, fonts), in a mount
# namespace that ends with it: nothing stays mounted if a run is cut short.
# Needs root (debootstrap, chroot, mounts); CI has it.
set -euo pipefail

root_dir=$1
shift
project=$(cd "$(dirname "$0")/.." && pwd)

if (($# == 0)); then
    [[ -x $root_dir/usr/lib/wine/wine64 ]] && exit 0
    "$project/scripts/install-packages.sh" debootstrap
    rm -rf "$root_dir"
    mkdir -p "$root_dir"
    debootstrap --variant=minbase trixie "$root_dir" http://deb.debian.org/debian >"$root_dir.log" 2>&1 ||
        { tail -5 "$root_dir.log" >&2; exit 1; }
    # Wine draws through X even when the program is offscreen; xvfb brings the
    # client libraries it loads.
    chroot "$root_dir" sh -c 'apt-get update -q &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends wine64 xvfb' \
        >>"$root_dir.log" 2>&1 || { tail -5 "$root_dir.log" >&2; exit 1; }
    exit 0
fi

seen=("$project")
while [[ ${1:-} == --see ]]; do
    seen+=("$2")
    shift 2
done
exec unshare --mount --propagation private -- sh -c '
root=$1 dirs=$2
shift 2
# The project first: the root lies inside it, and the mounts below must not
# come along into its copy.
IFS=:
for dir in $dirs; do
    mkdir -p "$root$dir"
    mount --rbind "$dir" "$root$dir"
done
unset IFS
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
mount --rbind /tmp "$root/tmp"
cwd=$(pwd)
exec chroot "$root" sh -c "cd \"\$0\" 2>/dev/null; exec \"\$@\"" "$cwd" "$@"
' sh "$root_dir" "$(IFS=:; echo "${seen[*]}")" "$@"

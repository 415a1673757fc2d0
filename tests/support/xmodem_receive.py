#!/usr/bin/python3
"""A third receiver for the upload tests: answers the controller's start
commands like a loader (the first "1" counts as B1+B2 pressed), then receives
one XMODEM-CRC transfer with python3-xmodem into the named file. An optional
third argument is its timeout in seconds (3 unless given)."""
import os
import select
import sys
import termios
import tty

from xmodem import XMODEM


def main():
    device, target = sys.argv[1], sys.argv[2]
    timeout = float(sys.argv[3]) if len(sys.argv) > 3 else 3
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    while b"1" not in os.read(fd, 256):
        pass

    def getc(size, timeout=1):
        data = b""
        while len(data) < size:
            ready, _, _ = select.select([fd], [], [], timeout)
            if not ready:
                return data or None
            data += os.read(fd, size - len(data))
        return data

    def putc(data, timeout=1):
        return os.write(fd, data)

    # Whatever start commands are still on the line are not a block.
    termios.tcflush(fd, termios.TCIFLUSH)
    with open(target + ".part", "wb") as stream:
        received = XMODEM(getc, putc).recv(stream, crc_mode=1, retry=16, timeout=timeout, quiet=1)
    if received is None:
        os.remove(target + ".part")
        return 1
    os.rename(target + ".part", target)
    return 0


sys.exit(main())

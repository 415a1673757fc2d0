#!/usr/bin/env python3
"""Runs a command under strace and checks what reached its serial devices.

A UART changes speed at once, whatever it is still shifting out, and putting the
old settings back on close is a change like any other. So on every serial device
the traced programs open, no setting change (TCSETS*) and no close may come before
the bytes written on that descriptor have had their line time at the setting they
were written at, counted from their write (or from the end of the bytes before
them). Exits 0 when that holds for every write, 1 when it does not (each fault is
printed), 77 when strace is missing.

usage: line_trace.py [--program REGEX] [--keep FILE] -- COMMAND [ARG...]
  --program  only descriptors of processes whose executable matches (default: all)
  --keep     leave the trace in FILE
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

DEVICE = re.compile(r'^/dev/(pts/\d+|tty(S|USB|ACM)\d+)$')
LINE = re.compile(r'^(\d+)\s+(\d\d):(\d\d):(\d\d\.\d+) (.*)$')
OPEN = re.compile(r'^openat\(AT_FDCWD, "([^"]+)", [^)]*(?:\) = (\d+)|<unfinished \.\.\.>)')
EXEC = re.compile(r'^execve\("([^"]+)"')
WRITE_CALL = re.compile(r'^write\((\d+), ')
RESULT = re.compile(r'= (-?\d+)')
SETTING = re.compile(r'^ioctl\((\d+), (?:SNDCTL_TMR_START or )?(TCSETS[WF]?|TCSETS2)\b(.*)')
CLOSE = re.compile(r'^close\((\d+)')
BAUD = re.compile(r'\bB(\d+)\b')
SIZE = re.compile(r'\bCS([5-8])\b')


def bits_per_character(flags):
    size = SIZE.search(flags)
    bits = 1 + (int(size.group(1)) if size else 8) + 1
    if re.search(r'\bPARENB\b', flags):
        bits += 1
    if re.search(r'\bCSTOPB\b', flags):
        bits += 1
    return bits


class Line:
    def __init__(self, path):
        self.path = path
        self.seconds_per_char = 10 / 9600
        self.busy_until = 0.0
        self.last = 'nothing'


def check(trace, program):
    lines = {}          # (pid, fd) -> Line
    executables = {}    # pid -> path
    pending = {}        # pid -> (time, fd) of a write that strace split
    opening = {}        # pid -> path of an openat that strace split
    faults = []
    counts = {'writes': 0, 'changes': 0, 'closes': 0}

    def watched(pid):
        return program is None or re.search(program, executables.get(pid, ''))

    def reached(line, when, what):
        if when < line.busy_until:
            faults.append('%s on %s %.3f ms before the end of %s' %
                          (what, line.path, (line.busy_until - when) * 1000, line.last))

    def wrote(pid, fd, when, count):
        line = lines.get((pid, fd))
        if line is None or count <= 0:
            return
        counts['writes'] += 1
        duration = count * line.seconds_per_char
        line.busy_until = max(line.busy_until, when) + duration
        line.last = '%d byte(s) written at %.6f (%.3f ms on the wire)' % (count, when,
                                                                          duration * 1000)

    for raw in trace:
        match = LINE.match(raw.rstrip('\n'))
        if not match:
            continue
        pid = int(match.group(1))
        when = int(match.group(2)) * 3600 + int(match.group(3)) * 60 + float(match.group(4))
        call = match.group(5)
        if call.startswith('<... openat resumed>'):
            path = opening.pop(pid, None)
            result = RESULT.search(call)
            if path and result and int(result.group(1)) >= 0 and watched(pid):
                lines[(pid, int(result.group(1)))] = Line(path)
            continue
        if call.startswith('<... write resumed>'):
            started = pending.pop(pid, None)
            result = RESULT.search(call)
            if started and result:
                wrote(pid, started[1], started[0], int(result.group(1)))
            continue
        if EXEC.match(call):
            executables[pid] = EXEC.match(call).group(1)
            continue
        opened = OPEN.match(call)
        if opened:
            if not DEVICE.match(opened.group(1)):
                continue
            if opened.group(2) is None:
                opening[pid] = opened.group(1)
            elif watched(pid):
                lines[(pid, int(opened.group(2)))] = Line(opened.group(1))
            continue
        write = WRITE_CALL.match(call)
        if write:
            fd = int(write.group(1))
            if call.endswith('<unfinished ...>'):
                pending[pid] = (when, fd)
            else:
                result = RESULT.search(call.rsplit(')', 1)[-1])
                if result:
                    wrote(pid, fd, when, int(result.group(1)))
            continue
        if ' EIO ' in call:
            # The device is gone (the peer ended): nothing left on a wire to cut.
            fd = re.match(r'^\w+\((\d+)', call)
            if fd:
                lines.pop((pid, int(fd.group(1))), None)
            continue
        setting = SETTING.match(call)
        if setting:
            line = lines.get((pid, int(setting.group(1))))
            if line is None:
                continue
            counts['changes'] += 1
            reached(line, when, 'setting change')
            flags = setting.group(3)
            baud = BAUD.search(flags)
            if baud and int(baud.group(1)) > 0:
                line.seconds_per_char = bits_per_character(flags) / int(baud.group(1))
            continue
        closed = CLOSE.match(call)
        if closed:
            line = lines.pop((pid, int(closed.group(1))), None)
            if line is not None:
                counts['closes'] += 1
                reached(line, when, 'close')
    return faults, counts, sorted(set(l.path for l in lines.values()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--program')
    parser.add_argument('--keep')
    parser.add_argument('command', nargs=argparse.REMAINDER)
    options = parser.parse_args()
    command = options.command[1:] if options.command[:1] == ['--'] else options.command
    if not command:
        parser.error('no command')
    if shutil.which('strace') is None:
        print('line_trace: strace is not installed', file=sys.stderr)
        return 77
    with tempfile.TemporaryDirectory() as folder:
        out = options.keep or os.path.join(folder, 'trace')
        # The leak checker cannot work under ptrace; the same tests run without the
        # trace look for leaks.
        env = dict(os.environ)
        env['ASAN_OPTIONS'] = ':'.join(filter(None, [env.get('ASAN_OPTIONS'), 'detect_leaks=0']))
        run = subprocess.run(['strace', '-f', '-tt', '-qq', '-o', out, '-e',
                              'trace=execve,openat,write,ioctl,close'] + command, env=env)
        with open(out, encoding='utf-8', errors='replace') as trace:
            faults, counts, _ = check(trace, options.program)
    for fault in faults:
        print('line_trace: ' + fault)
    print('line_trace: %(writes)d writes, %(changes)d setting changes, %(closes)d closes '
          'on serial devices checked' % counts)
    if run.returncode != 0:
        print('line_trace: the command failed with %d' % run.returncode)
        return 1
    if counts['writes'] == 0:
        print('line_trace: nothing was written to a serial device: nothing was checked')
        return 1
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/env python3
"""Checks, from the simulator's wire log, that the program let its bytes leave the wire.

The simulator logs "<seconds> in <hex>" when bytes arrive from the program and
"<seconds> set <baud> <stop bits>" when it sees the program change the line settings
(a close puts the old ones back, so it shows too). A change that comes before the
bytes in front of it have had their line time cut the last of them short. Where the
program's own system calls cannot be traced (a program under Wine), this is how the
far end sees it. The simulator's own clock reads both events a little late, so a
change is only a fault when it comes clearly inside the line time.

usage: wire_log_check.py LOG     exit 0: none cut short; 1: some were (printed)
"""

import sys

# The simulator wakes for the setting and for the bytes separately; either may be read
# this much late under load. Cutting a byte short shows as a change well inside it.
SLACK = 0.001


def check(lines):
    seconds_per_char = None
    busy_until = 0.0
    last = ''
    faults = []
    changes = 0
    for line in lines:
        parts = line.split()
        if len(parts) < 3:
            continue
        when = float(parts[0])
        if parts[1] == 'set':
            changes += 1
            if when < busy_until - SLACK:
                faults.append('setting %s at %.6f s came %.3f ms before the end of %s' %
                              (' '.join(parts[2:]), when, (busy_until - when) * 1000, last))
            stop = 2.0 if parts[3:4] == ['2'] else 1.5 if parts[3:4] == ['1.5'] else 1.0
            seconds_per_char = (9 + stop) / int(parts[2]) if int(parts[2]) > 0 else None
        elif parts[1] == 'in' and seconds_per_char:
            count = len(parts) - 2
            busy_until = max(busy_until, when) + count * seconds_per_char
            last = '%d byte(s) in at %.6f s' % (count, when)
    return faults, changes


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    with open(sys.argv[1]) as log:
        faults, changes = check(log)
    for fault in faults:
        print('wire_log_check: ' + fault)
    print('wire_log_check: %d setting changes seen, %d cut bytes short' % (changes, len(faults)))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())

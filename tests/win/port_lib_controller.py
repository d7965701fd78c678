#!/usr/bin/env python3
"""A drawer controller on standard input/output (via socat) that answers status and open
commands, and writes the terminal's "BAUD PARITY DATABITS STOPBITS" to REPORT on the first bytes.
usage: port_lib_controller.py TERMINAL REPORT"""
import os
import sys
import termios

ESC, CR = 0x1B, 0x0D


def line_settings(path):
    fd = os.open(path, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        _, _, cflag, _, _, ospeed, _ = termios.tcgetattr(fd)
    finally:
        os.close(fd)
    speeds = {getattr(termios, n): n[1:] for n in dir(termios)
              if n.startswith("B") and n[1:].isdigit()}
    sizes = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}
    parity = "N"
    if cflag & termios.PARENB:
        parity = "O" if cflag & termios.PARODD else "E"
    stop = 2 if cflag & termios.CSTOPB else 1
    return f"{speeds.get(ospeed, '?')} {parity} {sizes[cflag & termios.CSIZE]} {stop}"


def main():
    terminal, report = sys.argv[1], sys.argv[2]
    drawers, pending, reported = 0, b"", False
    while True:
        data = os.read(0, 256)
        if not data:
            return
        if not reported:
            with open(report, "w") as f:
                f.write(line_settings(terminal) + "\n")
            reported = True
        pending += data
        # Whole commands of three bytes from each ESC on; a trailing part waits for the rest.
        while (start := pending.find(bytes([ESC]))) >= 0 and len(pending) - start >= 3:
            command, arg = pending[start + 1], pending[start + 2]
            pending = pending[start + 3:]
            if command == 0x01 and arg < 2:
                drawers |= 1 << arg
                os.write(1, bytes([ESC, 0x01, drawers, CR]))
            elif command == 0x02 and arg == 0x01:
                os.write(1, bytes([ESC, 0x02, drawers, CR]))
        if pending.find(bytes([ESC])) < 0:
            pending = b""


if __name__ == "__main__":
    main()

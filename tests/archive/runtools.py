#!/usr/bin/env python3
"""Helpers of the archive program tests.

  runtools.py pty COLS OUT CMD...
                               runs CMD on a pseudo-terminal COLS columns
                               wide, its output to OUT (exit code: the
                               command's)
  runtools.py metrics FILE     parses FILE with the Prometheus client's own
                               parser and prints one 'name{labels} value' line
                               per sample (exit code 1 when it does not parse)
"""
import fcntl
import os
import pty
import struct
import sys
import termios


def run_on_pty(columns, out_path, command):
    pid, fd = pty.fork()
    if pid == 0:
        fcntl.ioctl(1, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        os.execvp(command[0], command)
    captured = b""
    while True:
        try:
            data = os.read(fd, 65536)
        except OSError:
            break
        if not data:
            break
        captured += data
    _, status = os.waitpid(pid, 0)
    with open(out_path, "wb") as out:
        out.write(captured)
    return os.waitstatus_to_exitcode(status)


def print_metrics(path):
    from prometheus_client.parser import text_string_to_metric_families

    with open(path, encoding="utf-8") as f:
        text = f.read()
    if not text.endswith("\n"):
        print("no line feed at the end", file=sys.stderr)
        return 1
    try:
        for family in text_string_to_metric_families(text):
            if family.type != "gauge":
                print(f"{family.name}: type {family.type}", file=sys.stderr)
                return 1
            for sample in family.samples:
                labels = ",".join(f'{k}="{v}"' for k, v in sorted(sample.labels.items()))
                print(f"{sample.name}{{{labels}}} {sample.value:.15g}")
    except Exception as error:  # the parser's complaint is the finding
        print(f"does not parse: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) >= 5 and sys.argv[1] == "pty":
        sys.exit(run_on_pty(int(sys.argv[2]), sys.argv[3], sys.argv[4:]))
    if len(sys.argv) == 3 and sys.argv[1] == "metrics":
        sys.exit(print_metrics(sys.argv[2]))
    sys.exit(__doc__)

#!/usr/bin/env python3
"""Helpers of the archive program tests.

  runtools.py pty COLS OUT CMD...
                               runs CMD on a pseudo-terminal COLS columns
                               wide, its output to OUT (exit code: the
                               command's)
  runtools.py metrics FILE     parses FILE with the Prometheus client's own
                               parser and prints one 'name{labels} value' line
                               per sample (exit code 1 when it does not parse)

The Python tests of the archive import it for their checks, the simulator
and the program's environment.
"""
import fcntl
import os
import pty
import struct
import subprocess
import sys
import termios

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL: ' + what, flush=True)


def zarvik_env(work, **more):
    """The environment of a zarvik run in WORK: its own home, the fake sysfs
    tree and device root there."""
    env = dict(os.environ, LC_ALL='C', HOME=os.path.join(work, 'home'), ZARVIK_SYSFS_ROOT=os.path.join(work, 'sys'),
               ZARVIK_DEV_ROOT=os.path.join(work, 'dev'))
    env.update(more)
    return env


class Devsim:
    """The simulator (program devsim) serving the devices of the scenario
    lines below WORK/simdev, presented in WORK/sys by sysfs: the two-port
    device's lines, when there, as com33 and com34, the KE module as com35."""

    def __init__(self, devsim, sysfs, work, lines):
        scenario = os.path.join(work, 'devices.scenario')
        with open(scenario, 'w') as f:
            f.write('\n'.join(lines) + '\n')
        self.sim = subprocess.Popen([devsim, '--root', os.path.join(work, 'simdev'), '--scenario', scenario],
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        slaves = {}
        for line in self.sim.stdout:
            if line.strip() == 'ready':
                break
            slaves[line.split()[0]] = line.split()[2]
        targets = [slaves.get(line, '-') for line in ('qx_prn', 'qx_ke', 'module')] + ['-', '-']
        subprocess.run([sysfs, os.path.join(work, 'sys'), os.path.join(work, 'dev')] + targets, check=True)

    def stop(self):
        self.sim.stdin.close()
        self.sim.wait(30)


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

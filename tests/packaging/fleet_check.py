#!/usr/bin/env python3
"""The README's monitoring and collection for a chain of shops, run for real.

  fleet_check.py rules <README.md> <rules test file> <work dir>
      the README's alert rules through promtool check rules and test rules
  fleet_check.py exporter <zarvik> <devsim dir> <work dir>
      a real run against the simulator writes its metrics into the textfile
      directory of Debian's prometheus-node-exporter, started on 127.0.0.1;
      its scrape holds the zarvik series and no textfile scrape error
  fleet_check.py collect <README.md> <zarvik> <devsim dir> <work dir>
      the README's collection recipe copies a real run's archive to a central
      store served by rclone on 127.0.0.1; sha256sum -c passes there, and a
      file changed in the shop never replaces the central copy

Servers listen on loopback only and are stopped at the end; every wait is
bounded. Every check prints one line; the script ends with 1 when any failed.
"""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "archive"))
from runtools import Devsim, zarvik_env  # noqa: E402

failures = 0


def check(ok, what):
    global failures
    print(("ok: " if ok else "FAILED: ") + what, flush=True)
    if not ok:
        failures += 1
    return ok


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def readme_block(readme, language, first_line):
    """The README's fenced block of that language whose first line is given."""
    text = open(readme, encoding="utf-8").read()
    for body in re.findall(r"^```%s\n(.*?)^```$" % language, text, re.M | re.S):
        if body.startswith(first_line):
            return body
    return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and process.poll() is None:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.1)
    return False


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


# --- a real run -----------------------------------------------------------------

SCENARIO = [
    "ke module ttyUSB2 version=untagged enq=0 serial=MOD0000001 fiscal=MODF0012345",
    "file 0 size=150",
    "file 1 size=1800 date=2026-11-30",
    "file 2 size=5200 date=2026-12-01",
]


def real_run(zarvik, devsim_dir, work, metrics):
    """zarvik archives a simulated KE module (com35) into work/archiwum and
    writes its metrics to the given file; returns the exit code."""
    fresh(os.path.join(work, "home"))
    sim = Devsim(os.path.join(devsim_dir, "devsim"), os.path.join(devsim_dir, "devsim-sysfs"), work, SCENARIO)
    try:
        env = zarvik_env(work, ZARVIK_METRICS=metrics)
        env.pop("ZARVIK_SUMMARY", None)
        r = subprocess.run([zarvik, "archiwum", "com35"], cwd=work, env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=240)
        check(r.returncode == 0, "the real run archives the KE module (exit %d)" % r.returncode)
        return r.returncode
    finally:
        sim.stop()


# --- alert rules ------------------------------------------------------------------

def rules(readme, tests, work):
    work = fresh(work)
    body = readme_block(readme, "yaml", "groups:")
    if not check(body is not None, "the README holds the alert rules (a yaml block starting with groups:)"):
        return
    with open(os.path.join(work, "zarvik-rules.yml"), "w") as f:
        f.write(body)
    shutil.copy(tests, os.path.join(work, "zarvik-rules-test.yml"))
    names = set(re.findall(r"^\s*- alert: (\w+)$", body, re.M))
    tested = open(tests).read()
    check(all(("alertname: %s\n" % n) in tested for n in names), "every rule has a test: %s" % sorted(names))
    check(len(re.findall(r"^ +severity: (critical|warning)$", body, re.M)) == len(names),
          "every rule has a severity label")
    for args in (["check", "rules", "zarvik-rules.yml"], ["test", "rules", "zarvik-rules-test.yml"]):
        r = subprocess.run(["promtool"] + args, cwd=work, capture_output=True, text=True, timeout=120)
        print(r.stdout + r.stderr, end="")
        check(r.returncode == 0, "promtool " + " ".join(args))


# --- node exporter ----------------------------------------------------------------

def exporter(zarvik, devsim_dir, work):
    work = fresh(work)
    textfiles = fresh(os.path.join(work, "textfile"))
    if real_run(zarvik, devsim_dir, work, os.path.join(textfiles, "zarvik.prom")) != 0:
        return
    port = free_port()
    node = subprocess.Popen(["prometheus-node-exporter", "--web.listen-address=127.0.0.1:%d" % port,
                             "--collector.disable-defaults", "--collector.textfile",
                             "--collector.textfile.directory=" + textfiles],
                            stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "exporter.log"), "w"))
    try:
        if not check(wait_for_port(port, node), "prometheus-node-exporter listens on 127.0.0.1:%d" % port):
            return
        with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port, timeout=30) as reply:
            scrape = reply.read().decode("utf-8")
    finally:
        stop(node)
    with open(os.path.join(work, "scrape.txt"), "w") as f:
        f.write(scrape)
    zarvik_lines = [l for l in scrape.splitlines() if l.startswith("zarvik_")]
    print("\n".join(zarvik_lines))
    print("\n".join(l for l in scrape.splitlines() if l.startswith("node_textfile")))
    check(re.search(r"^node_textfile_scrape_error 0$", scrape, re.M) is not None, "node_textfile_scrape_error 0")
    # What the series say is the program test's; here: they reach the scrape.
    check(re.search(r'^zarvik_ke_exit_code\{ke_serial="MOD0000001",port="com35"\} 0$', scrape, re.M) is not None,
          "the scrape holds the run's series")


# --- collection --------------------------------------------------------------------

def collect(readme, zarvik, devsim_dir, work):
    work = fresh(work)
    recipe = readme_block(readme, "sh", "#!/bin/sh\n# zarvik-collect")
    if not check(recipe is not None, "the README holds the collection recipe (#!/bin/sh, # zarvik-collect)"):
        return
    script = os.path.join(work, "zarvik-collect")
    with open(script, "w") as f:
        f.write(recipe)
    os.chmod(script, 0o755)
    if real_run(zarvik, devsim_dir, work, os.path.join(work, "zarvik.prom")) != 0:
        return
    archive = os.path.join(work, "archiwum")
    store = fresh(os.path.join(work, "central"))
    port = free_port()
    # The central store: rclone's SFTP server on loopback, with a password
    # the shop's remote gives obscured, as rclone config keeps it.
    password = "zarvik-test"
    server = subprocess.Popen(["rclone", "serve", "sftp", store, "--addr", "127.0.0.1:%d" % port,
                               "--user", "shop", "--pass", password, "--config", "/dev/null"],
                              stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "server.log"), "w"))
    try:
        if not check(wait_for_port(port, server), "rclone serve sftp listens on 127.0.0.1:%d" % port):
            return
        obscured = subprocess.run(["rclone", "obscure", password], capture_output=True, text=True).stdout.strip()
        env = dict(os.environ, ZARVIK_ARCHIVE=archive, ZARVIK_CENTRAL="centrala:zarvik",
                   RCLONE_CONFIG="/dev/null", RCLONE_CONFIG_CENTRALA_TYPE="sftp",
                   RCLONE_CONFIG_CENTRALA_HOST="127.0.0.1", RCLONE_CONFIG_CENTRALA_PORT=str(port),
                   RCLONE_CONFIG_CENTRALA_USER="shop", RCLONE_CONFIG_CENTRALA_PASS=obscured)

        def run_recipe():
            r = subprocess.run([script], env=env, capture_output=True, text=True, timeout=300)
            print("$ zarvik-collect (exit %d)\n%s" % (r.returncode, r.stdout + r.stderr), end="")
            return r.returncode

        check(run_recipe() == 0, "the recipe copies the shop's archive")
        shop = os.path.join(store, "zarvik", socket.gethostname())
        ke = os.path.join(shop, "MOD0000001")
        r = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=ke, capture_output=True, text=True)
        print("$ sha256sum -c SHA256SUMS (central store)\n" + r.stdout + r.stderr, end="")
        check(r.returncode == 0 and r.stdout.count(": OK") == 3, "sha256sum -c passes on the central store")
        check(os.path.exists(os.path.join(ke, "log", "log_log.txt")), "the KE's log is collected")

        # A list with a line naming no archive file of its folder (here
        # sha256sum's binary mode) is refused before anything is copied.
        shop_list = os.path.join(archive, "MOD0000001", "SHA256SUMS")
        listed = open(shop_list, "rb").read()
        with open(shop_list, "ab") as f:
            f.write(listed[:64] + b" *Z0009_2010-03-30.ej\n")
        code = run_recipe()
        check(code != 0 and open(os.path.join(ke, "SHA256SUMS"), "rb").read() == listed,
              "a list with a binary-mode line is refused and not copied (exit %d)" % code)
        with open(shop_list, "wb") as f:
            f.write(listed)

        # A fiscal copy that changes in the shop (same size, same time
        # stamp, other bytes: only its checksum tells) never replaces the
        # central one; the recipe says so by its code.
        name = sorted(n for n in os.listdir(os.path.join(archive, "MOD0000001")) if n.endswith(".ej"))[-1]
        local = os.path.join(archive, "MOD0000001", name)
        central_before = open(os.path.join(ke, name), "rb").read()
        data = bytearray(open(local, "rb").read())
        data[0] ^= 0x20
        stamp = os.stat(local)
        with open(local, "wb") as f:
            f.write(data)
        os.utime(local, ns=(stamp.st_atime_ns, stamp.st_mtime_ns))
        code = run_recipe()
        check(code != 0, "a copy changed in the shop makes the recipe fail (exit %d)" % code)
        check(open(os.path.join(ke, name), "rb").read() == central_before,
              "the central copy of %s keeps its bytes" % name)
        r = subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=ke, capture_output=True, text=True)
        check(r.returncode == 0, "sha256sum -c still passes on the central store")
    finally:
        stop(server)


def main(argv):
    if len(argv) < 2 or argv[1] not in ("rules", "exporter", "collect"):
        print(__doc__)
        return 2
    {"rules": rules, "exporter": exporter, "collect": collect}[argv[1]](*argv[2:])
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""The README's table of exit codes and the ExitCode enumeration agree: the
same numbers, and each value's comment is the table's meaning (backticks of
the Markdown aside). Usage: check_exit_codes.py README.md src/archive/exitcode.h"""
import re
import sys


def words(text):
    return " ".join(text.replace("`", "").split())


def readme_codes(path):
    text = open(path, encoding="utf-8").read()
    # The first table of the section: code and meaning (a second one says
    # what to do).
    section = text.split("\n### Exit codes\n", 1)[1].split("\n| code |", 2)[1].split("\n\n", 1)[0]
    return {int(n): words(m) for n, m in re.findall(r"^\| *(\d+) *\| *(.*?) *\|$", section, re.M)}


def enum_codes(path):
    body = open(path, encoding="utf-8").read().split("enum class ExitCode", 1)[1].split("};", 1)[0]
    codes, comment = {}, []
    for line in body.splitlines()[1:]:
        line = line.strip()
        value = re.match(r"k\w+ = (\d+),\s*(?://\s*(.*))?$", line)
        if value:
            codes[int(value.group(1))] = words(value.group(2) or " ".join(comment))
            comment = []
        elif line.startswith("//"):
            comment.append(line[2:])
    return codes


readme, enum = readme_codes(sys.argv[1]), enum_codes(sys.argv[2])
problems = ["code %d: README %r, enumeration %r" % (n, readme.get(n), enum.get(n))
            for n in sorted(set(readme) | set(enum)) if readme.get(n) != enum.get(n)]
print("\n".join(problems) or "%d exit codes agree" % len(readme))
sys.exit(1 if problems or not readme else 0)

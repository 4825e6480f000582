#!/usr/bin/env python3
"""Lists the slowest test functions of a run from the JUnit reports that the test programs write
into KESTROWAN_TEST_REPORTS (see tests/support/TestMain.h): each program's slowest function (or data
row, which QtTest times and limits one by one), the slowest first.

Usage: slowest_functions.py <reports folder> [how many, default 25] [limit in seconds, default 300]
A function over a third of the limit is marked: on a loaded machine it could reach the limit.
"""
import glob
import os
import sys
import xml.etree.ElementTree as ElementTree


def main():
    folder = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 25
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 300.0
    slowest = []
    for path in sorted(glob.glob(os.path.join(folder, "*.xml"))):
        program = os.path.splitext(os.path.basename(path))[0]
        try:
            suite = ElementTree.parse(path).getroot()
        except ElementTree.ParseError as error:
            print(f"{program}: unreadable report ({error})")
            continue
        total = float(suite.get("time") or 0)
        rows = [(float(case.get("time") or 0), case.get("name") or "?") for case in suite.iter("testcase")]
        if rows:
            seconds, name = max(rows)
            slowest.append((seconds, program, name, total))
    slowest.sort(reverse=True)
    print(f"Slowest test functions ({len(slowest)} programs; each program's slowest, its whole run beside it):")
    for seconds, program, name, total in slowest[:count]:
        mark = "  OVER A THIRD OF THE LIMIT" if seconds > limit / 3 else ""
        print(f"{seconds:8.1f} s  {program}::{name}  (program {total:.0f} s){mark}")


if __name__ == "__main__":
    main()

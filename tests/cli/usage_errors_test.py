#!/usr/bin/env python3
"""Command lines that are usage errors (tests/cli/usage_errors.txt): exit status 2, the message
expected on stderr, and no file written.

usage: usage_errors_test.py DTCONV WRITE_CAPTURE SOURCE_DIR
"""
import os
import subprocess
import sys
import tempfile

DTCONV, WRITE_CAPTURE, SOURCE = (os.path.abspath(a) for a in sys.argv[1:4])
BAD_DBC = 'BO_ 256 Msg: 8 Node\n SG_ A : 0|8@1+ (1,0) [0|255 "" Node\n'


def main():
    failures, count = [], 0
    with tempfile.TemporaryDirectory(prefix="dtconv-usage-") as scratch:
        subprocess.run([WRITE_CAPTURE, "can_frames", os.path.join(scratch, "c.DT")], check=True,
                       timeout=60)
        with open(os.path.join(scratch, "bad.dbc"), "w") as f:
            f.write(BAD_DBC)
        names = {"CAPTURE": "c.DT", "BAD_DBC": "bad.dbc",
                 "VEHICLE_DBC": os.path.join(SOURCE, "samples", "vehicle.dbc")}
        before = sorted(os.listdir(scratch))
        with open(os.path.join(SOURCE, "tests", "cli", "usage_errors.txt"), encoding="utf-8") as f:
            cases = [line.rstrip("\n").split(" | ", 1) for line in f
                     if line.strip() and not line.startswith("#")]
        for args, message in cases:
            count += 1
            for name, value in names.items():
                args, message = args.replace(name, value), message.replace(name, value)
            argv = args.split()
            if argv[0] != "info":
                argv += ["-o", "out"]
            p = subprocess.run([DTCONV, *argv], cwd=scratch, capture_output=True, text=True,
                               timeout=60)
            if p.returncode != 2 or not p.stderr.startswith("dtconv: " + message):
                failures.append(f"dtconv {args}: status {p.returncode}, stderr {p.stderr!r}; "
                                f"expected 2 and 'dtconv: {message}...'")
            if sorted(os.listdir(scratch)) != before or p.stdout:
                failures.append(f"dtconv {args}: wrote {p.stdout!r} or files "
                                f"{sorted(set(os.listdir(scratch)) - set(before))}")
    for failure in failures:
        print("usage_errors_test:", failure)
    print(f"{count} command lines: {'ok' if not failures else str(len(failures)) + ' failed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

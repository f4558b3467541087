#!/usr/bin/env python3
"""Edits copies of the desktop program's templates, one edit at a time, and expects the resource
check to fail on each with the problem named (the edits are in resource_edits.txt); the
unedited copy must pass.

usage: check_resources_catches.py CHECK RESOURCE_DIR IDS_HEADER LAYOUT_TABLE EDITS
"""
import os
import shutil
import subprocess
import sys
import tempfile


def run_check(check, folder, ids, layout):
    p = subprocess.run([sys.executable, check, folder, ids, layout], capture_output=True,
                       text=True, timeout=60)
    return p.returncode, p.stdout + p.stderr


def main():
    if len(sys.argv) != 6:
        raise SystemExit(__doc__.strip().splitlines()[-1])
    check, resources, ids, layout, edits = sys.argv[1:]
    failures = []
    with tempfile.TemporaryDirectory(prefix="dtconv-rc-") as scratch:
        def fresh_copy():
            folder = tempfile.mkdtemp(dir=scratch)
            for name in ("lang_en.rc", "lang_ja.rc"):
                shutil.copy(os.path.join(resources, name), folder)
            return folder

        status, output = run_check(check, fresh_copy(), ids, layout)
        if status != 0:
            failures.append(f"the unedited templates fail the check:\n{output}")
        with open(edits, encoding="utf-8") as f:
            rows = [line.rstrip("\n") for line in f if line.strip() and not line.startswith("#")]
        for row in rows:
            name, find, replace, expected = [c.strip().replace("\\n", "\n")
                                             for c in row.split("|")]
            folder = fresh_copy()
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            if text.count(find) != 1:
                failures.append(f"{name}: {find!r} occurs {text.count(find)} times, not once")
                continue
            with open(path, "w", encoding="utf-8") as f:
                f.write(text.replace(find, replace))
            status, output = run_check(check, folder, ids, layout)
            if status == 0 or expected not in output:
                failures.append(f"{name}: {find!r} -> {replace!r}: expected a failure saying "
                                f"{expected!r}, got status {status}:\n{output}")
    for failure in failures:
        print("check_resources_catches:", failure)
    print(f"{len(rows)} edits: {'all caught' if not failures else str(len(failures)) + ' problems'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

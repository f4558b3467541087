#!/usr/bin/env python3
"""dtconv info: whole summaries against golden files, every JSON object read back with Python's
json module, and every key that a capture or the formats list can produce documented once in
docs/info-json.md with the type its values have.

usage: info_json_test.py DTCONV WRITE_CAPTURE SOURCE_DIR
DTCONV_UPDATE_GOLDEN=1 rewrites the golden files (read the diff before committing).
"""
import difflib
import json
import os
import re
import subprocess
import sys
import tempfile

DTCONV, WRITE_CAPTURE, SOURCE = (os.path.abspath(a) for a in sys.argv[1:4])
GOLDEN = os.path.join(SOURCE, "tests", "golden", "info")
TYPES = {"string": str, "integer": int, "boolean": bool, "array": list, "null": type(None)}


def run(args, cwd):
    p = subprocess.run([DTCONV, "info", *args], cwd=cwd, capture_output=True, timeout=60)
    return p.stdout


def documented_keys():
    """{key pattern: (regex, allowed types)} from the tables of docs/info-json.md."""
    keys, failures = {}, []
    with open(os.path.join(SOURCE, "docs", "info-json.md"), encoding="utf-8") as f:
        for line in f:
            m = re.match(r"\| `([^`]+)` \| ([a-z ]+) \|", line)
            if not m:
                continue
            key, kind = m.groups()
            if key in keys:
                failures.append(f"{key} is documented twice")
            pattern = "^" + re.escape(key).replace(re.escape("<n>"), r"[1-9]") + "$"
            keys[key] = (pattern, tuple(TYPES[t] for t in kind.split(" or ")))
    return keys, failures


def check_types(obj, keys, seen, where, failures):
    for key, value in obj.items():
        matches = [k for k, (pattern, _) in keys.items() if re.match(pattern, key)]
        if len(matches) != 1:
            failures.append(f"{where}: key {key} matches {len(matches)} documented keys")
            continue
        seen.add(matches[0])
        # bool is an int in Python: a boolean must be documented as one.
        if not any(type(value) is t for t in keys[matches[0]][1]):
            failures.append(f"{where}: {key} = {value!r} is not of its documented type")
        if isinstance(value, list):
            for item in value:
                check_types(item, keys, seen, where, failures)


def main():
    keys, failures = documented_keys()
    seen = set()
    with tempfile.TemporaryDirectory(prefix="dtconv-info-") as scratch:
        with open(os.path.join(SOURCE, "tests", "cli", "info_cases.txt"), encoding="utf-8") as f:
            cases = [[c.strip() for c in line.split("|")] for line in f
                     if line.strip() and not line.startswith("#")]
        for golden, form, capture, *options in cases:
            cwd = SOURCE
            if not capture.startswith("samples/"):
                # write_capture NAME FILE [ARGUMENTS], the file named after the golden file.
                name, *arguments = capture.split()
                cwd, capture = scratch, os.path.splitext(golden)[0] + ".DT"
                if not os.path.exists(os.path.join(scratch, capture)):
                    subprocess.run([WRITE_CAPTURE, name, os.path.join(scratch, capture),
                                    *arguments], check=True, timeout=60)
            options = options[0].split() if options else []
            out = run(options + (["--json", capture] if form == "json" else [capture]), cwd)
            path = os.path.join(GOLDEN, golden)
            if os.environ.get("DTCONV_UPDATE_GOLDEN") == "1":
                with open(path, "wb") as f:
                    f.write(out)
            with open(path, "rb") as f:
                want = f.read()
            if out != want:
                failures.append(f"{golden} differs:\n" + "".join(difflib.unified_diff(
                    want.decode().replace(", ", ",\n").splitlines(True),
                    out.decode().replace(", ", ",\n").splitlines(True), golden, "dtconv")))
        # Every capture of samples/ and each case's capture, and the formats list, read back.
        samples = sorted(os.path.join("samples", n)
                         for n in os.listdir(os.path.join(SOURCE, "samples")) if n.endswith(".DT"))
        made = sorted(os.path.join(scratch, n) for n in os.listdir(scratch))
        lines = (run(["--json", *samples, *made], SOURCE) + run(["--json"], SOURCE) +
                 run(["--json", "--dbc", "samples/vehicle.dbc", *samples], SOURCE)).splitlines()
        for line in lines:
            obj = json.loads(line)
            check_types(obj, keys, seen, obj.get("file", "formats"), failures)
    for key in sorted(set(keys) - seen):
        failures.append(f"{key} is documented but no capture produced it")
    for failure in failures:
        print("info_json_test:", failure)
    print(f"{len(cases)} golden cases, {len(keys)} documented keys: "
          f"{'ok' if not failures else str(len(failures)) + ' problems'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

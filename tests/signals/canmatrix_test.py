#!/usr/bin/env python3
"""dtconv's long signal table against canmatrix, a DBC decoder nobody here wrote (Debian's
python3-canmatrix, which Debian's own /usr/bin/python3 imports).

  canmatrix_test.py DTCONV MAKE_CAPTURE DATA_DIR WORKDIR

Two databases of DATA_DIR, each with frames put into a capture by MAKE_CAPTURE (recipe `frame`
statements, 100 us apart) and converted with `DTCONV -t signals -f long`:
  generated.dbc (more than 100 random signals: both byte orders, 1 to 64 bits, signed, scaled,
      IEEE floats, value tables, simple and extended multiplexing, 64-byte and 29-bit messages),
      with seeded random frames of each message, a few of them short;
  decode_cases.dbc with the frames of decode_cases.tsv.
For a frame of its message's size both decoders must give the same signals, values (within one
part in 10^12; an unscaled IEEE single as a single) and value-table texts; a short frame must give
no value that depends on the bytes it lacks. Exit status 0 when all agree (a missing canmatrix is
a failure).
"""
import contextlib, csv, decimal, io, math, os, random, struct, subprocess, sys

try:
    import canmatrix.formats
except ImportError:
    sys.exit("FAIL: canmatrix cannot be imported: install Debian's python3-canmatrix "
             "(scripts/deps) and run this with Debian's /usr/bin/python3.")


def same_value(text, theirs, signal):
    if isinstance(theirs, decimal.Decimal) and theirs.is_nan():
        return text == "nan"
    if text in ("nan", "inf", "-inf"):
        return float(text) == float(theirs)
    if not signal.is_float:  # canmatrix's decimal arithmetic is exact here, and so is the text
        return decimal.Decimal(text) == decimal.Decimal(theirs)
    mine, t = float(text), float(theirs)
    if signal.size == 32 and signal.factor == 1 and signal.offset == 0:
        pack = lambda v: struct.pack("<f", v)
        return abs(t) < 3.5e38 and pack(mine) == pack(t)
    return mine == t if math.isinf(t) else abs(mine - t) <= 1e-12 * max(abs(t), abs(mine))


def random_frames(db, rnd):
    for frame in db.frames:
        for _ in range(40):
            pick, size = rnd.random(), frame.size
            data = bytes(rnd.choice([0x00, 0xFF, 0x7F, 0x80]) if pick < 0.1 else rnd.randrange(256)
                         for _ in range(size)) if pick < 0.8 else bytes([rnd.choice([0, 255])]) * size
            yield frame, data[:rnd.randrange(size)] if size > 1 and rnd.random() < 0.05 else data


def case_frames(db, table):
    by_name = {f.name: f for f in db.frames}
    for line in open(table):
        cells = line.rstrip("\n").split("\t")
        if len(cells) > 3 and not line.startswith("#"):
            data = b"".join(bytes([int(t[:2], 16)]) * int(t[3:] or 1) for t in cells[1].split()
                            if t != "-")
            if len(data) <= by_name[cells[0]].size:
                yield by_name[cells[0]], data


def compare(dtconv, make_capture, dbc, frames, workdir):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        db = canmatrix.formats.loadp_flat(dbc)
    frames = list(frames(db))
    recipe = ";".join("frame line=%d t=%d format=%d dlc=%d id=%d data=%s" % (
        1 + i % 2, 100 * i, (17 if len(d) > 8 else 1) + 2 * f.arbitration_id.extended,
        len(d) if len(d) <= 8 else 9 + sum(len(d) > n for n in (12, 16, 20, 24, 32, 48)),
        f.arbitration_id.id, ",".join("%02X" % b for b in d) or "-") for i, (f, d) in
        enumerate(frames)).replace(" data=-", "")
    capture = os.path.join(workdir, os.path.basename(dbc) + ".DT")
    subprocess.run([make_capture, capture, recipe], check=True)
    subprocess.run([dtconv, "-q", "-t", "signals", "-f", "long", "--elapsed", "--encoding",
                    "utf8", "--eol", "lf", "--dbc", dbc, "-o", workdir, capture], check=True)
    mine = {}
    with open(capture[:-3] + ".signals-long.csv", encoding="utf-8", newline="") as table:
        for row in csv.DictReader(table):
            mine.setdefault(round(float(row["Elapsed(sec.)"]) * 10000), {})[row["Signal"]] = row
    failures = []
    for i, (frame, data) in enumerate(frames):
        decoded, where = mine.get(i, {}), "%s frame %d (%s)" % (os.path.basename(dbc), i, frame.name)
        ident = ("%08X" if frame.arbitration_id.extended else "%03X") % frame.arbitration_id.id
        if any((r["Ch"], r["ID"]) != (str(1 + i % 2), ident) for r in decoded.values()):
            failures.append("%s: not on its line or identifier" % where)
        # A short frame: each value dtconv gives must be canmatrix's for either padding.
        for pad in (b"\x00", b"\xFF") if len(data) < frame.size else (b"",):
            theirs = frame.decode(data + pad * (frame.size - len(data)))
            if not pad and set(theirs) != set(decoded):
                failures.append("%s: canmatrix decodes %s, dtconv %s" % (
                    where, sorted(theirs), sorted(decoded)))
            for name, row in decoded.items():
                ds = theirs.get(name)
                text = "" if ds is None or ds.signal.is_float else \
                    ds.signal.values.get(ds.raw_value, "")
                if ds is None or not same_value(row["Value"], ds.phys_value, ds.signal) or \
                        not pad and text != row["Text"]:
                    failures.append("%s %s: dtconv %s %r, canmatrix %s %r" % (
                        where, name, row["Value"], row["Text"], ds and ds.phys_value, text))
    print("%s: %d frames, %d values of dtconv, %d disagreements" % (
        dbc, len(frames), sum(map(len, mine.values())), len(failures)))
    return failures


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    dtconv, make_capture, data, workdir = sys.argv[1:]
    os.makedirs(workdir, exist_ok=True)
    rnd = random.Random(20260521)
    failures = compare(dtconv, make_capture, os.path.join(data, "generated.dbc"),
                       lambda db: random_frames(db, rnd), workdir)
    failures += compare(dtconv, make_capture, os.path.join(data, "decode_cases.dbc"),
                        lambda db: case_frames(db, os.path.join(data, "decode_cases.tsv")),
                        workdir)
    for f in failures[:40]:
        print("FAIL:", f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()

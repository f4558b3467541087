#!/usr/bin/env python3
"""dtconv's long signal table against canmatrix, a DBC decoder nobody here wrote (Debian's
python3-canmatrix, which Debian's own /usr/bin/python3 imports).

  canmatrix_test.py generated DTCONV FRAMES_CAPTURE WORKDIR
      writes a database of more than 100 signals (both byte orders, lengths 1 to 64, signed and
      unsigned, decimal and integer scaling, IEEE floats, value tables, simple and extended
      multiplexing, 64-byte messages, 29-bit identifiers) and random frames, puts the frames into
      a capture with FRAMES_CAPTURE (signals_frames_capture, the tests' capture builder),
      converts it with `DTCONV -t signals -f long` and decodes the same frames with canmatrix:
      for every frame of its message's size both must decode the same signals to the same
      values and value-table texts (read as doubles, within one part in 10^12; an unscaled IEEE
      single as a single), and a short frame must give no value that depends on the bytes it
      lacks.
  canmatrix_test.py cases DBC TABLE
      checks the rows of the decoder's case table whose frame has the message's size against
      canmatrix.

Exit status 0 when everything agrees, 1 otherwise (a missing canmatrix is a failure).
"""
import contextlib
import csv
import decimal
import io
import math
import os
import random
import struct
import subprocess
import sys

try:
    import canmatrix.formats
except ImportError:
    sys.exit("FAIL: canmatrix cannot be imported. Install Debian's python3-canmatrix "
             "(scripts/deps installs it; make check runs scripts/deps) and run this test with "
             "Debian's /usr/bin/python3, which sees it.")

SEED = 20260521
FRAMES_PER_MESSAGE = 80
RELATIVE = 1e-12  # canmatrix scales in decimal, the decoder's doubles in binary

# (factor, offset) as written in the database, for integer signals.
INTEGER_SCALES = [("1", "0"), ("1", "0"), ("0.1", "0"), ("0.0625", "0"), ("0.25", "-40"),
                  ("3", "-100"), ("0.001", "0"), ("1E-005", "0"), ("0.5", "10.5"), ("-1", "0"),
                  ("10", "1000"), ("0.01", "-327.68"), ("1.0", "0.0"), ("2", "0.25"),
                  ("0.125", "-0.875"), ("0.50", "0")]
# For IEEE floats: powers of two, so that the decoder's double arithmetic is exact.
FLOAT_SCALES = [("1", "0"), ("1", "0"), ("0.5", "0"), ("2", "0"), ("1", "0.25")]
SIZES = [1, 2, 3, 4, 5, 6, 7, 8, 8, 8, 9, 12, 16, 20, 24, 32, 48, 64, 64]


class Generator:
    def __init__(self, seed):
        self.rnd = random.Random(seed)
        self.lines = []     # BO_ and SG_ lines
        self.tail = []      # VAL_, SIG_VALTYPE_, SG_MUL_VAL_
        self.messages = []  # (compound id, name, size)
        self.used_ids = set()
        self.signal_count = 0

    def new_id(self, extended):
        while True:
            ident = self.rnd.randrange(1 << 29) if extended else self.rnd.randrange(0x800)
            if (ident, extended) not in self.used_ids:
                self.used_ids.add((ident, extended))
                return ident | (0x80000000 if extended else 0)

    def place(self, size, length, big):
        """A start bit for a signal of `length` bits within `size` bytes."""
        first = self.rnd.randrange(0, size * 8 - length + 1)  # in the signal's bit order
        return first // 8 * 8 + 7 - first % 8 if big else first

    def signal(self, compound, name, size, mux="", length=None, big=None, kind=None):
        rnd = self.rnd
        kind = kind or rnd.choice(["int"] * 8 + ["float", "double"])
        if kind == "float" and size < 4 or kind == "double" and size < 8:
            kind = "int"
        if length is None:
            length = {"float": 32, "double": 64}.get(kind) or min(
                size * 8, rnd.choice([1, 2, 3, 4, 5, 7, 8, 8, 10, 12, 13, 16, 16, 20, 24, 31, 32,
                                      33, 40, 48, 63, 64, 64]))
        big = rnd.random() < 0.5 if big is None else big
        start = self.place(size, length, big)
        signed = rnd.random() < 0.4 if kind == "int" else True
        factor, offset = rnd.choice(FLOAT_SCALES if kind != "int" else INTEGER_SCALES)
        if length == 64 and kind == "int" and abs(float(factor)) > 3:
            factor, offset = "1", "0"  # canmatrix keeps 28 digits
        mux = " " + mux if mux else ""
        self.lines.append(' SG_ %s%s : %d|%d@%d%s (%s,%s) [0|0] "" Vector__XXX' % (
            name, mux, start, length, 0 if big else 1, "-" if signed else "+", factor, offset))
        if kind != "int":
            self.tail.append("SIG_VALTYPE_ %d %s : %d;" % (compound, name,
                                                           1 if kind == "float" else 2))
        elif factor == "1" and offset == "0" and rnd.random() < 0.4:
            low = -(1 << (length - 1)) if signed else 0
            keys = sorted({rnd.randrange(low, low + min(1 << length, 6)) for _ in range(4)})
            self.tail.append("VAL_ %d %s %s ;" % (compound, name, " ".join(
                '%d "Text %d"' % (k, k) for k in keys)))
        self.signal_count += 1

    def message(self, name, size, extended):
        compound = self.new_id(extended)
        self.messages.append((compound, name, size))
        self.lines.append("")
        self.lines.append("BO_ %d %s: %d Node" % (compound, name, size))
        return compound

    def plain(self, index):
        rnd = self.rnd
        size = rnd.choice(SIZES)
        compound = self.message("Plain%d" % index, size, rnd.random() < 0.3)
        for k in range(rnd.randrange(4, 11)):
            self.signal(compound, "P%d_%d" % (index, k), size)

    def simple_mux(self, index, signed):
        compound = self.message("Mux%d" % index, 8, index % 2 == 1)
        self.signal(compound, "Mux%d_Sel" % index, 8, "M", length=2, kind="int", big=False)
        if signed:
            self.lines[-1] = self.lines[-1].replace("@1+", "@1-")
        for k in range(8):
            self.signal(compound, "Mux%d_S%d" % (index, k), 8, "m%d" % (k % 4))
        self.signal(compound, "Mux%d_Plain" % index, 8)

    def extended_mux(self, index):
        size = 16
        compound = self.message("Ext%d" % index, size, index % 2 == 0)
        top, sub = "Ext%d_Top" % index, "Ext%d_Sub" % index
        self.signal(compound, top, size, "M", length=2, kind="int", big=True)
        self.signal(compound, sub, size, "m1M", length=2, kind="int", big=False)
        self.tail.append("SG_MUL_VAL_ %d %s %s 1-1, 3-3;" % (compound, sub, top))
        for k, ranges in enumerate(["0-0", "2-2", "0-0, 2-2"]):
            name = "Ext%d_T%d" % (index, k)
            self.signal(compound, name, size, "m%s" % ranges[0])
            self.tail.append("SG_MUL_VAL_ %d %s %s %s;" % (compound, name, top, ranges))
        for k, ranges in enumerate(["0-0", "1-2", "3-3", "1-1, 3-3", "2-3"]):
            name = "Ext%d_S%d" % (index, k)
            self.signal(compound, name, size, "m%s" % ranges[0])
            self.tail.append("SG_MUL_VAL_ %d %s %s %s;" % (compound, name, sub, ranges))
        self.signal(compound, "Ext%d_Plain" % index, size)

    def database(self):
        for i in range(14):
            self.plain(i)
        self.simple_mux(0, False)
        self.simple_mux(1, True)
        self.extended_mux(0)
        self.extended_mux(1)
        # The corner cases that random placement may miss: 64-bit signals over nine bytes.
        compound = self.message("Wide", 9, True)
        for k, (big, kind) in enumerate([(False, "int"), (True, "int"), (False, "double"),
                                         (True, "double")]):
            self.signal(compound, "Wide_%d" % k, 9, length=64, big=big, kind=kind)
        head = ['VERSION "generated"', "", "NS_ :", "\tCM_", "\tVAL_", "", "BS_:", "",
                "BU_: Node"]
        tail = ["", 'CM_ "Generated with seed %d.";' % SEED,
                'BA_DEF_ BO_ "GenMsgCycleTime" INT 0 10000;'] + self.tail
        return "\n".join(head + self.lines + tail) + "\n"

    def frames(self):
        rnd = self.rnd
        rows = []
        for compound, _, size in self.messages:
            for _ in range(FRAMES_PER_MESSAGE):
                pick = rnd.random()
                if pick < 0.7:
                    data = bytes(rnd.randrange(256) for _ in range(size))
                elif pick < 0.8:
                    data = bytes(rnd.choice([0x00, 0xFF, 0x7F, 0x80]) for _ in range(size))
                else:
                    data = bytes([rnd.choice([0x00, 0xFF])]) * size
                if rnd.random() < 0.05 and size > 1:
                    data = data[:rnd.randrange(size)]  # a short frame
                rows.append((compound, data))
        return rows


def load_canmatrix(path):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        db = canmatrix.formats.loadp_flat(path)
    if "error" in out.getvalue():
        sys.exit("FAIL: canmatrix did not read %s:\n%s" % (path, out.getvalue()))
    return db


def as_single(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def same_value(text, theirs, signal):
    """Whether a value of the long table agrees with canmatrix's (an int or a Decimal)."""
    if isinstance(theirs, decimal.Decimal) and theirs.is_nan():
        return text == "nan"
    if text in ("nan", "inf", "-inf") or not signal.is_float:
        if text in ("nan", "inf", "-inf"):
            return float(text) == float(theirs)
        # Integer signals: canmatrix's decimal arithmetic is exact here, and so is the text.
        return decimal.Decimal(text) == decimal.Decimal(theirs) and \
            abs(float(text) - float(theirs)) <= RELATIVE * abs(float(theirs))
    mine, t = float(text), float(theirs)
    if signal.size == 32 and signal.factor == 1 and signal.offset == 0:
        # An unscaled IEEE single is written as the shortest text of the single.
        return abs(t) < 3.5e38 and as_single(mine) == as_single(t)
    if math.isinf(t):
        return mine == t
    return abs(mine - t) <= RELATIVE * max(abs(t), abs(mine))


def long_table(dtconv, capture, dbc_path, workdir):
    """{frame index: {signal: (value text, value-table text, line, identifier)}} of the long
    table; frames lie 100 us apart."""
    out_dir = os.path.join(workdir, "out")
    subprocess.run([dtconv, "-q", "-t", "signals", "-f", "long", "--elapsed", "--encoding", "utf8",
                    "--eol", "lf", "--dbc", dbc_path, "-o", out_dir, capture], check=True)
    name = os.path.splitext(os.path.basename(capture))[0] + ".signals-long.csv"
    mine = {}
    with open(os.path.join(out_dir, name), encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f):
            index = round(float(row["Elapsed(sec.)"]) * 10000)
            mine.setdefault(index, {})[row["Signal"]] = (row["Value"], row["Text"], row["Ch"],
                                                         row["ID"])
    return mine


def run_generated(dtconv, frames_capture, workdir):
    os.makedirs(workdir, exist_ok=True)
    gen = Generator(SEED)
    dbc_path = os.path.join(workdir, "generated.dbc")
    with open(dbc_path, "w", encoding="cp1252") as f:
        f.write(gen.database())
    frames = gen.frames()
    frames_path = os.path.join(workdir, "frames.csv")
    with open(frames_path, "w") as f:
        for i, (compound, data) in enumerate(frames):
            f.write("%d,%d,%d,%X,%s\n" % (i, 1 + i % 2, compound >> 31, compound & 0x1FFFFFFF,
                                           data.hex()))
    capture = os.path.join(workdir, "frames.DT")
    subprocess.run([frames_capture, frames_path, capture], check=True)
    mine = long_table(dtconv, capture, dbc_path, workdir)

    db = load_canmatrix(dbc_path)
    by_id = {f.arbitration_id.to_compound_integer(): f for f in db.frames}
    failures, values, exact, floats, full, short = [], 0, 0, 0, 0, 0
    for i, (compound, data) in enumerate(frames):
        frame = by_id[compound]
        decoded = mine.get(i, {})
        ident = ("%08X" if compound >> 31 else "%03X") % (compound & 0x1FFFFFFF)
        for name, (_, _, line, row_id) in decoded.items():
            if (line, row_id) != (str(1 + i % 2), ident):
                failures.append("frame %d %s: line %s, ID %s in the table" % (i, name, line,
                                                                               row_id))
        if len(data) != frame.size:
            failures += check_short(frame, data, decoded, i)
            short += 1
            continue
        full += 1
        theirs = frame.decode(data)
        if set(theirs) != set(decoded):
            failures.append("frame %d (%s): canmatrix decodes %s, dtconv %s" % (
                i, frame.name, sorted(theirs), sorted(decoded)))
            continue
        for name, ds in theirs.items():
            text, value_text = decoded[name][:2]
            values += 1
            floats += ds.signal.is_float
            exact += not ds.signal.is_float
            if not same_value(text, ds.phys_value, ds.signal):
                failures.append("frame %d %s.%s: canmatrix %s, dtconv %s" % (
                    i, frame.name, name, ds.phys_value, text))
            expected_text = ds.signal.values.get(ds.raw_value, "") if not ds.signal.is_float else ""
            if expected_text != value_text:
                failures.append("frame %d %s.%s: value text %r, dtconv %r" % (
                    i, frame.name, name, expected_text, value_text))
    report(failures, "%d messages, %d signals; %d frames of their message's size: %d values of "
           "the long table agree (%d of integer signals exactly, %d of IEEE floats); %d short "
           "frames give no value from past their data" % (
               len(gen.messages), gen.signal_count, full, values - len(failures), exact, floats,
               short))


def check_short(frame, data, decoded, index):
    """A short frame: every value dtconv gives must be canmatrix's whatever the missing bytes
    are (padded with zeros and with ones), so none of them came from past the frame's data."""
    failures = []
    for pad in (b"\x00", b"\xFF"):
        theirs = frame.decode(data + pad * (frame.size - len(data)))
        for name, (text, *_) in decoded.items():
            ds = theirs.get(name)
            if ds is None or not same_value(text, ds.phys_value, ds.signal):
                failures.append("short frame %d %s.%s: dtconv %s, canmatrix with the frame "
                                "padded by %s: %s" % (index, frame.name, name, text, pad.hex(),
                                                      ds and ds.phys_value))
    return failures


def run_cases(dbc_path, table_path):
    db = load_canmatrix(dbc_path)
    frames = {f.name: f for f in db.frames}
    failures, checked = [], 0
    with open(table_path) as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            cells = line.split("\t")
            message, frame_text, signal, expected = cells[:4]
            frame = frames[message]
            data = parse_frame(frame_text)
            if len(data) != frame.size:
                continue
            checked += 1
            ds = frame.decode(data).get(signal)
            where = "%s:%d" % (os.path.basename(table_path), number)
            if expected == "absent":
                if ds is not None:
                    failures.append("%s: canmatrix decodes %s as %s" % (where, signal,
                                                                          ds.phys_value))
                continue
            if ds is None:
                failures.append("%s: canmatrix does not decode %s" % (where, signal))
            elif not same_value(expected, ds.phys_value, ds.signal):
                failures.append("%s: %s is %s, canmatrix %s" % (where, signal, expected,
                                                               ds.phys_value))
            elif (cells[4] if len(cells) > 4 else "") != ds.signal.values.get(ds.raw_value, ""):
                failures.append("%s: value text of %s differs from canmatrix's %r" % (
                    where, signal, ds.signal.values.get(ds.raw_value)))
    report(failures, "%d rows of the case table agree with canmatrix" % (checked - len(failures)))


def parse_frame(text):
    if text == "-":
        return b""
    data = b""
    for token in text.split():
        byte, _, count = token.partition("*")
        data += bytes([int(byte, 16)]) * int(count or 1)
    return data


def report(failures, summary):
    for f in failures[:40]:
        print("FAIL:", f)
    if failures:
        print("FAIL: %d disagreements" % len(failures))
        sys.exit(1)
    print(summary)


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "generated":
        run_generated(sys.argv[2], sys.argv[3], sys.argv[4])
    elif len(sys.argv) == 4 and sys.argv[1] == "cases":
        run_cases(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The pcapng, Vector ASC and candump outputs of dtconv, read back by readers nobody here wrote.

Usage: can_logs_test.py GROUP DTCONV WRITE_CAPTURE
GROUP is one of
  cli         the command line: extensions, line ends, --iface-names, `dtconv info`, --help
  tshark      tshark reads the pcapng: interface per frame, identifiers, flags, data, errors
  python_can  python-can reads the ASC and candump logs back: frames, channels, FD flags,
              timestamps to the microsecond
  log2asc     can-utils' log2asc reads the candump log
A group whose reader is not installed exits with 77 (skipped) and says so.

WRITE_CAPTURE writes the capture "can_frames"; FRAMES below is what it holds.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

GROUP = sys.argv.pop(1)
DTCONV = os.path.abspath(sys.argv.pop(1))
WRITE_CAPTURE = os.path.abspath(sys.argv.pop(1))
SKIPPED = 77

# Time base of the capture: 2026-12-06 09:30:00.250 UTC, in microseconds.
BASE_US = 1796549400 * 1000000 + 250000
# The first frame's time; log2asc counts from it.
FIRST_US = 1000000


def counting(n, first):
    return bytes((first + i) & 0xFF for i in range(n)).hex()


def frame(t, line, ident, ext=False, rtr=False, data="", fd=None, dlc=None):
    """A CAN frame; fd is None for classic frames, else (BRS, ESI); dlc for classic frames."""
    return {"t": t, "line": line, "kind": "frame", "id": ident, "ext": ext, "rtr": rtr,
            "data": data, "fd": fd, "dlc": dlc}


def error(t, line, ack=False, prot_type=0, location=0):
    """An error frame: an acknowledgement error, or a protocol error of the given type bits and
    location."""
    return {"t": t, "line": line, "kind": "error", "ack": ack, "type": prot_type,
            "location": location}


FORM, STUFF, ACTIVE = 0x02, 0x04, 0x40

FRAMES = [
    frame(1000000, 1, 0x123, data=counting(8, 1), dlc=8),
    frame(1900000, 2, 0x18DAF110, ext=True, data="aabbcc", dlc=3),
    frame(2000000, 1, 0x7FF, rtr=True, dlc=4),
    frame(2000002, 2, 0x1ABCDEF, ext=True, rtr=True, dlc=0),
    frame(2500000, 1, 0x0AB, data=counting(64, 0x40), fd=(1, 0)),
    frame(3000000, 2, 0x1234567, ext=True, data=counting(12, 0xA0), fd=(1, 1)),
    frame(3000500, 1, 0x321, data=counting(16, 0x10), fd=(0, 1)),
    frame(3100000, 2, 0x0F0, fd=(0, 0)),
    frame(3200000, 1, 0x456, data=counting(8, 0x30), dlc=9),
    frame(4000000, 1, 0x100, data=counting(8, 0x20), dlc=8),
    error(4000000, 1, location=0x08),                 # status 3: CRC sequence
    error(4100000, 1, ack=True),                      # status 1
    error(4200000, 2, prot_type=FORM, location=0x18),  # status 2: CRC delimiter
    error(4300000, 1, prot_type=STUFF),                # status 4
    error(4400000, 1, prot_type=ACTIVE),               # status 5
    error(4500000, 2, prot_type=FORM, location=0x1B),  # status 6: ACK delimiter
    frame(5000000, 2, 0x5, data="1234", dlc=2),
    frame(12345678901, 2, 0x1FFFFFFF, ext=True, data="ff", dlc=1),
]


def run(*args, env=None, check=True):
    full_env = dict(os.environ)
    full_env.update(env or {})
    p = subprocess.run([DTCONV, *args], capture_output=True, text=True, env=full_env)
    if check and p.returncode != 0:
        raise AssertionError(f"dtconv {args} failed ({p.returncode}): {p.stderr}")
    return p


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class Base(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="dtconv-can-logs-")
        self.capture = os.path.join(self.dir, "frames.DT")
        subprocess.run([WRITE_CAPTURE, "can_frames", self.capture], check=True)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def out(self, name):
        return os.path.join(self.dir, name)

    def convert(self, fmt, *options, env=None):
        run("-q", "-f", fmt, *options, self.capture, env=env)
        ext = {"pcapng": ".pcapng", "asc": ".asc", "candump": ".log"}[fmt]
        return self.out("frames" + ext)


class Cli(Base):
    def test_each_format_writes_its_extension(self):
        for fmt, ext in (("pcapng", ".pcapng"), ("asc", ".asc"), ("candump", ".log")):
            with self.subTest(fmt):
                p = run("-f", fmt, "-o", self.out(fmt), self.capture)
                self.assertTrue(os.path.isfile(os.path.join(self.out(fmt), "frames" + ext)))
                self.assertIn("frames" + ext, p.stdout)

    def test_line_ends(self):
        cases = [
            ("asc", [], b"\r\n"),
            ("asc", ["--eol", "lf"], b"\n"),
            ("asc", ["--encoding", "utf8-bom", "--eol", "cr"], b"\r"),
            ("candump", [], b"\n"),
            ("candump", ["--eol", "crlf", "--encoding", "utf8-bom"], b"\n"),
        ]
        for fmt, options, eol in cases:
            with self.subTest(fmt=fmt, options=options):
                data = read_bytes(self.convert(fmt, *options))
                lines = data.split(eol)
                self.assertEqual(lines[-1], b"", "the last line ends with the line end")
                for line in lines:
                    self.assertNotIn(b"\r", line)
                    self.assertNotIn(b"\n", line)
                self.assertTrue(data.isascii(), "no byte order mark, plain ASCII")

    def test_iface_names(self):
        log = self.convert("candump", "--iface-names", "vcan0,ch_2.x")
        names = {line.split()[1] for line in open(log, encoding="ascii")}
        self.assertEqual(names, {"vcan0", "ch_2.x"})
        for bad in ["can0", "can0,", ",can1", "can0,can1,can2", "can 0,can1", "can0,a/b",
                    "can0,a:b", "can0," + "x" * 16, "can0,.."]:
            with self.subTest(bad):
                p = run("-f", "candump", "--iface-names", bad, self.capture, check=False)
                self.assertEqual(p.returncode, 2, p.stderr)
                self.assertIn("--iface-names", p.stderr)

    def test_formats_only_for_can(self):
        for target in ("analog", "gnss", "wave"):
            for fmt in ("pcapng", "asc", "candump"):
                p = run("-t", target, "-f", fmt, self.capture, check=False)
                self.assertEqual(p.returncode, 2, (target, fmt))

    def test_info_lists_every_format(self):
        text = run("info").stdout
        for fmt, ext in (("pcapng", ".pcapng"), ("asc", ".asc"), ("candump", ".log"),
                         ("pcap", ".pcap"), ("text", ".txt"), ("kml", ".kml")):
            self.assertRegex(text, rf"(?m)^\w+\s+{fmt}\s+\{ext}\s")
        listed = json.loads(run("info", "--json").stdout)["formats"]
        can = [(f["format"], f["extension"]) for f in listed if f["target"] == "can"]
        self.assertEqual(can, [("text", ".txt"), ("csv", ".csv"), ("pcap", ".pcap"),
                               ("pcapng", ".pcapng"), ("asc", ".asc"), ("candump", ".log")])
        self.assertEqual({f["target"] for f in listed}, {"can", "analog", "gnss", "wave", "signals"})

    def test_help_documents_the_formats_with_examples(self):
        text = run("--help").stdout
        for needle in ("pcapng", "asc", "candump", "--iface-names", "dtconv -f pcapng",
                       "dtconv -f asc", "dtconv -f candump"):
            self.assertIn(needle, text)


def tshark(path, fields):
    cmd = ["tshark", "-r", path, "-T", "fields", "-E", "separator=|"]
    for f in fields:
        cmd += ["-e", f]
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    return [dict(zip(fields, line.split("|"))) for line in out.splitlines()]


def flag(value):
    return int(value) if value not in ("", None) else None


class Tshark(Base):
    FIELDS = [
        "frame.interface_id", "frame.interface_name", "frame.interface_description",
        "frame.time_epoch", "can.id", "can.flags.xtd", "can.flags.rtr", "can.flags.err",
        "canfd.flags.brs", "canfd.flags.esi", "can.len", "data.data", "can.err.ack",
        "can.err.prot", "can.err.prot.type.form", "can.err.prot.type.stuff",
        "can.err.prot.type.active", "can.err.prot.location",
    ]
    DESCRIPTIONS = {
        1: "CAN/CAN FD (ISO), bit rate 500k, data bit rate 2M",
        2: "CAN/CAN FD (NON-ISO), bit rate 250k, data bit rate 5M",
    }

    def check(self, packets, expected):
        self.assertEqual(len(packets), len(expected))
        for n, (got, want) in enumerate(zip(packets, expected), start=1):
            with self.subTest(packet=n):
                line = want["line"]
                self.assertEqual(flag(got["frame.interface_id"]), line - 1)
                self.assertEqual(got["frame.interface_name"], f"CH{line}")
                self.assertEqual(got["frame.interface_description"], self.DESCRIPTIONS[line])
                self.assertEqual(round(float(got["frame.time_epoch"]) * 1e6), BASE_US + want["t"])
                if want["kind"] == "frame":
                    self.assertEqual(flag(got["can.id"]), want["id"])
                    self.assertEqual(flag(got["can.flags.xtd"]), int(want["ext"]))
                    self.assertEqual(flag(got["can.flags.err"]) or 0, 0)
                    self.assertEqual(got["data.data"], want["data"])
                    self.assertEqual(flag(got["can.len"]), len(want["data"]) // 2)
                    if want["fd"] is None:
                        self.assertEqual(flag(got["can.flags.rtr"]), int(want["rtr"]))
                        self.assertEqual((got["canfd.flags.brs"], got["canfd.flags.esi"]),
                                         ("", ""))
                    else:
                        self.assertEqual((flag(got["canfd.flags.brs"]),
                                          flag(got["canfd.flags.esi"])), want["fd"])
                else:
                    self.assertEqual(flag(got["can.flags.err"]), 1)
                    self.assertEqual(flag(got["can.len"]), 8)
                    self.assertEqual(flag(got["can.err.ack"]), int(want["ack"]))
                    self.assertEqual(flag(got["can.err.prot"]), int(not want["ack"]))
                    if not want["ack"]:
                        self.assertEqual(flag(got["can.err.prot.type.form"]),
                                         int(want["type"] == FORM))
                        self.assertEqual(flag(got["can.err.prot.type.stuff"]),
                                         int(want["type"] == STUFF))
                        self.assertEqual(flag(got["can.err.prot.type.active"]),
                                         int(want["type"] == ACTIVE))
                        self.assertEqual(flag(got["can.err.prot.location"]), want["location"])

    def test_every_frame_on_its_lines_interface(self):
        path = self.convert("pcapng")
        self.check(tshark(path, self.FIELDS), FRAMES)
        protocols = {p["frame.protocols"] for p in tshark(path, ["frame.protocols"])}
        self.assertTrue(all(p.startswith("can") for p in protocols), protocols)

    def test_one_line_keeps_its_interface_number(self):
        for line in (1, 2):
            with self.subTest(line=line):
                path = self.convert("pcapng", "--line", f"ch{line}")
                self.check(tshark(path, self.FIELDS), [f for f in FRAMES if f["line"] == line])

    def test_capinfos_sees_two_interfaces_at_microseconds(self):
        if shutil.which("capinfos") is None:
            self.skipTest("capinfos is not installed")
        info = subprocess.run(["capinfos", self.convert("pcapng")], check=True,
                              capture_output=True, text=True).stdout
        self.assertRegex(info, r"Number of interfaces in file:\s+2")
        self.assertRegex(info, r"Name = CH1")
        self.assertRegex(info, r"Name = CH2")
        self.assertRegex(info, r"Speed = 500000")
        self.assertRegex(info, r"Speed = 250000")
        self.assertRegex(info, r"Time precision = microseconds")


class PythonCan(Base):
    ZONE = "Asia/Tokyo"

    def setUp(self):
        super().setUp()
        self._tz = os.environ.get("TZ")
        os.environ["TZ"] = self.ZONE
        time.tzset()

    def tearDown(self):
        if self._tz is None:
            os.environ.pop("TZ", None)
        else:
            os.environ["TZ"] = self._tz
        time.tzset()
        super().tearDown()

    def check(self, messages, expected, time_of, channel_of, fd_empty_reads_as_remote=False,
              error_channel=True):
        self.assertEqual(len(messages), len(expected))
        for n, (msg, want) in enumerate(zip(messages, expected), start=1):
            with self.subTest(message=n, expected=want):
                self.assertEqual(round(msg.timestamp * 1e6), time_of(want["t"]))
                if want["kind"] == "error":
                    self.assertTrue(msg.is_error_frame)
                    if error_channel:
                        self.assertEqual(msg.channel, channel_of(want["line"]))
                    continue
                self.assertFalse(msg.is_error_frame)
                self.assertEqual(msg.channel, channel_of(want["line"]))
                self.assertEqual(msg.arbitration_id, want["id"])
                self.assertEqual(msg.is_extended_id, want["ext"])
                self.assertEqual(msg.is_fd, want["fd"] is not None)
                if want["fd"] is not None:
                    self.assertEqual((int(msg.bitrate_switch), int(msg.error_state_indicator)),
                                     want["fd"])
                    # python-can reads a CANFD line of data length 0 as a remote frame.
                    empty = fd_empty_reads_as_remote and want["data"] == ""
                    self.assertEqual(msg.is_remote_frame, empty)
                else:
                    self.assertEqual(msg.is_remote_frame, want["rtr"])
                if want["rtr"]:
                    self.assertEqual(msg.dlc, want["dlc"])
                else:
                    self.assertEqual(bytes(msg.data).hex(), want["data"])

    def test_asc_frames_channels_flags_and_times(self):
        import can
        path = self.convert("asc", env={"TZ": self.ZONE})
        with open(path, encoding="ascii", newline="") as f:
            lines = f.read().split("\r\n")
        # The capture start, 09:30:00.250 UTC, in Tokyo.
        self.assertEqual(lines[0], "date Sun Dec 06 06:30:00.250 pm 2026")
        self.assertEqual(lines[1], "base hex  timestamps absolute")
        self.assertEqual(lines[3], "Begin Triggerblock Sun Dec 06 06:30:00.250 pm 2026")
        self.assertEqual(lines[-2], "End TriggerBlock")

        relative = list(can.ASCReader(path))
        self.check(relative, FRAMES, lambda t: t, lambda line: line - 1,
                   fd_empty_reads_as_remote=True)
        absolute = list(can.ASCReader(path, relative_timestamp=False))
        self.check(absolute, FRAMES, lambda t: BASE_US + t, lambda line: line - 1,
                   fd_empty_reads_as_remote=True)

    def test_asc_of_one_line(self):
        import can
        path = self.convert("asc", "--line", "ch2")
        self.check(list(can.ASCReader(path)), [f for f in FRAMES if f["line"] == 2],
                   lambda t: t, lambda line: line - 1, fd_empty_reads_as_remote=True)

    def test_candump_frames_channels_flags_and_times(self):
        import can
        for names in (None, ("vcan3", "vcan4")):
            with self.subTest(names=names):
                options = ["--iface-names", ",".join(names)] if names else []
                names = names or ("can0", "can1")
                path = self.convert("candump", *options)
                messages = list(can.CanutilsLogReader(path))
                # python-can keeps no channel for error frames; the log's own lines name it.
                self.check(messages, FRAMES, lambda t: BASE_US + t, lambda line: names[line - 1],
                           error_channel=False)
                with open(path, encoding="ascii") as f:
                    channels = [line.split()[1] for line in f]
                self.assertEqual(channels, [names[w["line"] - 1] for w in FRAMES])


class Log2Asc(Base):
    def parse(self, text):
        """Events of log2asc's ASC output as (time, channel, kind, id, flags, data)."""
        events = []
        for line in text.splitlines():
            if not re.match(r"\s*\d+\.\d+ ", line):
                continue
            tokens = line.split()
            t = round(float(tokens[0]) * 1e6)
            if tokens[1] == "CANFD":
                length = int(tokens[8])
                events.append((t, int(tokens[2]), "fd", tokens[4], (int(tokens[5]), int(tokens[6])),
                               "".join(tokens[9:9 + length]).lower()))
            elif tokens[2] == "ErrorFrame":
                events.append((t, int(tokens[1]), "error", None, None, None))
            elif tokens[4] == "r":
                events.append((t, int(tokens[1]), "remote", tokens[2], int(tokens[5], 16), ""))
            else:
                count = int(tokens[5], 16)
                events.append((t, int(tokens[1]), "data", tokens[2], None,
                               "".join(tokens[6:6 + count]).lower()))
        return events

    def expected(self):
        events = []
        for w in FRAMES:
            t = w["t"] - FIRST_US
            if w["kind"] == "error":
                events.append((t, w["line"], "error", None, None, None))
                continue
            ident = f"{w['id']:X}" + ("x" if w["ext"] else "")
            if w["fd"] is not None:
                events.append((t, w["line"], "fd", ident, w["fd"], w["data"]))
            elif w["rtr"]:
                events.append((t, w["line"], "remote", ident, w["dlc"], ""))
            else:
                events.append((t, w["line"], "data", ident, None, w["data"]))
        return events

    def test_reads_every_frame_of_the_candump_log(self):
        for names in (("can0", "can1"), ("vcan7", "vcan8")):
            with self.subTest(names=names):
                path = self.convert("candump", "--iface-names", ",".join(names))
                asc = self.out("log2asc.asc")
                subprocess.run(["log2asc", "-I", path, "-O", asc, *names], check=True)
                with open(asc, encoding="ascii") as f:
                    self.assertEqual(self.parse(f.read()), self.expected())


GROUPS = {"cli": (Cli, None), "tshark": (Tshark, "tshark"),
          "python_can": (PythonCan, "python-can"), "log2asc": (Log2Asc, "log2asc")}


def reader_missing(group):
    if group == "tshark":
        return shutil.which("tshark") is None
    if group == "log2asc":
        return shutil.which("log2asc") is None
    if group == "python_can":
        try:
            import can  # noqa: F401
        except ImportError:
            return True
    return False


def main():
    if GROUP not in GROUPS:
        print(__doc__, file=sys.stderr)
        return 2
    case, reader = GROUPS[GROUP]
    if reader_missing(GROUP):
        print(f"SKIPPED: {reader} is not installed for {sys.executable} "
              f"(scripts/deps installs it)", file=sys.stderr)
        return SKIPPED
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(case)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# dtconv through its command line, its outputs read back by programs nobody here wrote.
#
# GROUP is a class below (GROUPS): cli, info (against tests/golden/info, cases in info_cases.txt),
# csv, kml, tshark, python_can, log2asc. Captures are make_capture's recipes
# (tests/cases/captures/). The CAN groups all check the capture can_mixed against one list of what
# it holds: can_mixed_frames.txt beside this script.
#
# scripts/deps installs the readers for `make check`, so a group whose reader is missing FAILS.
# Only with DTCONV_ALLOW_MISSING_READERS=1 (for developers' machines) does it exit with 77 instead,
# which ctest reports as skipped. DTCONV_UPDATE_GOLDEN=1 rewrites the info goldens (not under CI).
import csv
import datetime
import importlib.util
import itertools
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import types
import unittest
import zoneinfo

USAGE = "usage: interop_test.py GROUP DTCONV MAKE_CAPTURE SOURCE_DIR"
if len(sys.argv) != 5:
    sys.exit(USAGE)
GROUP, DTCONV, MAKE_CAPTURE, SOURCE = sys.argv[1], *(os.path.abspath(a) for a in sys.argv[2:])
HERE = os.path.dirname(os.path.abspath(__file__))
EXT = {"text": ".txt", "csv": ".csv", "kml": ".kml", "pcap": ".pcap", "pcapng": ".pcapng",
       "asc": ".asc", "candump": ".log"}
# interop_track.cap: its three usable fixes as (latitude, longitude, altitude).
TRACK = [(35.6543210 + k * 0.001, 139.7012345 - k * 0.002, 12.345 + k) for k in range(3)]
# can_mixed.cap: its time base in microseconds (the nanoseconds cut), and its lines' set-ups.
BASE_US = 1796549400 * 10**6 + 123456
LINES = [(500000, "CAN/CAN FD (ISO), bit rate 500k, data bit rate 2M"),
         (250000, "CAN/CAN FD (NON-ISO), bit rate 250k, data bit rate 5M")]
FD_LENGTHS = [0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64]


def table(name, sep="|"):
    # The rows of a case table beside this script, their cells trimmed; "#" starts a comment.
    with open(os.path.join(HERE, name), encoding="utf-8") as f:
        return [[c.strip() for c in r.split(sep)] for r in f if r.strip() and r[0] != "#"]


def frame(t, line, kind, name, dlc, brs, esi, data):
    if data.startswith("count:"):
        _, n, first = data.split(":")
        data = bytes((int(first, 16) + i) & 0xFF for i in range(int(n))).hex()
    return types.SimpleNamespace(
        t=int(t), line=int(line), kind=kind, name=name, id=int(name.rstrip("x"), 16),
        ext=name.endswith("x"), dlc=None if dlc == "-" else int(dlc, 16),
        fd=None if brs == "-" else (int(brs), int(esi)), data=bytes.fromhex(data.strip("-")))


FRAMES = [frame(*row) for row in table("can_mixed_frames.txt", None)]


def on_line(line):
    return [f for f in FRAMES if line is None or f.line == line]


def run(*args, code=0, env=None, cwd=None, text=True):
    # dtconv ARGS, which must end with exit status `code`.
    p = subprocess.run([DTCONV, *args], capture_output=True, text=text, timeout=120, cwd=cwd,
                       env=dict(os.environ, SOURCE_DATE_EPOCH="1796519109", **(env or {})))
    if p.returncode != code:
        raise AssertionError(f"dtconv {args}: exit status {p.returncode}, not {code}: {p.stderr}")
    return p


def tool(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True, timeout=120).stdout


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory(prefix="dtconv-interop-"))

    def out(self, *names):
        return os.path.join(self.dir, *names)

    def capture(self, name, recipe="use can_mixed"):
        path = self.out(name + ".DT")
        subprocess.run([MAKE_CAPTURE, path, recipe], check=True, timeout=120)
        return path

    def track(self):
        path = self.out("track.DT")
        return path if os.path.exists(path) else self.capture("track", "use interop_track")

    def convert(self, capture, fmt, *options, env=None, line=None):
        # Converts the capture (of one line only, where given) into its folder; the output's path.
        run("-q", "-f", fmt, *options, *(["--line", f"ch{line}"] if line else []), capture, env=env)
        return os.path.splitext(capture)[0] + EXT[fmt]

    def assert_frames(self, fmt, read, expected, *options, line=None):
        # can_mixed converted (of one line only, where given) as `read` finds it in the output
        # against expected(f) for each frame f of the frame table.
        path = self.convert(self.capture("mixed"), fmt, *options, line=line)
        self.assertEqual(read(path), [expected(f) for f in on_line(line)])


class Cli(Case):
    def test_usage_errors_explain_themselves_and_write_nothing(self):
        # usage_errors.txt: status 2, a message that starts as given, nothing written.
        self.capture("c")  # bad.dbc: a signal lacks the bracket after its maximum
        names = {"CAPTURE": "c.DT", "BAD_DBC": os.path.join(HERE, "bad.dbc"),
                 "VEHICLE_DBC": os.path.join(SOURCE, "samples", "vehicle.dbc")}
        before = sorted(os.listdir(self.dir))
        for args, message in table("usage_errors.txt"):
            for name, value in names.items():
                args, message = args.replace(name, value), message.replace(name, value)
            with self.subTest(args=args):
                argv = args.split() + ([] if args.startswith("info") else ["-o", "out"])
                p = run(*argv, code=2, cwd=self.dir)
                self.assertTrue(p.stderr.startswith("dtconv: " + message), p.stderr)
                self.assertEqual((p.stdout, sorted(os.listdir(self.dir))), ("", before))

    def test_a_folder_into_an_output_folder_with_one_or_four_jobs(self):
        for i in range(6):
            shutil.copy(self.track(), self.out(f"t{i}.dt"))
        shutil.copy(os.path.join(HERE, "info_cases.txt"), self.out("notes.txt"))  # no capture
        p = run("-t", "gnss", "-f", "csv", "-j", "1", "-o", self.out("one", "deeper"), self.dir)
        self.assertIn("t0.csv", p.stdout)
        run("-q", "-t", "gnss", "-f", "csv", "-j", "4", "-o", self.out("four"), self.dir)
        names = sorted(os.listdir(self.out("one", "deeper")))
        self.assertEqual(names, [f"t{i}.csv" for i in range(6)] + ["track.csv"])
        for name in names:
            self.assertEqual(read_bytes(self.out("one", "deeper", name)),
                             read_bytes(self.out("four", name)))

    def test_refused_inputs_with_their_reasons_and_no_output(self):
        track, bad = self.track(), self.capture("bad", "use base; file byte.15=0x58")
        shutil.copy(track, self.out("capture.txt"))
        shutil.copy(track, self.out("track.dt"))
        before = read_bytes(self.out("capture.txt"))
        for inputs, reason, absent in [
                (["absent.DT"], r"absent.DT: Cannot convert. \(file not found\)", "absent.txt"),
                (["capture.txt"], r"capture.txt: Cannot convert. \(.*overwrite the input\)", None),
                (["track.DT", "track.dt"],
                 "track.dt: not converted: track.txt is also the output of another", "track.txt"),
                (["bad.DT", "track.DT"], "bad.DT: The .* is unsupported or corrupt", "bad.txt")]:
            with self.subTest(inputs=inputs):
                self.assertRegex(run("-t", "gnss", *inputs, code=1, cwd=self.dir).stderr, reason)
                self.assertFalse(absent and os.path.exists(self.out(absent)))
        self.assertEqual(read_bytes(self.out("capture.txt")), before)
        self.assertGreater(os.path.getsize(self.out("track.txt")), 0)  # beside the broken one

    def test_candump_logs_keep_their_own_line_end_and_code(self):
        data = read_bytes(self.convert(self.capture("mixed"), "candump", "--eol", "crlf",
                                       "--encoding", "utf8-bom"))
        self.assertTrue(data.isascii() and data.endswith(b"\n") and b"\r" not in data)

    def test_help_version_and_the_formats(self):
        self.assertIn("Examples:", run("--help").stdout)  # its text: cli_options_test.cpp
        self.assertRegex(run("--version").stdout, r"^dtconv \d+\.\d+\.\d+")
        text = run("info").stdout
        for fmt in ("text", "csv", "pcap", "pcapng", "asc", "candump", "kml"):
            self.assertRegex(text, rf"(?m)^\w+\s+{fmt}\s+\{EXT[fmt]}\s")
        listed = json.loads(run("info", "--json").stdout)["formats"]
        self.assertEqual({f["target"] for f in listed},
                         {"can", "analog", "gnss", "wave", "signals"})

    def settings(self, text):
        # A settings file as the desktop program saves it: UTF-16 with a byte order mark.
        with open(self.out("dtconv_exbca.ini"), "wb") as f:
            f.write(b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))
        return self.out("dtconv_exbca.ini")

    def test_settings_file_choices_and_the_options_over_them(self):
        ini = self.settings("[cvtSettings]\nfolder=C:\\logs\n[cvtParams]\ntargetData=GPS\n"
                            "outputType=Csv\n[outputParams]\nadditional=True\n"
                            "outCode=UTF-8 BOM\nlineFeed=LF\ncsvDelimit=;\n")
        run("-q", "--settings", ini, "-o", self.out("a"), self.track())
        run("-q", "-t", "gnss", "-f", "csv", "--encoding", "utf8-bom", "--eol", "lf",
            "--delimiter", ";", "-o", self.out("b"), self.track())
        self.assertEqual(*(read_bytes(self.out(d, "track.csv")) for d in "ab"))
        run("-q", "--settings", ini, "-f", "kml", "--eol", "crlf", self.track())
        data = read_bytes(self.out("track.kml"))
        self.assertTrue(data.startswith(b"\xef\xbb\xbf") and b"\r\n" in data)
        self.assertFalse(os.path.exists(self.out("track.csv")))
        ini = self.settings("[cvtParams]\ntargetData=gps\n")
        p = run("-q", "--settings", ini, self.track())
        self.assertIn("cvtParams/targetData=gps", p.stderr)
        self.assertTrue(os.path.exists(self.out("track.txt")))

    def test_ctrl_c_stops_removes_the_partial_output_and_lists_the_rest(self):
        # Three big captures in a row: the interrupt goes as soon as the first's temporary output
        # appears, and lands in one of them however long the polling takes.
        names = ["a_first", "b1_big", "b2_big", "b3_big", "c_last"]
        big = self.capture("b1_big", "random 7 300000 c")
        for name in names[2:4]:
            os.link(big, self.out(name + ".DT"))
        for name in (names[0], names[4]):
            shutil.copy(self.track(), self.out(name + ".DT"))
        os.mkdir(self.out("out"))
        proc = subprocess.Popen([DTCONV, "-j", "1", "-t", "can", "-o", self.out("out"),
                                 *(self.out(n + ".DT") for n in names)],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(proc.kill)
        deadline = time.monotonic() + 60
        while not any(n.startswith("b") and n.endswith(".dtconv-part")
                      for n in os.listdir(self.out("out"))):
            self.assertIsNone(proc.poll(), "dtconv ended before the big captures")
            self.assertLess(time.monotonic(), deadline, "the big captures never started")
            time.sleep(0.001)
        proc.send_signal(signal.SIGINT)
        _, err = proc.communicate(timeout=60)
        self.assertEqual(proc.returncode, 130, err)
        done = sorted(os.listdir(self.out("out")))
        self.assertIn(len(done), (1, 2, 3), err)
        self.assertEqual(done, [n + ".txt" for n in names[:len(done)]])
        self.assertGreater(os.path.getsize(self.out("out", "a_first.txt")), 0)
        self.assertIn(f"{names[len(done)]}.DT: stopped; no output written", err)
        for name in names[len(done) + 1:]:
            self.assertIn(f"{name}.DT: not converted (stopped)", err)


class Info(Case):
    TYPES = {"string": str, "integer": int, "boolean": bool, "array": list, "null": type(None)}

    def test_against_the_golden_files(self):
        update = os.environ.get("DTCONV_UPDATE_GOLDEN") == "1"
        self.assertFalse(update and "CI" in os.environ, "DTCONV_UPDATE_GOLDEN is refused in CI")
        for golden, form, status, capture, *options in table("info_cases.txt"):
            with self.subTest(golden):
                cwd = SOURCE if capture.startswith("samples/") else self.dir
                if cwd == self.dir:
                    capture = os.path.basename(self.capture(os.path.splitext(golden)[0], capture))
                out = run("info", *(options[0].split() if options else []),
                          *(["--json"] if form == "json" else []), capture, cwd=cwd,
                          code=int(status), text=False).stdout
                path = os.path.join(SOURCE, "tests", "golden", "info", golden)
                if update:
                    with open(path, "wb") as f:
                        f.write(out)
                # One key a line, for a readable difference.
                self.assertEqual(out.replace(b", ", b",\n").decode(),
                                 read_bytes(path).replace(b", ", b",\n").decode())

    def check_types(self, obj, keys, seen):
        for key, value in obj.items():
            matches = [k for k, (pattern, _) in keys.items() if re.match(pattern, key)]
            self.assertEqual(len(matches), 1, f"{key} matches documented keys {matches}")
            seen.add(matches[0])
            # bool is an int in Python: a boolean must be documented as one.
            self.assertTrue(any(type(value) is t for t in keys[matches[0]][1]), (key, value))
            for item in value if isinstance(value, list) else []:
                self.check_types(item, keys, seen)

    def test_every_key_is_documented_once_with_its_type_and_produced(self):
        keys, seen = {}, set()
        with open(os.path.join(SOURCE, "docs", "info-json.md"), encoding="utf-8") as f:
            for m in re.finditer(r"(?m)^\| `([^`]+)` \| ([a-z ]+) \|", f.read()):
                self.assertNotIn(m[1], keys, "documented twice")
                keys[m[1]] = ("^" + re.escape(m[1]).replace("<n>", "[1-9]") + "$",
                              tuple(self.TYPES[t] for t in m[2].split(" or ")))
        for name in ("unrecorded", "rejected", "track"):
            self.capture(name, f"use interop_{name}")
        self.capture("mixed")
        folders = [os.path.join(SOURCE, "samples"), self.dir]
        def infos(*args, code=1):  # one object a line
            return [json.loads(o) for o in run("info", "--json", *args, code=code).stdout
                    .splitlines()]
        objects = infos(*folders)
        dbc = ["--dbc", os.path.join(SOURCE, "samples", "vehicle.dbc")]
        for obj in objects + infos(*dbc, *folders) + infos(code=0):
            self.check_types(obj, keys, seen)
        self.assertEqual(set(keys) - seen, set(), "documented, but no capture produced them")
        # A folder gives one object for each of its captures, in name order.
        self.assertEqual([os.path.basename(o["file"]) for o in objects],
                         [n for d in folders for n in sorted(os.listdir(d)) if n.endswith(".DT")])
        self.assertEqual([o["file"] for o in objects if not o["valid"]], [self.out("rejected.DT")])
        track = next(o for o in objects if o["file"] == self.out("track.DT"))
        self.assertEqual([track[k] for k in ("gnss_fixes_gnss", "gnss_fixes_time_only",
                                             "gnss_fixes_invalid", "lost_data_markers")],
                         [3, 1, 1, 1])


class Csv(Case):
    def test_local_times_agree_with_python(self):
        base = datetime.datetime(2026, 10, 25, tzinfo=datetime.timezone.utc).timestamp()
        for zone in ["UTC", "Asia/Tokyo", "Europe/Berlin", "America/New_York"]:
            with open(self.convert(self.track(), "csv", "-t", "gnss", env={"TZ": zone})) as f:
                rows = list(csv.reader(f))[1:]
            # The time base's 0.999999 s and the fixes' 1 us carry into the next second.
            want = [datetime.datetime.fromtimestamp(base + 1 + s * 1800, zoneinfo.ZoneInfo(zone))
                    for s in range(5)]
            self.assertEqual([r[0] for r in rows], [w.strftime("%Y/%m/%d %H:%M:%S") for w in want])

    def test_every_table_of_every_sample_in_every_delimiter_and_code(self):
        for target, *options in map(str.split, [
                "can --diff --elapsed --add-analog --add-gnss", "can --timestamp us --line ch2",
                "analog --add-gnss --elapsed", "analog --timestamp s", "gnss", "wave"]):
            for extra, encoding, delimiter in [
                    ([], "cp1252", ","),
                    (["--encoding", "utf8-bom", "--delimiter", "\\t"], "utf-8-sig", "\t"),
                    (["--encoding", "utf8", "--delimiter", ";", "--eol", "cr"], "utf-8", ";")]:
                out = self.out(f"{target}{options}{encoding}")
                run("-q", "-t", target, "-f", "csv", *options, *extra, "-o", out,
                    os.path.join(SOURCE, "samples"))
                tables = 0
                for name in sorted(os.listdir(out)):
                    with open(os.path.join(out, name), newline="", encoding=encoding) as f:
                        rows = list(csv.reader(f, delimiter=delimiter))
                    # The analog table opens with settings rows (label, value) of another shape.
                    start = next((i for i, r in enumerate(rows) if r and r[0] in (
                        "Elapsed(sec.)", "Date(YYYY/MM/DD)", "Timestamp", "Time[s]")), None)
                    if start is not None:
                        tables += 1
                        self.assertEqual({len(r) for r in rows[start:]}, {len(rows[start])}, name)
                self.assertGreater(tables, 0, (target, options, extra))


class Kml(Case):
    def setUp(self):
        super().setUp()
        self.kml = self.convert(self.track(), "kml", "-t", "gnss")

    def test_xmllint_accepts_it(self):
        tool("xmllint", "--noout", self.kml)

    def test_gdal_finds_the_path_and_its_first_and_last_point(self):
        text = tool("ogrinfo", "-ro", "-al", "-q", self.kml)
        self.assertEqual(re.findall(r"Name \(String\) = (\w+)", text), ["Path", "First", "Last"])
        lines = re.findall(r"LINESTRING Z \(([^)]*)\)", text)
        points = re.findall(r"POINT Z \(([^)]*)\)", text)
        self.assertEqual((len(lines), len(points)), (1, 2))
        got = [[round(float(v), 7) for v in p.split()] for p in lines[0].split(",") + points]
        self.assertEqual(got, [[round(o, 7), round(a, 7), round(h, 2)]  # the path, first, last
                               for a, o, h in TRACK + TRACK[::2]])

    def test_gpsbabel_reads_the_track_and_the_points(self):
        def read(*options):
            return list(csv.DictReader(tool("gpsbabel", *options, "-i", "kml", "-f", self.kml,
                                            "-o", "unicsv", "-F", "-").splitlines()))
        # unicsv prints six decimals.
        self.assertEqual([(round(float(r["Latitude"]), 6), round(float(r["Longitude"]), 6))
                          for r in read("-t")], [(round(a, 6), round(o, 6)) for a, o, _ in TRACK])
        self.assertEqual([(r["Name"], float(r["Latitude"])) for r in read()],
                         [("First", round(TRACK[0][0], 6)), ("Last", round(TRACK[-1][0], 6))])


class Tshark(Case):
    FIELDS = ("frame.interface_id frame.interface_name frame.time_epoch frame.protocols can.id "
              "can.flags.xtd can.flags.rtr can.flags.err canfd.flags.brs canfd.flags.esi can.len "
              "data.data can.err.ack can.err.prot can.err.prot.type.form can.err.prot.type.stuff "
              "can.err.prot.type.active can.err.prot.location").split()

    def packets(self, path):
        # The AUTOSAR NM dissector claims some frames by heuristics, and takes their data bytes.
        out = tool("tshark", "--disable-protocol", "autosar-nm", "-r", path, "-T", "fields",
                   "-E", "separator=|", *(a for f in self.FIELDS for a in ("-e", f)))
        packets = [dict(zip(self.FIELDS, row.split("|"))) for row in out.splitlines()]
        for p in packets:  # in microseconds, and the link layer only
            p["frame.time_epoch"] = round(float(p["frame.time_epoch"]) * 10**6)
            p["frame.protocols"] = p["frame.protocols"].split(":")[0]
        return packets

    def expected(self, f, pcapng):
        # The fields of frame f's packet, from the frame table.
        head = [str(f.line - 1), f"CH{f.line}"] if pcapng else ["", ""]
        head += [BASE_US + f.t, "can"]
        if f.kind == "error":
            prot = f.id >> 3 & 1  # the protocol error's type and location
            kinds = [str(f.data[2] >> b & 1) for b in (1, 2, 6)] + [str(f.data[3])]
            values = ["", "", "", "1", "", "", "8", "", str(f.id >> 5 & 1), str(prot),
                      *(kinds if prot else [""] * 4)]
        else:
            classic = "" if f.fd else "0"
            values = [str(f.id), str(int(f.ext)), classic and str(int(f.kind == "remote")),
                      classic, *(map(str, f.fd) if f.fd else ["", ""]), str(len(f.data)),
                      f.data.hex(), *[""] * 6]
        return dict(zip(self.FIELDS, head + values))

    def test_every_packet_of_pcap_and_pcapng(self):
        for fmt, line in [("pcapng", None), ("pcapng", 1), ("pcapng", 2), ("pcap", None),
                          ("pcap", 2)]:
            with self.subTest(fmt=fmt, line=line):
                self.assert_frames(fmt, self.packets, lambda f: self.expected(f, fmt == "pcapng"),
                                   line=line)

    def test_capinfos_sees_each_line_as_an_interface(self):
        mixed, empty = self.capture("mixed"), self.capture("empty", "")
        info = tool("capinfos", self.convert(mixed, "pcapng"))
        self.assertRegex(info, r"Number of interfaces in file: 2\n")
        for n, text in enumerate(info.split("Interface #")[1:], start=1):
            for line in (f"Name = CH{n}", f"Description = {LINES[n - 1][1]}",
                         f"Speed = {LINES[n - 1][0]}", f"Number of packets = {len(on_line(n))}"):
                self.assertIn(line + "\n", text)
        for fmt in ("pcap", "pcapng"):
            self.assertRegex(tool("capinfos", self.convert(mixed, fmt)),
                             r"File encapsulation:\s+SocketCAN\nFile timestamp precision:\s+micro")
            self.assertRegex(tool("capinfos", self.convert(empty, fmt)), r"packets:\s+0\n")
            self.assertEqual(self.packets(self.out("empty" + EXT[fmt])), [])


class PythonCan(Case):
    @staticmethod
    def views(messages):
        return [(round(m.timestamp * 1e6), m.channel, "error") if m.is_error_frame else
                (round(m.timestamp * 1e6), m.channel, m.arbitration_id, m.is_extended_id,
                 m.is_remote_frame, (int(m.bitrate_switch), int(m.error_state_indicator))
                 if m.is_fd else None, m.dlc, bytes(m.data)) for m in messages]

    @staticmethod
    def expected(f, t0, channel, asc):
        if f.kind == "error":
            return (t0 + f.t, channel, "error")
        # python-can's ASC reader takes a classic frame's DLC through the CAN FD lengths, and a
        # CAN FD frame without data for a remote frame.
        dlc = len(f.data) if f.fd or f.kind == "data" and not asc else f.dlc
        remote = f.kind == "remote" or asc and f.fd is not None and not f.data
        return (t0 + f.t, channel, f.id, f.ext, remote, f.fd,
                FD_LENGTHS[dlc] if asc and not f.fd else dlc, f.data)

    def test_asc_frames_channels_flags_and_times(self):
        import can
        os.environ["TZ"] = "Asia/Tokyo"  # python-can reads the ASC date line in local time
        time.tzset()
        # The date line holds milliseconds.
        absolute = BASE_US // 1000 * 1000
        for line, (relative, t0) in itertools.product((None, 2), ((True, 0), (False, absolute))):
            with self.subTest(line=line, relative=relative):
                self.assert_frames(
                    "asc", lambda p: self.views(can.ASCReader(p, relative_timestamp=relative)),
                    lambda f: self.expected(f, t0, f.line - 1, True), line=line)

    def test_candump_frames_channels_flags_and_times(self):
        import can
        # python-can keeps no channel for an error frame (log2asc's check sees it).
        self.assert_frames("candump", lambda p: self.views(can.CanutilsLogReader(p)),
                           lambda f: self.expected(f, BASE_US, None if f.kind == "error" else
                                                   f"vcan{f.line + 2}", False),
                           "--iface-names", "vcan3,vcan4")


class Log2Asc(Case):
    @staticmethod
    def events(text):
        # The events of log2asc's ASC output as (time, channel, kind, id, flags, data).
        events = []
        for w in (l.split() for l in text.splitlines() if re.match(r"\s*\d+\.\d+\s", l)):
            t = round(float(w[0]) * 1e6)
            if w[1] == "CANFD":  # time CANFD channel Rx id BRS ESI DLC length data...
                events.append((t, int(w[2]), "fd", w[4], (int(w[5]), int(w[6])),
                               bytes.fromhex("".join(w[9:9 + int(w[8])]))))
            elif w[2] == "ErrorFrame":
                events.append((t, int(w[1]), "error", None, None, None))
            else:  # time channel id Rx d|r DLC data...
                count = int(w[5], 16)
                events.append((t, int(w[1]), {"d": "data", "r": "remote"}[w[4]], w[2],
                               count if w[4] == "r" else None,
                               bytes.fromhex("".join(w[6:6 + count])) if w[4] == "d" else b""))
        return events

    def test_reads_every_frame_of_the_candump_log(self):
        # log2asc counts time from the first frame.
        self.assert_frames(
            "candump", lambda p: self.events(tool("log2asc", "-I", p, "vcan7", "vcan8")),
            lambda f: (f.t - FRAMES[0].t, f.line, f.kind, None, None, None) if f.kind == "error"
            else (f.t - FRAMES[0].t, f.line, f.kind, f.name,
                  f.fd or (f.dlc if f.kind == "remote" else None), f.data),
            "--iface-names", "vcan7,vcan8")


# Each group: its test class, and its readers (programs, or Python modules as "python3-NAME").
GROUPS = {"cli": (Cli, []), "info": (Info, []), "csv": (Csv, []),
          "kml": (Kml, ["xmllint", "ogrinfo", "gpsbabel"]),
          "tshark": (Tshark, ["tshark", "capinfos"]), "python_can": (PythonCan, ["python3-can"]),
          "log2asc": (Log2Asc, ["log2asc"])}


def main():
    case, readers = GROUPS.get(GROUP) or sys.exit(USAGE)
    missing = [r for r in readers if (importlib.util.find_spec(r[8:]) is None
                                      if r.startswith("python3-") else shutil.which(r) is None)]
    if missing:
        allowed = os.environ.get("DTCONV_ALLOW_MISSING_READERS") == "1"
        print(f"{'SKIPPED' if allowed else 'FAILED'}: {', '.join(missing)} not installed for "
              f"{sys.executable} (scripts/deps installs it)", file=sys.stderr)
        return 77 if allowed else 1
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(case)
    return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

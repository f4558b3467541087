"""End-to-end tests of dtconv, with readers nobody here wrote: GDAL, gpsbabel, xmllint, Python's
csv module and Python's own time zone rules."""
import csv
import datetime
import io
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zoneinfo

DTCONV = os.path.abspath(sys.argv.pop(1))
WRITE_CAPTURE = os.path.abspath(sys.argv.pop(1))
MAKE_SAMPLES = os.path.abspath(sys.argv.pop(1))
TRACK = [(35.6543210 + k * 0.001, 139.7012345 - k * 0.002, 12.345 + k) for k in range(3)]


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def run(*args, env=None, check=True):
    full_env = dict(os.environ, SOURCE_DATE_EPOCH="1796519109")
    full_env.update(env or {})
    p = subprocess.run([DTCONV, *args], capture_output=True, text=True, env=full_env)
    if check and p.returncode != 0:
        raise AssertionError(f"dtconv {args} failed ({p.returncode}): {p.stderr}")
    return p


class Base(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="dtconv-e2e-")
        self.track = os.path.join(self.dir, "track.DT")
        subprocess.run([WRITE_CAPTURE, "track", self.track], check=True)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def out(self, name):
        return os.path.join(self.dir, name)


class Kml(Base):
    def setUp(self):
        super().setUp()
        run("-q", "-t", "gnss", "-f", "kml", self.track)
        self.kml = self.out("track.kml")

    def test_xmllint_accepts_it(self):
        subprocess.run(["xmllint", "--noout", self.kml], check=True)

    def test_gdal_finds_track_and_both_points(self):
        p = subprocess.run(["ogrinfo", "-ro", "-al", "-q", self.kml], capture_output=True,
                           text=True, check=True)
        text = p.stdout
        self.assertIn("Name (String) = Path", text)
        self.assertIn("Name (String) = First", text)
        self.assertIn("Name (String) = Last", text)
        line = [l for l in text.splitlines() if "LINESTRING" in l][0]
        coords = line[line.index("(") + 1:line.rindex(")")].split(",")
        self.assertEqual(len(coords), 3)
        for c, (lat, lon, alt) in zip(coords, TRACK):
            x, y, z = map(float, c.split())
            self.assertAlmostEqual(x, lon, places=7)
            self.assertAlmostEqual(y, lat, places=7)
            self.assertAlmostEqual(z, round(alt, 2), places=2)
        points = [l for l in text.splitlines() if "POINT" in l]
        self.assertEqual(len(points), 2)
        first = list(map(float, points[0][points[0].index("(") + 1:-1].split()))
        last = list(map(float, points[1][points[1].index("(") + 1:-1].split()))
        self.assertAlmostEqual(first[0], TRACK[0][1], places=7)
        self.assertAlmostEqual(first[1], TRACK[0][0], places=7)
        self.assertAlmostEqual(last[0], TRACK[2][1], places=7)
        self.assertAlmostEqual(last[1], TRACK[2][0], places=7)

    def test_gpsbabel_reads_the_track(self):
        p = subprocess.run(["gpsbabel", "-i", "kml", "-f", self.kml, "-x", "transform,wpt=trk",
                            "-o", "unicsv", "-F", "-"], capture_output=True, text=True,
                           check=True)
        rows = list(csv.DictReader(io.StringIO(p.stdout)))
        lats = sorted(round(float(r["Latitude"]), 6) for r in rows)
        for lat, _, _ in TRACK:
            self.assertIn(round(lat, 6), lats)
        p = subprocess.run(["gpsbabel", "-t", "-i", "kml", "-f", self.kml, "-o", "unicsv", "-F",
                            "-"], capture_output=True, text=True, check=True)
        rows = list(csv.DictReader(io.StringIO(p.stdout)))
        # unicsv prints six decimals
        self.assertEqual(len(rows), len(TRACK))
        for r, (lat, lon, _) in zip(rows, TRACK):
            self.assertAlmostEqual(float(r["Latitude"]), lat, delta=1e-6)
            self.assertAlmostEqual(float(r["Longitude"]), lon, delta=1e-6)


class Csv(Base):
    def read(self, *options, encoding="ascii", delimiter=","):
        run("-q", "-t", "gnss", "-f", "csv", *options, self.track)
        with open(self.out("track.csv"), newline="", encoding=encoding) as f:
            return list(csv.reader(f, delimiter=delimiter))

    def test_consistent_columns_for_every_delimiter_and_code(self):
        for options, encoding, delimiter in [
                ((), "ascii", ","), (("--delimiter", "\\t"), "ascii", "\t"),
                (("--delimiter", ";", "--encoding", "utf8-bom", "--eol", "lf"), "utf-8-sig", ";"),
                (("--encoding", "utf8", "--eol", "cr"), "utf-8", ",")]:
            rows = self.read(*options, encoding=encoding, delimiter=delimiter)
            self.assertEqual(rows[0][0], "Timestamp")
            self.assertEqual(len(rows), 6, options)
            self.assertEqual({len(r) for r in rows}, {9}, options)

    def test_local_times_agree_with_python(self):
        base = datetime.datetime(2026, 10, 25, tzinfo=datetime.timezone.utc).timestamp()
        for zone in ["UTC", "Asia/Tokyo", "Europe/Berlin", "America/New_York"]:
            run("-q", "-t", "gnss", "-f", "csv", self.track, env={"TZ": zone})
            with open(self.out("track.csv"), newline="") as f:
                rows = list(csv.reader(f))[1:]
            for s, row in enumerate(rows):
                # time base 0.999999 s plus 1 µs carries into the next second
                t = base + 1 + s * 1800
                want = datetime.datetime.fromtimestamp(t, zoneinfo.ZoneInfo(zone))
                self.assertEqual(row[0], want.strftime("%Y/%m/%d %H:%M:%S"), zone)


class EveryCsv(unittest.TestCase):
    """Every CSV table of every sample capture, read by Python's csv module."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="dtconv-csv-")
        subprocess.run([MAKE_SAMPLES, os.path.join(cls.dir, "in")], check=True,
                       capture_output=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def check_tables(self, out, encoding, delimiter):
        checked = 0
        for name in sorted(os.listdir(out)):
            with open(os.path.join(out, name), newline="", encoding=encoding) as f:
                rows = list(csv.reader(f, delimiter=delimiter))
            # The analog table opens with its settings rows (label, value), which have their own
            # shape; the table proper starts at its title row.
            start = next((i for i, r in enumerate(rows)
                          if r and r[0] in ("Elapsed(sec.)", "Date(YYYY/MM/DD)", "Timestamp",
                                            "Time[s]")), None)
            if start is None:
                continue
            table = rows[start:]
            self.assertGreaterEqual(len(table), 1, name)
            widths = {len(r) for r in table}
            self.assertEqual(widths, {len(table[0])}, f"{out}/{name}")
            checked += 1
        return checked

    def test_every_csv_conversion(self):
        variants = [
            ("can", ["--diff", "--elapsed", "--add-analog", "--add-gnss"]),
            ("can", ["--timestamp", "us", "--line", "ch2"]),
            ("analog", ["--add-gnss", "--elapsed"]),
            ("analog", ["--timestamp", "s"]),
            ("gnss", []),
            ("wave", []),
        ]
        for i, (target, options) in enumerate(variants):
            for extra, encoding, delimiter in [([], "cp1252", ","),
                                               (["--encoding", "utf8-bom", "--delimiter", "\\t"],
                                                "utf-8-sig", "\t")]:
                out = os.path.join(self.dir, f"out{i}-{encoding}")
                run("-q", "-t", target, "-f", "csv", *options, *extra, "-o", out,
                    os.path.join(self.dir, "in"), check=False)
                self.assertGreater(self.check_tables(out, encoding, delimiter), 0,
                                   (target, options, extra))


class CommandLine(Base):
    def test_usage_error_names_the_formats(self):
        p = run("-t", "analog", "-f", "kml", self.track, check=False)
        self.assertEqual(p.returncode, 2)
        self.assertIn("text, csv", p.stderr)

    def test_missing_file_fails_with_its_reason(self):
        p = run(self.out("absent.DT"), check=False)
        self.assertEqual(p.returncode, 1)
        self.assertIn("absent.DT", p.stderr)
        self.assertIn("Cannot convert.", p.stderr)
        self.assertIn("file not found", p.stderr)

    def test_corrupt_file(self):
        bad = self.out("bad.DT")
        with open(bad, "wb") as f:
            f.write(b"TALVERO DATA   X" + b"\0" * 64)
        p = run("-t", "gnss", bad, self.track, check=False)
        self.assertEqual(p.returncode, 1)
        self.assertIn("The specified data file is unsupported or corrupt.", p.stderr)
        self.assertTrue(os.path.getsize(self.out("track.txt")) > 0)
        self.assertFalse(os.path.exists(self.out("bad.txt")))

    def test_folder_and_output_dir(self):
        shutil.copy(self.track, self.out("second.dt"))
        with open(self.out("notes.txt"), "w") as f:
            f.write("not a capture")
        p = run("-t", "gnss", "-f", "csv", "-o", self.out("o/deeper"), self.dir)
        self.assertEqual(sorted(os.listdir(self.out("o/deeper"))), ["second.csv", "track.csv"])
        self.assertIn("track.csv", p.stdout)

    def test_never_overwrites_the_input(self):
        capture = self.out("capture.txt")
        shutil.copy(self.track, capture)
        before = read_bytes(capture)
        p = run("-t", "gnss", capture, check=False)
        self.assertEqual(p.returncode, 1)
        self.assertIn("overwrite the input", p.stderr)
        self.assertEqual(read_bytes(capture), before)

    def test_colliding_outputs_are_refused(self):
        shutil.copy(self.track, self.out("track.dt"))
        p = run("-t", "gnss", self.track, self.out("track.dt"), check=False)
        self.assertEqual(p.returncode, 1)
        self.assertIn("also the output of another input", p.stderr)
        self.assertFalse(os.path.exists(self.out("track.txt")))

    def test_parallel_jobs_write_identical_bytes(self):
        for i in range(6):
            shutil.copy(self.track, self.out(f"t{i}.DT"))
        run("-q", "-t", "gnss", "-f", "csv", "-j", "1", "-o", self.out("one"), self.dir)
        run("-q", "-t", "gnss", "-f", "csv", "-j", "4", "-o", self.out("four"), self.dir)
        for name in os.listdir(self.out("one")):
            self.assertEqual(read_bytes(self.out("one/" + name)),
                             read_bytes(self.out("four/" + name)))

    def test_help_and_version(self):
        p = run("--help")
        for word in ["--target", "--format", "--line", "--timestamp", "--elapsed", "--diff",
                     "--add-analog", "--add-gnss", "--encoding", "--eol", "--delimiter",
                     "--output-dir", "--jobs", "--quiet", "--settings", "Examples"]:
            self.assertIn(word, p.stdout)
        self.assertRegex(run("--version").stdout, r"^dtconv \d+\.\d+\.\d+")

    def test_long_delimiter_is_a_usage_error(self):
        p = run("-t", "gnss", "-f", "csv", "--delimiter", "x" * 16, self.track, check=False)
        self.assertEqual(p.returncode, 2)

    def test_info_json(self):
        import json
        p = run("info", "--json", self.track)
        info = json.loads(p.stdout)
        self.assertEqual(info["gnss_fixes_gnss"], 3)
        self.assertEqual(info["lost_data_markers"], 1)
        self.assertEqual(info["model"], "PX-5100")


    def test_info_of_an_analog_capture_and_a_folder(self):
        import json
        samples = self.out("samples")
        subprocess.run([MAKE_SAMPLES, samples], check=True, capture_output=True)
        p = run("info", "--json", samples)
        infos = {os.path.basename(json.loads(line)["file"]): json.loads(line)
                 for line in p.stdout.splitlines()}
        self.assertIn("analog_onboard_bnc.DT", infos)
        bnc = infos["analog_onboard_bnc.DT"]
        self.assertEqual(bnc["analog_front_end"], "on-board")
        self.assertEqual(bnc["analog_sampling_period"], "1ms")
        self.assertEqual(bnc["analog_ch1_range"], "-5V - +5V")
        self.assertEqual(bnc["analog_ch1_unit"], "V")
        self.assertEqual(bnc["analog_samples"], 40)
        can = [i for name, i in infos.items() if i.get("ch1_classic_frames", 0) > 0]
        self.assertTrue(can, "a sample with CAN frames")
        # Every file of the folder is one valid JSON object.
        self.assertEqual(len(infos), len([n for n in os.listdir(samples) if n.endswith(".DT")]))
        self.assertTrue(all(i["valid"] is True for i in infos.values()))

    def test_info_of_a_rejected_file(self):
        import json
        bad = self.out("bad.DT")
        with open(bad, "wb") as f:
            f.write(b"not a capture")
        p = run("info", "--json", bad, check=False)
        self.assertEqual(p.returncode, 1)
        info = json.loads(p.stdout)
        self.assertIs(info["valid"], False)
        self.assertIn("unsupported or corrupt", info["error"])


def utf16_ini(text):
    """A settings file as the desktop program on Windows writes it."""
    return b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le")


class Settings(Base):
    SAVED = """[cvtSettings]
folder=C:\\logs
[cvtParams]
targetData=GPS
outputType=Csv
[outputParams]
additional=True
outCode=UTF-8 BOM
lineFeed=LF
csvDelimit=;
"""

    def setUp(self):
        super().setUp()
        self.ini = self.out("dtconv_exbca.ini")
        with open(self.ini, "wb") as f:
            f.write(utf16_ini(self.SAVED))

    def test_conversion_follows_the_saved_choices(self):
        run("-q", "--settings", self.ini, self.track)
        data = read_bytes(self.out("track.csv"))
        self.assertTrue(data.startswith(b"\xef\xbb\xbf"), data[:20])
        self.assertNotIn(b"\r\n", data)
        rows = list(csv.reader(io.StringIO(data.decode("utf-8-sig")), delimiter=";"))
        self.assertGreater(len(rows), 3)
        self.assertEqual({len(r) for r in rows[-3:]}, {len(rows[-1])})

    def test_options_override_the_saved_choices(self):
        run("-q", "--settings", self.ini, "-f", "kml", "--eol", "crlf", self.track)
        data = read_bytes(self.out("track.kml"))
        self.assertTrue(data.startswith(b"\xef\xbb\xbf"))
        self.assertIn(b"\r\n", data)
        self.assertFalse(os.path.exists(self.out("track.csv")))

    def test_the_same_bytes_as_the_options_spelled_out(self):
        run("-q", "--settings", self.ini, "-o", self.out("a"), self.track)
        run("-q", "-t", "gnss", "-f", "csv", "--encoding", "utf8-bom", "--eol", "lf",
            "--delimiter", ";", "-o", self.out("b"), self.track)
        self.assertEqual(read_bytes(self.out("a/track.csv")), read_bytes(self.out("b/track.csv")))

    def test_unreadable_settings_file_is_a_usage_error(self):
        p = run("--settings", self.out("missing.ini"), self.track, check=False)
        self.assertEqual(p.returncode, 2)
        self.assertIn("missing.ini: cannot read the settings file", p.stderr)

    def test_unknown_values_are_reported(self):
        with open(self.ini, "wb") as f:
            f.write(utf16_ini("[cvtParams]\ntargetData=gps\n"))
        p = run("-q", "--settings", self.ini, self.track)
        self.assertIn("cvtParams/targetData=gps", p.stderr)
        self.assertTrue(os.path.exists(self.out("track.txt")))


class Interrupt(Base):
    def test_ctrl_c_stops_removes_the_partial_output_and_lists_the_rest(self):
        import signal
        import time
        big = self.out("b_big.DT")
        subprocess.run([WRITE_CAPTURE, "frames", big, "2000000"], check=True)
        shutil.copy(self.track, self.out("a_first.DT"))
        shutil.copy(self.track, self.out("c_last.DT"))
        proc = subprocess.Popen([DTCONV, "-j", "1", "-t", "can", "-o", self.out("out"),
                                 self.out("a_first.DT"), big, self.out("c_last.DT")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = proc.stdout.readline()
        self.assertIn("a_first.txt", first)
        # Interrupt while the big capture is being written: its temporary output exists.
        deadline = time.monotonic() + 30
        while not any(n.endswith(".dtconv-part") for n in os.listdir(self.out("out"))):
            self.assertLess(time.monotonic(), deadline, "the big capture never started")
            time.sleep(0.001)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=60)
        self.assertEqual(proc.returncode, 130, err)
        self.assertEqual(sorted(os.listdir(self.out("out"))), ["a_first.txt"])
        self.assertGreater(os.path.getsize(self.out("out/a_first.txt")), 0)
        self.assertIn("b_big.DT: stopped; no output written", err)
        self.assertIn("c_last.DT: not converted (stopped)", err)


if __name__ == "__main__":
    unittest.main(verbosity=1)

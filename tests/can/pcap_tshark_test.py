#!/usr/bin/env python3
"""Has tshark decode the PCAP files the CAN converter writes and checks every packet.

Usage: pcap_tshark_test.py WRITE_PCAP_HELPER
The helper writes the capture "frames" (keep EXPECTED below in step with write_pcap_main.cpp)
and the capture "empty".
"""
import os
import shutil
import subprocess
import sys
import tempfile
from decimal import Decimal

BASE_US = 1796549400 * 1000000 + 123456  # time base of the capture, nanoseconds truncated

FIELDS = [
    "frame.time_epoch", "can.id", "can.flags.xtd", "can.flags.rtr", "can.flags.err",
    "canfd.flags.brs", "canfd.flags.esi", "can.len", "data.data", "can.err.ack", "can.err.prot",
    "can.err.prot.type.form", "can.err.prot.type.stuff", "can.err.prot.type.active",
    "can.err.prot.location",
]


def counting(n, first):
    return bytes((first + i) & 0xFF for i in range(n)).hex()


def frame(t, ident, xtd=0, rtr=0, data="", fd=None):
    """A frame packet; fd is None for classic frames, else (brs, esi)."""
    return {"t": t, "kind": "frame", "id": ident, "xtd": xtd, "rtr": rtr, "data": data, "fd": fd}


def error(t, ack=0, form=0, stuff=0, active=0, location=0):
    return {"t": t, "kind": "error", "ack": ack, "form": form, "stuff": stuff, "active": active,
            "location": location}


EXPECTED = [
    frame(1000000, 0x123, data=counting(8, 1)),
    frame(1900000, 0x18DAF110, xtd=1, data="aabbcc"),
    frame(2000000, 0x7FF, rtr=1),
    frame(2000002, 0x1ABCDEF, xtd=1, rtr=1),
    frame(2500000, 0x0AB, data=counting(64, 0x40), fd=(1, 0)),
    frame(3000000, 0x1234567, xtd=1, data=counting(12, 0xA0), fd=(1, 1)),
    frame(3000500, 0x321, data=counting(16, 0x10), fd=(0, 1)),
    frame(4000000, 0x100, data=counting(8, 0x20)),
    error(4000000, location=0x08),             # status 3: CRC sequence
    error(4100000, ack=1),                     # status 1: no acknowledgement
    error(4200000, form=1, location=0x18),     # status 2: form error, CRC delimiter
    error(4300000, stuff=1),                   # status 4: bit stuffing
    error(4400000, active=1),                  # status 5: active error announcement
    error(4500000, form=1, location=0x1B),     # status 6: form error, ACK delimiter
    frame(5000000, 0x5, data="1234"),
]

EMPTY_HEADER = bytes.fromhex("d4c3b2a1020004000000000000000000ffff0000e3000000")


def tshark(path, fields):
    cmd = ["tshark", "-r", path, "-T", "fields", "-E", "separator=|"]
    for f in fields:
        cmd += ["-e", f]
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    return [dict(zip(fields, line.split("|"))) for line in out.splitlines()]


def flag(value):
    return int(value) if value not in ("", None) else None


def check_packet(n, got, want):
    errors = []

    def expect(name, actual, expected):
        if actual != expected:
            errors.append(f"packet {n}: {name} is {actual!r}, expected {expected!r}")

    expected_time = Decimal(BASE_US + want["t"]) / Decimal(1000000)
    expect("time", Decimal(got["frame.time_epoch"]), expected_time)
    if want["kind"] == "frame":
        expect("identifier", flag(got["can.id"]), want["id"])
        expect("29-bit flag", flag(got["can.flags.xtd"]), want["xtd"])
        expect("error flag", flag(got["can.flags.err"]) or 0, 0)
        expect("data", got["data.data"], want["data"])
        expect("length", flag(got["can.len"]), len(want["data"]) // 2)
        if want["fd"] is None:
            expect("remote flag", flag(got["can.flags.rtr"]), want["rtr"])
            expect("CAN FD flags", (got["canfd.flags.brs"], got["canfd.flags.esi"]), ("", ""))
        else:
            expect("BRS, ESI", (flag(got["canfd.flags.brs"]), flag(got["canfd.flags.esi"])),
                   want["fd"])
    else:
        expect("error flag", flag(got["can.flags.err"]), 1)
        expect("length", flag(got["can.len"]), 8)
        expect("acknowledgement class", flag(got["can.err.ack"]), want["ack"])
        expect("protocol class", flag(got["can.err.prot"]), 0 if want["ack"] else 1)
        if not want["ack"]:
            expect("form error", flag(got["can.err.prot.type.form"]), want["form"])
            expect("stuff error", flag(got["can.err.prot.type.stuff"]), want["stuff"])
            expect("active error", flag(got["can.err.prot.type.active"]), want["active"])
            expect("error location", flag(got["can.err.prot.location"]), want["location"])
    return errors


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    helper = sys.argv[1]
    if shutil.which("tshark") is None:
        print("tshark is not installed", file=sys.stderr)
        return 1
    errors = []
    with tempfile.TemporaryDirectory() as tmp:
        empty = os.path.join(tmp, "empty.pcap")
        subprocess.run([helper, "empty", empty], check=True)
        with open(empty, "rb") as f:
            header = f.read()
        if header != EMPTY_HEADER:
            errors.append(f"empty capture: {header.hex()} instead of {EMPTY_HEADER.hex()}")
        if tshark(empty, ["frame.number"]):
            errors.append("empty capture: tshark reports packets")

        frames = os.path.join(tmp, "frames.pcap")
        subprocess.run([helper, "frames", frames], check=True)
        packets = tshark(frames, FIELDS)
        if len(packets) != len(EXPECTED):
            errors.append(f"{len(packets)} packets decoded, expected {len(EXPECTED)}")
        for n, (got, want) in enumerate(zip(packets, EXPECTED), start=1):
            errors += check_packet(n, got, want)
        link = tshark(frames, ["frame.protocols"])
        if any(not p["frame.protocols"].startswith("can") for p in link):
            errors.append("packets not decoded as SocketCAN: "
                          + ", ".join(sorted({p["frame.protocols"] for p in link})))
    for e in errors:
        print(e, file=sys.stderr)
    if not errors:
        print(f"{len(EXPECTED)} packets decoded as expected")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())

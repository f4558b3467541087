#!/usr/bin/env python3
"""Checks the desktop program's English and Japanese resources against each other.

- both languages have the same dialogs, with the same size, styles and font;
- each dialog has the same controls in the same order: kind, identifier and styles;
- every control lies inside its dialog;
- access keys are unique within what one keyboard reaches at a time: the main dialog with the
  file pane and one setting pane, and the additional settings dialog on its own (Start and Stop
  share theirs, as only one of them is ever shown);
- both string tables hold the same identifiers with the same printf placeholders.

usage: check_resources.py RESOURCE_DIR   (the folder with lang_en.rc and lang_ja.rc)
"""
import os
import re
import sys

CONTROL_WORDS = ("GROUPBOX", "EDITTEXT", "PUSHBUTTON", "DEFPUSHBUTTON", "LTEXT", "RTEXT",
                 "CTEXT", "COMBOBOX", "CONTROL", "LISTBOX")
MAIN, FILE_PANE, ADDITIONAL = "IDD_MAIN", "IDD_FILE_PANE", "IDD_ADDITIONAL"
SETTING_PANES = ("IDD_PANE_CAN_TEXT", "IDD_PANE_CAN_CSV", "IDD_PANE_ANALOG_TEXT",
                 "IDD_PANE_ANALOG_CSV", "IDD_PANE_CAN_PCAP")
SHARED_KEYS = {frozenset(("IDC_START", "IDC_STOP"))}


def split_args(text):
    """Splits a resource statement's arguments at commas outside of quotes."""
    args, current, quoted = [], "", False
    for c in text:
        if c == '"':
            quoted = not quoted
            current += c
        elif c == "," and not quoted:
            args.append(current.strip())
            current = ""
        else:
            current += c
    args.append(current.strip())
    return args


def parse(path):
    dialogs, strings = {}, {}
    dialog = None
    in_strings = False
    with open(path, encoding="utf-8") as f:
        lines = [l.rstrip("\n") for l in f]
    for line in lines:
        s = line.strip()
        if not s or s.startswith("//") or s.startswith("#"):
            continue
        m = re.match(r"(\w+) DIALOGEX (.*)", s)
        if m:
            dialog = {"size": split_args(m.group(2)), "style": "", "exstyle": "", "font": "",
                      "caption": None, "controls": []}
            dialogs[m.group(1)] = dialog
            continue
        if s == "STRINGTABLE":
            in_strings = True
            continue
        if s == "END":
            dialog, in_strings = None, False
            continue
        if s == "BEGIN":
            continue
        if in_strings:
            m = re.match(r'(\w+)\s+"(.*)"$', s)
            if not m:
                raise SystemExit(f"{path}: cannot read string line: {s}")
            strings[m.group(1)] = m.group(2)
            continue
        if dialog is None:
            continue
        word, _, rest = s.partition(" ")
        if word in ("STYLE", "EXSTYLE", "FONT"):
            dialog[word.lower()] = rest.strip()
        elif word == "CAPTION":
            dialog["caption"] = rest.strip().strip('"')
        elif word in CONTROL_WORDS:
            args = split_args(rest)
            if word == "CONTROL":
                text, ident, cls, style = args[0], args[1], args[2], args[3]
                rect = args[4:8]
                kind = f"CONTROL {cls}"
            elif word in ("EDITTEXT", "COMBOBOX", "LISTBOX"):
                text, ident, rect, style = "", args[0], args[1:5], ",".join(args[5:])
                kind = word
            else:
                text, ident, rect, style = args[0], args[1], args[2:6], ",".join(args[6:])
                kind = word
            dialog["controls"].append({"kind": kind, "id": ident, "text": text.strip('"'),
                                       "rect": [int(v) for v in rect], "style": style})
        else:
            raise SystemExit(f"{path}: unknown statement: {s}")
    return dialogs, strings


def access_key(text):
    m = re.search(r"&([^&])", text.replace("&&", ""))
    return m.group(1).upper() if m else None


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__.strip().splitlines()[-1])
    folder = sys.argv[1]
    langs = {name: parse(os.path.join(folder, f"lang_{name}.rc")) for name in ("en", "ja")}
    errors = []
    en_dialogs, en_strings = langs["en"]
    ja_dialogs, ja_strings = langs["ja"]

    if sorted(en_dialogs) != sorted(ja_dialogs):
        errors.append(f"dialogs differ: {sorted(en_dialogs)} / {sorted(ja_dialogs)}")
    for name in sorted(set(en_dialogs) & set(ja_dialogs)):
        en, ja = en_dialogs[name], ja_dialogs[name]
        for field in ("size", "style", "exstyle", "font"):
            if en[field] != ja[field]:
                errors.append(f"{name}: {field} differs: {en[field]} / {ja[field]}")
        if (en["caption"] is None) != (ja["caption"] is None):
            errors.append(f"{name}: only one language has a caption")
        en_c = [(c["kind"], c["id"], c["style"]) for c in en["controls"]]
        ja_c = [(c["kind"], c["id"], c["style"]) for c in ja["controls"]]
        if en_c != ja_c:
            errors.append(f"{name}: controls differ:\n  en {en_c}\n  ja {ja_c}")

    for lang, (dialogs, _) in langs.items():
        for name, d in dialogs.items():
            width, height = int(d["size"][2]), int(d["size"][3])
            for c in d["controls"]:
                x, y, w, h = c["rect"]
                # Drop-down lists reach below their dialog with their list part.
                if c["kind"] == "COMBOBOX":
                    h = 14
                if x < 0 or y < 0 or x + w > width or y + h > height:
                    errors.append(f"{lang} {name}: {c['id']} {c['rect']} lies outside "
                                  f"{width}x{height}")
        groups = [[MAIN, FILE_PANE, pane] for pane in SETTING_PANES] + [[ADDITIONAL]]
        for group in groups:
            seen = {}
            for name in group:
                for c in dialogs.get(name, {"controls": []})["controls"]:
                    key = access_key(c["text"])
                    if key is None:
                        continue
                    if key in seen and frozenset((seen[key], c["id"])) not in SHARED_KEYS:
                        errors.append(f"{lang} {'+'.join(group)}: access key {key} of {c['id']} "
                                      f"is also the key of {seen[key]}")
                    seen.setdefault(key, c["id"])

    if sorted(en_strings) != sorted(ja_strings):
        errors.append(f"string tables differ: {sorted(set(en_strings) ^ set(ja_strings))}")
    for ident in sorted(set(en_strings) & set(ja_strings)):
        en_fmt = re.findall(r"%[-+ #0]*\d*(?:\.\d+)?[a-zA-Z]", en_strings[ident])
        ja_fmt = re.findall(r"%[-+ #0]*\d*(?:\.\d+)?[a-zA-Z]", ja_strings[ident])
        if en_fmt != ja_fmt:
            errors.append(f"{ident}: placeholders differ: {en_fmt} / {ja_fmt}")

    for e in errors:
        print("check_resources:", e)
    counts = sum(len(d["controls"]) for d in en_dialogs.values())
    print(f"{len(en_dialogs)} dialogs, {counts} controls, {len(en_strings)} strings per language: "
          f"{'ok' if not errors else str(len(errors)) + ' problems'}")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())

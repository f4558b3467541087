#!/usr/bin/env python3
"""Checks the desktop program's English and Japanese resources against the dialogs' design and
against each other.

- every dialog of each language has the caption and size, and every control the kind, text and
  rectangle, that the layout table gives (dialog_layout.txt); a dialog or control that the table
  does not list, and one that the table lists but the template lacks, are errors too;
- both languages have the same dialogs, with the same styles and font;
- each dialog has the same controls in the same order: kind, identifier and styles;
- access keys are unique within what one keyboard reaches at a time: the main dialog with the
  file pane and one setting pane, and the additional settings dialog on its own (Start and Stop
  share theirs, as only one of them is ever shown);
- both string tables hold the same identifiers with the same printf placeholders.

usage: check_resources.py RESOURCE_DIR IDS_HEADER LAYOUT_TABLE
       (the folder with lang_en.rc and lang_ja.rc, resource_ids.h, dialog_layout.txt)
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


def read_ids(path):
    """The identifiers that resource_ids.h defines, with the two of the system that the
    templates use."""
    ids = {"IDOK": 1, "IDCANCEL": 2, "-1": None}
    with open(path, encoding="utf-8") as f:
        for m in re.finditer(r"^#define (\w+) (\d+)$", f.read(), re.M):
            ids[m.group(1)] = int(m.group(2))
    return ids


def unquote(cell):
    cell = cell.strip()
    return cell[1:-1] if len(cell) >= 2 and cell[0] == cell[-1] == '"' else cell


def read_layout(path):
    """The layout table: {(dialog, id or text per language): row}, keyed per language."""
    table = {"en": {}, "ja": {}}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip() or line.startswith("#"):
                continue
            cells = [c.strip() for c in line.rstrip("\n").split("|")]
            if len(cells) != 7:
                raise SystemExit(f"{path}:{number}: expected 7 columns: {line.strip()}")
            dialog, ident, kind, en_text, ja_text, en_pos, ja_pos = cells
            for lang, text, pos in (("en", en_text, en_pos), ("ja", ja_text, ja_pos or en_pos)):
                row = {"kind": kind, "text": unquote(text),
                       "rect": [int(v) for v in pos.split(",")], "line": number}
                key = (int(dialog), "dialog" if kind == "dialog" else
                       int(ident) if ident != "-" else row["text"])
                if key in table[lang]:
                    raise SystemExit(f"{path}:{number}: {key} is listed twice")
                table[lang][key] = row
    return table


def kind_of(control):
    """The kind of a template's control in the words of the layout table."""
    kind, style = control["kind"].replace('"', ""), control["style"]
    if kind == "LTEXT":
        return "hidden static" if "NOT WS_VISIBLE" in style else "label"
    if kind == "COMBOBOX" and "CBS_DROPDOWNLIST" in style:
        return "drop-down list"
    if kind == "CONTROL Button" and "BS_CHECKBOX" in style:
        return "check box"
    return {"GROUPBOX": "group box", "EDITTEXT": "edit box", "PUSHBUTTON": "push button",
            "DEFPUSHBUTTON": "default push button", "CONTROL SysListView32": "list view",
            "CONTROL msctls_progress32": "progress bar"}.get(kind, kind)


def check_layout(lang, dialogs, ids, layout, errors):
    """Holds every dialog and control of one language against the layout table."""
    expected = dict(layout)
    for name, d in dialogs.items():
        number = ids.get(name)
        row = expected.pop((number, "dialog"), None)
        if row is None:
            errors.append(f"{lang} {name}: the dialog is not in the layout table")
            continue
        size = [int(v) for v in d["size"][2:4]]
        if size != row["rect"] or (d["caption"] or "") != row["text"]:
            errors.append(f"{lang} {name}: {d['caption'] or ''!r} {size[0]} x {size[1]}, "
                          f"the table gives {row['text']!r} {row['rect'][0]} x {row['rect'][1]}")
        for c in d["controls"]:
            ident = ids.get(c["id"], c["id"])
            what = f"{lang} {name}: {c['id']} {c['text']!r}"
            row = expected.pop((number, ident if ident is not None else c["text"]), None)
            if row is None:
                errors.append(f"{what} is not in the layout table")
                continue
            got = (kind_of(c), c["text"], c["rect"])
            want = (row["kind"], row["text"], row["rect"])
            if got != want:
                errors.append(f"{what}: {got[0]} {got[1]!r} at {got[2]}, the table gives "
                              f"{want[0]} {want[1]!r} at {want[2]}")
    for (number, key), row in sorted(expected.items(), key=lambda item: item[1]["line"]):
        errors.append(f"{lang}: dialog {number} lacks {key!r} of the layout table (line "
                      f"{row['line']})")


def access_key(text):
    m = re.search(r"&([^&])", text.replace("&&", ""))
    return m.group(1).upper() if m else None


def main():
    if len(sys.argv) != 4:
        raise SystemExit("\n".join(__doc__.strip().splitlines()[-2:]))
    folder, ids, layout = sys.argv[1], read_ids(sys.argv[2]), read_layout(sys.argv[3])
    langs = {name: parse(os.path.join(folder, f"lang_{name}.rc")) for name in ("en", "ja")}
    errors = []
    for lang, (dialogs, _) in langs.items():
        check_layout(lang, dialogs, ids, layout[lang], errors)
    en_dialogs, en_strings = langs["en"]
    ja_dialogs, ja_strings = langs["ja"]

    if sorted(en_dialogs) != sorted(ja_dialogs):
        errors.append(f"dialogs differ: {sorted(en_dialogs)} / {sorted(ja_dialogs)}")
    for name in sorted(set(en_dialogs) & set(ja_dialogs)):
        en, ja = en_dialogs[name], ja_dialogs[name]
        for field in ("style", "exstyle", "font"):
            if en[field] != ja[field]:
                errors.append(f"{name}: {field} differs: {en[field]} / {ja[field]}")
        en_c = [(c["kind"], c["id"], c["style"]) for c in en["controls"]]
        ja_c = [(c["kind"], c["id"], c["style"]) for c in ja["controls"]]
        if en_c != ja_c:
            errors.append(f"{name}: controls differ:\n  en {en_c}\n  ja {ja_c}")

    for lang, (dialogs, _) in langs.items():
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

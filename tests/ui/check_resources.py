#!/usr/bin/env python3
# Checks the desktop program's English and Japanese resources against the dialogs' design and
# against each other:
# - every dialog of each language has the caption and size, and every control the kind, text and
#   rectangle, that the layout table gives (dialog_layout.txt); a dialog or control that the table
#   does not list, and one that the table lists but the template lacks, are errors too;
# - both languages have the same dialogs with the same styles and font, and the same controls in
#   the same order (kind, identifier, styles);
# - access keys are unique within what one keyboard reaches at a time: the main dialog with the
#   file pane and one setting pane, and the additional settings dialog on its own (Start and Stop
#   share theirs, as only one of them is ever shown);
# - both string tables hold the same identifiers with the same printf placeholders.
#
# usage: check_resources.py RESOURCE_DIR IDS_HEADER LAYOUT_TABLE [--catches EDITS]
# (the folder with lang_en.rc and lang_ja.rc, resource_ids.h, dialog_layout.txt). With --catches
# the check runs on the templates with one edit of the EDITS table at a time, and must fail on
# every edit with the problem named, and pass on the unedited templates.
import os
import re
import sys

# A control's kind in the words of the layout table: the template's word (or a CONTROL's class)
# and a style flag that must be present; the first match wins.
KINDS = [("LTEXT", "NOT WS_VISIBLE", "hidden static"), ("LTEXT", "", "label"),
         ("COMBOBOX", "CBS_DROPDOWNLIST", "drop-down list"), ("Button", "BS_CHECKBOX", "check box"),
         ("GROUPBOX", "", "group box"), ("EDITTEXT", "", "edit box"),
         ("PUSHBUTTON", "", "push button"), ("DEFPUSHBUTTON", "", "default push button"),
         ("SysListView32", "", "list view"), ("msctls_progress32", "", "progress bar")]
PLACEHOLDER = r"%[-+ #0]*\d*(?:\.\d+)?[a-zA-Z]"


def parse(text):
    # {name: {"size", "STYLE", "EXSTYLE", "FONT", "CAPTION", "controls"}}, {string id: text}; a
    # control is (kind, id, text, rectangle, template word or class, styles).
    dialogs, strings = {}, dict(re.findall(r'^\s*(IDS_\w+)\s+"(.*)"$', text, re.M))
    for m in re.finditer(r"^(\w+) DIALOGEX \d+, \d+, (\d+), (\d+)$(.*?)^END$", text, re.M | re.S):
        d = dialogs[m[1]] = {"size": [int(m[2]), int(m[3])], "CAPTION": "", "controls": []}
        for word, rest in re.findall(r"^\s*(\w+) (.*)$", m[4], re.M):
            a = [a.strip().strip('"') for a in re.findall(r'(?:"[^"]*"|[^,"])+', rest)]
            if word in ("STYLE", "EXSTYLE", "FONT", "CAPTION"):
                d[word] = rest.strip('"')
                continue
            if word == "CONTROL":  # text, id, class, style, rectangle
                a, word = a[:2] + a[4:8] + [a[3]], a[2]
            elif word in ("EDITTEXT", "COMBOBOX"):  # no text
                a = [""] + a
            style = ",".join(a[6:])
            flags = re.split(r"\s*\|\s*", style) + [""]
            kind = next((k for w, flag, k in KINDS if w == word and flag in flags), word)
            d["controls"].append((kind, a[1], a[0], [int(v) for v in a[2:6]], word, style))
    return dialogs, strings


def read_layout(path):
    # {language: {(dialog number, "dialog" | control id | text of a control without one): row}}
    table = {"en": {}, "ja": {}}
    for line in open(path, encoding="utf-8"):
        if line.strip() and not line.startswith("#"):
            dialog, ident, kind, en_text, ja_text, en_pos, ja_pos = map(str.strip, line.split("|"))
            for lang, text, pos in (("en", en_text, en_pos), ("ja", ja_text, ja_pos or en_pos)):
                text, rect = text.strip('"'), [int(v) for v in pos.split(",")]
                key = (dialog, "dialog" if kind == "dialog" else text if ident == "-" else ident)
                assert key not in table[lang], f"{path}: {key} is listed twice"
                table[lang][key] = (text, rect) if kind == "dialog" else (kind, text, rect)
    return table


def shared(dialogs, strings):
    # What both languages must have alike: each dialog's styles and font, each control's kind,
    # id and styles in order, and each string's placeholders.
    facts = {(ident, "placeholders"): re.findall(PLACEHOLDER, s) for ident, s in strings.items()}
    for name, d in dialogs.items():
        facts.update({(name, f): d.get(f) for f in ("STYLE", "EXSTYLE", "FONT")})
        facts[name, "controls"] = [c[1:2] + c[4:] for c in d["controls"]]
    return facts


def problems(texts, ids, layout):
    errors, langs = [], {lang: parse(texts[lang]) for lang in layout}
    for lang, (dialogs, _) in langs.items():
        rest = dict(layout[lang])
        for name, d in dialogs.items():
            want = rest.pop((ids.get(name), "dialog"), None)
            if want != (d["CAPTION"], d["size"]):
                errors.append(f"{lang} {name}: {d['CAPTION']!r} {d['size']}, table: {want}")
            for kind, ident, text, rect, _, _ in d["controls"]:
                want = rest.pop((ids.get(name), ids.get(ident, text)), None)
                if want != (kind, text, rect):
                    errors.append(f"{lang} {name}: {ident} {(kind, text, rect)}, table: {want}")
        errors += [f"{lang}: dialog {number} lacks {key!r} of the table" for number, key in rest]
        panes = [("IDD_MAIN", "IDD_FILE_PANE", name) for name in dialogs if "_PANE_" in name]
        for group in panes + [("IDD_ADDITIONAL",)]:
            seen = {}
            for c in [c for name in group for c in dialogs.get(name, {"controls": []})["controls"]]:
                m = re.search(r"&([^&])", c[2].replace("&&", ""))
                other = m and seen.setdefault(m[1].upper(), c)
                if other and other is not c and {other[1], c[1]} != {"IDC_START", "IDC_STOP"}:
                    errors.append(f"{lang} {'+'.join(group)}: {c[2]!r} has the key of {other[2]!r}")
    e, j = shared(*langs["en"]), shared(*langs["ja"])
    errors += [f"{key} differ: en {e.get(key)} / ja {j.get(key)}" for key in sorted(set(e) | set(j))
               if e.get(key) != j.get(key)]
    return errors


def catches(texts, ids, layout, edits):
    failures = [f"unedited: {p}" for p in problems(texts, ids, layout)]
    rows = [line.replace("\\n", "\n").split("|") for line in open(edits, encoding="utf-8")
            if line.strip() and not line.startswith("#")]
    for lang, find, replace, expected in ([cell.strip() for cell in row] for row in rows):
        edited = dict(texts, **{lang: texts[lang].replace(find, replace)})
        found = problems(edited, ids, layout) if texts[lang].count(find) == 1 else []
        if not any(expected in p for p in found):
            failures.append(f"{lang}: {find!r} -> {replace!r} (found once?): {found}")
    return failures


def main(folder, ids_header, layout, *edits):
    ids = dict(re.findall(r"^#define (\w+) (\d+)$", open(ids_header, encoding="utf-8").read(),
                          re.M), IDOK="1", IDCANCEL="2")
    texts = {lang: open(os.path.join(folder, f"lang_{lang}.rc"), encoding="utf-8").read()
             for lang in ("en", "ja")}
    errors = (catches if edits else problems)(texts, ids, read_layout(layout), *edits[1:])
    print(*errors, f"{len(errors)} problems" if errors else "every edit caught" if edits else "ok",
          sep="\n")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))

#!/usr/bin/env python3
"""Writes the GTK backend's table of dialog templates from the resource script.

    dialog_templates.py --rc res/windows/resources.rc.in --out FILE.cpp

The Windows build compiles the script's DIALOGEX templates; the Linux build
reads the same facts from them here: visibility, caption, sizing border,
minimise and maximise boxes, task-bar entry, title, the dialog font's point
size, the size in dialog units, and the ids of the push buttons. The table is
the one declared in src/platform/gtk/DialogTemplates.h.

Whatever the GTK backend could not honour (a style or a control it does not
know) stops the build with a message naming the line, rather than being
dropped without a word.
"""

import argparse
import re
import sys

# Styles that set a fact of the table, and those that change nothing the GTK
# backend shows (the font is read from FONT; a popup is what every window is).
STYLE_FACTS = {
    "WS_VISIBLE": "visible",
    "WS_CAPTION": "caption",
    "WS_THICKFRAME": "sizingBorder",
    "WS_MINIMIZEBOX": "minimizeBox",
    "WS_MAXIMIZEBOX": "maximizeBox",
}
STYLE_NEUTRAL = {"DS_SETFONT", "DS_FIXEDSYS", "DS_MODALFRAME", "WS_POPUP", "WS_SYSMENU"}
EXSTYLE_FACTS = {"WS_EX_APPWINDOW": "appWindow"}
# Push buttons are made by the backend; statics and ActiveX controls are
# places the windows fill themselves.
BUTTON_STYLES = {"BS_OWNERDRAW", "BS_PUSHBUTTON", "BS_DEFPUSHBUTTON"}
CONTROL_STYLES = {"WS_CHILD", "WS_VISIBLE", "WS_TABSTOP", "WS_GROUP"}

HEADER = re.compile(r"^(\d+)\s+DIALOGEX\s+(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*$")
STRING = r'"((?:[^"\\]|"")*)"'


class ScriptError(Exception):
    pass


def flags(text, known, neutral, line_no):
    """The facts named by `A | B | C`; anything unknown is an error."""
    facts = set()
    for token in (t.strip() for t in text.split("|")):
        if token in known:
            facts.add(known[token])
        elif token not in neutral:
            raise ScriptError("line %d: %s is not honoured by the GTK backend" % (line_no, token or "an empty style"))
    return facts


def string(text, line_no):
    m = re.fullmatch(STRING, text.strip())
    if not m or '""' in m.group(1):
        raise ScriptError("line %d: expected a plain string, got %s" % (line_no, text.strip()))
    return m.group(1)


def control(statement, line_no):
    """The id of a push button, or None for a place the window fills itself."""
    m = re.fullmatch(r"(\w+)\s+(.*)", statement)
    if not m:
        raise ScriptError("line %d: not a control: %s" % (line_no, statement))
    kind, rest = m.group(1), m.group(2)
    if kind in ("PUSHBUTTON", "DEFPUSHBUTTON"):
        parts = [p.strip() for p in re.split(r",(?=(?:[^\"]*\"[^\"]*\")*[^\"]*$)", rest)]
        return int(parts[1])
    if kind != "CONTROL":
        raise ScriptError("line %d: %s controls are not made by the GTK backend" % (line_no, kind))
    parts = [p.strip() for p in re.split(r",(?=(?:[^\"]*\"[^\"]*\")*[^\"]*$)", rest)]
    if len(parts) != 8:
        raise ScriptError("line %d: expected CONTROL text, id, class, style, x, y, width, height" % line_no)
    cls = string(parts[2], line_no)
    styles = {t.strip() for t in parts[3].split("|")}
    if cls == "Static" or (cls.startswith("{") and cls.endswith("}")):
        return None
    if cls == "Button" and styles & BUTTON_STYLES and not styles - BUTTON_STYLES - CONTROL_STYLES:
        return int(parts[1])
    raise ScriptError("line %d: a %s control styled %s is not made by the GTK backend" % (line_no, cls, parts[3]))


def parse(text):
    """The DIALOGEX templates of a resource script, in their order."""
    dialogs = []
    current = None
    in_body = False
    for line_no, raw in enumerate(text.splitlines(), 1):
        line = raw.strip()
        if not line or line.startswith("//"):
            continue
        if current is None:
            m = HEADER.match(line)
            if m:
                current = {"id": int(m.group(1)), "units": (int(m.group(4)), int(m.group(5))), "facts": set(),
                           "title": "", "point": None, "buttons": []}
            elif "DIALOG" in line.split():
                raise ScriptError("line %d: only DIALOGEX templates are read: %s" % (line_no, line))
            continue
        if not in_body:
            keyword, _, rest = line.partition(" ")
            if keyword == "STYLE":
                current["facts"] |= flags(rest, STYLE_FACTS, STYLE_NEUTRAL, line_no)
            elif keyword == "EXSTYLE":
                current["facts"] |= flags(rest, EXSTYLE_FACTS, set(), line_no)
            elif keyword == "CAPTION":
                current["title"] = string(rest, line_no)
            elif keyword == "FONT":
                current["point"] = int(rest.split(",")[0])
            elif keyword == "BEGIN":
                in_body = True
            else:
                raise ScriptError("line %d: %s is not read for the GTK backend" % (line_no, keyword))
            continue
        if line == "END":
            if current["point"] is None:
                raise ScriptError("dialog %d has no FONT: its dialog units have no size" % current["id"])
            dialogs.append(current)
            current, in_body = None, False
            continue
        button = control(line, line_no)
        if button is not None:
            current["buttons"].append(button)
    if current is not None:
        raise ScriptError("dialog %d does not end" % current["id"])
    return dialogs


def cpp_string(text):
    # UTF-8 as it stands; quotes and backslashes cannot occur (see string()).
    return '"%s"' % text


def render(dialogs, source):
    lines = [
        "// Generated from %s by tools/art/dialog_templates.py. Do not edit." % source,
        '#include "platform/gtk/DialogTemplates.h"',
        "",
        "namespace ui::gtk {",
        "",
        "const DialogTemplate kDialogTemplates[] = {",
    ]
    for d in dialogs:
        fields = [".id = %d" % d["id"]]
        for fact in ("visible", "caption", "sizingBorder", "minimizeBox", "maximizeBox", "appWindow"):
            fields.append(".%s = %s" % (fact, "true" if fact in d["facts"] else "false"))
        fields.append(".title = %s" % cpp_string(d["title"]))
        fields.append(".pointSize = %d" % d["point"])
        fields.append(".dialogUnits = {%d, %d}" % d["units"])
        fields.append(".buttons = {%s}" % ", ".join(str(b) for b in d["buttons"]))
        lines.append("    {" + ", ".join(fields) + "},")
    lines += [
        "};",
        "",
        "const std::size_t kDialogTemplateCount = std::size(kDialogTemplates);",
        "",
        "}  // namespace ui::gtk",
        "",
    ]
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--rc", required=True, help="the resource script (res/windows/resources.rc.in)")
    ap.add_argument("--out", required=True, help="the C++ file to write")
    args = ap.parse_args()
    with open(args.rc, encoding="utf-8") as f:
        text = f.read()
    try:
        dialogs = parse(text)
    except ScriptError as e:
        sys.exit("%s: %s" % (args.rc, e))
    if not dialogs:
        sys.exit("%s: no DIALOGEX template found" % args.rc)
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(render(dialogs, "res/windows/resources.rc.in"))


if __name__ == "__main__":
    main()

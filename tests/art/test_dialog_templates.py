#!/usr/bin/env python3
"""The GTK backend's dialog table read from the resource script
(tools/art/dialog_templates.py): what it takes from a template, and what
stops the build.

    test_dialog_templates.py --root SOURCE_ROOT
"""

import argparse
import os
import sys
import unittest

ARGS = None


def generator():
    sys.path.insert(0, os.path.join(ARGS.root, "tools", "art"))
    import dialog_templates  # noqa: E402
    return dialog_templates


SCRIPT = """
// a comment
#include <winresrc.h>
1 24 "manifest"

7 DIALOGEX 0, 0, 300, 200
STYLE DS_SETFONT | DS_FIXEDSYS | WS_POPUP | WS_VISIBLE | WS_SYSMENU
EXSTYLE WS_EX_APPWINDOW
FONT 9, "MS Shell Dlg", 0, 0, 0x1
BEGIN
    CONTROL "", 3, "Button", BS_OWNERDRAW | WS_CHILD | WS_VISIBLE | WS_TABSTOP, 1, 2, 3, 4
    CONTROL "", 1001, "Static", WS_CHILD | WS_VISIBLE, 8, 36, 400, 208
    CONTROL "", 1002, "{8856F961-340A-11D0-A96B-00C04FD705A2}", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1
    PUSHBUTTON "好, ok", 4, 10, 10, 50, 14
END

8 DIALOGEX 0, 0, 836, 428
STYLE DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX
CAPTION "对话框"
FONT 8, "MS Shell Dlg", 400, 0, 0x1
BEGIN
END

143 PNG "x.png"
"""

TEMPLATE = """
9 DIALOGEX 0, 0, 10, 20
STYLE {style}
EXSTYLE {exstyle}
FONT 8, "MS Shell Dlg"
BEGIN
    {control}
END
"""


class DialogTemplates(unittest.TestCase):
    def test_reads_each_fact_of_each_template(self):
        g = generator()
        first, second = g.parse(SCRIPT)
        self.assertEqual(first, {"id": 7, "units": (300, 200), "facts": {"visible", "appWindow"}, "title": "",
                                 "point": 9, "buttons": [3, 4]})
        self.assertEqual(second, {"id": 8, "units": (836, 428),
                                  "facts": {"caption", "sizingBorder", "minimizeBox", "maximizeBox"},
                                  "title": "对话框", "point": 8, "buttons": []})

    def test_the_table_names_every_field(self):
        g = generator()
        text = g.render(g.parse(SCRIPT), "x.rc")
        self.assertIn('{.id = 7, .visible = true, .caption = false, .sizingBorder = false, .minimizeBox = false, '
                      '.maximizeBox = false, .appWindow = true, .title = "", .pointSize = 9, '
                      '.dialogUnits = {300, 200}, .buttons = {3, 4}},', text)
        self.assertIn('.title = "对话框"', text)

    def test_the_clients_script_gives_the_clients_windows(self):
        g = generator()
        with open(os.path.join(ARGS.root, "res", "windows", "resources.rc.in"), encoding="utf-8") as f:
            dialogs = {d["id"]: d for d in g.parse(f.read())}
        self.assertEqual(sorted(dialogs), [102, 105, 130, 134])
        self.assertEqual(dialogs[130]["buttons"], [1, 2, 3, 4, 5])

    def test_what_the_backend_would_not_honour_stops_the_build(self):
        g = generator()
        good = {"style": "WS_POPUP", "exstyle": "WS_EX_APPWINDOW", "control": ""}
        self.assertEqual(len(g.parse(TEMPLATE.format(**good))), 1)  # the control
        cases = {
            "a child window": {"style": "WS_POPUP | WS_CHILD"},
            "an inverted style": {"style": "WS_POPUP | NOT WS_VISIBLE"},
            "an always-on-top window": {"exstyle": "WS_EX_TOPMOST"},
            "an edit control": {"control": "EDITTEXT 10, 10, 40, 100, 14"},
            "a check box": {"control": 'CONTROL "", 5, "Button", BS_AUTOCHECKBOX | WS_CHILD, 1, 2, 3, 4'},
            "a list view": {"control": 'CONTROL "", 5, "SysListView32", WS_CHILD, 1, 2, 3, 4'},
            "a control without its place": {"control": 'CONTROL "", 5, "Button", BS_OWNERDRAW | WS_CHILD'},
            "no control at all": {"control": "SOMETHING"},
        }
        for name, change in cases.items():
            with self.subTest(name):
                with self.assertRaises(g.ScriptError):
                    g.parse(TEMPLATE.format(**dict(good, **change)))
        for name, text in {
            "a classic template": "9 DIALOG 0, 0, 10, 20\nBEGIN\nEND\n",
            "no font": "9 DIALOGEX 0, 0, 10, 20\nSTYLE WS_POPUP\nBEGIN\nEND\n",
            "no end": "9 DIALOGEX 0, 0, 10, 20\nFONT 8, \"x\"\nBEGIN\n",
            "a menu": "9 DIALOGEX 0, 0, 10, 20\nMENU 3\nFONT 8, \"x\"\nBEGIN\nEND\n",
            "an escaped caption": '9 DIALOGEX 0, 0, 10, 20\nCAPTION "a\\"b"\nFONT 8, "x"\nBEGIN\nEND\n',
        }.items():
            with self.subTest(name):
                with self.assertRaises(g.ScriptError):
                    g.parse(text)


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True, help="source tree")
    ARGS, rest = ap.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()

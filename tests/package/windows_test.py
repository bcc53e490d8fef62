#!/usr/bin/python3
"""The Windows packages under Wine, each in a fresh prefix of its own whose
user folders lie in a private home (the desktop shortcut lands there, not in
the real home). Run on a display with a window manager
(tests/wine/with-display.sh), one case per run:

    windows_test.py setup --setup EXE --next-setup EXE ...
        The installer, silent (/S): the program and its uninstaller in the
        user's local programs folder, the Start-menu and desktop shortcuts,
        the uninstall entry (name, version, publisher, icon, size) and the
        installer's own version resource; the program started through the
        desktop shortcut shows its splash; the same version installed again
        over it, then the next version, each leaving one installation and the
        player's data; the silent uninstaller removes everything it put
        there and nothing of the player's.
    windows_test.py zip --zip ZIP ...
        The portable program unpacked into a folder whose path has blanks
        and Chinese characters, started there: its splash.

Common arguments: --runner (tools/wine-run.sh) --probe (window_probe.exe)
--client (the built KQVClient.exe) --art (res/png/143.png) --work DIR.
"""

import argparse
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_support import BROWSER, LAUNCHER_BUTTONS, SPLASH_SIZE, Art, Screenshot, in_any, poll  # noqa: E402

DISPLAY_NAME = "Qelunar 游戏客户端"
PUBLISHER = "Qelunar"
UNINSTALL_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall"
WS_EX_LAYERED = 0x80000
INSTALLED_FILES = ["KQVClient.exe", "uninstall.exe"]


def fixed_file_version(path):
    """The four numbers of a PE file's VS_FIXEDFILEINFO (its version resource)."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def version_strings(path):
    """The StringFileInfo values of a PE file, by name (UTF-16 as stored)."""
    with open(path, "rb") as f:
        data = f.read()
    found = {}
    for name in ("ProductName", "ProductVersion", "FileVersion", "CompanyName", "FileDescription"):
        key = (name + "\0").encode("utf-16-le")
        at = data.find(key)
        if at < 0:
            continue
        at += len(key)
        at += (4 - at % 4) % 4  # the value starts on a 32-bit boundary
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        found[name] = data[at:end].decode("utf-16-le")
    return found


class Wine:
    """Programs in the test's own prefix and home, and what it holds."""

    def __init__(self, args, name):
        self.args = args
        self.root = os.path.join(args.work, name)
        shutil.rmtree(self.root, ignore_errors=True)
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.home)
        self.prefix = os.path.join(self.root, "prefix")
        self.env = dict(os.environ, KQV_WINEPREFIX=self.prefix, HOME=self.home,
                        WINEDLLOVERRIDES="mscoree=;winemenubuilder.exe=d")

    def run(self, *command, timeout=120):
        """A program's exit code and output. The output goes through files:
        Wine's own processes, which a program may start and which outlive it,
        would hold a pipe open."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([self.args.runner, *command], env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(command, code, out.read(), err.read())

    def start(self, *command):
        return subprocess.Popen([self.args.runner, *command], env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def user(self):
        users = [u for u in glob.glob(os.path.join(self.prefix, "drive_c", "users", "*"))
                 if os.path.basename(u) != "Public"]
        assert len(users) == 1, users
        return users[0]

    def unix_path(self, windows_path):
        """A C: path of the prefix as a path here."""
        assert windows_path[:3].upper() == "C:\\", windows_path
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))

    def registry(self, key):
        """A key's values (strings and dwords) through reg export, or None."""
        out = os.path.join(self.root, "export.reg")
        if os.path.exists(out):
            os.remove(out)
        result = self.run("reg", "export", key, "Z:" + out.replace("/", "\\"), "/y")
        if result.returncode != 0 or not os.path.exists(out):
            return None
        with open(out, "rb") as f:
            text = f.read().decode("utf-16")
        values = {}
        for line in text.splitlines():
            if line.startswith('"') and '"=' in line:
                name, _, value = line[1:].partition('"=')
                if value.startswith('"'):
                    values[name] = value[1:-1].replace('\\\\', '\\').replace('\\"', '"')
                elif value.startswith("dword:"):
                    values[name] = int(value[6:], 16)
        return values

    def uninstall_entries(self):
        """Names of the entries under the user's uninstall key whose display name is ours."""
        out = self.run("reg", "query", UNINSTALL_KEY).stdout.decode(errors="replace")
        keys = [line.strip() for line in out.splitlines() if line.strip().startswith(UNINSTALL_KEY + "\\")]
        return [k for k in keys if (self.registry(k) or {}).get("DisplayName") == DISPLAY_NAME]

    def windows(self):
        out = self.run(self.args.probe, "list", timeout=60).stdout.decode("utf-8", "replace")
        listed = []
        for line in out.splitlines():
            parts = line.split(" ", 8)
            if len(parts) >= 8:
                listed.append((int(parts[0]), int(parts[1]), tuple(int(v) for v in parts[2:6]), int(parts[6])))
        return listed

    def programs(self, name):
        """Processes of this prefix whose command line names `name`."""
        found = []
        marker = f"WINEPREFIX={self.prefix}".encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if name.encode() not in f.read():
                        continue
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if marker in f.read().split(b"\0"):
                        found.append(int(pid))
            except OSError:
                continue
        return found

    def splash(self):
        """The launcher's splash (a layered window of its own of the picture's size), once shown."""
        for handle, owner, rect, exstyle in self.windows():
            size = (rect[2] - rect[0], rect[3] - rect[1])
            if owner == 0 and exstyle & WS_EX_LAYERED and size == SPLASH_SIZE:
                return handle, rect
        return None


class SplashCheck:
    """The splash picture's opaque pixels, outside what the overlay covers."""

    def __init__(self, art_path):
        art = Art(art_path, SPLASH_SIZE)
        covered = [BROWSER] + LAUNCHER_BUTTONS
        self.samples = [(x, y, art.rgb(x, y)) for y in range(4, SPLASH_SIZE[1], 12)
                        for x in range(4, SPLASH_SIZE[0], 12)
                        if art.pixel(x, y)[3] == 255 and not in_any(x, y, covered, margin=6)]

    def shown(self, shot, origin):
        same = sum(all(abs(a - b) <= 8 for a, b in zip(shot.pixel(origin[0] + x, origin[1] + y), colour))
                   for x, y, colour in self.samples)
        return same / len(self.samples)


class Case(unittest.TestCase):
    args = None

    def see_the_splash(self, wine, name, client=None):
        """Waits for the program's splash, checks its picture on the screen
        and closes it; the program must end then. `client` is the program's
        own process when the test started it directly."""
        found = poll(lambda: (client is None or client.poll() is None) and wine.splash(), 90, 0.5)
        self.assertTrue(found, f"no splash appeared (the program ended with {client and client.poll()})")
        handle, rect = found
        shot_path = os.path.join(self.args.out, f"{name}-splash.png")
        check = SplashCheck(self.args.art)

        def picture():
            share = check.shown(Screenshot(shot_path), rect[:2])
            return share if share >= 0.9 else None

        share = poll(picture, 20, 0.5)
        self.assertTrue(share, f"the splash's picture is not on the screen at {rect[:2]} ({shot_path})")
        wine.run(self.args.probe, "close", str(handle))
        if client is not None:
            try:
                self.assertEqual(client.wait(60), 0)
            except subprocess.TimeoutExpired:
                self.fail("the program did not end on the splash's close")
        ended = poll(lambda: not wine.programs("KQVClient.exe") and not wine.windows(), 60, 0.5)
        self.assertTrue(ended, "the program did not end on the splash's close")


class Setup(Case):
    def test_install_run_reinstall_upgrade_uninstall(self):
        args = self.args
        wine = Wine(args, "setup")

        # The installer's own version resource.
        self.assertEqual(fixed_file_version(args.setup), args.version)
        strings = version_strings(args.setup)
        self.assertEqual((strings.get("ProductName"), strings.get("CompanyName"), strings.get("FileVersion")),
                         (DISPLAY_NAME, PUBLISHER, args.version), strings)

        result = wine.run(args.setup, "/S")
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        user = wine.user()
        folder = os.path.join(user, "AppData", "Local", "Programs", "KQVClient")
        start_menu = os.path.join(user, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs",
                                  DISPLAY_NAME + ".lnk")
        desktop = os.path.join(user, "Desktop", DISPLAY_NAME + ".lnk")
        key = UNINSTALL_KEY + r"\KQVClient"
        player = []  # what the player adds to the folder

        def check_installed(version):
            self.assertEqual(sorted(os.listdir(folder)), sorted(INSTALLED_FILES + player))
            with open(os.path.join(folder, "KQVClient.exe"), "rb") as f, open(args.client, "rb") as g:
                self.assertTrue(f.read() == g.read(), "the installed program is not the built one")
            for link in (start_menu, desktop):
                self.assertTrue(os.path.isfile(link), f"no shortcut {link}")
                with open(link, "rb") as f:
                    data = f.read()
                target = "Programs\\KQVClient\\KQVClient.exe"
                self.assertTrue(target.encode() in data or target.encode("utf-16-le") in data,
                                f"{link} does not point at the installed program")
            self.assertEqual(wine.uninstall_entries(), [key])
            entry = wine.registry(key)
            self.assertEqual((entry.get("DisplayName"), entry.get("DisplayVersion"), entry.get("Publisher")),
                             (DISPLAY_NAME, version, PUBLISHER), entry)
            self.assertEqual(wine.unix_path(entry["DisplayIcon"].rsplit(",", 1)[0]),
                             os.path.join(folder, "KQVClient.exe"))
            self.assertEqual(wine.unix_path(entry["InstallLocation"]), folder)
            uninstaller = os.path.join(folder, "uninstall.exe")
            self.assertEqual(wine.unix_path(entry["UninstallString"].strip('"')), uninstaller)
            self.assertEqual(entry.get("QuietUninstallString"), entry["UninstallString"] + " /S")
            size = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder)) // 1024
            self.assertLessEqual(abs(entry.get("EstimatedSize", 0) - size), 4, f"EstimatedSize against {size} KB")

        check_installed(args.version)

        # The player starts it from the desktop, as a double click does.
        self.assertEqual(wine.run("start", "/unix", desktop).returncode, 0)
        self.see_the_splash(wine, "installed")

        # The player's own data: a pm_config.ini beside the program and the
        # browser's cookies in the profile.
        with open(os.path.join(folder, "pm_config.ini"), "w") as f:
            f.write("[config]\n")
        player.append("pm_config.ini")
        cookies = os.path.join(user, "AppData", "Local", "Microsoft", "Windows", "INetCookies")
        os.makedirs(cookies, exist_ok=True)
        cookie = os.path.join(cookies, "player-cookie.txt")
        with open(cookie, "w") as f:
            f.write("kept\n")

        for setup, version in ((args.setup, args.version), (args.next_setup, args.next_version)):
            result = wine.run(setup, "/S")
            self.assertEqual(result.returncode, 0, f"{setup} over the installed one")
            if version == args.next_version:
                # The next version's own build only differs in its name and fields.
                self.assertEqual(fixed_file_version(setup), version)
            check_installed(version)
        self.assertTrue(os.path.isfile(cookie))

        result = wine.run(os.path.join(folder, "uninstall.exe"), "/S")
        self.assertEqual(result.returncode, 0)
        # The uninstaller goes on from a copy of itself once started: wait for
        # what it leaves.
        gone = poll(lambda: not os.path.exists(os.path.join(folder, "uninstall.exe"))
                        and not wine.uninstall_entries(), 60, 0.5)
        self.assertTrue(gone, f"still there after the uninstall: {os.listdir(folder)}, {wine.uninstall_entries()}")
        self.assertEqual(os.listdir(folder), ["pm_config.ini"], "the folder keeps the player's file, only it")
        self.assertFalse(os.path.lexists(start_menu) or os.path.lexists(desktop), "a shortcut stayed")
        self.assertIsNone(wine.registry(key), "the uninstall entry stayed")
        self.assertTrue(os.path.isfile(cookie), "the player's cookies went")


class Zip(Case):
    def test_runs_from_a_folder_with_blanks_and_chinese_characters(self):
        args = self.args
        wine = Wine(args, "zip")
        place = os.path.join(wine.root, "玩家 的 游戏", "便携 版")
        os.makedirs(place)
        with zipfile.ZipFile(args.zip) as archive:
            names = archive.namelist()
            top = f"KQVClient-{args.version}-win64/"
            self.assertEqual(sorted(names), [top, top + "KQVClient.exe"])
            archive.extractall(place)
        program = os.path.join(place, top, "KQVClient.exe")
        with open(program, "rb") as f, open(args.client, "rb") as g:
            self.assertTrue(f.read() == g.read(), "the zipped program is not the built one")
        self.see_the_splash(wine, "portable", wine.start(program))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=["setup", "zip"])
    parser.add_argument("--runner", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--art", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--setup")
    parser.add_argument("--next-setup")
    parser.add_argument("--next-version")
    parser.add_argument("--zip")
    parser.add_argument("--work", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: run this through tests/wine/with-display.sh")
    os.makedirs(args.out, exist_ok=True)
    Case.args = args
    case = Setup if args.case == "setup" else Zip
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(case)
    return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

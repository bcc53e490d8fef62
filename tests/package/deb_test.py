#!/usr/bin/python3
"""The Debian package as a player's machine gets it: installed with apt-get,
found by the desktop, run, upgraded under the running client, purged.

    deb_test.py --deb DEB --upgrade-deb DEB --out DIR

Runs as root (CI's throwaway machine) inside a display session, and exits
with 77 (skipped) otherwise. A kqvclient package the machine already has is
left alone: the test then fails without touching it. Whatever happens, the
package is purged at the end and the test fails if anything of it remains.

    Installed     apt-get installs it; the command, the program and its
                  extension are where the client looks for them; the menu
                  entry (Chinese name, English generic name) and its icon
                  are where the desktop looks; metainfo and manual are there
    (client run)  deb_client_run.py: the installed client to its login page,
                  then an upgrade under it and the restart into the new file
    Purged        nothing of either version remains
"""

import argparse
import configparser
import glob
import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGE = "kqvclient"
XDG_DATA_DIRS = ["/usr/local/share", "/usr/share"]  # the desktop's default
PLAYER_PATH = "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games"
SKIPPED = 77


def run(*command, check=True):
    return subprocess.run(command, check=check, capture_output=True, text=True,
                          env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def installed_version():
    result = run("dpkg-query", "-W", "-f", "${db:Status-Abbrev} ${Version}", PACKAGE, check=False)
    if result.returncode != 0 or not result.stdout.startswith("ii"):
        return None
    return result.stdout.split()[-1]


def package_paths(deb):
    """The files and links a package holds, as installed paths."""
    tar = subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], check=True, capture_output=True).stdout
    names = subprocess.run(["tar", "-t"], input=tar, check=True, capture_output=True).stdout.decode().split("\n")
    return sorted({"/" + n.lstrip("./").rstrip("/") for n in names if n.strip("./")})


def apt_install(deb):
    result = run("apt-get", "install", "-y", "--no-install-recommends", os.path.abspath(deb), check=False)
    if result.returncode != 0:
        raise AssertionError(f"apt-get install {deb} failed:\n{result.stdout}\n{result.stderr}")


def purge():
    if run("dpkg-query", "-W", PACKAGE, check=False).returncode == 0:
        result = run("apt-get", "purge", "-y", PACKAGE, check=False)
        if result.returncode != 0:
            return f"apt-get purge failed:\n{result.stdout}\n{result.stderr}"
    return None


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is no PNG"
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


class Installed(unittest.TestCase):
    args = None

    def desktop_entry(self):
        """The menu entry that runs kqvclient, as the desktop finds it."""
        for data in XDG_DATA_DIRS:
            for path in sorted(glob.glob(os.path.join(data, "applications", "*.desktop"))):
                entry = configparser.ConfigParser(interpolation=None, strict=False)
                entry.optionxform = str
                entry.read(path, encoding="utf-8")
                if "Desktop Entry" in entry and entry["Desktop Entry"].get("Exec", "").split()[:1] == ["kqvclient"]:
                    return path, entry["Desktop Entry"]
        self.fail(f"no menu entry runs kqvclient in {XDG_DATA_DIRS}")

    def test_the_command_and_the_program(self):
        self.assertEqual(installed_version(), self.args.version)
        command = shutil.which("kqvclient", path=PLAYER_PATH)
        self.assertIsNotNone(command, "kqvclient is not on a player's PATH")
        self.assertEqual(os.path.realpath(command), "/usr/lib/kqvclient/KQVClient")
        self.assertTrue(os.access("/usr/lib/kqvclient/KQVClient", os.X_OK))
        # Where the client looks for its extension: beside its executable.
        self.assertTrue(os.path.isfile("/usr/lib/kqvclient/kqv-web-extension/libkqvexternal.so"))
        # Every library the programs need is on the machine through the
        # package's dependencies.
        for program in ("/usr/lib/kqvclient/KQVClient", "/usr/lib/kqvclient/kqv-web-extension/libkqvexternal.so"):
            self.assertNotIn("not found", run("ldd", program).stdout, program)

    def test_the_menu_entry_and_its_icon(self):
        path, entry = self.desktop_entry()
        self.assertEqual(entry.get("Type"), "Application")
        name = entry.get("Name", "")
        self.assertTrue(any("\u4e00" <= c <= "\u9fff" for c in name), f"Name {name!r} is not Chinese")
        generic = entry.get("GenericName", "")
        self.assertTrue(generic and generic.isascii(), f"GenericName {generic!r} is not English")
        self.assertIn("Game", entry.get("Categories", "").split(";"))
        icon = entry.get("Icon", "")
        self.assertTrue(icon and "/" not in icon, f"Icon {icon!r} is not a theme icon name")
        found = {}
        for data in XDG_DATA_DIRS:
            for png in glob.glob(os.path.join(data, "icons", "hicolor", "*", "apps", icon + ".png")):
                folder = png.split(os.sep)[-3]
                found[folder] = png
                side = int(folder.split("x")[0])
                self.assertEqual(png_size(png), (side, side), png)
        for folder in ("16x16", "32x32", "48x48", "256x256"):
            self.assertIn(folder, found, f"no {folder} icon {icon} for {path}")

    def test_metainfo_and_manual(self):
        metainfo = glob.glob("/usr/share/metainfo/*.metainfo.xml")
        ours = [m for m in metainfo if "kqvclient.desktop" in open(m, encoding="utf-8").read()]
        self.assertEqual(len(ours), 1, f"metainfo naming kqvclient.desktop: {ours}")
        check = run("appstreamcli", "validate", "--no-net", ours[0], check=False)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertIn(f'version="{self.args.version}"', open(ours[0], encoding="utf-8").read())
        self.assertTrue(os.path.isfile("/usr/share/man/man6/kqvclient.6.gz"))
        self.assertTrue(os.path.isfile("/usr/share/doc/kqvclient/copyright"))


def client_run(args):
    """deb_client_run.py in the display session, upgrading when it asks."""
    to_child_r, to_child_w = os.pipe()
    from_child_r, from_child_w = os.pipe()
    child = subprocess.Popen(
        [sys.executable, os.path.join(HERE, "deb_client_run.py"), "--out", args.out,
         f"--control={to_child_r},{from_child_w}"],
        pass_fds=(to_child_r, from_child_w))
    os.close(to_child_r)
    os.close(from_child_w)
    with os.fdopen(from_child_r) as requests, os.fdopen(to_child_w, "w") as answers:
        for request in requests:
            if request.strip() == "upgrade":
                try:
                    apt_install(args.upgrade_deb)
                    version = installed_version()
                    answer = "upgraded" if version == args.upgrade_version else f"version {version} after it"
                except AssertionError as error:
                    answer = str(error).replace("\n", " | ")
                answers.write(answer + "\n")
                answers.flush()
    return child.wait() == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--deb", required=True)
    parser.add_argument("--upgrade-deb", required=True, help="the same package with a higher version")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    if os.geteuid() != 0:
        print("needs root: it installs the package on this machine (CI's throwaway machine)")
        return SKIPPED
    if "DISPLAY" not in os.environ:
        sys.exit("no DISPLAY: run this inside tools/xsession.sh run")
    before = installed_version()
    if before is not None:
        sys.exit(f"{PACKAGE} {before} is installed on this machine: the test would replace it")
    args.version = run("dpkg-deb", "-f", args.deb, "Version").stdout.strip()
    args.upgrade_version = run("dpkg-deb", "-f", args.upgrade_deb, "Version").stdout.strip()
    if run("dpkg", "--compare-versions", args.upgrade_version, "gt", args.version, check=False).returncode != 0:
        sys.exit(f"{args.upgrade_deb} ({args.upgrade_version}) is no upgrade of {args.version}")
    paths = sorted(set(package_paths(args.deb)) | set(package_paths(args.upgrade_deb)))

    ok = True
    try:
        apt_install(args.deb)
        Installed.args = args
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(Installed)
        ok = unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful()
        ok = client_run(args) and ok
    finally:
        problem = purge()
        # Folders Debian itself owns stay; everything of the package's own goes.
        shared = {p for p in paths if run("dpkg", "-S", p, check=False).returncode == 0}
        left = [p for p in paths if os.path.lexists(p) and p not in shared]
        left += [p for p in ("/usr/lib/kqvclient",) if os.path.lexists(p)]
        if installed_version() is not None:
            problem = (problem or "") + f"\n{PACKAGE} is still installed"
        if left:
            problem = (problem or "") + f"\nleft after the purge: {left}"
        print("purged: " + ("nothing of the package remains" if not problem else problem), flush=True)
        ok = ok and not problem
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""The installed client, run as a player runs it, inside a display session
(tools/xsession.sh run -- ...) and against the stand-in platform on a private
loopback where the machine allows one. deb_test.py starts it once the package
is installed, and upgrades the package when asked (--control): the package is
managed outside the private namespace.

    InstalledClient  `kqvclient` from a player's PATH shows the launcher and
                     the login page (its load beacon reaches the stand-in);
                     the login opens the game window; the package is upgraded
                     under the running client; the close's 是 starts exactly
                     one copy, of the upgraded file, which shows its launcher
"""

import os
import pathlib
import shutil
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))

from client_runs import GameRun  # noqa: E402
from e2e_support import StandIn, arguments, launcher_windows, private_loopback, require_display, run_cases  # noqa: E402

# A player's PATH on Debian (/etc/profile): the games' folder included.
PLAYER_PATH = "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games"
INSTALLED = "/usr/lib/kqvclient/KQVClient"


class Control:
    """The line-based channel to deb_test.py, which manages the package."""

    def __init__(self, fds):
        read_fd, write_fd = (int(fd) for fd in fds.split(","))
        self.reader = os.fdopen(read_fd, "r")
        self.writer = os.fdopen(write_fd, "w")

    def ask(self, request):
        self.writer.write(request + "\n")
        self.writer.flush()
        return self.reader.readline().strip()


class InstalledClient(GameRun):
    name = "installed"
    control = None

    @classmethod
    def prepare(cls, home):
        super().prepare(home)
        command = shutil.which("kqvclient", path=PLAYER_PATH)
        assert command, f"no kqvclient on a player's PATH ({PLAYER_PATH})"
        assert os.path.realpath(command) == INSTALLED, f"{command} is {os.path.realpath(command)}"
        return command

    def beacons(self):
        return [e for e in self.requests() if e["path"] == "/mini/loaded"]

    def test_1_the_login_page_loads(self):
        self.wait_for(self.beacons, 30, "the login page's load beacon never reached the stand-in")
        self.wait_for_login_page(os.path.join(self.args.out, "installed-login.png"))

    def test_2_an_upgrade_under_the_running_client_restarts_into_the_new_file(self):
        self.fill_and_submit("Return")
        self.hand_off_to_game_window()
        old_file = os.stat(f"/proc/{self.client.pid}/exe").st_ino

        answer = self.control.ask("upgrade")
        self.assertEqual(answer, "upgraded", f"the upgrade failed: {answer}")
        self.assertTrue(os.readlink(f"/proc/{self.client.pid}/exe").endswith(" (deleted)"),
                        "the package's upgrade did not replace the running file")
        new_file = os.stat(INSTALLED).st_ino
        self.assertNotEqual(new_file, old_file)
        self.assertIsNone(self.client.poll(), "the client ended during the upgrade")

        self.press("close")
        self.answer_box("关闭提示", "y")
        self.wait_for(lambda: self.client.poll() is not None, 10, "the client did not end on 是")
        self.assertEqual(self.client.returncode, 0)
        copies = self.wait_for(self.restarted_copies, 10, "no fresh copy was started")
        self.assertEqual(len(copies), 1, f"copies: {copies}")
        copy = copies[0]
        self.assertEqual(os.readlink(f"/proc/{copy}/exe"), INSTALLED)
        self.assertEqual(os.stat(f"/proc/{copy}/exe").st_ino, new_file, "the fresh copy runs the old file")
        # What the player sees: the upgraded program's launcher.
        self.wait_for(lambda: launcher_windows(copy), 20, "the fresh copy showed no launcher")


def main():
    args, rest = arguments("out")
    extra = [a for a in rest if a.startswith("--control=")]
    rest = [a for a in rest if a not in extra]
    if not extra:
        sys.exit("--control=READ_FD,WRITE_FD is missing (run through deb_test.py)")
    args.client = INSTALLED  # what the client runs' helpers know it by
    require_display()
    private_loopback()
    InstalledClient.control = Control(extra[0].split("=", 1)[1])
    stand_in = StandIn()
    stand_in.up()
    try:
        run_cases(args, rest, stand_in)
    finally:
        stand_in.down()


if __name__ == "__main__":
    main()

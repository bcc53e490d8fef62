"""A network namespace of its own for a script that serves the stand-in on
its fixed port: only loopback is there and nothing else listens, so runs side
by side never meet. The X server is still reached through its socket file."""

import fcntl
import os
import shutil
import socket
import struct
import subprocess
import sys

_MARK = "KQV_PRIVATE_NET"


def private_loopback(port):
    """Re-runs the calling script in a namespace of its own where user
    namespaces are allowed; otherwise it goes on with the machine's loopback."""
    if os.environ.get(_MARK):
        if os.environ[_MARK] == "private":
            _bring_up_loopback()
        return
    unshare = shutil.which("unshare")
    if unshare and subprocess.run([unshare, "--user", "--map-root-user", "--net", "true"],
                                  capture_output=True).returncode == 0:
        env = dict(os.environ, **{_MARK: "private"})
        os.execve(unshare, [unshare, "--user", "--map-root-user", "--net", "--",
                            sys.executable, *sys.argv], env)
    os.environ[_MARK] = "shared"
    print(f"no user namespaces here: the stand-in takes port {port} on the machine's loopback", flush=True)


def _bring_up_loopback():
    SIOCGIFFLAGS, SIOCSIFFLAGS, IFF_UP = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack("16sH", b"lo", 0)
        flags = struct.unpack("16sH", fcntl.ioctl(s, SIOCGIFFLAGS, request)[:18])[1]
        fcntl.ioctl(s, SIOCSIFFLAGS, struct.pack("16sH", b"lo", flags | IFF_UP))

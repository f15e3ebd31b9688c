"""A folder on a machine that has gone away: the folder itself is there, but every look-up
inside it hangs for STALL seconds (or until the folder is unmounted) and then fails, as a
network share does while its server is off.

Usage: python3 dead_folder.py MOUNTPOINT [STALL]   (runs until unmounted or killed)
"""

import errno
import stat
import sys
import threading
import time

import fusepy
from fusepy import FUSE, FuseOSError, Operations


class DeadFolder(Operations):
    def __init__(self, stall):
        self.stall = stall
        self.gone = threading.Event()
        self.started = time.time()

    def destroy(self, path):
        self.gone.set()

    def log(self, what, path, how):
        print(f"{time.time() - self.started:7.1f} s: {what} {path} {how}", flush=True)

    def hang(self, what, path):
        self.log(what, path, "hangs")
        deadline = time.time() + self.stall
        while not self.gone.wait(0.1) and time.time() < deadline:
            # The kernel keeps a process whose request is out here alive, even past SIGKILL,
            # until it is answered; a signal to the caller asks for an answer, and a network
            # file system gives up the request then.
            if fusepy._libfuse.fuse_interrupted():
                self.log(what, path, "interrupted")
                raise FuseOSError(errno.EINTR)
        self.log(what, path, "fails")
        raise FuseOSError(errno.EHOSTDOWN)

    def getattr(self, path, fh=None):
        # The mount point answers, so the mount can be seen and taken down.
        if path == "/":
            now = self.started
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2,
                    "st_atime": now, "st_mtime": now, "st_ctime": now}
        self.hang("look-up", path)

    def opendir(self, path):
        self.hang("opendir", path)

    def readdir(self, path, fh):
        self.hang("readdir", path)

    def open(self, path, flags):
        self.hang("open", path)

    def statfs(self, path):
        self.hang("statfs", path)


def main():
    mountpoint = sys.argv[1]
    stall = float(sys.argv[2]) if len(sys.argv) > 2 else 30.0
    FUSE(DeadFolder(stall), mountpoint, foreground=True, nothreads=False, ro=True)


if __name__ == "__main__":
    main()

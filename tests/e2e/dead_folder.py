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

from fusepy import FUSE, FuseOSError, Operations


class DeadFolder(Operations):
    def __init__(self, stall):
        self.stall = stall
        self.gone = threading.Event()
        self.started = time.time()

    def destroy(self, path):
        self.gone.set()

    def hang(self, what, path):
        start = time.time()
        print(f"{start - self.started:7.1f} s: {what} {path} hangs", flush=True)
        self.gone.wait(self.stall)
        print(f"{time.time() - self.started:7.1f} s: {what} {path} fails", flush=True)
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

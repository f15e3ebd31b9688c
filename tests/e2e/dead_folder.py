"""A folder on a machine that has gone away: the folder itself is there, but every look-up
inside it hangs for STALL seconds (or until the folder is unmounted) and then fails, as a
network share does while its server is off.

With --slow TEXT it is a share over a slow link instead: it holds one file, State.SAH with
TEXT in it, and every open of it takes STALL seconds and then succeeds. Under Wine an open
is a burst of look-ups, some by the program's own thread and one by the Wine server, which
serves every program: the first of a burst waits, the rest answer at once, so an open takes
STALL seconds and only the calling thread stalls, as on Windows.

Usage: python3 dead_folder.py MOUNTPOINT [STALL] [--slow TEXT]   (runs until unmounted or
killed)
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


class SlowFolder(DeadFolder):
    NAME = "/State.SAH"

    # Look-ups closer than this to the last answer belong to the same open.
    BURST = 0.2

    def __init__(self, stall, text):
        super().__init__(stall)
        self.data = text.encode()
        self.answered = 0.0

    @staticmethod
    def by_wine_server():
        try:
            with open(f"/proc/{fusepy.fuse_get_context()[2]}/comm") as comm:
                return comm.read().startswith("wineserver")
        except OSError:
            return False

    def getattr(self, path, fh=None):
        if path == self.NAME:
            if time.time() - self.answered > self.BURST and not self.by_wine_server():
                self.log("look-up", path, "waits")
                if self.gone.wait(self.stall):
                    raise FuseOSError(errno.EHOSTDOWN)
                self.log("look-up", path, "answers")
            self.answered = time.time()
            now = self.started
            return {"st_mode": stat.S_IFREG | 0o444, "st_nlink": 1, "st_size": len(self.data),
                    "st_atime": now, "st_mtime": now, "st_ctime": now}
        if path == "/":
            return super().getattr(path, fh)
        raise FuseOSError(errno.ENOENT)

    def opendir(self, path):
        return 0

    def readdir(self, path, fh):
        return [".", "..", self.NAME[1:]]

    def open(self, path, flags):
        if path != self.NAME:
            raise FuseOSError(errno.ENOENT)
        return 0

    def read(self, path, size, offset, fh):
        return self.data[offset:offset + size]

    def statfs(self, path):
        return {"f_bsize": 4096, "f_blocks": 1, "f_bavail": 0, "f_bfree": 0}


def main():
    mountpoint = sys.argv[1]
    stall = float(sys.argv[2]) if len(sys.argv) > 2 else 30.0
    if len(sys.argv) > 4 and sys.argv[3] == "--slow":
        # Every look-up reaches the folder: the kernel keeps none.
        FUSE(SlowFolder(stall, sys.argv[4]), mountpoint, foreground=True, nothreads=False,
             ro=True, entry_timeout=0, attr_timeout=0, negative_timeout=0)
    else:
        FUSE(DeadFolder(stall), mountpoint, foreground=True, nothreads=False, ro=True)


if __name__ == "__main__":
    main()

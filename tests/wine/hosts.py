"""Host folders under Wine: Quenlit.exe and config\\board.2ch in a folder
of the prefix, and the ways to run the tool there."""

import os
import re
import select
import shutil
import stat
import subprocess
import threading
import time

import winelab
from winelab import Outcome, parse_driver_output, read_line, say

TEST_ROOT_NAME = "quenlit-tests"
EXE = winelab.EXE  # the exe each host gets; run-wine-tests sets it per run

# boxdriver's hold modes: (access, share) as CreateFileA masks.
WRITER_SHARING_READ = ("40000000", "1")  # nobody may open it to read unless they let writers in
READER_SHARING_READ = ("80000000", "1")  # readers welcome, no replace or delete
READER_SHARING_READ_WRITE = ("80000000", "3")  # writers welcome too, still no replace

# On a busy machine Wine's CreateProcessW now and then fails before the tool
# runs at all (error 1359, an internal error): boxdriver then says "cannot
# start N". Such a start is tried again; one that keeps failing is Wine's
# refusal, not a fault of the exe.
START_TRIES = 4
START_PAUSE_S = 2


class WineRefused(Exception):
    pass


REFUSED = re.compile(rb"cannot start (\d+)")


def start_refused(first_line, tries_left):
    """Whether boxdriver's first line tells of a refused start worth trying
    again; raises WineRefused when no try is left."""
    refused = REFUSED.match(first_line)
    if not refused:
        return False
    why = f"Wine refused to start Quenlit.exe (CreateProcessW error {refused[1].decode()})"
    if not tries_left:
        raise WineRefused(f"{why} {START_TRIES} times: not a fault of the exe")
    say(f"      {why}; trying again in {START_PAUSE_S} s")
    time.sleep(START_PAUSE_S)
    return True


def first_line(stream, timeout=30):
    """A pipe's first line, taken byte by byte so nothing after it is read."""
    line = b""
    while not line.endswith(b"\n") and select.select([stream], [], [], timeout)[0]:
        byte = os.read(stream.fileno(), 1)
        if not byte:
            break
        line += byte
    return line


def replayed(line, stream):
    """A pipe that gives `line` again, then whatever `stream` gives."""
    read, write = os.pipe()

    def pump():
        try:
            with os.fdopen(write, "wb", buffering=0) as out, stream:
                out.write(line)
                while data := os.read(stream.fileno(), 4096):
                    out.write(data)
        except OSError:  # the reader is gone
            pass
    threading.Thread(target=pump, daemon=True).start()
    return os.fdopen(read, "rb")


class Host:
    """A host application's folder holding Quenlit.exe and config\\board.2ch."""

    def __init__(self, lab, unix_dir, windows_dir):
        self.lab = lab
        self.dir = unix_dir
        self.windows_dir = windows_dir
        os.makedirs(os.path.join(unix_dir, "config"), exist_ok=True)
        shutil.copy(EXE, os.path.join(unix_dir, "Quenlit.exe"))
        self.board = os.path.join(unix_dir, "config", "board.2ch")
        self.backup = self.board + "_QlBack"
        self.temporary = self.board + "_QlTemp"
        # The path exactly as the tool builds it: drive roots keep their '\'.
        self.board_path = windows_dir + "\\config\\board.2ch"

    def write(self, data, path=None):
        with open(path or self.board, "wb") as f:
            f.write(data)

    def read(self, path=None):
        with open(path or self.board, "rb") as f:
            return f.read()

    def read_only(self, path=None):
        path = path or self.board
        os.chmod(path, os.stat(path).st_mode & ~0o222)

    def is_read_only(self, path=None):
        return not os.stat(path or self.board).st_mode & stat.S_IWUSR

    def security(self, windows_path):
        """The file's owner, group and DACL as Windows reads them (SDDL)."""
        out = self.lab.wine_run([self.lab.driver, "security", windows_path]).stdout
        return out.decode("ascii", "replace").strip().removeprefix("security ")

    def run(self, answers):
        exe = self.windows_dir.rstrip("\\") + "\\Quenlit.exe"
        for tries_left in reversed(range(START_TRIES)):
            result = self.lab.wine_run([self.lab.driver, "drive", answers or "-", exe])
            try:
                if not start_refused(result.stdout, tries_left):
                    break
            except WineRefused as why:
                return Outcome([], str(why), result.stdout.decode("ascii", "replace"))
        return parse_driver_output(result.stdout.decode("ascii", "replace")
                                   + result.stderr.decode("utf-8", "replace")[-2000:])

    def start_stepped(self):
        """Starts the tool with boxdriver's step mode: each box is reported on
        the pipe and waits for its answer line on stdin."""
        exe = self.windows_dir.rstrip("\\") + "\\Quenlit.exe"
        for tries_left in reversed(range(START_TRIES)):
            stepped = self.lab.wine_popen([self.lab.driver, "step", exe], stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            line = first_line(stepped.stdout)
            if not REFUSED.match(line):
                # The first box's line was read to tell: the caller gets it again.
                stepped.stdout = replayed(line, stepped.stdout)
                return stepped
            stepped.wait(30)
            start_refused(line, tries_left)

    def run_from_unix_path(self, answers):
        """Starts the tool as `wine /unix/path` (CreateProcessA refuses paths
        over 260 bytes) and follows it with boxdriver's attach mode."""
        tool = self.lab.wine_popen([os.path.join(self.dir, "Quenlit.exe")],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            result = self.lab.wine_run([self.lab.driver, "attach", answers or "-"])
        finally:
            try:
                tool.wait(30)
            except subprocess.TimeoutExpired:
                tool.kill()
                tool.wait()
        return parse_driver_output(result.stdout.decode("ascii", "replace"))

    def run_while_held(self, answers, access_share, path=None, hold_ms=None):
        """Runs the tool while another process holds board.2ch (or `path`, a
        Windows path) open: until the run ends, or for `hold_ms` only."""
        held = [path or self.board_path, *access_share] + ([str(hold_ms)] if hold_ms else [])
        holder = self.lab.wine_popen([self.lab.driver, "hold", *held],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        try:
            state = read_line(holder.stdout)
            if state != "held":
                raise AssertionError(f"the holder could not open the file: {state!r}")
            return self.run(answers)
        finally:
            holder.stdin.close()
            try:
                holder.wait(30)
            except subprocess.TimeoutExpired:
                holder.kill()
                holder.wait()


def make_host(lab, folder):
    if folder is None:
        unix_dir = lab.drive_c(TEST_ROOT_NAME, "drive-root")
        os.makedirs(unix_dir, exist_ok=True)
        return Host(lab, unix_dir, lab.map_drive(unix_dir) + "\\")
    unix_dir = lab.drive_c(TEST_ROOT_NAME, *folder.split("\\"))
    return Host(lab, unix_dir, f"C:\\{TEST_ROOT_NAME}\\{folder}")

"""The end-to-end cases: the real Quenlit.exe in real host folders under Wine,
its boxes read and answered by boxdriver.exe."""

import fcntl
import os
import re
import struct
import subprocess
import threading

import texts
from hosts import (READER_SHARING_READ, READER_SHARING_READ_WRITE, TEST_ROOT_NAME,
                   WRITER_SHARING_READ)
from texts import cp932
from winelab import Box, parse_driver_output, read_line, say

OK, YES, NO = "O", "Y", "N"


# -- what a box must look like ------------------------------------------------

def notice(text, icon="yes"):
    return Box(texts.CAPTION, text, "OK", "OK", icon)


def question(text, default):
    return Box(texts.CAPTION, text, "YES,NO", default, "yes")


def shown(data):
    return data.decode("cp932", "backslashreplace")


def box_problems(outcome, expected, exit_code=0):
    problems = []
    if outcome.exit_code != exit_code:
        problems.append(f"exit status {outcome.exit_code!r}, expected {exit_code}")
    if len(outcome.boxes) != len(expected):
        problems.append(f"{len(outcome.boxes)} boxes, expected {len(expected)}: "
                        + " | ".join(shown(b.text) for b in outcome.boxes))
    for number, (got, want) in enumerate(zip(outcome.boxes, expected), 1):
        if got.caption != want.caption:
            problems.append(f"box {number}: caption {shown(got.caption)!r}")
        matches = (want.text.fullmatch(got.text) if isinstance(want.text, re.Pattern)
                   else got.text == want.text)
        if not matches:
            problems.append(f"box {number}: text {shown(got.text)!r}\n  expected "
                            f"{want.text.pattern if isinstance(want.text, re.Pattern) else shown(want.text)!r}")
        # Not "topmost": Wine 8 does not make MB_TOPMOST boxes topmost.
        for fact in ("buttons", "default", "icon"):
            if getattr(got, fact) != getattr(want, fact):
                problems.append(f"box {number}: {fact} {getattr(got, fact)}, "
                                f"expected {getattr(want, fact)}")
    return problems


def file_problems(host, board, backup=None, no_backup=False):
    """board/backup: the bytes each must hold afterwards."""
    problems = []
    if board is not None and host.read() != board:
        problems.append(f"board.2ch holds {host.read()!r}, expected {board!r}")
    if no_backup and os.path.lexists(host.backup):
        problems.append("a backup was made")
    if backup is not None and (not os.path.isfile(host.backup) or host.read(host.backup) != backup):
        problems.append("board.2ch_QlBack does not hold the expected bytes")
    if os.path.lexists(host.temporary):
        problems.append("board.2ch_QlTemp was left behind")
    return problems


# -- file contents --------------------------------------------------------------

def fields(*values):
    return b"\t".join(v if isinstance(v, bytes) else cp932(v) for v in values)


def board_line(number, colour, extra=()):
    """A board entry: ten fields, the eighth the colour of the board's name."""
    return fields(f"板{number}", f"https://host{number}.example/b/", "ニュース", "0", "0", "0",
                  "clWindow", colour, "0", "1", *extra)


ONE_BLACK = board_line(1, "clBlack") + b"\r\n"
ONE_BLACK_FIXED = board_line(1, "clWindowText") + b"\r\n"

# (line as written by the host, its line end, the line the tool must write)
MIXED_LINES = [
    (cp932("[カテゴリ]"), b"\r\n", cp932("[カテゴリ]")),
    (board_line(1, "clBlack"), b"\n", board_line(1, "clWindowText")),
    (board_line(2, "clBlack"), b"\r", board_line(2, "clWindowText")),
    (board_line(3, "clBlack"), b"\r\n", board_line(3, "clWindowText")),
    (board_line(4, "clRed"), b"\n", board_line(4, "clRed")),
    # Eleven fields: not a board entry.
    (board_line(5, "clBlack", ["x"]), b"\n", board_line(5, "clBlack", ["x"])),
    (board_line(6, "前clBlack後"), b"\n", board_line(6, "前clWindowText後")),
    (board_line(7, "clBlackclBlack"), b"\n", board_line(7, "clWindowTextclBlack")),
    # "ツ" is 0x83 0x63: its second byte is the 'c' of a false "clBlack".
    (board_line(8, "ツlBlack"), b"\n", board_line(8, "ツlBlack")),
    (fields("clBlack", *["f"] * 6, "clBlack", "0", "1"), b"\n",
     fields("clBlack", *["f"] * 6, "clBlack", "0", "1")),
    (fields("a", "b", "clBlack", *["f"] * 4, "clBlack", "0", "1"), b"\n",
     fields("a", "b", "clBlack", *["f"] * 4, "clBlack", "0", "1")),
    (b"", b"\n\r", b""),
    *[(board_line(n, "clBlack"), b"\r\n", board_line(n, "clWindowText")) for n in range(9, 15)],
    # The last line has no line end; a NUL ends the text, its tail is kept.
    (board_line(17, "clBlack"), b"", board_line(17, "clWindowText")),
]
MIXED_TAIL = b"\0tail\nbytes"


def mixed_file():
    return b"".join(line + end for line, end, _ in MIXED_LINES) + MIXED_TAIL


def mixed_expected():
    # "\n\r" ends a line and then an empty one.
    out = []
    for line, end, written in MIXED_LINES:
        out.append(written + b"\r\n")
        if end == b"\n\r":
            out.append(b"\r\n")
    return b"".join(out) + MIXED_TAIL


# -- the cases ------------------------------------------------------------------

def missing_file(host):
    outcome = host.run(OK)
    problems = box_problems(outcome, [notice(texts.NOT_FOUND)])
    if os.listdir(os.path.dirname(host.board)):
        problems.append("files appeared in config")
    return problems


def empty_file(host):
    host.write(b"")
    outcome = host.run(OK)
    return (box_problems(outcome, [notice(texts.read_failed(host.board_path))])
            + file_problems(host, b"", no_backup=True))


def no_black_at_all(host):
    data = b"a\tb\nclblack CLBLACK\nclBlac k\n"
    host.write(data)
    return (box_problems(host.run(OK), [notice(texts.NO_BLACK)])
            + file_problems(host, data, no_backup=True))


def black_outside_the_colour_field(host):
    data = fields("clBlack", *["f"] * 6, "clBlack", "0", "1") + b"\n" + board_line(1, "clRed", ["clBlack"])
    host.write(data)
    host.write(b"earlier backup", host.backup)
    return (box_problems(host.run(OK), [notice(texts.NO_CHANGE)])
            + file_problems(host, data, backup=b"earlier backup"))


def normal_run(host):
    original = mixed_file()
    host.write(original)
    host.write(b"earlier backup", host.backup)  # overwritten without a question
    return (box_problems(host.run(OK), [notice(texts.fixed(12), icon="no")])
            + file_problems(host, mixed_expected(), backup=original))


def read_only_declined(host):
    host.write(ONE_BLACK)
    host.read_only()
    problems = box_problems(host.run(NO), [question(texts.read_only_question(host.board_path), "YES")])
    if not host.is_read_only():
        problems.append("the file lost its read-only attribute")
    return problems + file_problems(host, ONE_BLACK, no_backup=True)


def read_only_cleared(host):
    # Hidden too: the question promises to clear every attribute.
    host.write(ONE_BLACK)
    os.setxattr(host.board, "user.DOSATTRIB", b"0x2")
    host.read_only()
    problems = box_problems(host.run(YES + OK), [
        question(texts.read_only_question(host.board_path), "YES"),
        notice(texts.fixed(1), icon="no")])
    if host.is_read_only():
        problems.append("the file is still read-only")
    if dos_attributes(host.board) & 0x7:
        problems.append(f"attributes left: {dos_attributes(host.board):#x}")
    return problems + file_problems(host, ONE_BLACK_FIXED, backup=ONE_BLACK)


def backup_read_only(answer):
    def case(host):
        host.write(ONE_BLACK)
        host.write(b"earlier backup", host.backup)
        host.read_only(host.backup)
        expected = [question(texts.backup_question(host.board_path, "更新"), "NO")]
        if answer == YES:
            expected.append(notice(texts.fixed(1), icon="no"))
        board = ONE_BLACK_FIXED if answer == YES else ONE_BLACK
        return (box_problems(host.run(answer + OK), expected)
                + file_problems(host, board, backup=b"earlier backup"))
    return case


def backup_blocked_by_folder(host):
    # Not an existing file, so the question speaks of creating the backup.
    host.write(ONE_BLACK)
    os.mkdir(host.backup)
    return (box_problems(host.run(NO), [question(texts.backup_question(host.board_path, "作成"), "NO")])
            + file_problems(host, ONE_BLACK))


def config_folder_not_writable(host):
    # The file may be written but nothing created beside it: no backup, and
    # no temporary file for the replace, so the file is left as it was.
    host.write(ONE_BLACK)
    config = os.path.dirname(host.board)
    os.chmod(config, 0o555)
    try:
        outcome = host.run(YES + OK)
    finally:
        os.chmod(config, 0o755)
    return (box_problems(outcome, [question(texts.backup_question(host.board_path, "作成"), "NO"),
                                   notice(texts.write_failed(host.board_path))])
            + file_problems(host, ONE_BLACK, no_backup=True))


def locked_against_reading(host):
    host.write(ONE_BLACK)
    outcome = host.run_while_held(OK, WRITER_SHARING_READ)
    report = Box(texts.ERROR_CAPTION, texts.cannot_open_report(host.board_path), "OK", "OK", "yes")
    return box_problems(outcome, [report], exit_code=1) + file_problems(host, ONE_BLACK, no_backup=True)


def write_fails_after_backup(host):
    # Writers are let in, so the file may be written: only the replace is refused.
    host.write(ONE_BLACK)
    outcome = host.run_while_held(OK, READER_SHARING_READ_WRITE)
    return (box_problems(outcome, [notice(texts.write_failed(host.board_path))])
            + file_problems(host, ONE_BLACK, backup=ONE_BLACK))


def lock_passes(access_share):
    """Another program (a virus scanner, say) holds board.2ch for 1.5 s:
    the run waits it out and ends as if it had not been there."""
    def case(host):
        host.write(ONE_BLACK)
        outcome = host.run_while_held(OK, access_share, hold_ms=1500)
        return (box_problems(outcome, [notice(texts.fixed(1), icon="no")])
                + file_problems(host, ONE_BLACK_FIXED, backup=ONE_BLACK))
    return case


def stepped_run(host, meanwhile):
    """Runs the tool in boxdriver's step mode. While its first box waits,
    meanwhile(run) does what another program would; it returns True when it
    answered the box itself. Then Yes and OK, as a user answers."""
    first = host.start_stepped()
    try:
        output = read_line(first.stdout) + "\n"
        if not meanwhile(first):
            answer(first, YES)
        output += read_line(first.stdout) + "\n"
        answer(first, OK)
        output += read_line(first.stdout) + "\n"
    finally:
        first.stdin.close()
        first.wait(30)
    return parse_driver_output(output)


def two_runs_at_once(first_answers_after):
    """A second run starts while the first waits at its question. It waits
    for the first one's lock: when the first ends in time it finds nothing
    left to change, else it ends in the write-failure notice. Never two
    fixes, never a backup of the fixed file."""
    def case(host):
        host.write(ONE_BLACK)
        host.read_only()
        second = []

        def meanwhile(first):
            answered = (threading.Timer(first_answers_after, answer, (first, YES))
                        if first_answers_after else None)
            if answered:
                answered.start()
            second.append(host.run(OK))
            if answered:
                answered.join()
            return answered is not None

        first = stepped_run(host, meanwhile)
        question_box = question(texts.read_only_question(host.board_path), "YES")
        problems = box_problems(first, [question_box, notice(texts.fixed(1), icon="no")])
        second_box = (notice(texts.NO_BLACK) if first_answers_after
                      else notice(texts.write_failed(host.board_path)))
        return ([f"first run: {p}" for p in problems]
                + [f"second run: {p}" for p in box_problems(second[0], [second_box])]
                + file_problems(host, ONE_BLACK_FIXED, backup=ONE_BLACK))
    return case


def answer(stepped, letter):
    stepped.stdin.write(letter.encode() + b"\n")
    stepped.stdin.flush()


def links_at_the_tools_own_names(host):
    """Links planted at every name the tool makes lead out of the folder:
    their targets stay untouched and the run ends as without them."""
    host.write(ONE_BLACK)
    victims = os.path.join(os.path.dirname(host.dir), "victims-" + os.path.basename(host.dir))
    os.makedirs(victims, exist_ok=True)
    problems = []
    planted = {}
    for suffix in ("_QlTemp", "_QlBack", "_QlBack_QlTemp"):
        victim = os.path.join(victims, "victim" + suffix)
        host.write(b"not the tool's" + suffix.encode(), victim)
        os.symlink(victim, host.board + suffix)
        planted[suffix] = victim
    # What a run ended in the middle of a removal leaves: gone after the next
    # run. A name that only looks like one is not the tool's, and stays.
    leftovers = [host.board + "_QlTemp~4242", host.board + "_QlBack_QlTemp~17~4242"]
    for leftover in leftovers + [host.board + "_QlTemp~notes"]:
        host.write(b"", leftover)
    problems += box_problems(host.run(OK), [notice(texts.fixed(1), icon="no")])
    problems += file_problems(host, ONE_BLACK_FIXED, backup=ONE_BLACK)
    problems += [f"{os.path.basename(l)} was left behind" for l in leftovers if os.path.lexists(l)]
    if not os.path.exists(host.board + "_QlTemp~notes"):
        problems.append("board.2ch_QlTemp~notes, not the tool's, was removed")
    for suffix, victim in planted.items():
        if not os.path.exists(victim) or host.read(victim) != b"not the tool's" + suffix.encode():
            problems.append(f"the target of the link at board.2ch{suffix} was written")
        if suffix != "_QlBack" and os.path.lexists(host.board + suffix):
            problems.append(f"board.2ch{suffix} was left behind")
    if os.path.islink(host.backup):
        problems.append("board.2ch_QlBack is still the planted link")
    return problems


def refused_untouched(host, expected_box, names):
    """The run refuses with `expected_box`: every one of `names` (path: bytes)
    holds what it held, and config holds nothing else."""
    problems = box_problems(host.run(OK), [expected_box])
    for path, data in names.items():
        if not os.path.exists(path) or host.read(path) != data:
            problems.append(f"{os.path.basename(path)} was changed")
    config = os.path.dirname(host.board)
    left = sorted(set(os.listdir(config)) - {os.path.basename(p) for p in names})
    return problems + [f"left in config: {left}"] * bool(left)


def others_board(host):
    """A board of another user that only its owner may write: renaming over
    it needs only the folder, but it is not ours to write."""
    if os.geteuid() != 0:
        say("      (skipped: giving a file away needs root)")
        return []
    host.write(ONE_BLACK)
    os.chown(host.board, 65534, 65534)
    os.chmod(host.board, 0o644)
    problems = refused_untouched(host, notice(texts.write_failed(host.board_path)),
                                 {host.board: ONE_BLACK})
    if os.stat(host.board).st_uid != 65534:
        problems.append("board.2ch changed hands")
    return problems


def hard_linked_board(host):
    """board.2ch is one file with two names: a replace would fix one name only."""
    other = os.path.join(os.path.dirname(host.board), "board-of-another-host.2ch")
    host.write(ONE_BLACK)
    os.link(host.board, other)
    problems = refused_untouched(host, notice(texts.write_failed(host.board_path)),
                                 {host.board: ONE_BLACK, other: ONE_BLACK})
    if os.stat(host.board).st_nlink != 2:
        problems.append("the two names were parted")
    return problems


def board_links_to_own_temporary(host):
    """board.2ch links to board.2ch_QlTemp: the start-up clean-up would take
    the user's file for a leftover."""
    host.write(ONE_BLACK, host.temporary)
    os.symlink("board.2ch_QlTemp", host.board)
    problems = refused_untouched(host, notice(texts.read_failed(host.board_path)),
                                 {host.board: ONE_BLACK, host.temporary: ONE_BLACK})
    if not os.path.islink(host.board):
        problems.append("board.2ch is no longer the link")
    return problems


def board_links_elsewhere(host):
    """board.2ch is a Unix link to another host's board: Wine shows no link,
    and a replace would leave a plain file here and the target unfixed."""
    target = os.path.join(os.path.dirname(host.dir), "linked-" + os.path.basename(host.dir),
                          "board.2ch")
    os.makedirs(os.path.dirname(target), exist_ok=True)
    host.write(ONE_BLACK, target)
    os.symlink(target, host.board)
    problems = refused_untouched(host, notice(texts.write_failed(host.board_path)),
                                 {host.board: ONE_BLACK, target: ONE_BLACK})
    if not os.path.islink(host.board):
        problems.append("board.2ch is no longer the link")
    return problems


def linux_runs_backup_live(host):
    """The Linux program, sharing no run lock with the exe, is writing its
    backup's temporary file, whose mark is a lock on byte 2**40: the exe's
    clean-up takes it for no leftover, and finds the backup cannot be made."""
    host.write(ONE_BLACK)
    live = host.backup + "_QlTemp"
    host.write(b"half a backup", live)
    with open(live, "rb+") as marked:
        fcntl.fcntl(marked, fcntl.F_OFD_SETLK,
                    struct.pack("@hhqqi4x", fcntl.F_WRLCK, os.SEEK_SET, 1 << 40, 1, 0))
        problems = box_problems(host.run(NO),
                                [question(texts.backup_question(host.board_path, "作成"), "NO")])
    if not os.path.isfile(live) or host.read(live) != b"half a backup":
        problems.append("the other run's file was removed or written")
    return problems + file_problems(host, ONE_BLACK, no_backup=True)


def dos_attributes(path):
    try:
        return int(os.getxattr(path, "user.DOSATTRIB").split(b"\0")[0], 16)
    except OSError:
        return 0


def hidden_board(attributes):
    """Wine keeps hidden and system in an extended attribute. The fixed
    board keeps them; its backup has neither, so the user finds it."""
    def case(host):
        host.write(ONE_BLACK)
        os.setxattr(host.board, "user.DOSATTRIB", b"%#x" % attributes)
        problems = (box_problems(host.run(OK), [notice(texts.fixed(1), icon="no")])
                    + file_problems(host, ONE_BLACK_FIXED, backup=ONE_BLACK))
        if dos_attributes(host.board) & 0x7 != attributes:
            problems.append(f"board.2ch has attributes {dos_attributes(host.board):#x}")
        if dos_attributes(host.backup) & 0x6:
            problems.append(f"the backup is hidden or system: {dos_attributes(host.backup):#x}")
        return problems
    return case


def private_board(mode):
    """A board only its owner (and group) may read: the fixed file and the
    backup carry its security descriptor, not the folder's default for a
    new file, which lets everyone read."""
    def case(host):
        host.write(ONE_BLACK)
        os.chmod(host.board, mode)
        before = host.security(host.board_path)
        problems = (box_problems(host.run(OK), [notice(texts.fixed(1), icon="no")])
                    + file_problems(host, ONE_BLACK_FIXED, backup=ONE_BLACK))
        for name, path in (("board.2ch", host.board_path), ("the backup", host.board_path + "_QlBack")):
            after = host.security(path)
            if after != before:
                problems.append(f"{name}: security {after}, was {before}")
        return problems
    return case


def changed_while_asking(host):
    """Another program saves the board while the question waits: nothing of
    its save is lost, no backup is made of a state the run did not read, and
    the run says the write failed."""
    host.write(ONE_BLACK)
    host.read_only()
    saved = ONE_BLACK + board_line(2, "clRed") + b"\r\n"

    def meanwhile(_):
        mode = os.stat(host.board).st_mode
        os.chmod(host.board, 0o644)
        host.write(saved)
        os.chmod(host.board, mode)
        return False

    problems = box_problems(stepped_run(host, meanwhile),
                            [question(texts.read_only_question(host.board_path), "YES"),
                             notice(texts.write_failed(host.board_path))])
    problems += file_problems(host, saved, no_backup=True)
    if os.path.lexists(host.backup + "_QlTemp"):
        problems.append("board.2ch_QlBack_QlTemp was left behind")
    return problems


def half_width_katakana(host):
    """ｱ and the folder name ﾃｽﾄ are single bytes in code page 932 but lead
    bytes in 936 and 949: read as those, the token after ｱ is missed and the
    folder split after ﾄ, naming the parent's config\board.2ch."""
    parent = os.path.join(os.path.dirname(host.dir), "config", "board.2ch")
    os.makedirs(os.path.dirname(parent), exist_ok=True)
    host.write(ONE_BLACK, parent)
    host.write(board_line(1, "ｱclBlack") + b"\r\n")
    problems = (box_problems(host.run(OK), [notice(texts.fixed(1), icon="no")])
                + file_problems(host, board_line(1, "ｱclWindowText") + b"\r\n",
                                backup=board_line(1, "ｱclBlack") + b"\r\n"))
    if host.read(parent) != ONE_BLACK or os.path.exists(parent + "_QlBack"):
        problems.append("the parent folder's board.2ch was touched")
    return problems


def no_room_for_the_backup(answer):
    """The host folder is a small file system with no room for a second copy
    of board.2ch: the earlier backup stays whole, whatever the answer."""
    def case(host):
        if os.geteuid() != 0:
            say("      (skipped: mounting a small file system needs root)")
            return []
        data = ONE_BLACK * 600  # about 60 KiB
        exe = host.read(os.path.join(host.dir, "Quenlit.exe"))
        try:
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", host.dir], check=True)
        except (OSError, subprocess.CalledProcessError) as why:
            say(f"      (skipped: cannot mount a tmpfs: {why})")
            return []
        try:
            os.makedirs(os.path.dirname(host.board))
            host.write(exe, os.path.join(host.dir, "Quenlit.exe"))
            host.write(data)
            host.write(data[: len(data) - 1000], host.backup)
            disk = os.statvfs(host.dir)
            room = (disk.f_blocks - disk.f_bfree) * disk.f_frsize + 16 * 1024  # < another copy
            subprocess.run(["mount", "-o", f"remount,size={room}", host.dir], check=True)
            expected = [question(texts.backup_question(host.board_path, "更新"), "NO")]
            if answer == YES:
                expected.append(notice(texts.write_failed(host.board_path)))
            problems = (box_problems(host.run(answer + OK), expected)
                        + file_problems(host, data, backup=data[: len(data) - 1000]))
            if os.path.lexists(host.backup + "_QlTemp"):
                problems.append("board.2ch_QlBack_QlTemp was left behind")
            return problems
        finally:
            subprocess.run(["umount", host.dir], check=False)
    return case


def refused_with_a_decoy(host, decoy_folder, run):
    """A path that is not exactly the tool's own would name `decoy_folder`'s
    file: the run says the file was not found and touches neither."""
    decoy = os.path.join(decoy_folder, "config", "board.2ch")
    os.makedirs(os.path.dirname(decoy), exist_ok=True)
    host.write(ONE_BLACK, decoy)
    host.write(ONE_BLACK)
    problems = box_problems(run(OK), [notice(texts.NOT_FOUND)])
    if host.read(decoy) != ONE_BLACK or os.path.exists(decoy + "_QlBack"):
        problems.append("the file of the folder a wrong path names was touched")
    return problems + file_problems(host, ONE_BLACK, no_backup=True)


def not_exactly_our_folder(planted):
    """The tool's folder has no exact name in code page 932: Windows would
    hand out a "best fit" naming `planted` instead, another host's folder."""
    def case(host):
        decoy = os.path.join(host.lab.drive_c(TEST_ROOT_NAME), *planted.split("\\"))
        return refused_with_a_decoy(host, decoy, host.run)
    return case


def started_from_drive_root(host):
    host.write(b"")
    problems = box_problems(host.run(OK), [notice(texts.read_failed(host.board_path))])
    if "\\\\config" not in host.board_path:
        problems.append(f"the test's path {host.board_path} lacks the doubled backslash")
    host.write(ONE_BLACK)
    problems += box_problems(host.run(OK), [notice(texts.fixed(1), icon="no")])
    return problems + file_problems(host, ONE_BLACK_FIXED, backup=ONE_BLACK)


def folder_name_ending_in_5c(host):
    # "表" is 0x95 0x5C: its second byte is a backslash's value.
    host.write(ONE_BLACK)
    host.read_only()
    return (box_problems(host.run(YES + OK), [
        question(texts.read_only_question(host.board_path), "YES"),
        notice(texts.fixed(1), icon="no")])
        + file_problems(host, ONE_BLACK_FIXED, backup=ONE_BLACK))


LONG_SEGMENT = "a" * 49
LONG_FOLDER = "\\".join(["long"] + [LONG_SEGMENT] * 6)  # C:\quenlit-tests\long...: 321 bytes


def folder_path_over_260_bytes(host):
    # Beyond 260 bytes the tool still works on its own folder. A path cut at
    # 260 bytes would end inside the fifth segment and name the fourth one's
    # config\board.2ch: a decoy that must stay untouched.
    assert len(host.windows_dir) > 300
    decoy_folder = os.path.join(host.lab.drive_c(TEST_ROOT_NAME, "long"), *[LONG_SEGMENT] * 4)
    decoy = os.path.join(decoy_folder, "config", "board.2ch")
    os.makedirs(os.path.dirname(decoy), exist_ok=True)
    host.write(ONE_BLACK, decoy)
    host.write(ONE_BLACK)
    problems = (box_problems(host.run_from_unix_path(OK), [notice(texts.fixed(1), icon="no")])
                + file_problems(host, ONE_BLACK_FIXED, backup=ONE_BLACK))
    if host.read(decoy) != ONE_BLACK or os.path.exists(decoy + "_QlBack"):
        problems.append("the file of the folder a cut path names was touched")
    return problems


# (name, case, folder name under C:\quenlit-tests, or None for a drive root)
HOST_CASES = [
    ("no board.2ch: the not-found notice only", missing_file, "missing"),
    ("empty board.2ch: the read-failure notice with the path", empty_file, "empty"),
    ("no 'clBlack' anywhere: its notice, file untouched", no_black_at_all, "no-black"),
    ("'clBlack' only outside the colour field: the no-change notice", black_outside_the_colour_field,
     "outside"),
    ("normal run: 12 lines fixed, CR LF ends, NUL tail kept, backup replaced", normal_run, "normal"),
    ("read-only file, answered No: nothing changes", read_only_declined, "ro-no"),
    ("read-only file, answered Yes: attribute cleared, file fixed", read_only_cleared, "ro-yes"),
    ("read-only backup, answered No: 'update' question, nothing written", backup_read_only(NO),
     "bk-no"),
    ("read-only backup, answered Yes: file written without a fresh backup", backup_read_only(YES),
     "bk-yes"),
    ("a folder in the backup's place: 'create' question", backup_blocked_by_folder, "bk-folder"),
    ("config folder not writable, answered Yes: write-failure notice, file intact",
     config_folder_not_writable, "config-ro"),
    ("file locked against reading: last-resort report, status 1", locked_against_reading, "locked"),
    ("replace refused after the backup: write-failure notice, file intact", write_fails_after_backup,
     "write-fails"),
    ("file held open for writing for 1.5 s: waited out, normal run", lock_passes(WRITER_SHARING_READ),
     "lock-passes-w"),
    ("file held open without delete sharing for 1.5 s: waited out, normal run",
     lock_passes(READER_SHARING_READ), "lock-passes-r"),
    ("a second run while the first asks for 1.5 s: waits, then finds nothing to change",
     two_runs_at_once(1.5), "two-runs-wait"),
    ("a second run while the first asks on: write-failure notice, one fix, backup of the original",
     two_runs_at_once(None), "two-runs-held"),
    ("links at every name the tool makes: targets untouched, normal run",
     links_at_the_tools_own_names, "links"),
    ("hidden board.2ch: stays hidden, fixed; the backup is not hidden", hidden_board(0x2),
     "hidden"),
    ("hidden system board.2ch: stays so, fixed; the backup is neither", hidden_board(0x6),
     "hidden-system"),
    ("board.2ch of mode 0600: file and backup keep its security", private_board(0o600),
     "private-600"),
    ("board.2ch of mode 0640: file and backup keep its security", private_board(0o640),
     "private-640"),
    ("board.2ch of another user, 0644: write-failure notice, nothing changed", others_board,
     "others"),
    ("board.2ch with a second name: write-failure notice, both names unchanged",
     hard_linked_board, "hard-link"),
    ("board.2ch a link to board.2ch_QlTemp: read-failure notice, the content kept",
     board_links_to_own_temporary, "link-to-temp"),
    ("board.2ch a link to another folder's: write-failure notice, link and target unchanged",
     board_links_elsewhere, "link-elsewhere"),
    ("the Linux program's live backup temporary: kept, the backup question, nothing changed",
     linux_runs_backup_live, "live-mark"),
    ("another program saves board.2ch while the question waits: its save kept, write-failure "
     "notice", changed_while_asking, "changed"),
    ("folder 'ﾃｽﾄ', colour 'ｱclBlack': fixed, the parent's board.2ch untouched",
     half_width_katakana, "kana\\ﾃｽﾄ"),
    ("no room for the backup, answered No: the earlier backup whole", no_room_for_the_backup(NO),
     "full-no"),
    ("no room for the backup, answered Yes: write-failure notice, both files whole",
     no_room_for_the_backup(YES), "full-yes"),
    ("folder 'A¥B': not-found notice, 'A\\B' (its best fit) untouched",
     not_exactly_our_folder("ツール\\A\\B"), "ツール\\A¥B"),
    ("folder 'Café': not-found notice, 'Cafe' (its best fit) untouched",
     not_exactly_our_folder("Cafe"), "Café"),
    ("started from a drive root: doubled backslash, normal run works", started_from_drive_root, None),
    ("folder name ending in byte 0x5C (表)", folder_name_ending_in_5c, "表"),
    ("folder path over 260 bytes: normal run, no other folder's file touched",
     folder_path_over_260_bytes, LONG_FOLDER),
]

#!/usr/bin/env python3
"""Board files for the benchmark, written to stdout.

  make_board.py lines N        N ten-field board lines, about a third black
  make_board.py mb N           as many such lines as make N MB
  make_board.py short N        N short board lines (about 45 bytes), every
                               third black, every 50th a category line
  make_board.py tiny N         one board line to rewrite, then N MB of empty
                               and one-byte lines
  make_board.py lead-bytes N   one line of N MB of lead bytes with "clBlack"
                               among them, all in trail position but the last
  make_board.py tokens N       one line of N "clBlack" tokens, each after a
                               lead byte, and one usable token at its end
"""
import random
import sys

COLOURS = [b"clBlack", b"clBlack", b"clBlack", b"clRed", b"clBlue", b"clWindowText",
           b"clGreen", b"clNavy", b"clMaroon"]
NAMES = [n.encode("cp932") for n in ["ニュース速報", "プログラム", "ソフトウェア", "表計算", "雑談",
                                     "料理", "音楽", "野球", "将棋", "天気"]]


def board_lines(count):
    rng = random.Random(20261207)
    for i in range(count):
        colour = rng.choice(COLOURS)
        name = rng.choice(NAMES) + str(i).encode()
        yield b"%d\t%s\thost%d.example.jp\t/board%d/\t0\t%d\t0\t%s\tclWindow\t%d\r\n" % (
            i % 40, name, i % 97, i, rng.randrange(1000), colour, rng.randrange(3))


CATEGORIES = [n.encode("cp932") for n in ["【ニュース】", "【趣味】", "【生活】", "【PC等】"]]


def short_lines(count):
    rng = random.Random(20261208)
    for i in range(count):
        if i % 50 == 0:
            yield rng.choice(CATEGORIES) + b"\r\n"
            continue
        colour = b"clBlack" if i % 3 == 0 else rng.choice(COLOURS[3:])
        yield b"%d\t%s\th%d\t/b%d/\t0\t0\t0\t%s\tclWindow\t0\r\n" % (
            i % 40, rng.choice(NAMES)[:4], i % 97, i, colour)


def tiny_lines(amount):
    out = bytearray(b"1\tn\th\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\r\n")
    rng = random.Random(20261209)
    pieces = [b"\r\n", b"a\r\n", b"1\r\n", b"\r\n", b"\x82\r\n"]
    block = b"".join(rng.choice(pieces) for _ in range(1 << 16))
    while len(out) < amount << 20:
        out += block
    return bytes(out[:amount << 20])


def main():
    kind, amount = sys.argv[1], int(sys.argv[2])
    out = sys.stdout.buffer
    if kind == "lines":
        for line in board_lines(amount):
            out.write(line)
    elif kind == "mb":
        target, written = amount << 20, 0
        for line in board_lines(1 << 62):
            if written >= target:
                break
            out.write(line)
            written += len(line)
    elif kind == "short":
        for line in short_lines(amount):
            out.write(line)
    elif kind == "tiny":
        data = tiny_lines(amount)
        # End on a whole line.
        out.write(data[:data.rindex(b"\r\n") + 2])
    elif kind == "lead-bytes":
        # Runs of 999 lead bytes put every token after them in trail position.
        chunk = bytes(0x81 + (i % 31) for i in range(999)) + b"clBlack"
        out.write(b"\t" * 7 + chunk * ((amount << 20) // len(chunk)) + b"xclBlack\t\t\r\n")
    elif kind == "tokens":
        out.write(b"\t" * 7 + b"\x82clBlack" * amount + b"xclBlack\t\t\r\n")
    else:
        sys.exit(__doc__)


main()

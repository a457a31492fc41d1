#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Writes the reference that test_platform_cp932 compares the code page 932 conversion with,
# from the cp932 codec of Debian's Python, at test time (never from the table the product
# carries). Usage: cp932_reference.py OUTPUT. One case a line, numbers in hexadecimal:
#   d BYTES TEXT   BYTES decoded as a whole give the characters TEXT (code points, by spaces)
#   e CHAR BYTES   the one character CHAR (a code point) encodes to BYTES
# Decoding covers every byte, every two bytes, and seeded random runs that mix lead bytes,
# trail bytes and the rest; encoding covers every code point of the BMP (surrogates included,
# each on its own) and a few beyond it. Any producer that writes this format can serve as the
# reference.
import random
import sys

LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))


def decoding(data):
    text = data.decode("cp932", errors="replace")
    return f"d {data.hex()} {' '.join(f'{ord(c):x}' for c in text)}"


def encoding(code):
    return f"e {code:x} {chr(code).encode('cp932', errors='replace').hex()}"


def main():
    lines = [decoding(bytes([b])) for b in range(256)]
    lines += [decoding(bytes([a, b])) for a in range(256) for b in range(256)]
    # Runs where an undefined pair's second byte starts a character of its own, and so on.
    pick = random.Random(932)
    alphabet = LEADS + [0x40, 0x7E, 0x7F, 0x80, 0xA0, 0xA1, 0xDF, 0xFC, 0xFD, 0xFF, 0x0D, 0x1A]
    for _ in range(4000):
        lines.append(decoding(bytes(pick.choice(alphabet) for _ in range(pick.randint(3, 10)))))
    lines += [encoding(code) for code in range(0x10000)]
    lines += [encoding(code) for code in (0x10000, 0x1F600, 0x20B9F, 0x10FFFF)]
    with open(sys.argv[1], "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()

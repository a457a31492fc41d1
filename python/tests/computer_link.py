# SPDX-License-Identifier: MIT
"""The computer link's frames as a host builds and expects them (header "000000"): word read
and word write requests, and the replies to them. A sum check is two upper-case hexadecimal
digits, the low 8 bits of the sum of the bytes from the header to the last data character
(to ETX in a word read's reply)."""

from __future__ import annotations

ENQ, STX, ETX, ACK, NAK = b"\x05", b"\x02", b"\x03", b"\x06", b"\x15"
HEADER = b"000000"


def sum_check(body: bytes) -> bytes:
    return b"%02X" % (sum(body) & 0xFF)


def word_read(start: int, count: int) -> bytes:
    body = HEADER + b"WR00" + b"%04d%02X" % (start, count)
    return ENQ + body + sum_check(body)


def word_write(start: int, words: list[bytes]) -> bytes:
    body = HEADER + b"WW00" + b"%04d%02X" % (start, len(words)) + b"".join(words)
    return ENQ + body + sum_check(body)


def words_reply(words: list[bytes]) -> bytes:
    body = HEADER + b"".join(words) + ETX
    return STX + body + sum_check(body)


def accepted() -> bytes:
    return ACK + HEADER


def refused(code: bytes) -> bytes:
    return NAK + HEADER + code

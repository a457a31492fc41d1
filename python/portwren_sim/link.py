# SPDX-License-Identifier: MIT
"""The computer link as a host program speaks it (modes rack and vehicle): the requests it
sends and the replies it reads, so that a test builds and checks them without rewriting the
protocol.

A request is ENQ, a header of six characters (copied into the reply), ``WR`` or ``WW``, two
characters not examined, the head register as four decimal digits, the word count as two
hexadecimal digits, for ``WW`` one four-character field per word, and the sum check; under the
CR LF or CR frame end it ends with it, and so does every reply. Characters are code page 932
characters: a double-byte character (a lead byte 81-9F or E0-FC and the byte after it) is one
character of the header and adds only its trail byte to the sum.

Words on the line are in the registers' word format: decimal, at least four digits, a minus
sign in front of a negative word (``-0005``), five digits from 10000 on (``20000``). A word
read's reply carries them as stored, so its fields are four to six characters wide;
:func:`parse_reply` splits them by that format.
"""

from __future__ import annotations

import re
from collections.abc import Iterable, Sequence
from dataclasses import dataclass, field
from typing import Union

ENQ, STX, ETX, ACK, NAK = b"\x05", b"\x02", b"\x03", b"\x06", b"\x15"
#: The header a host sends unless it chooses another.
HEADER = b"000000"
_TERMINATORS = {"time": b"", "crlf": b"\r\n", "cr": b"\r"}
_HEADER_CHARACTERS = 6

#: A word as a test gives it: a number, or its text as it goes on the line.
Word = Union[int, str, bytes]


def _is_lead_byte(byte: int) -> bool:
    return 0x81 <= byte <= 0x9F or 0xE0 <= byte <= 0xFC


def characters(data: bytes) -> list[bytes]:
    """The code page 932 characters of ``data``: a lead byte and the byte after it are one; a
    lead byte at the end stands alone."""
    out: list[bytes] = []
    at = 0
    while at < len(data):
        width = 2 if _is_lead_byte(data[at]) and at + 1 < len(data) else 1
        out.append(data[at : at + width])
        at += width
    return out


def sum_check(body: bytes) -> bytes:
    """Two upper-case hexadecimal digits: the low eight bits of the sum of the character codes
    of ``body`` (a double-byte character adds its trail byte only)."""
    return b"%02X" % (sum(char[-1] for char in characters(body)) & 0xFF)


def terminator(end: str) -> bytes:
    """The bytes that end a frame under the frame end ``end`` (``time``, ``crlf``, ``cr``, in
    any case)."""
    try:
        return _TERMINATORS[end.lower()]
    except KeyError:
        raise ValueError(f"unknown frame end {end!r} (time, crlf or cr)") from None


def word_text(value: int) -> str:
    """A word in the word format: ``5`` is ``"0005"``, ``-5`` is ``"-0005"``, ``20000`` is
    ``"20000"``."""
    if not -32768 <= value <= 32767:
        raise ValueError(f"{value} is outside -32768 to 32767")
    return ("-" if value < 0 else "") + f"{abs(value):04d}"


def _request(command: bytes, start: int, count: int, data: bytes, header: bytes, end: str) -> bytes:
    if not 0 <= start <= 9999 or not 0 <= count <= 0xFF:
        raise ValueError(f"head register {start} or count {count} does not fit its field")
    body = header + command + b"00" + b"%04d%02X" % (start, count) + data
    return ENQ + body + sum_check(body) + terminator(end)


def word_read(start: int, count: int, *, header: bytes = HEADER, end: str = "time") -> bytes:
    """The request that reads ``count`` words from D``start``."""
    return _request(b"WR", start, count, b"", header, end)


def write_field(word: Word) -> bytes:
    """A word write's data field: four characters. A number from -999 to 9999 is written as
    the field holds it (``5`` is ``0005``, ``-5`` is ``-005``); text goes as it is, so that a
    test may send a field the device must refuse."""
    if isinstance(word, bytes):
        return word
    if isinstance(word, str):
        return word.encode("cp932")
    if not -999 <= word <= 9999:
        raise ValueError(f"{word} does not fit a word write's four characters (-999 to 9999)")
    return (b"-%03d" % -word) if word < 0 else b"%04d" % word


def word_write(
    start: int, words: Sequence[Word], *, header: bytes = HEADER, end: str = "time"
) -> bytes:
    """The request that writes ``words`` from D``start`` on, one four-character field each
    (:func:`write_field`)."""
    data = b"".join(write_field(word) for word in words)
    return _request(b"WW", start, len(words), data, header, end)


def _word_bytes(word: Word) -> bytes:
    if isinstance(word, int):
        return word_text(word).encode("ascii")
    return word if isinstance(word, bytes) else word.encode("ascii")


def data_reply(words: Iterable[Word], *, header: bytes = HEADER, end: str = "time") -> bytes:
    """A word read's reply as the device sends it: STX, the header, the words in the word
    format (numbers are formatted, texts go as they are), ETX, the sum from the header to ETX."""
    body = header + b"".join(_word_bytes(word) for word in words) + ETX
    return STX + body + sum_check(body) + terminator(end)


def ack_reply(*, header: bytes = HEADER, end: str = "time") -> bytes:
    """A word write's acceptance: ACK and the header."""
    return ACK + header + terminator(end)


def nak_reply(code: bytes, *, header: bytes = HEADER, end: str = "time") -> bytes:
    """A refusal: NAK, the header and the two-character code (``b"02"`` a wrong sum, ``b"05"``
    beyond D127, ``b"06"`` an unknown command, ``b"07"`` a field that cannot be read)."""
    return NAK + header + code + terminator(end)


@dataclass(frozen=True)
class Reply:
    """A reply as :func:`parse_reply` reads it.

    ``kind`` is ``"data"``, ``"ack"`` or ``"nak"``; ``header`` its header's bytes; for data,
    ``words`` the words as sent (``["0007", "-0005", "20000"]``), ``sum`` the two sum characters
    received and ``sum_ok`` whether they are right; for a NAK, ``code``; ``end`` the terminator
    it carried.
    """

    kind: str
    header: bytes
    words: list[str] = field(default_factory=list)
    code: bytes | None = None
    sum: bytes | None = None
    sum_ok: bool | None = None
    end: bytes = b""

    @property
    def values(self) -> list[int]:
        """The words as numbers."""
        return [int(word) for word in self.words]


# A word in the word format: a five-digit word never starts with 0 (it is 10000 or more).
_WORD = re.compile(rb"-?(?:[1-9][0-9]{4}|[0-9]{4})")


def _word_splits(text: bytes, limit: int) -> list[list[str]]:
    """Every way (up to `limit`) to read `text` as words in the word format, each within
    -32768..32767."""
    found: list[list[str]] = []

    def walk(at: int, words: list[str]) -> None:
        if len(found) >= limit:
            return
        if at == len(text):
            found.append(list(words))
            return
        for width in (4, 5, 6):
            piece = text[at : at + width]
            if len(piece) == width and _WORD.fullmatch(piece) and -32768 <= int(piece) <= 32767:
                walk(at + width, words + [piece.decode("ascii")])

    walk(0, [])
    return found


def split_words(text: bytes, count: int | None = None) -> list[str]:
    """The words of a word read's reply, between its header and ETX.

    A word is four digits, a minus sign and four or five digits, or five digits from 10000 on,
    so most texts read one way only. Where two readings remain (``123412345`` is ``1234 12345``
    or ``12341 2345``), ``count`` (the words asked for) decides, and a text that is still
    ambiguous raises :class:`ValueError` naming the readings, as does one that is no words."""
    splits = [s for s in _word_splits(text, 64) if count is None or len(s) == count]
    if len(splits) == 1:
        return splits[0]
    if not splits:
        wanted = "" if count is None else f" {count}"
        raise ValueError(f"{text!r} cannot be read as{wanted} words in the word format")
    readings = " or ".join(" ".join(s) for s in splits[:3])
    hint = "" if count is not None else "; give count="
    raise ValueError(f"{text!r} reads more than one way: {readings}{hint}")


def parse_reply(reply: bytes, count: int | None = None) -> Reply:
    """Reads a reply of the device: its kind, header, and words (with their sum) or NAK code;
    ``count``, the words a word read asked for, settles a reply whose words could be split two
    ways (:func:`split_words`). Raises :class:`ValueError` for bytes that are no reply."""
    end = b"\r\n" if reply.endswith(b"\r\n") else b"\r" if reply.endswith(b"\r") else b""
    body = reply[: len(reply) - len(end)]
    chars = characters(body[1:])
    header = b"".join(chars[:_HEADER_CHARACTERS])
    rest = body[1 + len(header) :]
    if len(chars) < _HEADER_CHARACTERS:
        raise ValueError(f"{reply!r} is too short for a reply")
    if body[:1] == ACK and not rest:
        return Reply("ack", header, end=end)
    if body[:1] == NAK and len(rest) == 2:
        return Reply("nak", header, code=rest, end=end)
    if body[:1] == STX and len(rest) >= 3 and rest[-3:-2] == ETX:
        received = rest[-2:]
        words = split_words(rest[:-3], count)
        right = sum_check(header + rest[:-2])
        return Reply("data", header, words, sum=received, sum_ok=received == right, end=end)
    raise ValueError(f"{reply!r} is no data, ACK or NAK reply")

# SPDX-License-Identifier: MIT
"""portwren_sim.link against the built program's replies: words in the word format (negative,
five digits, the ends of the range) read back from a word read, every reply kind parsed with
its header and terminator, double-byte headers and their sums; and the texts that read more
than one way, settled by the count asked for or refused."""

from __future__ import annotations

from collections.abc import Callable

import pytest
import serial
from conftest import HOST_TIMEOUT, read_exactly

from portwren_sim import Simulator
from portwren_sim.link import (
    Reply,
    ack_reply,
    data_reply,
    nak_reply,
    parse_reply,
    split_words,
    sum_check,
    word_read,
    word_text,
    word_write,
)


@pytest.mark.parametrize("end", ["time", "crlf", "cr"])
def test_replies_of_the_device_parse_with_their_words(
    portwren: Callable[..., Simulator], end: str
) -> None:
    sim = portwren("rack", quiet_time=0, frame_end=end)
    values = [-5, 20000, 7, -32768, 32767, 10000, -10000, 0]
    sim.write_registers(40, values)
    with serial.Serial(sim.port, 9600, timeout=HOST_TIMEOUT) as host:
        host.write(word_read(40, len(values), end=end))
        expected = data_reply(values, end=end)
        got = read_exactly(host, expected)
        assert got == expected
        reply = parse_reply(got, count=len(values))
        assert reply.words == ["-0005", "20000", "0007", "-32768", "32767", "10000", "-10000", "0000"]
        assert (reply.kind, reply.values, reply.sum_ok) == ("data", values, True)

        host.write(word_write(41, [12, -9], end=end))
        assert parse_reply(read_exactly(host, ack_reply(end=end))) == Reply(
            "ack", b"000000", end=ack_reply(end=end)[7:]
        )
        assert sim.read_registers(41, 2) == ["0012", "-0009"]

        host.write(word_read(120, 9, header=b"ABCDEF", end=end))  # beyond D127
        nak = parse_reply(read_exactly(host, nak_reply(b"05", header=b"ABCDEF", end=end)))
        assert (nak.kind, nak.header, nak.code) == ("nak", b"ABCDEF", b"05")


def test_a_double_byte_header_counts_its_trail_bytes(sim: Simulator, host: serial.Serial) -> None:
    header = "あいうえおか".encode("cp932")  # six characters, twelve bytes
    request = word_read(32, 1, header=header)
    assert request[-2:] == sum_check(header + b"WR00003201")
    host.write(request)
    reply = parse_reply(read_exactly(host, data_reply(["0002"], header=header)))
    assert (reply.header, reply.words, reply.sum_ok) == (header, ["0002"], True)


@pytest.mark.parametrize(
    "text, count, words",
    [
        (b"0007-000520000", None, ["0007", "-0005", "20000"]),
        (b"000120000", None, ["0001", "20000"]),  # 00012 is no word: five digits start 1-3
        (b"-3276832767", None, ["-32768", "32767"]),
        (b"10000100001000010000", 4, ["10000"] * 4),
        (b"10000100001000010000", 5, ["1000", "0100", "0010", "0001", "0000"]),
        (b"", None, []),
    ],
)
def test_words_split_by_the_word_format(text: bytes, count: int | None, words: list[str]) -> None:
    assert split_words(text, count) == words


@pytest.mark.parametrize(
    "text, count, readings",
    [
        (b"10000100001000010000", None, "1000 0100 0010 0001 0000 or 10000 10000 10000 10000"),
        (b"123412345", 2, "1234 12345 or 12341 2345"),  # the count cannot settle it
    ],
)
def test_texts_that_read_two_ways_are_refused(
    text: bytes, count: int | None, readings: str
) -> None:
    with pytest.raises(ValueError, match="more than one way: " + readings):
        split_words(text, count)
    with pytest.raises(ValueError, match="more than one way"):
        parse_reply(data_reply([text]), count)


@pytest.mark.parametrize(
    "text, count",
    [(b"00012", None), (b"32768", None), (b"-32769", None), (b"0007", 2), (b"12a4", None)],
)
def test_texts_that_are_no_words_are_refused(text: bytes, count: int | None) -> None:
    with pytest.raises(ValueError, match="cannot be read as"):
        split_words(text, count)


@pytest.mark.parametrize(
    "value, text", [(5, "0005"), (-5, "-0005"), (20000, "20000"), (-32768, "-32768"), (0, "0000")]
)
def test_word_text_is_the_word_format(value: int, text: str) -> None:
    assert word_text(value) == text


@pytest.mark.parametrize("word, field", [(5, b"0005"), (-5, b"-005"), (9999, b"9999"), ("+5", b"+5")])
def test_write_fields_are_four_characters(word: int | str, field: bytes) -> None:
    assert word_write(0, [word])[17:-2] == field


@pytest.mark.parametrize("word", [10000, -1000])
def test_a_number_too_wide_for_a_field_is_refused(word: int) -> None:
    with pytest.raises(ValueError, match="four characters"):
        word_write(0, [word])


@pytest.mark.parametrize(
    "reply", [b"", b"\x06000", b"\x1500000005x", b"\x02000000000\x03XX", b"hello!!!"]
)
def test_bytes_that_are_no_reply_are_refused(reply: bytes) -> None:
    with pytest.raises(ValueError):
        parse_reply(reply)


def test_a_wrong_sum_is_reported() -> None:
    good = data_reply([1])
    reply = parse_reply(good[:-1] + (b"0" if good[-1:] != b"0" else b"1"))
    assert (reply.words, reply.sum_ok) == (["0001"], False)

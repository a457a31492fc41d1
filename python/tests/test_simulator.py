# SPDX-License-Identifier: MIT
"""portwren_sim against the built program: a run that gets ready or says why it cannot (or is
stopped when it never gets ready), and ends cleanly on every path; registers stored and read back, all or nothing; a host on the
virtual line answered with what the test stored, what the handshake it steps wrote, and what
every fault kind makes of the replies, byte for byte; events in the log's order; initial
registers from a file; a run killed under the client; a transmission repeated to the host, and
the modem lines and BREAK refused on a virtual line."""

from __future__ import annotations

import json
import os
import select
import shutil
import signal
import stat
import subprocess
import sys
from pathlib import Path
from typing import Any

import pytest
import serial
from conftest import HOST_TIMEOUT, read_exactly

from portwren_sim import Simulator, SimulatorError
from portwren_sim.link import ETX, ack_reply, nak_reply, word_read, word_write
from portwren_sim.link import data_reply as words_reply


def accepted() -> bytes:
    return ack_reply()


def refused(code: bytes) -> bytes:
    return nak_reply(code)

PRESET_D32 = words_reply([b"0002", b"0001"])  # the rack preset's D32 and D33


def test_a_run_gets_ready_and_ends_when_the_test_body_fails(tmp_path: Path) -> None:
    log = tmp_path / "portwren.log"
    with pytest.raises(RuntimeError, match="the test failed"):
        with Simulator(quiet_time=0, log_path=log) as sim:
            assert sim.messages == ["portwren: ready"]
            assert os.path.islink(sim.port)
            status = sim.status()
            assert (status["open"], status["mode"], status["quiet_time"]) == (True, "rack", 0)
            raise RuntimeError("the test failed")
    assert sim.returncode == 0  # SIGTERM ends the run as END does
    assert sim.folder is not None and not sim.folder.exists()
    assert "----- OPEN" in log.read_text(encoding="utf-8")
    with pytest.raises(SimulatorError, match="the run ended with status 0"):
        sim.status()


@pytest.mark.parametrize("keep", [False, True], ids=["removed", "kept"])
def test_the_runs_folder_goes_with_its_log_unless_kept(keep: bool) -> None:
    with Simulator(quiet_time=0, registers={32: 7}, keep_folder=keep) as sim:
        assert sim.read_registers(32) == ["0007"]  # handed over through a pipe, not a file
        assert sim.folder is not None
        assert sorted(p.name for p in sim.folder.iterdir()) == [
            "com1", "com1.lock", "control", "control.lock", "portwren.log"
        ]
    try:
        assert sim.folder.exists() == keep
        if keep:
            assert [entry.name for entry in sim.folder.iterdir()] == ["portwren.log"]
    finally:
        shutil.rmtree(sim.folder, ignore_errors=True)


@pytest.mark.parametrize(
    "options, message",
    [
        (
            {"extra_args": ["--bogus"]},
            "status 2) before it was ready:\nportwren: unknown option '--bogus'\n",
        ),
        ({"quiet_time": 40000}, "'40000' is not a whole number of ms from 0 to 32767"),
        ({"registers": {200: 1}}, "line 1: 0200 is beyond D0127"),
        ({"program": "/nonexistent/portwren"}, "cannot start /nonexistent/portwren"),
    ],
    ids=["unknown option", "bad quiet time", "bad registers", "no program"],
)
def test_a_run_that_cannot_start_says_why(
    tmp_path: Path, options: dict[str, Any], message: str
) -> None:
    sim = Simulator(log_path=tmp_path / "portwren.log", **options)
    with pytest.raises(SimulatorError) as failure:
        sim.start()
    assert message in str(failure.value)
    assert sim.process is None or sim.returncode is not None
    assert sim.folder is not None and not sim.folder.exists()


def test_a_run_never_ready_is_stopped_after_the_bound(tmp_path: Path) -> None:
    silent = tmp_path / "silent"
    silent.write_text("#!/bin/sh\nexec sleep 60\n", encoding="utf-8")
    silent.chmod(0o755)
    sim = Simulator(program=silent, ready_timeout=0.2, log_path=tmp_path / "portwren.log")
    with pytest.raises(SimulatorError, match="not ready within 0.2 s"):
        sim.start()
    assert sim.returncode == -15  # SIGTERM


def test_registers_are_stored_all_or_nothing_and_the_host_reads_them(
    sim: Simulator, host: serial.Serial
) -> None:
    sim.write_registers(32, [7, "-5", " 2.5", "+005"])
    assert sim.read_registers(32, 4) == ["0007", "-0005", "0002", "0005"]
    with pytest.raises(SimulatorError, match=r"^D0041: not a number \(D0041: 数値に変換できません\)$") as e:
        sim.write_registers(40, ["9", "x"])
    refusal = (e.value.error_class, e.value.member, e.value.text)
    assert refusal == ("BadArgument", "words", "D0041: 数値に変換できません")
    assert sim.read_registers(40, 2) == ["0000", "0000"]

    host.write(word_read(32, 2))
    reply = words_reply([b"0007", b"-0005"])
    assert read_exactly(host, reply) == reply


def test_events_come_in_the_logs_order_and_the_jsonl_log_has_them(tmp_path: Path) -> None:
    log = tmp_path / "portwren.jsonl"
    request = word_write(40, [b"0009"])
    with Simulator(quiet_time=0, log_format="jsonl", log_path=log) as sim:
        with serial.Serial(sim.port, 9600, timeout=HOST_TIMEOUT) as host:
            host.write(request)
            assert read_exactly(host, accepted()) == accepted()
            # Each wait_for looks after the event the one before it returned.
            received = sim.wait_for("received")
            assert (bytes.fromhex(received["hex"]), received["frame_end"]) == (request, "time")
            assert bytes.fromhex(sim.wait_for("sent")["hex"]) == accepted()
            sim.wait_for("registers", {"from": 40, "words": ["0009"], "by": "line"})
            with pytest.raises(SimulatorError, match="no 'received' event"):
                sim.wait_for("received", timeout=0.05)
            assert sim.read_registers(40) == ["0009"]

            sim.send(b"\x10\x00\xff")
            sim.transmit("stx_etx", "HELLO")
            assert read_exactly(host, b"\x10\x00\xff\x02HELLO\x03") == b"\x10\x00\xff\x02HELLO\x03"
            sent = [event["hex"] for event in sim.events if event["event"] == "sent"]
            assert sent == ["06303030303030", "1000ff", "0248454c4c4f03"]
        events = sim.events
    # The same events, with the same times, after the log's first ones (the port's opening,
    # before the subscription).
    lines = log.read_text(encoding="utf-8").splitlines()
    assert [json.loads(line) for line in lines[-len(events) :]] == events


def test_handshake_steps_reach_the_host(sim: Simulator, host: serial.Serial) -> None:
    assert set(sim.handshake("manual")) == {"status", "step", "wait"}
    sim.write_registers(0, [1, "0101"])  # a storage instruction
    sim.write_registers(10, [1])  # and its flag
    assert sim.read_registers(33) == ["0001"]  # nothing moves without a step
    for _ in range(30):
        sim.handshake("step")
        if sim.read_registers(33) == ["0002"]:
            break
    flag_seen = "搬送設定完了フラグＯＮ"
    sim.wait_for("handshake", lambda event: event["status"].startswith(flag_seen))
    sim.wait_for("registers", {"from": 33, "words": ["0002"], "by": "handshake"})

    host.write(word_read(33, 1))
    reply = words_reply([b"0002"])
    assert read_exactly(host, reply) == reply


READ_D32 = word_read(32, 2)
WRITE_D40 = word_write(40, [b"0009"])
READ_D40 = word_read(40, 1)
D32_REPLY = words_reply([b"0007", b"0008"])
D40_REPLY = words_reply([b"0009"])


def bad_sum(reply: bytes) -> bytes:
    """The reply with its sum's first digit changed ("0" to "1", any other to "0")."""
    at = reply.rindex(ETX) + 1
    return reply[:at] + (b"1" if reply[at : at + 1] == b"0" else b"0") + reply[at + 1 :]


# The faults asked for, then the pieces the host gets for a word read of D32, D33 (0007,
# 0008), a word write D40 := 0009 (D40 was 0003) and a word read of D40, one 'sent' event a
# piece.
FAULTS = {
    "drop": ([{"kind": "drop"}], [[], [accepted()], [D40_REPLY]]),
    "drop twice": ([{"kind": "drop", "count": 2}], [[], [], [D40_REPLY]]),  # D40 written
    "delay": ([{"kind": "delay", "ms": 200}], [[D32_REPLY], [accepted()], [D40_REPLY]]),
    "nak twice": (  # the write is not carried out
        [{"kind": "nak", "code": "05", "count": 2}],
        [[refused(b"05")], [refused(b"05")], [words_reply([b"0003"])]],
    ),
    "bad_sum twice": (  # an ACK carries no sum: the fault waits for the next word read
        [{"kind": "bad_sum", "count": 2}],
        [[bad_sum(D32_REPLY)], [accepted()], [bad_sum(D40_REPLY)]],
    ),
    "split": (
        [{"kind": "split", "pieces": 3, "gap_ms": 20}],
        [[D32_REPLY[:6], D32_REPLY[6:12], D32_REPLY[12:]], [accepted()], [D40_REPLY]],
    ),
    "garble": (
        [{"kind": "garble"}],
        [[D32_REPLY[:-1] + bytes([D32_REPLY[-1] ^ 0xFF])], [accepted()], [D40_REPLY]],
    ),
    "clear": (
        [{"kind": "drop", "count": 3}, {"kind": "clear"}],
        [[D32_REPLY], [accepted()], [D40_REPLY]],
    ),
}


@pytest.mark.parametrize("faults, replies", FAULTS.values(), ids=FAULTS.keys())
def test_faults_shape_the_replies_the_host_reads(
    sim: Simulator,
    host: serial.Serial,
    faults: list[dict[str, Any]],
    replies: list[list[bytes]],
) -> None:
    sim.write_registers(32, [7, 8])
    sim.write_registers(40, [3])
    for fault in faults:
        sim.fault(**fault)
    # One request at a time: the next goes once the simulator has the one before as a frame.
    for request in (READ_D32, WRITE_D40, READ_D40):
        host.write(request)
        assert bytes.fromhex(sim.wait_for("received")["hex"]) == request
    pieces = [piece for reply in replies for piece in reply]
    assert read_exactly(host, b"".join(pieces)) == b"".join(pieces)
    assert sim.status()["faults_pending"] == 0
    sent = [bytes.fromhex(event["hex"]) for event in sim.events if event["event"] == "sent"]
    assert sent == pieces


def test_a_member_an_operation_does_not_take_is_refused_and_changes_nothing(
    sim: Simulator,
) -> None:
    with pytest.raises(SimulatorError, match="unknown member 'mdoe'"):
        sim.set(mdoe="vehicle")
    with pytest.raises(SimulatorError, match="unknown member 'gap'"):
        sim.fault("split", pieces=2, gap=20)
    with pytest.raises(SimulatorError, match="'settings' would not open the line"):
        sim.set(settings="0,E,8,1")
    status = sim.status()
    assert (status["mode"], status["faults_pending"]) == ("rack", 0)
    assert status["settings"] == status["line_settings"] == "9600,E,8,1"
    assert sim.fault("drop", count=2) == 2
    sim.clear_faults()
    assert sim.status()["faults_pending"] == 0


@pytest.mark.parametrize("from_file", [False, True], ids=["mapping", "file"])
def test_initial_registers_are_stored_at_every_open(tmp_path: Path, from_file: bool) -> None:
    registers: dict[int, str | int] | Path = {32: 42, 127: "-1"}
    if from_file:
        registers = tmp_path / "registers"
        registers.write_text("D0032 42\nD0127 -1\n", encoding="utf-8")
    with Simulator(quiet_time=0, registers=registers, log_path=tmp_path / "log") as sim:
        with serial.Serial(sim.port, 9600, timeout=HOST_TIMEOUT) as host:
            host.write(word_read(32, 2))
            reply = words_reply([b"0042", b"0001"])
            assert read_exactly(host, reply) == reply
        assert sim.read_registers(127) == ["-0001"]
        sim.write_registers(32, [5])
        sim.close()
        assert not os.path.lexists(sim.port)
        sim.open()
        assert sim.read_registers(32) == ["0042"]


def test_a_killed_run_leaves_its_link_and_the_next_simulator_starts_afresh(
    tmp_path: Path,
) -> None:
    with Simulator(quiet_time=0, log_path=tmp_path / "first.log", request_timeout=60) as first:
        assert first.process is not None
        first.process.kill()
        first.process.wait()
        assert os.path.islink(first.port) and os.path.exists(first.port + ".lock")
        assert stat.S_ISSOCK(os.lstat(first.control_path).st_mode)
        with pytest.raises(SimulatorError) as failure:
            first.status()
        # Said as soon as the connection ended, not after the request's 60 s.
        assert "the run ended with status -9" in str(failure.value)

        with Simulator(quiet_time=0, log_path=tmp_path / "second.log") as second:
            assert second.folder != first.folder
            with serial.Serial(second.port, 9600, timeout=HOST_TIMEOUT) as host:
                host.write(READ_D32)
                assert read_exactly(host, PRESET_D32) == PRESET_D32
    assert first.returncode == -9
    assert first.folder is not None and not first.folder.exists()


def test_a_repeat_reaches_the_host_and_a_virtual_line_refuses_the_modem_lines(
    sim: Simulator, host: serial.Serial
) -> None:
    state = sim.repeat(10, data=b"\x06", count=3)
    assert (state["what"], state["count"], state["sent"]) == ("06", 3, 1)
    assert read_exactly(host, b"\x06\x06\x06") == b"\x06\x06\x06"
    assert sim.status()["repeat"]["running"] is False
    with pytest.raises(SimulatorError, match="not carried on a virtual line"):
        sim.lines(dtr=False)
    with pytest.raises(SimulatorError, match="not carried on a virtual line"):
        sim.send_break(100)
    assert sim.status()["lines"]["dtr"] is True


# A process that starts a run, says where it is (one JSON line on standard output) and waits to
# be killed: the client alone, or a pytest test using the plugin.
PARENTS = {
    "client": """
import json, sys
from portwren_sim import Simulator
sim = Simulator(quiet_time=0).start()
print(json.dumps({"pid": sim.process.pid, "folder": str(sim.folder)}), flush=True)
sys.stdin.read()
""",
    "pytest": """
import json, sys
def test_killed(portwren_sim):
    info = {"pid": portwren_sim.process.pid, "folder": str(portwren_sim.folder)}
    print(json.dumps(info), file=sys.__stdout__, flush=True)
    sys.__stdin__.read()
""",
}


@pytest.mark.parametrize("parent", PARENTS.keys())
def test_a_killed_parent_leaves_no_run_and_no_folder(tmp_path: Path, parent: str) -> None:
    script = tmp_path / "test_parent.py"
    script.write_text(PARENTS[parent], encoding="utf-8")
    temporary = tmp_path / "tmp"
    temporary.mkdir()
    command = [sys.executable, str(script)]
    if parent == "pytest":
        command = [sys.executable, "-m", "pytest", "-q", "-s", "-p", "no:cacheprovider",
                   "-p", "portwren_sim.pytest_plugin", str(script)]  # fmt: skip
    process = subprocess.Popen(
        command,
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        cwd=tmp_path,
        env=dict(os.environ, TMPDIR=str(temporary)),
    )
    try:
        assert process.stdout is not None
        ready, _, _ = select.select([process.stdout], [], [], 30)
        assert ready, "the parent did not start its run"
        info = json.loads(process.stdout.readline())
        run = os.pidfd_open(info["pid"])
        assert os.path.isdir(info["folder"])
    finally:
        process.kill()  # SIGKILL: nothing of the client runs any more
        process.wait()
    try:
        ended = bool(select.select([run], [], [], 10)[0])
        if not ended:  # a fault: the run must not outlive the test too
            signal.pidfd_send_signal(run, signal.SIGKILL)
            shutil.rmtree(info["folder"], ignore_errors=True)
        assert ended, "the run goes on without its parent"
    finally:
        os.close(run)
    assert not os.path.exists(info["folder"])
    assert list(temporary.glob("portwren-*")) == []


def test_the_greeting_names_the_protocol(sim: Simulator) -> None:
    assert sim.greeting is not None
    assert (sim.greeting["version"], sim.greeting["protocol"]) == ("4.0", 1)
    assert {"sync", "fault", "write_registers"} <= set(sim.greeting["ops"])
    assert {"write", "fault", "handshake", "received", "sent"} <= set(sim.greeting["events"])


# A request the client sends, and the refusal's class and member (None: no member).
REFUSALS = {
    "unknown op": (lambda s: s.request("fly"), "UnknownOp", "op"),
    "unknown member": (lambda s: s.set(mdoe="rack"), "BadArgument", "mdoe"),
    "mode unknown": (lambda s: s.set(mode="rock"), "BadArgument", "mode"),
    "quiet time out of range": (lambda s: s.set(quiet_time=40000), "OutOfRange", "quiet_time"),
    "word out of range": (lambda s: s.write_registers(3, ["40000"]), "OutOfRange", "words"),
    "split of one piece": (lambda s: s.fault("split", pieces=1), "OutOfRange", "pieces"),
    "send while closed": (lambda s: (s.close(), s.send(b"x")), "NotOpen", None),
}


@pytest.mark.parametrize("refused, error_class, member", REFUSALS.values(), ids=REFUSALS.keys())
def test_refusals_carry_their_class_and_member(
    sim: Simulator, refused: Any, error_class: str, member: str | None
) -> None:
    with pytest.raises(SimulatorError) as failure:
        refused(sim)
    assert (failure.value.error_class, failure.value.member) == (error_class, member)
    assert failure.value.error and str(failure.value).startswith(failure.value.error)


def test_names_are_taken_in_any_case_and_as_captions(sim: Simulator) -> None:
    assert sim.set(mode="NONE", frame_end="CRLF")["mode"] == "none"
    assert sim.set(mode="ラックERR")["mode"] == "rackerr"
    assert sim.set(frame_end="Time")["frame_end"] == "time"


def test_wait_for_keeps_a_place_per_event_name(sim: Simulator, host: serial.Serial) -> None:
    request = word_write(40, [b"0009"])
    host.write(request)
    assert read_exactly(host, accepted()) == accepted()
    # The frame came before the registers changed: each name has its own place.
    assert sim.wait_for("registers", {"from": 40})["words"] == ["0009"]
    received = sim.wait_for("received")
    assert (received.data, received.name, received.frame_end) == (request, "received", "time")
    assert sim.wait_for("sent", {"data": accepted()}).hex == accepted().hex()
    sim.skip_events()
    with pytest.raises(SimulatorError, match="no 'received' event"):
        sim.wait_for("received", timeout=0.05)


def test_a_capture_holds_what_happened_in_its_block(sim: Simulator, host: serial.Serial) -> None:
    host.write(word_read(32, 1))
    assert read_exactly(host, words_reply([b"0002"])) == words_reply([b"0002"])
    write = word_write(40, [b"0009"])
    with sim.capture() as block:
        for _ in range(2):  # the same setpoint twice: two writes, one change
            host.write(write)
            assert read_exactly(host, accepted()) == accepted()
    assert block.data("received") == write + write
    assert block.data("sent") == accepted() + accepted()
    assert [(e["from"], e.words, e.by) for e in block.named("write")] == [(40, ["0009"], "line")] * 2
    assert len(block.named("registers")) == 1


def test_write_fault_and_handshake_events_come_in_the_logs_order(tmp_path: Path) -> None:
    log = tmp_path / "portwren.jsonl"
    with Simulator(quiet_time=0, log_format="jsonl", log_path=log) as sim:
        with serial.Serial(sim.port, 9600, timeout=HOST_TIMEOUT) as host:
            sim.fault("garble")
            host.write(word_write(40, [b"0003"]))
            read_exactly(host, accepted())
            sim.write_registers(0, [1, "0101"])
            sim.write_registers(10, [1])
            step = sim.handshake("step")["step"]
            events = sim.events
    names = [event.name for event in events if event.name != "note"]
    assert names == ["received", "write", "fault", "sent", "registers", "write", "registers",
                     "write", "registers", "handshake"]  # fmt: skip
    fault = next(event for event in events if event.name == "fault")
    assert (fault.kind, fault.left) == ("garble", 0)
    note_before = events[events.index(fault) - 1]
    assert note_before.text == "  <<FAULT garble (0 left)>>"
    handshake = next(event for event in events if event.name == "handshake")
    assert (handshake.status[:4], handshake.step) == ("搬送設定", step)
    lines = log.read_text(encoding="utf-8").splitlines()
    assert [json.loads(line) for line in lines[-len(events) :]] == events

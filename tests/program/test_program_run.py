# SPDX-License-Identifier: MIT
"""What only the built program shows, run as a process over virtual lines: termination signals
end a run, with windows or without, as END does; a standard output that falls behind holds up
neither the line nor the end, and has the traffic log one line an event; the register dump at
the end; a lost port and every failure end the run with its status and one line on standard
error, opening nothing, a run with windows and no display among them; stamps to the millisecond
in the log of a run without windows. (Replies, faults, registers and the handshake over the control socket:
the session's and control's tests, and the Python client's.)"""

from __future__ import annotations

import json
import os
import re
import select
import signal
import subprocess
import threading
import time
import tty
from collections.abc import Callable, Iterator
from pathlib import Path

import pytest

PROGRAM = os.environ["PORTWREN_PROGRAM"]
READ_D32 = b"\x05000000WR0000320250\r\n"
REPLIED_D32 = b"\x0200000000020001\x03A6\r\n"


def wait_until(done: Callable[[], bool], seconds: float = 10.0) -> bool:
    deadline = time.monotonic() + seconds
    while not done():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.01)
    return True


class Run:
    """One run of the program in a folder of its own: DIR in its arguments is the folder, where
    Com1:'s link is "com1" and "fifo" a FIFO that nobody reads. No port's device is named but by
    the arguments; standard error is read into `errors` as it comes."""

    def __init__(self, folder: Path, arguments: list[str], stdout: int | None = None,
                 close_stdout: bool = False, display: dict[str, str] | None = None) -> None:
        """display: the variables that choose the display, in place of the offscreen platform."""
        self.folder, self.link = folder, folder / "com1"
        os.mkfifo(folder / "fifo")
        choosing = ("QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE")
        environment = {k: v for k, v in os.environ.items()
                       if not k.startswith("PORTWREN_COM") and k not in choosing}
        environment.update(XDG_CONFIG_HOME=str(folder / "config"), XDG_RUNTIME_DIR=str(folder))
        environment.update({"QT_QPA_PLATFORM": "offscreen"} if display is None else display)
        self.process = subprocess.Popen(
            [PROGRAM] + [a.replace("DIR", str(folder)) for a in arguments], env=environment,
            stdout=subprocess.DEVNULL if stdout is None else stdout, stderr=subprocess.PIPE,
            preexec_fn=(lambda: os.close(1)) if close_stdout else None)
        os.set_blocking(self.process.stderr.fileno(), False)
        self.errors = b""

    def read_errors(self) -> bytes:
        self.errors += self.process.stderr.read() or b""
        return self.errors

    def ready(self) -> bool:
        return wait_until(lambda: b"portwren: ready\n" in self.read_errors())

    def status(self) -> int:
        status = self.process.wait(10)
        self.read_errors()
        return status

    def end_with(self, signal_number: int) -> int:
        self.process.send_signal(signal_number)
        return self.status()


@pytest.fixture
def runs(tmp_path: Path) -> Iterator[Callable[..., Run]]:
    started: list[Run] = []

    def start(arguments: list[str], **options: object) -> Run:
        started.append(Run(tmp_path, arguments, **options))  # type: ignore[arg-type]
        return started[-1]

    yield start
    for run in started:
        if run.process.poll() is None:
            run.process.kill()
            run.process.wait()


def host_end(link: Path) -> int:
    """A host program's end of the line, raw, blocking."""
    fd = os.open(link, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    return fd


def write_all(fd: int, data: bytes) -> None:
    while data:
        data = data[os.write(fd, data):]


def read_at_least(fd: int, count: int, seconds: float = 60.0) -> bytes:
    got, deadline = b"", time.monotonic() + seconds
    while len(got) < count and select.select([fd], [], [], deadline - time.monotonic())[0]:
        got += os.read(fd, 65536)
    return got


@pytest.mark.parametrize("arguments, signal_number", [
    (["--no-window"], signal.SIGINT),
    (["--no-window"], signal.SIGQUIT),
    (["--open"], signal.SIGTERM),
    (["-platform", "offscreen", "-style", "fusion", "--open"], signal.SIGHUP),
], ids=["without windows, INT", "without windows, QUIT", "window, TERM",
        "window with Qt's options, HUP"])
def test_signals_end_a_run_as_end_does(runs: Callable[..., Run], arguments: list[str],
                                       signal_number: int) -> None:
    run = runs(arguments + ["--port", "1=pty:DIR/com1"])
    assert wait_until(run.link.is_symlink)
    assert run.end_with(signal_number) == 0
    assert not run.link.is_symlink() and not run.link.with_suffix(".lock").exists()


RUN = ["--no-window", "--port", "1=pty:DIR/com1"]


@pytest.mark.parametrize("arguments, close_stdout, status, message", [
    (["--no-window", "--bogus"], False, 2, "portwren: unknown option '--bogus'"),
    (RUN + ["--log", "DIR/com1/no/log"], False, 1, "portwren: cannot open the log"),
    (RUN + ["--log", "DIR/fifo"], False, 1, "portwren: cannot open the log"),
    (RUN, True, 1, "portwren: standard output is closed (use --log FILE)"),
    (["--no-window", "--port", "1=/nonexistent/ttyS9"], False, 1,
     "portwren: <<OPENできません: /nonexistent/ttyS9: "),
    (["--no-window"], False, 2, "portwren: --no-window: nothing names the device of Com1: (use "
     "--port 1=DEVICE, PORTWREN_COM1, or choose it in the port menu)"),
    (RUN + ["--control", "DIR"], False, 1, "portwren: --control: DIR"),
    (["--port", "1=pty:DIR/com1", "--open", "--control", "DIR"], False, 1,
     "portwren: --control: DIR"),
], ids=["unknown option", "log not writable", "log a FIFO nobody reads", "standard output closed",
        "open fails", "no device named", "control path taken", "control path taken, windows"])
def test_failures_end_with_a_status_and_one_line(runs: Callable[..., Run], tmp_path: Path,
                                                 arguments: list[str], close_stdout: bool,
                                                 status: int, message: str) -> None:
    run = runs(arguments, close_stdout=close_stdout)
    assert run.status() == status
    lines = run.errors.decode().split("\n")
    assert lines[0].startswith(message.replace("DIR", str(tmp_path))), run.errors
    # One line, ended; a refused command line adds where to look.
    expected = ["Try 'portwren --help' for more information.", ""] if status == 2 else [""]
    assert lines[1:] == expected
    assert not run.link.is_symlink()


NO_DISPLAY = "portwren: cannot open a display (use --no-window to run without windows)\n"


@pytest.mark.parametrize("arguments, display", [
    ([], {}),
    ([], {"DISPLAY": ":65001"}),
    (["-platform", "xcb"], {"QT_QPA_PLATFORM": "offscreen"}),
], ids=["nothing names a display", "a display nobody serves", "X11 asked for by name"])
def test_windows_without_a_display_end_with_one_line(runs: Callable[..., Run],
                                                     arguments: list[str],
                                                     display: dict[str, str]) -> None:
    run = runs(arguments + ["--port", "1=pty:DIR/com1", "--open"], display=display)
    assert run.status() == 1
    assert run.errors.decode() == NO_DISPLAY
    assert not run.link.is_symlink()


def test_offscreen_needs_no_display(runs: Callable[..., Run]) -> None:
    run = runs(["-platform", "offscreen", "--port", "1=pty:DIR/com1", "--open"], display={})
    assert wait_until(run.link.is_symlink)
    assert run.end_with(signal.SIGTERM) == 0


def test_stamps_to_the_millisecond_without_windows(runs: Callable[..., Run],
                                                   tmp_path: Path) -> None:
    run = runs(RUN + ["--timestamps", "ms", "--log", "DIR/log"])
    assert run.ready()
    assert run.end_with(signal.SIGTERM) == 0
    lines = (tmp_path / "log").read_text().split("\n")
    assert re.match(r"^\[\d\d:\d\d:\d\d\.\d{3}\]----- OPEN  ----- Protcol=", lines[0]), lines


@pytest.mark.parametrize("log_format", ["text", "jsonl"],
                         ids=["text, never read", "JSON lines, read late"])
def test_a_log_that_falls_behind_holds_nothing_up(runs: Callable[..., Run], tmp_path: Path,
                                                  log_format: str) -> None:
    """The host is answered all the same. Read late, every line is whole, one of them a note
    event counting those lost; never read, a termination signal still ends the run, the
    registers are dumped, standard error counts the lines that did not go out, and the lines
    that did are stamped, one an event, control characters escaped. Either way the log read
    after the end ends a line."""
    reader, writer = os.pipe()
    run = runs(RUN + ["--mode", "rack", "--frame-end", "crlf", "--log-format", log_format,
                      "--register-dump", "DIR/dump"], stdout=writer)
    os.close(writer)
    assert run.ready()
    host = host_end(run.link)
    requests = 8000  # well past the log's 1 MiB in either format
    writer_thread = threading.Thread(target=write_all, args=(host, READ_D32 * requests))
    writer_thread.start()
    received = read_at_least(host, len(REPLIED_D32) * requests)
    writer_thread.join()
    assert received == REPLIED_D32 * requests
    log = b""
    if log_format == "jsonl":
        os.set_blocking(reader, False)
        def read_log() -> bool:
            nonlocal log
            try:
                log += os.read(reader, 1 << 20)
            except BlockingIOError:
                pass
            return b"lines not written" in log
        assert wait_until(read_log)
        events = [json.loads(line) for line in log[: log.rindex(b"\n")].split(b"\n")]
        dropped = [e for e in events if "lines not written" in e.get("text", "")]
        assert dropped[0]["event"] == "note" and dropped[0]["source"] == "output"
        assert dropped[0]["text"].endswith(" lines not written: the reader fell behind>>")
    assert run.end_with(signal.SIGTERM) == 0
    os.close(host)
    assert not run.link.is_symlink()
    words = (tmp_path / "dump").read_bytes().split(b"\n")
    assert len(words) == 129 and words[33] == b"D0033 0001"  # 128 lines, each ended
    os.set_blocking(reader, False)
    while rest := os.read(reader, 1 << 20):
        log += rest
    assert log.endswith(b"\n")  # the end left no part of a line
    if log_format == "text":
        assert run.errors.endswith(b" lines of the traffic log were not written: its reader did "
                                   b"not take them\n"), run.errors
        first = log.decode().split("\n")[:5]
        assert all(re.match(r"^\[\d\d:\d\d:\d\d\]", line) for line in first)
        assert [line[10:] for line in first] == [
            "----- OPEN  ----- Protcol=9600,E,8,1", "●\\x05000000WR0000320250",
            "  <<ENQを受信しました>>", "  <<データ返送>>", "◎\\x0200000000020001\\x03A6\\r\\n"]
    os.close(reader)


def test_a_lost_port_ends_the_run(runs: Callable[..., Run]) -> None:
    """A device that goes away: the other side of a pseudo-terminal opened as a system port."""
    master, slave = os.openpty()
    name = os.ttyname(slave)
    os.close(slave)
    run = runs(["--no-window", "--port", f"1={name}", "--settings", "9600,N,8,1"])
    assert run.ready()
    os.close(master)
    assert run.status() == 1
    assert run.errors.startswith(f"portwren: ready\nportwren: <<ポートが切断されました: {name}"
                                 .encode()), run.errors

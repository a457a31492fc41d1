# SPDX-License-Identifier: MIT
"""The Windows build as a Windows user runs it, under Wine: ``portwren.exe --no-window`` on
``COM5``, which Wine maps to a pseudo-terminal whose other end this test holds and plays the
host on. It answers a word read byte for byte and a word write, a control program of ours (a
Windows program too, on the named pipe) reads the registers and makes the next reply fail, and
Ctrl+C (Wine turns SIGINT into the console's Ctrl+C) ends the run cleanly: status 0, the log and
the register dump complete.

The settings are 9600,N,8,1 because a pseudo-terminal refuses parity on this kernel, which the
Windows build cannot know of COM5. Wine's serial driver asks a port for its modem lines before
it reports arriving bytes, and a pseudo-terminal refuses that: the test loads
modem_lines_shim.so into Wine (LD_PRELOAD), which answers those requests on a pseudo-terminal
as a line whose modem lines are all off.

Environment (set by CTest): PORTWREN_PROGRAM (portwren.exe), PORTWREN_CONTROL_CLIENT
(control_pipe_client.exe), PORTWREN_WINEPREFIX (the build's Wine prefix, made by the fixture
wine_prefix), PORTWREN_WINE_SHIM (the shim).
"""

from __future__ import annotations

import json
import os
import select
import signal
import subprocess
import threading
import time
import tty
from pathlib import Path

import pytest

from portwren_sim.link import ack_reply, data_reply, nak_reply, word_read, word_write

WINE = "/usr/lib/wine/wine64"
TIMEOUT = 30.0


def windows_path(path: Path) -> str:
    """A Linux path as a Windows program names it (Wine's drive Z: is the root)."""
    return "Z:" + str(path).replace("/", "\\")


def wine_environment(**extra: str) -> dict[str, str]:
    environment = dict(os.environ, WINEPREFIX=os.environ["PORTWREN_WINEPREFIX"], WINEDEBUG="-all")
    environment.update(extra)
    return environment


class HostLine:
    """The host's end of the line: the master side of a pseudo-terminal whose far end Wine
    opens as COM5 (the prefix's dosdevices/com5 links to it)."""

    def __init__(self, prefix: Path) -> None:
        self.master, self._far = os.openpty()
        tty.setraw(self._far)
        self.link = prefix / "dosdevices" / "com5"
        if self.link.is_symlink() or self.link.exists():
            self.link.unlink()
        self.link.symlink_to(os.ttyname(self._far))

    def send(self, data: bytes) -> None:
        os.write(self.master, data)

    def receive(self, length: int, timeout: float = TIMEOUT) -> bytes:
        """Exactly ``length`` bytes, or what came before the time ran out."""
        got = b""
        deadline = time.monotonic() + timeout
        while len(got) < length:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.master], [], [], left)[0]:
                break
            got += os.read(self.master, length - len(got))
        return got

    def close(self) -> None:
        self.link.unlink(missing_ok=True)
        os.close(self.master)
        os.close(self._far)


class WindowsRun:
    """portwren.exe --no-window under Wine, its standard error read as it comes."""

    def __init__(self, folder: Path, control: str) -> None:
        self.log = folder / "portwren.log"
        self.dump = folder / "registers.txt"
        arguments = [WINE, os.environ["PORTWREN_PROGRAM"], "--no-window", "--port", "1=COM5",
                     "--mode", "rack", "--settings", "9600,N,8,1", "--quiet-time", "0",
                     "--control", control, "--log", windows_path(self.log),
                     "--register-dump", windows_path(self.dump)]
        environment = wine_environment(LD_PRELOAD=os.environ["PORTWREN_WINE_SHIM"])
        self.process = subprocess.Popen(arguments, env=environment, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.errors: list[str] = []
        self._ready = threading.Event()
        threading.Thread(target=self._read_errors, daemon=True).start()

    def _read_errors(self) -> None:
        for raw in self.process.stderr:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            self.errors.append(line)
            if line == "portwren: ready":
                self._ready.set()

    def wait_ready(self) -> None:
        if not self._ready.wait(TIMEOUT):
            self.process.kill()
            pytest.fail(f"no 'portwren: ready'; standard error: {self.errors}")

    def end(self) -> int:
        """Ctrl+C, as Wine delivers it: SIGINT to the Windows process."""
        self.process.send_signal(signal.SIGINT)
        return self.process.wait(TIMEOUT)


def control(name: str, *requests: dict) -> list[dict]:
    """The answers to requests, sent over the named pipe by our Windows control program, after
    the greeting."""
    result = subprocess.run(
        [WINE, os.environ["PORTWREN_CONTROL_CLIENT"], name] + [json.dumps(r) for r in requests],
        env=wine_environment(), capture_output=True, timeout=TIMEOUT, check=True)
    greeting, *answers = [json.loads(line) for line in result.stdout.decode().splitlines()]
    assert greeting["portwren"]["protocol"] == 1
    return answers


@pytest.fixture
def line():
    host = HostLine(Path(os.environ["PORTWREN_WINEPREFIX"]))
    yield host
    host.close()


def test_windowless_run_on_com5(line: HostLine, tmp_path: Path) -> None:
    pipe = f"portwren-test-{os.getpid()}"
    run = WindowsRun(tmp_path, pipe)
    try:
        run.wait_ready()
        # A word read of D32 and D33 (the rack preset's 0002 and 0001), byte for byte.
        line.send(word_read(32, 2))
        expected = data_reply([2, 1])
        assert line.receive(len(expected)) == expected
        # A word write, then the registers read back over the control pipe.
        line.send(word_write(40, [1234, -12]))
        assert line.receive(len(ack_reply())) == ack_reply()
        answers = control(pipe, {"id": 1, "op": "read_registers", "from": 40, "count": 2},
                          {"id": 2, "op": "fault", "kind": "nak", "code": "05"})
        assert answers[0] == {"id": 1, "ok": True, "words": ["1234", "-0012"]}
        assert answers[1]["ok"] is True and answers[1]["faults_pending"] == 1
        # The fault asked for: the next reply is a NAK with its code.
        line.send(word_read(32, 2))
        assert line.receive(len(nak_reply(b"05"))) == nak_reply(b"05")
        assert run.end() == 0
    finally:
        if run.process.poll() is None:
            run.process.kill()
    assert [e for e in run.errors if e != "portwren: ready"] == []
    assert "D0040 1234" in run.dump.read_text().splitlines()
    log = run.log.read_text(encoding="utf-8")
    assert log.endswith("\n") and "WW" in log and "<<FAULT nak" in log


def test_a_run_ends_with_the_windows_program_that_started_it(
    line: HostLine, tmp_path: Path
) -> None:
    """--end-with-parent on Windows: cmd.exe starts the run in the background and ends at once;
    the run then ends as on Ctrl+C, its register dump written."""
    dump = tmp_path / "registers.txt"
    errors = tmp_path / "errors.txt"
    program = windows_path(Path(os.environ["PORTWREN_PROGRAM"]))
    arguments = [WINE, "cmd.exe", "/c", "start", "", "/b", program, "--no-window",
                 "--port", "1=COM5", "--mode", "rack", "--settings", "9600,N,8,1",
                 "--end-with-parent", "--register-dump", windows_path(dump)]
    with errors.open("wb") as sink:
        subprocess.run(arguments, env=wine_environment(LD_PRELOAD=os.environ["PORTWREN_WINE_SHIM"]),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=sink,
                       timeout=TIMEOUT, check=True)
    deadline = time.monotonic() + TIMEOUT
    while not dump.exists() and time.monotonic() < deadline:
        time.sleep(0.05)  # looked at until the run has ended, as QTest::qWaitFor does
    assert dump.exists(), errors.read_text(errors="replace")
    assert "D0032 0002" in dump.read_text().splitlines()

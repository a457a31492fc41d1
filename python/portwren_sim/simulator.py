# SPDX-License-Identifier: MIT
"""Runs ``portwren --no-window`` for a test and drives it over its control socket.

A :class:`Simulator` starts the simulated controller on a fresh virtual line in a temporary
folder, waits for its ``portwren: ready`` line, connects to its control socket (whose first
line, the greeting, names the protocol) and subscribes to its events. A test then lets the host
program under test open :attr:`Simulator.port`, stores registers, steps the transport
handshake, injects faults into the next replies and waits for events. Leaving the ``with`` block
stops the run and removes the folder. The run also ends, and removes the folder, when the
process that started it ends in any way (``--end-with-parent``, ``--temporary-folder``).
"""

from __future__ import annotations

import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
from collections.abc import Callable, Iterable, Iterator, Mapping, Sequence
from contextlib import contextmanager
from pathlib import Path
from types import TracebackType
from typing import IO, Any, Union

PathLike = Union[str, "os.PathLike[str]"]

READY_LINE = "portwren: ready"
#: Windows: no virtual lines, the control endpoint a named pipe, the end Ctrl+Break.
_WINDOWS = os.name == "nt"
#: The control protocol this client speaks; the greeting of a run names its own.
PROTOCOL = 1
# A Unix-domain socket's path must fit in sockaddr_un.sun_path (108 bytes with its NUL).
_SOCKET_PATH_LIMIT = 107


class SimulatorError(Exception):
    """A run that could not start or has ended, a request the simulator refused, or an event
    that did not come in time.

    For a refusal, the message is the simulator's ``error`` (English), followed by its own
    ``text`` in parentheses when it has one (``"D0041: not a number (D0041: 数値に変換できません)"``);
    :attr:`error_class` is the refusal's class (``"BadArgument"``, ``"OutOfRange"``,
    ``"NotOpen"``, ``"Busy"``, ``"Refused"``, ...), :attr:`member` the member at fault,
    :attr:`text` the window's or log's text, :attr:`answer` the whole answer. They are ``None``
    for the other failures.
    """

    def __init__(self, message: str, answer: Mapping[str, Any] | None = None) -> None:
        super().__init__(message)
        self.answer = dict(answer) if answer is not None else None
        self.error: str | None = None if answer is None else answer.get("error")
        self.error_class: str | None = None if answer is None else answer.get("class")
        self.member: str | None = None if answer is None else answer.get("member")
        self.text: str | None = None if answer is None else answer.get("text")

    @classmethod
    def refused(cls, op: str, answer: Mapping[str, Any]) -> SimulatorError:
        error = str(answer.get("error", f"'{op}' refused"))
        text = answer.get("text")
        return cls(error + (f" ({str(text).strip()})" if text else ""), answer)


class Event(dict):  # type: ignore[type-arg]
    """One event as the control socket sends it, a dict of its fields
    (``{"event": "sent", "time": ..., "hex": ..., "text": ...}``) that also reads them as
    attributes (``event.text``, ``event.kind``, ``event.words``; ``event["from"]``, a keyword).

    :attr:`name` is the event's name and :attr:`data` the bytes of a ``received`` or ``sent``
    event (or those a note dumps), from its ``hex``.
    """

    @property
    def name(self) -> str:
        return str(self.get("event"))

    @property
    def data(self) -> bytes | None:
        hex_digits = self.get("hex")
        return None if hex_digits is None else bytes.fromhex(hex_digits)

    def __getattr__(self, field: str) -> Any:
        try:
            return self[field]
        except KeyError:
            raise AttributeError(field) from None


#: What :meth:`Simulator.wait_for` accepts as ``match``: fields that must be equal, or a test.
Match = Union[Mapping[str, Any], Callable[[Event], bool], None]


class Capture(list):  # type: ignore[type-arg]
    """The events of a :meth:`Simulator.capture` block, oldest first."""

    def named(self, *names: str) -> list[Event]:
        """The events of these names: ``capture.named("write")``."""
        return [event for event in self if event.name in names]

    def data(self, name: str) -> bytes:
        """The bytes of every event of this name joined: ``capture.data("received")`` is what
        the host sent in the block (as frames), ``capture.data("sent")`` what it got."""
        return b"".join(event.data or b"" for event in self.named(name))


def find_program(program: PathLike | None = None) -> str:
    """The portwren program to run: ``program`` when given, else the environment's
    ``PORTWREN_PROGRAM``, else ``portwren`` on ``PATH`` (``/usr/bin/portwren`` as installed by
    the package)."""
    if program is not None:
        return os.fspath(program)
    named = os.environ.get("PORTWREN_PROGRAM")
    if named:
        return named
    found = shutil.which("portwren") or (
        "/usr/bin/portwren" if os.access("/usr/bin/portwren", os.X_OK) else None
    )
    if found is None:
        raise SimulatorError("cannot find portwren: set PORTWREN_PROGRAM or put it on PATH")
    return found


_MISSING = object()


def _field(event: Event, name: str) -> Any:
    if name in event:
        return event[name]
    return event.data if name == "data" and "hex" in event else _MISSING


def _matches(event: Event, match: Match) -> bool:
    if match is None:
        return True
    if callable(match):
        return bool(match(event))
    return all(_field(event, name) == value for name, value in match.items())


class Simulator:
    """One run of ``portwren --no-window`` on a virtual line, driven over its control socket.

    Use it as a context manager (``with Simulator(quiet_time=0) as sim: ...``) or call
    :meth:`start` and :meth:`stop`. Its folder (:attr:`folder`, new for every run) holds the
    virtual line's link (:attr:`port`), the control socket (:attr:`control_path`), their lock
    files, and the traffic log unless ``log_path`` puts it elsewhere. The folder is removed at
    the end, the log in it too, unless ``keep_folder`` is true; the run ends, and removes it, also
    when the process that started it ends in any way, SIGKILL included.

    On Windows there are no virtual lines: ``port`` names the serial port PORTWREN opens, one of
    a pair of virtual ports joined by a null-modem driver (``port="COM10"``, the host program on
    ``COM11``); the control endpoint is a named pipe (:attr:`control_path`,
    ``\\\\.\\pipe\\portwren-...``), and the run is ended with Ctrl+Break. (The Windows client is
    not tested here: there is no Windows Python in this project's CI.)

    Options (``None`` leaves the program's own default):

    - ``port``: a serial port for PORTWREN instead of a virtual line (``/dev/ttyUSB0``,
      ``COM10``); required on Windows. :attr:`port` is then that port.

    - ``mode``: ``rack`` (the default here), ``vehicle``, ``NONE``, ``prGPS``, ``MNEA``,
      ``rackERR``, in any case, or the window's captions; it brings its own line settings and
      frame end.
    - ``frame_end``: ``crlf``, ``cr`` or ``time``, in any case.
    - ``quiet_time``: ms of silence that ends a frame under ``time``; every reply waits for it
      (200 ms by default), so tests pass ``quiet_time=0``.
    - ``settings``: line settings, ``"9600,E,8,1"``.
    - ``registers``: words stored after the mode's preset at every OPEN: a mapping
      ``{32: 7, 33: "0002"}`` (handed to ``--registers`` through a pipe) or the path of a file
      of ``D0033 0001`` lines.
    - ``handshake_period``: the transport handshake's tick in ms (``--handshake-period``).
    - ``extra_args``: more command-line arguments, given last.
    - ``program``: the program; see :func:`find_program`.
    - ``log_format``: ``text`` or ``jsonl`` (the events, one JSON object a line).
    - ``log_path``: where the traffic log goes (appended to); by default ``portwren.log`` in
      the folder.
    - ``keep_folder``: keep the folder at the end (with the log, when it is there); the run
      then leaves it also when the process that started it is killed.
    - ``ready_timeout``, ``request_timeout``, ``stop_timeout``: seconds to wait for
      ``portwren: ready``, for each answer, and for the run to end on SIGTERM before SIGKILL.
    """

    def __init__(
        self,
        mode: str | None = "rack",
        *,
        port: str | None = None,
        frame_end: str | None = None,
        quiet_time: int | None = None,
        settings: str | None = None,
        registers: Mapping[int, str | int] | PathLike | None = None,
        handshake_period: int | None = None,
        extra_args: Sequence[str] = (),
        program: PathLike | None = None,
        log_format: str = "text",
        log_path: PathLike | None = None,
        keep_folder: bool = False,
        ready_timeout: float = 10.0,
        request_timeout: float = 5.0,
        stop_timeout: float = 5.0,
    ) -> None:
        self._mode = mode
        self._device = port
        self._frame_end = frame_end
        self._quiet_time = quiet_time
        self._settings = settings
        self._registers = registers
        self._handshake_period = handshake_period
        self._extra_args = list(extra_args)
        self._program = program
        self._log_format = log_format
        self._log_path = Path(log_path) if log_path is not None else None
        self._keep_folder = keep_folder
        self._ready_timeout = ready_timeout
        self._request_timeout = request_timeout
        self._stop_timeout = stop_timeout

        #: The run's folder, made by :meth:`start`.
        self.folder: Path | None = None
        #: The path the host program opens as its serial device (a symbolic link to a
        #: pseudo-terminal while the port is open).
        self.port = ""
        #: The control socket's path.
        self.control_path = ""
        #: The traffic log; after the run it stays unless it is in a folder that goes.
        self.log_path: Path | None = None

        self._process: subprocess.Popen[bytes] | None = None
        self._socket: socket.socket | _PipeConnection | None = None
        self._threads: list[threading.Thread] = []
        # One condition guards everything the reader threads fill in.
        self._state = threading.Condition()
        self._send_lock = threading.Lock()
        self._messages: list[str] = []
        self._ready = False
        self._stderr_ended = False
        self._events: list[Event] = []
        # Where each event name's next wait_for begins, and where every one begins after
        # skip_events().
        self._cursors: dict[str, int] = {}
        self._skipped = 0
        self._answers: dict[int, dict[str, Any]] = {}
        #: The run's greeting: ``version``, ``protocol``, ``ops``, ``events``.
        self.greeting: dict[str, Any] | None = None
        self._next_id = 0
        self._connection_end: str | None = None

    # --- the run ------------------------------------------------------------------------

    def __enter__(self) -> Simulator:
        return self.start()

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        trace: TracebackType | None,
    ) -> None:
        self.stop()

    def start(self) -> Simulator:
        """Starts the run and returns once it is ready, connected and subscribed.

        Raises :class:`SimulatorError` with the run's standard error when it ends before
        ``portwren: ready``, or when that line does not come within ``ready_timeout``; the run
        and its folder are cleaned up first.
        """
        if self._process is not None:
            raise SimulatorError("this Simulator has already been started")
        try:
            self._launch()
            self._wait_until_ready()
            self._connect()
            self.request("subscribe")
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self) -> None:
        """Ends the run (SIGTERM; SIGKILL after ``stop_timeout``), closes the control
        connection and removes the folder unless it is kept. Safe to call again."""
        process = self._process
        if process is not None and process.poll() is None:
            # On Windows SIGTERM would end the process at once; Ctrl+Break ends it as END does.
            process.send_signal(signal.CTRL_BREAK_EVENT if _WINDOWS else signal.SIGTERM)
            try:
                process.wait(self._stop_timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if self._socket is not None:
            try:
                self._socket.shutdown(socket.SHUT_RDWR)  # wakes the reader thread
            except OSError:
                pass
        for thread in self._threads:
            thread.join(self._stop_timeout)
        self._threads = []
        if self._socket is not None:
            self._socket.close()
        if process is not None and process.stderr is not None:
            process.stderr.close()
        self._remove_folder()

    @property
    def process(self) -> subprocess.Popen[bytes] | None:
        """The running program (``None`` before :meth:`start`)."""
        return self._process

    @property
    def returncode(self) -> int | None:
        """The run's exit status once it has ended (0 after :meth:`stop`; -9 when it was
        killed), else ``None``."""
        return None if self._process is None else self._process.poll()

    @property
    def messages(self) -> list[str]:
        """The run's standard error so far, one string a line, ``portwren: ready`` among them
        (later ones: ``portwren: handshake: ...`` with ``--auto``, failures)."""
        with self._state:
            return list(self._messages)

    def _launch(self) -> None:
        program = find_program(self._program)
        if _WINDOWS and self._device is None:
            raise SimulatorError(
                "Windows has no virtual lines: name one port of a null-modem pair, port='COM10'"
            )
        self.folder = self._make_folder()
        if self._device is not None:
            self.port = self._device
            device = self._device
        else:
            self.port = str(self.folder / "com1")
            device = f"pty:{self.port}"
        if _WINDOWS:
            control = f"portwren-{os.getpid()}-{self.folder.name}"
            self.control_path = "\\\\.\\pipe\\" + control
        else:
            control = self.control_path = str(self.folder / "control")
        self.log_path = self._log_path or self.folder / "portwren.log"
        # The run ends with this process, and takes its folder with it unless it is kept.
        arguments = [
            program, "--no-window", "--port", f"1={device}",
            "--control", control,
            "--log", str(self.log_path), "--log-format", self._log_format,
            "--end-with-parent",
        ]  # fmt: skip
        if not self._keep_folder:
            arguments += ["--temporary-folder", str(self.folder)]
        registers = self._registers_pipe()
        arguments += self._options(registers) + self._extra_args
        try:
            self._process = subprocess.Popen(
                arguments,
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.PIPE,
                # Its own group, so that Ctrl+Break reaches it alone.
                creationflags=subprocess.CREATE_NEW_PROCESS_GROUP if _WINDOWS else 0,
                pass_fds=() if registers is None else (registers,),  # never on Windows
            )
        except OSError as error:
            raise SimulatorError(f"cannot start {program}: {error}") from error
        finally:
            if registers is not None:
                os.close(registers)
        self._start_thread(self._read_stderr, self._process.stderr, "portwren standard error")

    @staticmethod
    def _make_folder() -> Path:
        folder = Path(tempfile.mkdtemp(prefix="portwren-"))
        if len(os.fsencode(folder / "control")) <= _SOCKET_PATH_LIMIT:
            return folder
        folder.rmdir()  # TMPDIR is too deep for a socket's path
        return Path(tempfile.mkdtemp(prefix="portwren-", dir="/tmp"))

    def _registers_pipe(self) -> int | None:
        """The reading end of a pipe that holds the ``registers`` mapping as ``--registers``
        reads it (128 short lines at most: the pipe holds them all), so that no file is left
        for anyone to remove."""
        if _WINDOWS or not isinstance(self._registers, Mapping):
            return None  # Windows hands no descriptors to a child: a file in the folder instead
        reading, writing = os.pipe()
        with os.fdopen(writing, "wb") as pipe:
            pipe.write(self._register_lines())
        return reading

    def _register_lines(self) -> bytes:
        assert isinstance(self._registers, Mapping)
        return "".join(
            f"D{n:04d} {str(word).strip()}\n" for n, word in self._registers.items()
        ).encode("utf-8")

    def _options(self, registers: int | None) -> list[str]:
        options: list[str] = []
        for name, value in (
            ("--mode", self._mode),
            ("--frame-end", self._frame_end),
            ("--quiet-time", self._quiet_time),
            ("--settings", self._settings),
            ("--handshake-period", self._handshake_period),
        ):
            if value is not None:
                options += [name, str(value)]
        if registers is not None:
            options += ["--registers", f"/dev/fd/{registers}"]
        elif isinstance(self._registers, Mapping):
            assert self.folder is not None
            path = self.folder / "registers.txt"
            path.write_bytes(self._register_lines())
            options += ["--registers", os.fspath(path)]
        elif self._registers is not None:
            options += ["--registers", os.fspath(self._registers)]
        return options

    def _wait_until_ready(self) -> None:
        deadline = time.monotonic() + self._ready_timeout
        with self._state:
            while not (self._ready or self._stderr_ended):
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    break
                self._state.wait(remaining)
            if self._ready:
                return
            ended = self._stderr_ended
            said = "\n".join(self._messages)
        assert self._process is not None
        if not ended:
            raise SimulatorError(
                f"portwren was not ready within {self._ready_timeout} s; "
                f"its standard error so far:\n{said}"
            )
        try:
            status = self._process.wait(self._stop_timeout)
        except subprocess.TimeoutExpired:
            status = None
        raise SimulatorError(f"portwren ended (status {status}) before it was ready:\n{said}")

    def _connect(self) -> None:
        if _WINDOWS:
            try:
                self._socket = _PipeConnection(self.control_path)
            except OSError as error:
                raise SimulatorError(f"cannot connect to {self.control_path}: {error}") from error
            self._start_thread(self._read_socket, self._socket, "portwren control connection")
            return
        connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            connection.connect(self.control_path)
        except OSError as error:
            connection.close()
            raise SimulatorError(f"cannot connect to {self.control_path}: {error}") from error
        self._socket = connection
        self._start_thread(self._read_socket, connection, "portwren control connection")
        self._wait_for_greeting()

    def _wait_for_greeting(self) -> None:
        """The connection's first line names the protocol; a run that speaks another one, or
        refuses the connection, is no run this client can drive."""
        deadline = time.monotonic() + self._request_timeout
        with self._state:
            while self.greeting is None and self._connection_end is None:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    break
                self._state.wait(remaining)
            greeting = self.greeting
        if greeting is None:
            raise SimulatorError(f"no greeting from portwren: {self._ended_text()}")
        if greeting.get("protocol") != PROTOCOL:
            raise SimulatorError(
                f"portwren {greeting.get('version')} speaks control protocol "
                f"{greeting.get('protocol')}; this client speaks {PROTOCOL}"
            )

    def _start_thread(self, target: Callable[[Any], None], source: Any, name: str) -> None:
        thread = threading.Thread(target=target, args=(source,), name=name, daemon=True)
        self._threads.append(thread)
        thread.start()

    def _remove_folder(self) -> None:
        if self.folder is None or not self.folder.exists() or self._keep_folder:
            return
        for entry in self.folder.iterdir():
            if entry.is_dir() and not entry.is_symlink():
                shutil.rmtree(entry, ignore_errors=True)
            else:
                entry.unlink(missing_ok=True)
        try:
            self.folder.rmdir()
        except OSError:
            pass

    # --- the reader threads -------------------------------------------------------------

    def _read_stderr(self, stream: IO[bytes]) -> None:
        """Keeps every line of the run's standard error, so that the run never waits on a
        full pipe, and notes ``portwren: ready``."""
        try:
            for raw in stream:
                line = raw.decode("utf-8", "replace").rstrip("\n")
                with self._state:
                    self._messages.append(line)
                    self._ready = self._ready or line == READY_LINE
                    self._state.notify_all()
        except (OSError, ValueError):
            pass  # closed by stop()
        with self._state:
            self._stderr_ended = True
            self._state.notify_all()

    def _read_socket(self, connection: socket.socket | _PipeConnection) -> None:
        """Reads the control connection's lines: answers go to the request waiting for their
        id, events to :attr:`events`, in the order they arrive."""
        reason = "the run closed its control connection"
        pending = b""
        try:
            while True:
                chunk = connection.recv(65536)
                if not chunk:
                    break
                *lines, pending = (pending + chunk).split(b"\n")
                for line in lines:
                    if line.strip():
                        self._dispatch(json.loads(line))
        except (OSError, ValueError) as error:
            reason = f"the control connection failed: {error}"
        with self._state:
            self._connection_end = self._connection_end or reason
            self._state.notify_all()

    def _dispatch(self, line: dict[str, Any]) -> None:
        with self._state:
            if "event" in line:
                self._events.append(Event(line))
            elif isinstance(line.get("id"), int):
                self._answers[line["id"]] = line
            elif self.greeting is None and isinstance(line.get("portwren"), dict):
                self.greeting = line["portwren"]
            elif self.greeting is None and line.get("ok") is False:
                # The run refused the connection in place of its greeting (too many clients).
                self._connection_end = f"portwren refused the connection: {line.get('error')}"
            self._state.notify_all()

    def _ended_text(self) -> str:
        """Why no request can be answered, with the run's exit status and last messages.
        Called without holding the state's lock: it waits a moment for a run whose control
        connection has ended to be gone too."""
        status = self.returncode
        if status is None and self._process is not None and self._connection_end is not None:
            try:
                status = self._process.wait(0.5)
            except subprocess.TimeoutExpired:
                pass
        if status is not None:
            text = f"the run ended with status {status}"
        elif self._process is None:
            text = "the run has not started"
        else:
            text = self._connection_end or "the control connection is not open"
        later = [line for line in self.messages if line != READY_LINE]
        return text + ("\n" + "\n".join(later[-10:]) if later else "")

    # --- requests -----------------------------------------------------------------------

    def request(self, op: str, **fields: Any) -> dict[str, Any]:
        """Sends one control request and returns its answer's fields, without ``id`` and
        ``ok``. ``sim.request("read_registers", **{"from": 32, "count": 2})`` returns
        ``{"words": ["0002", "0001"]}``.

        Raises :class:`SimulatorError` when the simulator refuses the request (with its error,
        class, member and text), at once when the run or its connection has ended, and after
        ``request_timeout`` seconds without an answer.
        """
        with self._state:
            usable = self._socket is not None and self._connection_end is None
            self._next_id += 1
            request_id = self._next_id
        if not usable or self._socket is None:
            raise SimulatorError(f"cannot send '{op}': {self._ended_text()}")
        line = json.dumps({"id": request_id, "op": op, **fields}) + "\n"
        try:
            with self._send_lock:
                if isinstance(self._socket, socket.socket):
                    self._socket.sendall(line.encode("utf-8"), socket.MSG_NOSIGNAL)
                else:
                    self._socket.sendall(line.encode("utf-8"))
        except OSError as error:
            raise SimulatorError(f"cannot send '{op}': {error}; {self._ended_text()}") from None
        answer = self._answer(request_id, op)
        if not answer.get("ok"):
            raise SimulatorError.refused(op, answer)
        return {name: value for name, value in answer.items() if name not in ("id", "ok")}

    def _answer(self, request_id: int, op: str) -> dict[str, Any]:
        deadline = time.monotonic() + self._request_timeout
        with self._state:
            while request_id not in self._answers and self._connection_end is None:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise SimulatorError(f"no answer to '{op}' within {self._request_timeout} s")
                self._state.wait(remaining)
            answer = self._answers.pop(request_id, None)
        if answer is None:
            raise SimulatorError(f"no answer to '{op}': {self._ended_text()}")
        return answer

    def status(self) -> dict[str, Any]:
        """The simulator's state: ``open``, ``mode``, ``frame_end``, ``quiet_time``,
        ``settings`` (for the next OPEN), ``line_settings`` (in effect on the open line, else
        ``None``), ``frames_received``, ``replies_sent``, ``faults_pending``, ..."""
        return self.request("status")

    def open(self) -> None:
        """OPEN: opens the port again (the link appears at :attr:`port`)."""
        self.request("open")

    def close(self) -> None:
        """CLOSE: closes the port (its link goes); the run goes on. :meth:`stop` ends it."""
        self.request("close")

    def set(self, **choices: Any) -> dict[str, Any]:
        """The operator's choices: any of ``mode``, ``frame_end`` (their names in any case, or
        the window's captions), ``quiet_time``, ``settings``, ``hex``, ``transmit_text``; any
        other name, or settings that OPEN would refuse, raises :class:`SimulatorError` and
        changes nothing. Returns the status."""
        return self.request("set", **choices)

    def read_registers(self, start: int, count: int = 1) -> list[str]:
        """The words of ``count`` registers from D``start``, as stored: ``["0002", "0001"]``."""
        answer = self.request("read_registers", **{"from": start, "count": count})
        return list(answer["words"])

    def write_registers(self, start: int, words: Iterable[str | int]) -> None:
        """Stores words from D``start``, each read as the data window's register button reads
        a box (``7``, ``"-5"``, ``" 2.5"``); all or nothing: a word that cannot be stored
        raises :class:`SimulatorError` naming its register (``member`` ``"words"``, ``text``
        the data window's message) and nothing is written."""
        self.request("write_registers", **{"from": start, "words": list(words)})

    def fault(self, kind: str, count: int | None = None, **params: Any) -> int:
        """Shapes the next ``count`` replies (1 when not given): ``drop``; ``delay`` (``ms``);
        ``nak`` (``code="05"``); ``bad_sum``; ``split`` (``pieces``, ``gap_ms``); ``garble``;
        or ``clear`` (without ``count``). A parameter the kind does not take is refused.
        Returns how many replies faults now wait for."""
        fields = {} if count is None else {"count": count}
        answer = self.request("fault", kind=kind, **fields, **params)
        return int(answer["faults_pending"])

    def clear_faults(self) -> None:
        """Drops every fault still waiting for a reply."""
        self.fault("clear")

    def handshake(self, action: str, period_ms: int | None = None) -> dict[str, Any]:
        """The transport handshake: ``step`` (one step now), ``reset``, ``auto`` (a step every
        ``period_ms``, 1000 by default) or ``manual``. Returns ``status``, ``step``, ``wait``."""
        fields = {} if period_ms is None else {"period_ms": period_ms}
        return self.request("handshake", action=action, **fields)

    def transmit(self, command: str, text: str | None = None) -> None:
        """A transmit button: ``stx_etx``, ``crlf``, ``cr``, ``ack``, ``nak``, ``eot`` or
        ``send``, with ``text`` put in the transmit box first when given."""
        fields = {} if text is None else {"text": text}
        self.request("transmit", command=command, **fields)

    def send(self, data: bytes) -> None:
        """Puts exactly these bytes on the line."""
        self.request("send", hex=data.hex())

    def repeat(self, every_ms: int, command: str | None = None, data: bytes | None = None,
               count: int | None = None) -> dict[str, Any]:
        """Sends a transmit ``command`` (as :meth:`transmit` names it) or ``data`` (exactly one
        of them) every ``every_ms`` (10 to 3600000), ``count`` times or until
        :meth:`stop_repeat`, the first at once; it never runs ahead of the line. Returns the
        repeat's state: ``running``, ``what``, ``every_ms``, ``count``, ``sent``."""
        fields: dict[str, Any] = {"every_ms": every_ms}
        if command is not None:
            fields["command"] = command
        if data is not None:
            fields["hex"] = data.hex()
        if count is not None:
            fields["count"] = count
        return dict(self.request("repeat", **fields)["repeat"])

    def stop_repeat(self) -> dict[str, Any]:
        """Stops a repeat running; returns its state."""
        return dict(self.request("repeat", stop=True)["repeat"])

    def lines(self, dtr: bool | None = None, rts: bool | None = None) -> dict[str, bool]:
        """Sets the modem outputs DTR and/or RTS on the open port; returns the five lines
        (``cd``, ``cts``, ``dsr``, ``dtr``, ``rts``). On a virtual line, which does not carry
        them, it raises :class:`SimulatorError`."""
        fields = {name: value for name, value in (("dtr", dtr), ("rts", rts))
                  if value is not None}
        return dict(self.request("lines", **fields)["lines"])

    def send_break(self, ms: int = 250) -> None:
        """A BREAK of ``ms`` (1 to 10000) on the open port; refused on a virtual line."""
        self.request("break", ms=ms)

    def sync(self) -> None:
        """Returns once every event that happened in the run before this call has arrived in
        :attr:`events`: the run answers a request only after every event before it."""
        self.request("sync")

    # --- events -------------------------------------------------------------------------

    @property
    def events(self) -> list[Event]:
        """Every event since the run was subscribed (just after ``portwren: ready``), oldest
        first. The events a request causes are here when the request returns."""
        with self._state:
            return list(self._events)

    @contextmanager
    def capture(self) -> Iterator[Capture]:
        """Collects every event of the run between the start and the end of a ``with`` block::

            with sim.capture() as block:
                host.write(request)
                host.read(7)
            assert block.data("received") == request
            assert [e["words"] for e in block.named("write")] == [["0009"]]

        Both ends wait for the events before them (:meth:`sync`), so the block holds exactly
        what happened while it ran, whatever came late on the connection."""
        self.sync()
        with self._state:
            start = len(self._events)
        captured = Capture()
        try:
            yield captured
        except BaseException:
            captured.extend(self.events[start:])
            raise
        self.sync()
        captured.extend(self.events[start:])

    def wait_for(self, event: str, match: Match = None, timeout: float = 5.0) -> Event:
        """Returns the first event named ``event`` that ``match`` accepts, among the events of
        that name after the one the previous ``wait_for`` of that name returned (all events for
        the first call of a name), waiting up to ``timeout`` seconds for it to come.

        So an event is never missed, however early it came, successive calls for one name find
        successive events in their order (``wait_for("received")`` twice returns the first and
        the second frame received), and each name keeps its own place: ``wait_for("registers")``
        then ``wait_for("received")`` finds the frame that came before the registers changed.
        :meth:`skip_events` passes over all events so far, of every name.

        ``match`` is a mapping of fields that must be present and equal
        (``{"by": "line", "from": 40}``, ``{"data": b"..."}``) or a callable that takes the event
        and says whether it is the one. Raises :class:`SimulatorError` after ``timeout`` (listing
        the events it looked at), or at once when the run's connection ends.
        """
        deadline = time.monotonic() + timeout
        with self._state:
            start = max(self._cursors.get(event, 0), self._skipped)
            while True:
                for index in range(start, len(self._events)):
                    candidate = self._events[index]
                    if candidate.name == event and _matches(candidate, match):
                        self._cursors[event] = index + 1
                        return candidate
                remaining = deadline - time.monotonic()
                if self._connection_end is not None or remaining <= 0:
                    break
                self._state.wait(remaining)
            looked_at = [e for e in self._events[start:] if e.name == event]
        if self._connection_end is not None:
            raise SimulatorError(f"no '{event}' event: {self._ended_text()}")
        seen = "\n".join(json.dumps(e, ensure_ascii=False) for e in looked_at[-20:])
        raise SimulatorError(
            f"no '{event}' event matching {match!r} within {timeout} s; "
            f"the '{event}' events looked at (the last 20):\n{seen}"
        )

    def skip_events(self) -> None:
        """Makes the next :meth:`wait_for` of every name look only at events that come after
        this call."""
        with self._state:
            self._skipped = len(self._events)
            self._cursors.clear()


class _PipeConnection:
    """Windows: the control endpoint's named pipe, opened as a file for overlapped I/O, so that
    the reader thread's wait for a line and a request's write go on at once (on a handle
    without overlapped I/O, Windows makes the write wait for the read). Has the methods of a
    socket that :class:`Simulator` uses."""

    def __init__(self, path: str) -> None:
        import _winapi  # Windows only, as multiprocessing uses it

        self._winapi = _winapi
        self._handle = _winapi.CreateFile(
            path,
            _winapi.GENERIC_READ | _winapi.GENERIC_WRITE,
            0,
            _winapi.NULL,
            _winapi.OPEN_EXISTING,
            _winapi.FILE_FLAG_OVERLAPPED,
            _winapi.NULL,
        )
        self._reading: Any = None

    def recv(self, size: int) -> bytes:
        """What comes next, at most ``size`` bytes; ``b""`` once the pipe has closed or the
        read was cancelled."""
        closed = (109, 232, 233, 995)  # broken pipe, being closed, not connected, cancelled
        try:
            self._reading, _ = self._winapi.ReadFile(self._handle, size, overlapped=True)
        except OSError as error:
            if error.winerror in closed:
                return b""
            raise
        _, error = self._reading.GetOverlappedResult(True)
        if error in closed:
            return b""
        if error not in (0, 234):  # 234: more data waits
            raise OSError(f"reading the control pipe failed: Windows error {error}")
        return bytes(self._reading.getbuffer())

    def sendall(self, data: bytes) -> None:
        writing, _ = self._winapi.WriteFile(self._handle, data, overlapped=True)
        written, _ = writing.GetOverlappedResult(True)
        if written != len(data):
            raise OSError(f"{written} of {len(data)} bytes written to the control pipe")

    def shutdown(self, how: int) -> None:
        """Wakes the reader: its read is cancelled."""
        if self._reading is not None:
            try:
                self._reading.cancel()
            except OSError:
                pass

    def close(self) -> None:
        if self._handle is not None:
            self._winapi.CloseHandle(self._handle)
            self._handle = None

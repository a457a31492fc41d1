# SPDX-License-Identifier: MIT
"""The pytest plugin of portwren_sim, loaded by pytest's ``pytest11`` entry point once the
package is installed (``pip install ./python``), or by ``-p portwren_sim.pytest_plugin``.

Fixtures:

- ``portwren``: a factory. ``portwren(mode="rack", **options)`` starts a :class:`Simulator`
  (its options as the class takes them) and returns it once it is ready; every simulator it
  started is stopped at the test's end. Each one's traffic log is ``portwren-1.log``,
  ``portwren-2.log``, ... in the test's ``tmp_path``, unless ``log_path`` says otherwise.
- ``portwren_sim``: one simulator with the options of the test's ``portwren`` mark
  (``@pytest.mark.portwren(quiet_time=0)``; a rack simulator without one).
- ``portwren_line``: the host's end of ``portwren_sim``'s virtual line, a pyserial ``Serial``
  at the line's speed, 8 data bits, parity N (a pseudo-terminal refuses parity on some
  kernels; it carries none anyway), 1 stop bit, a timeout of 5 s. Skipped, with the reason,
  when pyserial is missing.

Option ``--portwren-program PATH``: the program to run (else ``PORTWREN_PROGRAM``, else
``portwren`` on ``PATH``). When a test fails, the last 50 lines of each of its simulators' logs
are added to its report.
"""

from __future__ import annotations

from collections.abc import Callable, Iterator
from pathlib import Path
from typing import Any

import pytest

from portwren_sim.simulator import Simulator, SimulatorError

#: The lines of each simulator's log that a failing test's report shows.
LOG_LINES_ON_FAILURE = 50
#: Seconds the host's end of the line waits for bytes that must come.
LINE_TIMEOUT = 5.0

_RUNS = pytest.StashKey[list]()


def pytest_addoption(parser: pytest.Parser) -> None:
    group = parser.getgroup("portwren", "PORTWREN simulator")
    group.addoption(
        "--portwren-program",
        metavar="PATH",
        default=None,
        help="the portwren program the simulators run (default: PORTWREN_PROGRAM, else "
        "portwren on PATH)",
    )


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line(
        "markers",
        "portwren(**options): options of the portwren_sim fixture's simulator, as Simulator "
        "takes them (quiet_time=0, mode='vehicle', registers={32: 7}, ...)",
    )


@pytest.fixture
def portwren(request: pytest.FixtureRequest, tmp_path: Path) -> Iterator[Callable[..., Simulator]]:
    """Starts simulators for the test: ``portwren(mode="rack", **options)``; all are stopped
    at its end."""
    started: list[Simulator] = []
    request.node.stash[_RUNS] = started
    program = request.config.getoption("portwren_program")

    def start(mode: str | None = "rack", **options: Any) -> Simulator:
        options.setdefault("log_path", tmp_path / f"portwren-{len(started) + 1}.log")
        if program is not None:
            options.setdefault("program", program)
        simulator = Simulator(mode, **options)
        started.append(simulator)
        return simulator.start()

    yield start
    for simulator in reversed(started):
        simulator.stop()


@pytest.fixture
def portwren_sim(request: pytest.FixtureRequest, portwren: Callable[..., Simulator]) -> Simulator:
    """One simulator, with the options of the test's ``portwren`` mark."""
    mark = request.node.get_closest_marker("portwren")
    options = dict(mark.kwargs) if mark is not None else {}
    if mark is not None and mark.args:
        options.setdefault("mode", mark.args[0])
    return portwren(**options)


@pytest.fixture
def portwren_line(portwren_sim: Simulator) -> Iterator[Any]:
    """The host's end of the simulator's virtual line, opened as a host program opens it."""
    try:
        import serial  # noqa: PLC0415 (optional: only this fixture needs it)
    except ImportError:
        pytest.skip(
            "portwren_line needs pyserial: apt-get install python3-serial (or pip install "
            "pyserial)"
        )
    speed = int(str(portwren_sim.status().get("line_settings") or "9600").split(",")[0])
    with serial.Serial(portwren_sim.port, speed, parity=serial.PARITY_NONE, timeout=LINE_TIMEOUT) as line:
        yield line


def _log_tail(simulator: Simulator) -> str:
    """The last lines of the simulator's log, after the events so far are written."""
    try:
        simulator.sync()
    except SimulatorError:
        pass  # the run has ended: its log is complete
    path = simulator.log_path
    if path is None or not path.exists():
        return "(no log)"
    lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
    return "\n".join(lines[-LOG_LINES_ON_FAILURE:])


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item: pytest.Item, call: pytest.CallInfo[None]) -> Iterator[None]:
    outcome = yield
    report = outcome.get_result()
    if not report.failed:
        return
    for simulator in item.stash.get(_RUNS, []):
        name = simulator.log_path.name if simulator.log_path is not None else "portwren"
        report.sections.append(
            (f"portwren log {name} (last {LOG_LINES_ON_FAILURE} lines)", _log_tail(simulator))
        )

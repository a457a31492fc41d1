# SPDX-License-Identifier: MIT
"""The pytest plugin in pytest runs of its own (pytester, a subprocess each) on sample test
files: a host on portwren_line answered by portwren_sim, the portwren mark's options, two
simulators in one test, a failing test whose report carries the last 50 lines of each of its
simulators' logs (kept in its tmp_path), no folder left in the temporary directory, and
portwren_line skipped with its reason when pyserial is missing."""

from __future__ import annotations

import os
from pathlib import Path

import pytest

SAMPLE = """
import pytest
from portwren_sim.link import data_reply, parse_reply, word_read, word_write


def test_host_reads_the_preset(portwren_sim, portwren_line):
    portwren_line.write(word_read(32, 2))
    assert parse_reply(portwren_line.read(18)).words == ["0002", "0001"]


@pytest.mark.portwren(mode="NONE", quiet_time=0)
def test_the_mark_sets_the_options(portwren_sim, portwren_line):
    status = portwren_sim.status()
    assert (status["mode"], status["quiet_time"], status["line_settings"]) == (
        "none", 0, "9600,N,7,1")
    portwren_line.write(b"echo")
    assert portwren_line.read(4) == b"echo"


def test_two_simulators(portwren):
    first, second = portwren(), portwren("vehicle", quiet_time=0)
    assert first.port != second.port
    assert (first.status()["mode"], second.status()["mode"]) == ("rack", "vehicle")


def test_fails_with_the_logs(portwren_sim, portwren):
    other = portwren("NONE")
    for n in range(40):
        portwren_sim.transmit("crlf", "LINE%02d" % n)
    other.transmit("cr", "OTHER")
    assert False, "planned failure"
"""


@pytest.fixture
def run_tmp(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Path:
    """A temporary directory of the runs' own, to see what they leave in it."""
    folder = tmp_path / "tmp"
    folder.mkdir()
    monkeypatch.setenv("TMPDIR", str(folder))
    return folder


def test_fixtures_logs_and_the_failure_report(pytester: pytest.Pytester, run_tmp: Path) -> None:
    pytester.makepyfile(test_sample=SAMPLE)
    result = pytester.runpytest_subprocess(
        "-p", "portwren_sim.pytest_plugin",
        "--portwren-program", os.environ["PORTWREN_PROGRAM"],
        "-p", "no:cacheprovider",
    )  # fmt: skip
    result.assert_outcomes(passed=3, failed=1)
    report = result.stdout.str()
    # Both of the failing test's simulators, 50 lines each: 80 lines of LINE00..LINE39 (a
    # line sent and its note each) leave the last 25 numbers.
    lines = report.splitlines()
    first = next(n for n, line in enumerate(lines) if "portwren log portwren-1.log" in line)
    section = lines[first + 1 : first + 51]
    assert all(line.startswith("[") for line in section), section
    assert "LINE39" in section[-2] and "LINE15" in section[0] and "portwren log" in lines[first + 51]
    assert "portwren log portwren-2.log (last 50 lines)" in report and "OTHER" in report
    assert report.count("portwren log portwren-") == 2  # nothing for the tests that passed
    # Each simulator's log stays in its test's tmp_path; nothing is left in TMPDIR.
    logs = sorted(p.relative_to(pytester.path).parts[-2:] for p in pytester.path.rglob("*.log"))
    assert logs == [
        ("test_fails_with_the_logs0", "portwren-1.log"),
        ("test_fails_with_the_logs0", "portwren-2.log"),
        ("test_host_reads_the_preset0", "portwren-1.log"),
        ("test_the_mark_sets_the_options0", "portwren-1.log"),
        ("test_two_simulators0", "portwren-1.log"),
        ("test_two_simulators0", "portwren-2.log"),
    ]
    assert list(run_tmp.iterdir()) == []


def test_the_line_is_skipped_without_pyserial(pytester: pytest.Pytester, run_tmp: Path) -> None:
    pytester.makeconftest("import sys\nsys.modules['serial'] = None  # as if it were missing\n")
    pytester.makepyfile(test_sample="def test_line(portwren_line):\n    pass\n")
    result = pytester.runpytest_subprocess(
        "-p", "portwren_sim.pytest_plugin", "-p", "no:cacheprovider", "-rs"
    )
    result.assert_outcomes(skipped=1)
    result.stdout.fnmatch_lines(["*portwren_line needs pyserial: apt-get install python3-serial*"])
    assert list(run_tmp.iterdir()) == []

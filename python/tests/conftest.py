# SPDX-License-Identifier: MIT
"""Fixtures for the client's tests, on the plugin's own: a simulated rack that answers at once
(quiet time 0) and a host on its virtual line, through Debian's python3-serial. The program is
PORTWREN_PROGRAM (CTest sets it to the built program)."""

from __future__ import annotations

from collections.abc import Callable, Iterator

import pytest
import serial

from portwren_sim import Simulator

# Seconds a host waits for bytes that must come: long enough for a busy machine, and only
# spent when a test fails.
HOST_TIMEOUT = 5.0


@pytest.fixture
def sim(portwren: Callable[..., Simulator]) -> Simulator:
    return portwren("rack", quiet_time=0)


@pytest.fixture
def host(sim: Simulator) -> Iterator[serial.Serial]:
    with serial.Serial(sim.port, 9600, timeout=HOST_TIMEOUT) as line:
        yield line


def read_exactly(host: serial.Serial, expected: bytes) -> bytes:
    """What the host reads once as many bytes as expected have come (or the timeout has
    passed), and any bytes already waiting beyond them."""
    got = host.read(len(expected))
    return got + host.read(host.in_waiting) if host.in_waiting else got

# SPDX-License-Identifier: MIT
"""A client for PORTWREN's run without windows, for a host program's tests, with a pytest
plugin (fixtures ``portwren``, ``portwren_sim``, ``portwren_line``) and the computer link's
frames (:mod:`portwren_sim.link`).

``Simulator`` starts ``portwren --no-window`` on a virtual line, waits until it is ready and
drives it over its control socket::

    from portwren_sim import Simulator

    with Simulator(mode="rack", quiet_time=0) as sim:
        sim.write_registers(32, [7, 8])
        ...  # the host program under test opens sim.port as its serial device
        sim.wait_for("sent")
"""

from portwren_sim.simulator import (
    PROTOCOL,
    READY_LINE,
    Capture,
    Event,
    Match,
    Simulator,
    SimulatorError,
    find_program,
)

__version__ = "4.0"

__all__ = [
    "PROTOCOL",
    "READY_LINE",
    "Capture",
    "Event",
    "Match",
    "Simulator",
    "SimulatorError",
    "find_program",
]

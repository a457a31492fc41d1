# SPDX-License-Identifier: MIT
"""The README's pytest example, taken from README.md as it stands (the fenced block after the
line naming test_with_portwren.py), passes against the built program with every test run."""

from __future__ import annotations

import os
import re
import subprocess
import sys
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]
EXAMPLE = re.compile(r"^`test_with_portwren\.py`:\n\n```python\n(.*?)^```$", re.S | re.M)


def test_the_readme_example_passes_as_it_stands(tmp_path: Path) -> None:
    found = EXAMPLE.findall((REPOSITORY / "README.md").read_text(encoding="utf-8"))
    assert len(found) == 1, "README.md has no single test_with_portwren.py block"
    example = tmp_path / "test_with_portwren.py"
    example.write_text(found[0], encoding="utf-8")
    environment = dict(os.environ, PYTHONDONTWRITEBYTECODE="1")
    environment["PYTHONPATH"] = os.pathsep.join(
        [str(REPOSITORY / "python")] + [p for p in [os.environ.get("PYTHONPATH")] if p]
    )
    run = subprocess.run(
        [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", str(example)],
        cwd=tmp_path,
        env=environment,
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert run.returncode == 0, run.stdout + run.stderr
    tests = len(re.findall(r"^def test_", found[0], re.M))
    assert re.search(rf"^{tests} passed in ", run.stdout, re.M) and tests >= 4, run.stdout

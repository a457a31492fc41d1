# SPDX-License-Identifier: MIT
"""The README's pytest example, taken from README.md as it stands (the fenced block after the
line naming test_with_portwren.py), passes against the built program with every test run: with
the plugin loaded from the source tree, and after the README's own commands (the indented block
after it) have installed the package into a fresh virtual environment, where pytest's
``pytest11`` entry point loads the plugin from the installed package."""

from __future__ import annotations

import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]
README = (REPOSITORY / "README.md").read_text(encoding="utf-8")
EXAMPLE = re.compile(r"^`test_with_portwren\.py`:\n\n```python\n(.*?)^```$", re.S | re.M)
# The commands: the first indented block after the example.
COMMANDS = re.compile(r"^```\n\n[^\n]*\n[^\n]*\n\n((?:    \S[^\n]*\n)+)", re.M)


def example() -> str:
    found = EXAMPLE.findall(README)
    assert len(found) == 1, "README.md has no single test_with_portwren.py block"
    return found[0]


def commands() -> list[str]:
    after = README[README.index("`test_with_portwren.py`:") :]
    found = COMMANDS.search(after)
    assert found, "README.md has no commands after its example"
    return [line.strip() for line in found.group(1).splitlines()]


def passed(output: str) -> None:
    tests = len(re.findall(r"^def test_", example(), re.M))
    assert tests >= 4 and re.search(rf"(^|= ){tests} passed in ", output, re.M), output


def without_source_tree() -> dict[str, str]:
    """The environment of a user's shell: no PYTHONPATH to this tree, no PORTWREN_PROGRAM."""
    environment = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PORTWREN_PROGRAM")}
    environment.update(PYTHONDONTWRITEBYTECODE="1", PIP_NO_CACHE_DIR="1",
                       PIP_DISABLE_PIP_VERSION_CHECK="1")  # fmt: skip
    return environment


def test_the_readme_example_passes_as_it_stands(tmp_path: Path) -> None:
    (tmp_path / "test_with_portwren.py").write_text(example(), encoding="utf-8")
    run = subprocess.run(
        [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
         "-p", "portwren_sim.pytest_plugin", "test_with_portwren.py"],  # fmt: skip
        cwd=tmp_path,
        env=dict(os.environ, PYTHONDONTWRITEBYTECODE="1"),
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert run.returncode == 0, run.stdout + run.stderr
    passed(run.stdout)


def test_the_readme_commands_install_the_client_and_run_the_example(tmp_path: Path) -> None:
    """A clone as the README's commands find it after the build: the example in its top
    folder, python/ as in the repository (a copy, so that pip's build files stay out of this
    tree), the program where the build puts it."""
    steps = commands()
    assert steps[:3] == [
        "scripts/install-deps",
        "cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF",
        "cmake --build build-release --target portwren",
    ]
    clone = tmp_path / "clone"
    shutil.copytree(REPOSITORY / "python", clone / "python",
                    ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info", "tests"))  # fmt: skip
    (clone / "build-release" / "app").mkdir(parents=True)
    (clone / "build-release" / "app" / "portwren").symlink_to(os.environ["PORTWREN_PROGRAM"])
    (clone / "test_with_portwren.py").write_text(example(), encoding="utf-8")
    for step in steps[3:]:
        run = subprocess.run(
            shlex.split(step),
            cwd=clone,
            env=without_source_tree(),
            capture_output=True,
            text=True,
            timeout=300,
        )
        assert run.returncode == 0, f"{step}\n{run.stdout}{run.stderr}"
    # The installed package's entry point loaded the plugin, from the virtual environment.
    assert re.search(r"^plugins: .*portwren-sim-4\.0", run.stdout, re.M), run.stdout
    assert "/.venv/" in subprocess.run(
        [str(clone / ".venv/bin/python"), "-c", "import portwren_sim; print(portwren_sim.__file__)"],
        cwd=tmp_path, env=without_source_tree(), capture_output=True, text=True, check=True,
    ).stdout  # fmt: skip
    passed(run.stdout)

"""Shared fixtures of the Python tests: the corpus of tests/data with its
recorded entries, and the zebfile tool (ZEBFILE_TOOL) for the comparisons."""
import json
import os
import subprocess
from pathlib import Path

import pytest

DATA = Path(__file__).resolve().parents[1] / "data"
CORPUS = sorted(p for p in DATA.iterdir() if p.is_file() and (DATA / "expected" / f"{p.name}.json").exists())


def expected_entries(path):
    """The recorded entries of a corpus file: [path, kind] or [path, kind, size, sha256]."""
    return json.loads((DATA / "expected" / f"{path.name}.json").read_text("utf-8"))["entries"]


def tool(*arguments):
    """The JSON lines `zebfile ARGUMENTS` prints, by file name; the tool may
    exit 1 for files it could not read."""
    run = subprocess.run([os.environ["ZEBFILE_TOOL"], *map(str, arguments)], capture_output=True, text=True)
    assert run.returncode in (0, 1), run.stderr
    return {line["file"]: line for line in map(json.loads, run.stdout.splitlines())}


@pytest.fixture(scope="session")
def needs_tool():
    if "ZEBFILE_TOOL" not in os.environ:
        pytest.skip("ZEBFILE_TOOL names no zebfile program")

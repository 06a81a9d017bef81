"""zebfile.dask on a cluster of 2 worker processes over a few hundred files,
against `zebfile props --json` and `zebfile ls --json --hash` on the same files."""
import math
import shutil

import pytest

from conftest import CORPUS, DATA, tool

distributed = pytest.importorskip("distributed")
zdask = pytest.importorskip("zebfile.dask")
pandas = pytest.importorskip("pandas")

COPIES = 40


@pytest.fixture(scope="module")
def archive(tmp_path_factory):
    """The corpus and a file that is no compound file, COPIES times, in subdirectories."""
    root = tmp_path_factory.mktemp("archive")
    for k in range(COPIES):
        folder = root / f"copy{k:02}"
        folder.mkdir()
        for path in CORPUS + [DATA / "README.md"]:
            shutil.copy(path, folder / path.name)
    return root


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as connected:
            yield connected


def json_value(value):
    if hasattr(value, "isoformat"):
        return value.strftime("%Y-%m-%dT%H:%M:%SZ")
    return value.item() if hasattr(value, "item") else value


def test_read_properties_on_a_cluster(archive, client, needs_tool):
    frame = zdask.read_properties(archive, files_per_partition=25)
    assert frame.npartitions == math.ceil(COPIES * (len(CORPUS) + 1) / 25)
    rows = frame.compute().astype(object).to_dict("records")
    printed = tool("props", "--json", "-r", archive)
    assert len(rows) == COPIES * (len(CORPUS) + 1)
    for row in rows:
        name, error = row.pop("file"), row.pop("error")
        if name.endswith("README.md"):
            assert error == "not a compound file" and name not in printed
            continue
        found = {k: json_value(v) for k, v in row.items() if not pandas.isna(v)}
        assert found == printed[name]["properties"], name


def test_property_dtypes(archive, client):
    frame = zdask.read_properties(archive / "copy00", user_columns=["Amount"])
    assert {c: str(t) for c, t in frame.dtypes.items() if c in ("file", "NumberOfPages", "CreationDate", "Amount")} \
        == {"file": "string", "NumberOfPages": "Int64", "CreationDate": "datetime64[ns, UTC]", "Amount": "object"}
    selected = frame[frame.Title == "Quarterly Report"].compute()
    assert list(selected.Amount) == [1234.5]


def test_read_entries_on_a_cluster(archive, client, needs_tool):
    frame = zdask.read_entries(str(archive / "copy*" / "*"), files_per_partition=30).compute()
    listed = tool("ls", "--json", "--hash", "-r", archive)
    streams = {(name, e["path"]): (e["size"], e["sha256"]) for name, line in listed.items()
               for e in line["entries"] if e["type"] == "stream"}
    read = frame[frame.error.isna()]
    assert {(f, p): (s, h) for f, p, s, h in zip(read.file, read.path, read["size"], read.sha256)} == streams
    assert (read["size"] == read["readable"]).all()
    assert sorted(frame[frame.error.notna()].file) == sorted(str(archive / f"copy{k:02}" / "README.md")
                                                           for k in range(COPIES))

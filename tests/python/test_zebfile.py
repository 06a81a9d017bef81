"""zebfile.open over the corpus (entries, digests, properties), streams read in
pieces, the errors, and threads reading files at once."""
import datetime
import errno
import hashlib
import io
from concurrent.futures import ThreadPoolExecutor

import pytest

import zebfile
from conftest import CORPUS, DATA, expected_entries, tool

SOURCES = {
    "path": str,
    "bytes": lambda p: p.read_bytes(),
    "memoryview": lambda p: memoryview(bytearray(p.read_bytes())),
}


def listing(document, hashed):
    rows = []
    for entry in document.walk():
        row = ["/".join(entry.path), entry.kind]
        if entry.kind == zebfile.STREAM:
            row += [entry.size, hashed(document, entry)]
        rows.append(row)
    return rows


@pytest.mark.parametrize("source", SOURCES)
@pytest.mark.parametrize("path", CORPUS, ids=lambda p: p.name)
def test_entries_and_digests_are_the_recorded_ones(path, source):
    with zebfile.open(SOURCES[source](path)) as document:
        by_read = listing(document, lambda d, e: hashlib.sha256(d.read(e.path)).hexdigest())
        by_digest = listing(document, lambda d, e: d.sha256(zebfile.show_path(e.path)))
    assert by_read == expected_entries(path)
    assert by_digest == by_read


def json_value(value):
    return value.strftime("%Y-%m-%dT%H:%M:%SZ") if isinstance(value, datetime.datetime) else value


def test_properties_are_those_the_tool_prints(needs_tool):
    printed = tool("props", "--json", *CORPUS)
    for path in CORPUS:
        with zebfile.open(path) as document:
            properties = document.properties()
        assert {k: json_value(v) for k, v in properties.items()} == printed[str(path)]["properties"], path.name
        assert all(v.tzinfo == datetime.timezone.utc for v in properties.values() if isinstance(v, datetime.datetime))


def test_listdir_and_exists():
    with zebfile.open(DATA / "tree_gsf.cfs") as document:
        assert document.listdir() == ["Empty", "Folder", "at4095.bin", "at4096.bin", "one.bin", "zero.bin"]
        assert document.listdir("Folder") == ["A", "Inner", "a", "regular100k.bin"]
        assert document.listdir(("Folder", "Inner"))[:2] == ["mini1.bin", "mini10.bin"]
        assert document.exists("Folder/Inner/mini7.bin") and document.exists(("Folder", "a"))
        assert not document.exists("folder") and not document.exists("Folder/b")
        assert [document.read(("Folder", name)) for name in "Aa"] == [b"a", b"b"]


# (stream, [(seek offset, whence, bytes to read)]): across read-ahead blocks,
# back and forth, past the end.
SEEKS = [
    (("Folder", "regular100k.bin"), [(0, io.SEEK_SET, 10), (99990, io.SEEK_SET, 100), (-5000, io.SEEK_END, 6000),
                                     (-2000, io.SEEK_CUR, 1), (4095, io.SEEK_SET, 70000), (200000, io.SEEK_SET, 5)]),
    (("Folder", "Inner", "mini40.bin"), [(1470, io.SEEK_SET, 100), (3, io.SEEK_SET, 4), (0, io.SEEK_END, 1)]),
]


@pytest.mark.parametrize("read_ahead", [zebfile.StreamReader.READ_AHEAD, 4096])
@pytest.mark.parametrize("path, steps", SEEKS, ids=lambda v: "/".join(v) if isinstance(v, tuple) else None)
def test_open_stream_seeks_and_reads_parts(path, steps, read_ahead, monkeypatch):
    monkeypatch.setattr(zebfile.StreamReader, "READ_AHEAD", read_ahead)
    with zebfile.open(DATA / "tree_gsf.cfs") as document:
        whole = document.read(path)
        stream = document.open_stream(path)
        assert isinstance(stream, io.RawIOBase) and stream.readable() and stream.seekable() and not stream.writable()
        position = 0
        for offset, whence, count in steps:
            position = {io.SEEK_SET: 0, io.SEEK_CUR: position, io.SEEK_END: len(whole)}[whence] + offset
            assert stream.seek(offset, whence) == position
            assert stream.read(count) == whole[position:position + count], (offset, whence, count)
            position = min(position + count, max(position, len(whole)))
        stream.seek(0)
        assert stream.read() == whole
        with pytest.raises(OSError):
            stream.write(b"x")


def test_names_windows_refuses_are_read(tmp_path):
    odd = tmp_path / "Report: Q3?.xls"
    odd.write_bytes((DATA / "sheet.xls").read_bytes())
    with zebfile.open(odd) as document, zebfile.open(DATA / "sheet.xls") as sheet:
        assert document.properties() == sheet.properties()
    (tmp_path / "a:b.doc").write_bytes(b"text")
    with pytest.raises(zebfile.NotACompoundFile):
        zebfile.open(tmp_path / "a:b.doc")


def test_a_file_that_shrinks_while_open_is_an_error(tmp_path):
    copy = tmp_path / "tree.cfs"
    copy.write_bytes((DATA / "tree_gsf.cfs").read_bytes())
    with zebfile.open(copy) as document:
        document.walk()
        with open(copy, "r+b") as stream:
            stream.truncate(4096)
        with pytest.raises(zebfile.Error, match="changed"):
            document.read("Folder/regular100k.bin")


def test_a_buffer_is_read_in_place_and_held_until_closed():
    data = bytearray((DATA / "sheet.xls").read_bytes())
    document = zebfile.open(data)
    with pytest.raises(BufferError):
        data.append(0)  # the reader holds the memory: no copy was made
    document.close()
    data.append(0)
    with pytest.raises(ValueError):
        document.read("Workbook")


@pytest.mark.parametrize("source, error, number", [
    (DATA / "missing.doc", FileNotFoundError, errno.ENOENT),
    (DATA, IsADirectoryError, errno.EISDIR),
    (DATA / "README.md", zebfile.NotACompoundFile, None),
    ((DATA / "sheet.xls").read_bytes()[:511], zebfile.NotACompoundFile, None),
    (b"", zebfile.NotACompoundFile, None),
], ids=["missing", "directory", "text", "truncated", "empty"])
def test_open_errors(source, error, number):
    with pytest.raises(error) as raised:
        zebfile.open(source)
    if number is not None:
        assert (raised.value.errno, raised.value.filename) == (number, source)
    else:
        assert isinstance(raised.value, zebfile.Error) and str(raised.value)


@pytest.mark.parametrize("call, path, error", [
    ("read", "Folder/missing", FileNotFoundError),
    ("read", "Folder", IsADirectoryError),
    ("open_stream", "Empty", IsADirectoryError),
    ("listdir", "one.bin", NotADirectoryError),
    ("read", ["Folder", 1], TypeError),
])
def test_entry_errors(call, path, error):
    with zebfile.open(DATA / "tree_gsf.cfs") as document:
        with pytest.raises(error):
            getattr(document, call)(path)


def digests(path):
    with zebfile.open(path) as document:
        return [document.sha256(e.path) for e in document.walk() if e.kind == zebfile.STREAM]


def test_threads_read_different_files_at_once():
    work = CORPUS * 6
    with ThreadPoolExecutor(4) as pool:
        assert list(pool.map(digests, work)) == [digests(p) for p in work]


@pytest.mark.parametrize("name, stream, readable", [
    ("minifat-loops.cfs", "\x05SummaryInformation", 64),
    ("stream-chain-loops.cfs", "big", 1024),
])
def test_damaged_chains_are_read_as_far_as_they_go_and_reported(name, stream, readable):
    with zebfile.open(DATA / "regress" / name) as document:
        entry = document.entry((stream,))
        assert (entry.readable, len(document.read((stream,)))) == (readable, readable) and entry.size > readable
        assert document.open_stream((stream,)).read() == document.read((stream,))
        assert any(zebfile.show_path((stream,)) in text for text in document.defects)


def test_sound_files_have_no_defects():
    for path in CORPUS:
        with zebfile.open(path) as document:
            assert document.defects == [], path.name

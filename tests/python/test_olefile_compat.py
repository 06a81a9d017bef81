"""zebfile.olefile_compat against olefile itself, call by call, on the corpus."""
import hashlib
import struct

import pytest

import zebfile.olefile_compat as compat
from conftest import CORPUS, DATA, expected_entries

olefile = pytest.importorskip("olefile")


def streams(ole):
    return ole.listdir()


def property_sets(ole):
    return [s for s in ole.listdir() if s[-1].startswith("\x05")]


def every_entry(ole):
    return ole.listdir(streams=True, storages=True) + [[]]


# name: call(ole) -> comparable result. Folder/a of tree_gsf.cfs is left to
# test_sibling_names_differing_in_case: olefile reads its sibling A instead.
CALLS = {
    "listdir": lambda o: o.listdir(),
    "listdir_storages": lambda o: o.listdir(streams=False, storages=True),
    "listdir_both": lambda o: o.listdir(True, True),
    "rootentry": lambda o: o.get_rootentry_name(),
    "types_sizes": lambda o: [(o.get_type(s), o.get_size(s)) for s in streams(o)] + [o.get_type(["nothing"])],
    "storage_types": lambda o: [o.get_type(s) for s in o.listdir(False, True) + [[]]],
    "exists": lambda o: [o.exists("/".join(s)) for s in streams(o)] + [o.exists("nothing"), o.exists("NOTHING/x")],
    "openstream": lambda o: [o.openstream(s).read() for s in streams(o) if s != ["Folder", "a"]],
    "getproperties": lambda o: [o.getproperties(s) for s in property_sets(o)],
    "getproperties_times": lambda o: [o.getproperties(s, convert_time=True, no_conversion=[10])
                                      for s in property_sets(o)],
    "metadata": lambda o: vars(o.get_metadata()),
    "clsid": lambda o: [o.getclsid(s) for s in every_entry(o)],
    "times": lambda o: [(o.getmtime(s), o.getctime(s)) for s in every_entry(o)],
}


@pytest.mark.parametrize("call", CALLS)
@pytest.mark.parametrize("path", CORPUS, ids=lambda p: p.name)
def test_same_as_olefile(path, call):
    with olefile.OleFileIO(str(path)) as theirs, compat.OleFileIO(str(path)) as ours:
        assert CALLS[call](ours) == CALLS[call](theirs)


@pytest.mark.parametrize("make", [str, lambda p: p.read_bytes()], ids=["path", "bytes"])
def test_isolefile_and_opening(make):
    for path in CORPUS + [DATA / "README.md"]:
        assert compat.isOleFile(make(path)) == olefile.isOleFile(make(path))
    with compat.OleFileIO(make(DATA / "sheet.xls")) as ours:
        assert ours.listdir() == olefile.OleFileIO(make(DATA / "sheet.xls")).listdir()


@pytest.mark.parametrize("call", [
    lambda o: o.openstream("Folder/missing"), lambda o: o.openstream("Folder"), lambda o: o.get_size("Folder"),
    lambda o: o.getmtime("missing"), lambda o: o.getproperties("Empty")])
def test_same_errors_as_olefile(call):
    raised = []
    for module in (olefile, compat):
        with module.OleFileIO(str(DATA / "tree_gsf.cfs")) as ole:
            with pytest.raises(Exception) as error:
                call(ole)
            raised.append((isinstance(error.value, OSError), isinstance(error.value, TypeError)))
    assert raised[0] == raised[1]


def test_sibling_names_differing_in_case():
    """Folder/A holds "a" and Folder/a holds "b": olefile reads A for both, we read each."""
    recorded = {p: digest for p, kind, *rest in expected_entries(DATA / "tree_gsf.cfs") if rest
                for digest in rest[1:]}
    with compat.OleFileIO(str(DATA / "tree_gsf.cfs")) as ours:
        for name in ("Folder/A", "Folder/a"):
            assert hashlib.sha256(ours.openstream(name).read()).hexdigest() == recorded[name]
        # Without an exact match a name is matched ignoring case, as olefile matches.
        assert ours.openstream("FOLDER/inner/MINI1.BIN").read() == ours.openstream("Folder/Inner/mini1.bin").read()
    with olefile.OleFileIO(str(DATA / "tree_gsf.cfs")) as theirs:
        assert theirs.openstream("Folder/a").read() == b"a"


def sibling_chain_file(count):
    """A compound file whose root holds `count` empty streams, each the right sibling of the one before."""
    nostream, end, free = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF
    def entry(name, kind, right=nostream, child=nostream):
        units = name.encode("utf-16-le") + b"\0\0"
        return struct.pack("<64sHBBIII16sI16sIII", units, len(units), kind, 1, nostream, right, child, bytes(16), 0,
                           bytes(16), end, 0, 0)
    entries = [entry("Root Entry", 5, child=1)]
    entries += [entry(f"s{k:04}", 2, right=k + 1 if k < count else nostream) for k in range(1, count + 1)]
    directory = b"".join(entries).ljust(-(-len(entries) // 4) * 512, b"\0")
    dir_sectors = len(directory) // 512
    fat_sectors = -(-(dir_sectors + 1) // 127)
    fat = [0xFFFFFFFD] * fat_sectors + [fat_sectors + k + 1 for k in range(dir_sectors - 1)] + [end]
    fat = struct.pack(f"<{len(fat)}I", *fat).ljust(fat_sectors * 512, b"\xff")
    difat = struct.pack("<109I", *range(fat_sectors), *[free] * (109 - fat_sectors))
    header = struct.pack("<8s16sHHHHH6sIIIIIIIII", b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", bytes(16), 0x3E, 3, 0xFFFE, 9, 6,
                         bytes(6), 0, fat_sectors, fat_sectors, 0, 4096, end, 0, end, 0) + difat
    return header + fat + directory


def test_a_sibling_chain_of_2000_streams():
    """olefile walks sibling trees by recursion and gives up on a long chain."""
    data = sibling_chain_file(2000)
    with compat.OleFileIO(data) as ours:
        assert ours.listdir()[::999] == [["s0001"], ["s1000"], ["s1999"]] and len(ours.listdir()) == 2000
    with pytest.raises(RecursionError):
        olefile.OleFileIO(data)

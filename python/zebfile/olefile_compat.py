"""The calls most olefile scripts make, on zebfile's reader.

    import zebfile.olefile_compat as olefile

is the whole migration for a script that uses ``isOleFile``, ``OleFileIO``
(``listdir``, ``exists``, ``get_type``, ``get_size``, ``openstream``,
``get_rootentry_name``, ``getproperties``, ``get_metadata``, ``getmtime``,
``getctime``, ``getclsid``, ``close``, ``with``). Values and types are
olefile's: property strings stored as 8-bit text are ``bytes``, file times
are seconds since 1601 or naive UTC datetimes. Names are matched as the file
stores them (olefile matches ``A`` and ``a`` alike and may open the wrong
one). The README lists what is not covered.
"""
from __future__ import annotations

import datetime as _datetime
import struct as _struct

import zebfile as _zebfile

__all__ = ["isOleFile", "OleFileIO", "OleMetadata", "STGTY_EMPTY", "STGTY_STORAGE", "STGTY_STREAM",
           "STGTY_LOCKBYTES", "STGTY_PROPERTY", "STGTY_ROOT", "MAGIC", "MINIMAL_OLEFILE_SIZE"]

STGTY_EMPTY, STGTY_STORAGE, STGTY_STREAM, STGTY_LOCKBYTES, STGTY_PROPERTY, STGTY_ROOT = range(6)
MAGIC = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"
MINIMAL_OLEFILE_SIZE = 1536

_EPOCH = _datetime.datetime(1601, 1, 1)
# Property types (the low 16 bits of a value's type word).
_VT_I2, _VT_I4, _VT_R4, _VT_R8, _VT_BSTR, _VT_ERROR, _VT_BOOL = 2, 3, 4, 5, 8, 10, 11
_VT_I1, _VT_UI1, _VT_UI2, _VT_UI4, _VT_I8, _VT_UI8, _VT_INT, _VT_UINT = 16, 17, 18, 19, 20, 21, 22, 23
_VT_LPSTR, _VT_LPWSTR, _VT_FILETIME, _VT_BLOB, _VT_CF, _VT_CLSID = 30, 31, 64, 65, 71, 72
_SCALARS = {_VT_I2: "<h", _VT_UI2: "<H", _VT_I4: "<i", _VT_INT: "<i", _VT_ERROR: "<I", _VT_UI4: "<I",
            _VT_UINT: "<I", _VT_I8: "<q", _VT_UI8: "<Q", _VT_R4: "<f", _VT_R8: "<d", _VT_I1: "<b", _VT_UI1: "<B"}


def isOleFile(filename=None, data=None):
    """True when the file (a name, a file object, or its bytes: at least
    MINIMAL_OLEFILE_SIZE of them) starts with the compound-file signature."""
    if data is not None:
        header = bytes(data[:len(MAGIC)])
    elif hasattr(filename, "read"):
        header = filename.read(len(MAGIC))
        filename.seek(0)
    elif isinstance(filename, bytes) and len(filename) >= MINIMAL_OLEFILE_SIZE:
        header = filename[:len(MAGIC)]
    else:
        with open(filename, "rb") as stream:
            header = stream.read(len(MAGIC))
    return header == MAGIC


def _filetime_seconds(value):
    return value // 10_000_000


def _filetime_datetime(value):
    return _EPOCH + _datetime.timedelta(microseconds=value // 10)


def _read_value(data, at, vt, codepage):
    """The value of type `vt` at `at`, as olefile gives it; None for a type it leaves out."""
    if vt in _SCALARS:
        return _struct.unpack_from(_SCALARS[vt], data, at)[0]
    if vt == _VT_BOOL:
        return _struct.unpack_from("<H", data, at)[0] != 0
    if vt in (_VT_LPSTR, _VT_BSTR):
        count = _struct.unpack_from("<I", data, at)[0]
        return data[at + 4:at + 4 + count].rstrip(b"\x00")
    if vt == _VT_LPWSTR:
        count = _struct.unpack_from("<I", data, at)[0]
        return data[at + 4:at + 4 + 2 * count].decode("utf-16-le", "replace").rstrip("\x00")
    if vt == _VT_FILETIME:
        return _struct.unpack_from("<Q", data, at)[0]
    if vt in (_VT_BLOB, _VT_CF):
        count = _struct.unpack_from("<I", data, at)[0]
        return data[at + 4:at + 4 + count]
    if vt == _VT_CLSID:
        raw = data[at:at + 16]
        return _zebfile._clsid_text(raw) if len(raw) == 16 else None
    return None


def _parse_property_set(data, convert_time, no_conversion):
    """{id: value} of the first section of a property-set stream; damaged
    properties are left out."""
    if len(data) < 48 or data[:2] != b"\xfe\xff":
        return {}
    section = _struct.unpack_from("<I", data, 44)[0]
    if section + 8 > len(data):
        return {}
    count = _struct.unpack_from("<I", data, section + 4)[0]
    codepage = None
    values = {}
    for k in range(min(count, (len(data) - section - 8) // 8)):
        property_id, offset = _struct.unpack_from("<II", data, section + 8 + 8 * k)
        at = section + offset
        if property_id == 0 or at + 4 > len(data):
            continue
        vt = _struct.unpack_from("<I", data, at)[0] & 0xFFFF
        try:
            value = _read_value(data, at + 4, vt, codepage)
        except _struct.error:
            continue
        if value is None:
            continue
        if vt == _VT_FILETIME:
            convert = convert_time and property_id not in no_conversion
            value = _filetime_datetime(value) if convert else _filetime_seconds(value)
        values[property_id] = value
    return values


class OleMetadata:
    """The summary and document-summary properties under olefile's attribute names."""

    SUMMARY_ATTRIBS = ["codepage", "title", "subject", "author", "keywords", "comments", "template",
                       "last_saved_by", "revision_number", "total_edit_time", "last_printed", "create_time",
                       "last_saved_time", "num_pages", "num_words", "num_chars", "thumbnail",
                       "creating_application", "security"]
    DOCSUM_ATTRIBS = ["codepage_doc", "category", "presentation_target", "bytes", "lines", "paragraphs", "slides",
                      "notes", "hidden_slides", "mm_clips", "scale_crop", "heading_pairs", "titles_of_parts",
                      "manager", "company", "links_dirty", "chars_with_spaces", "unused", "shared_doc",
                      "link_base", "hlinks", "hlinks_changed", "version", "dig_sig", "content_type",
                      "content_status", "language", "doc_version"]

    def __init__(self):
        for name in self.SUMMARY_ATTRIBS + self.DOCSUM_ATTRIBS:
            setattr(self, name, None)

    def parse_properties(self, ole):
        """Fills the attributes from the file's two property sets (the total
        editing time stays a number of seconds)."""
        for stream, names in (("\x05SummaryInformation", self.SUMMARY_ATTRIBS),
                              ("\x05DocumentSummaryInformation", self.DOCSUM_ATTRIBS)):
            if not ole.exists(stream):
                continue
            values = ole.getproperties(stream, convert_time=True, no_conversion=[10])
            for number, name in enumerate(names, start=1):
                setattr(self, name, values.get(number))

    def dump(self):
        """Prints every attribute, as olefile's dump does."""
        print("Properties from SummaryInformation stream:")
        for name in self.SUMMARY_ATTRIBS:
            print(f"- {name}: {getattr(self, name)!r}")
        print("Properties from DocumentSummaryInformation stream:")
        for name in self.DOCSUM_ATTRIBS:
            print(f"- {name}: {getattr(self, name)!r}")


class OleFileIO:
    """An open compound file with olefile's methods. `filename` is a path, a
    file object, or the file's bytes (at least MINIMAL_OLEFILE_SIZE)."""

    def __init__(self, filename=None, **_options):
        if hasattr(filename, "read"):
            filename = filename.read()
        if isinstance(filename, (bytes, bytearray)) and len(filename) < MINIMAL_OLEFILE_SIZE:
            filename = filename.decode() if isinstance(filename, bytes) else filename
        try:
            self._file = _zebfile.open(filename)
        except _zebfile.Error as error:
            raise OSError(str(error)) from error
        self.filename = filename if isinstance(filename, str) else None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self._file.close()

    # --- the tree ---------------------------------------------------------------

    def listdir(self, streams=True, storages=False):
        """Lists of names from below the root, sorted, of the streams and/or storages."""
        wanted = {_zebfile.STREAM: streams, _zebfile.STORAGE: storages}
        return sorted(list(e.path) for e in self._file.walk() if wanted[e.kind])

    def _names(self, filename):
        """The path of the entry `filename` names: the entry of exactly these
        names, else the first whose names are equal ignoring case; None when
        there is neither."""
        names = tuple(part for part in filename.split("/") if part) if isinstance(filename, str) else tuple(filename)
        if self._file.exists(names):
            return names
        folded = tuple(name.lower() for name in names)
        for entry in self._file.walk():
            if tuple(name.lower() for name in entry.path) == folded:
                return entry.path
        return None

    def _entry(self, filename):
        names = self._names(filename)
        if names is None:
            raise OSError("file not found")
        return self._file.entry(names)

    def exists(self, filename):
        return self._names(filename) is not None

    def get_type(self, filename):
        """STGTY_STREAM, STGTY_STORAGE, STGTY_ROOT for the root, or False when there is no such entry."""
        names = self._names(filename)
        if names is None:
            return False
        if not names:
            return STGTY_ROOT
        return STGTY_STREAM if self._file.entry(names).kind == _zebfile.STREAM else STGTY_STORAGE

    def get_size(self, filename):
        entry = self._entry(filename)
        if entry.kind != _zebfile.STREAM:
            raise TypeError("object is not an OLE stream")
        return entry.size

    def get_rootentry_name(self):
        return "Root Entry"

    def openstream(self, filename):
        """A read-only, seekable binary file object over the stream."""
        entry = self._entry(filename)
        if entry.kind != _zebfile.STREAM:
            raise OSError("this file is not a stream")
        return self._file.open_stream(entry.path)

    def getclsid(self, filename):
        return self._entry(filename).clsid or ""

    def getmtime(self, filename):
        return _naive(self._entry(filename).modified)

    def getctime(self, filename):
        return _naive(self._entry(filename).created)

    # --- properties -------------------------------------------------------------

    def getproperties(self, filename, convert_time=False, no_conversion=None):
        """{property id: value} of the first section of a property-set stream,
        typed as olefile types them; file times as seconds since 1601, or as
        datetimes with `convert_time` except for the ids in `no_conversion`."""
        entry = self._entry(filename)
        if entry.kind != _zebfile.STREAM:
            raise OSError("this file is not a stream")
        return _parse_property_set(self._file.read(entry.path), convert_time, set(no_conversion or ()))

    def get_metadata(self):
        metadata = OleMetadata()
        metadata.parse_properties(self)
        return metadata


def _naive(moment):
    return None if moment is None else moment.replace(tzinfo=None)

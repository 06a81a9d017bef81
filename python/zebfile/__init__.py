"""Read OLE compound files (.doc, .xls, .ppt, .msi ...) and their document properties.

    import zebfile
    with zebfile.open("report.doc") as doc:
        for entry in doc.walk():
            print("/".join(entry.path), entry.kind, entry.size)
        body = doc.read("WordDocument")
        print(doc.properties()["Title"])

A file given by name is mapped into memory; ``bytes``, ``bytearray`` and
``memoryview`` objects are read in place, without a copy. The reader is the
C++ library behind the ``zebfile`` tool; it releases the GIL while it reads,
hashes and decodes, so threads reading different files run in parallel.
"""
from __future__ import annotations

import datetime as _datetime
import errno as _errno
import io as _io
import mmap as _mmap
import os as _os
import uuid as _uuid

from . import _zebfile
from ._zebfile import DamagedFile, Error, NotACompoundFile

__all__ = ["open", "CompoundFile", "Entry", "StreamReader", "Error", "NotACompoundFile", "DamagedFile",
           "STORAGE", "STREAM", "show_path", "parse_path"]

STORAGE = "storage"
STREAM = "stream"
_NO_TIME = 0


def parse_path(text):
    """The names of a path written as ``zebfile ls`` shows it: '/'-joined, with
    the escapes ``\\xHH``, ``\\uHHHH`` and ``\\\\`` undone."""
    return tuple(_zebfile.parse_path(text))


def show_path(names):
    """A path of names as ``zebfile ls`` and ``zebfile cat`` write it (the reverse of parse_path)."""
    return "/".join(_zebfile.show_name(name) for name in names)


def _utc(filetime):
    """A FILETIME (100 ns since 1601) as an aware UTC datetime; None for 0 or out of range."""
    if filetime == _NO_TIME:
        return None
    try:
        return _datetime.datetime(1601, 1, 1, tzinfo=_datetime.timezone.utc) + _datetime.timedelta(
            microseconds=filetime // 10)
    except OverflowError:
        return None


def _clsid_text(raw):
    """A class id in its registry form ("00020906-0000-0000-C000-000000000046"); None when all zero."""
    if raw == bytes(16):
        return None
    return str(_uuid.UUID(bytes_le=raw)).upper()


class Entry:
    """One storage or stream of a compound file.

    ``path`` is the tuple of names from below the root; ``kind`` is "storage" or
    "stream"; ``size`` the declared stream size (0 for a storage); ``readable``
    the bytes a read delivers (less than ``size`` when a chain is damaged);
    ``id`` the directory entry id; ``clsid`` the class id as text (None when
    all zero); ``created`` and ``modified`` UTC datetimes or None.
    """

    __slots__ = ("path", "kind", "size", "readable", "id", "clsid", "created", "modified")

    def __init__(self, path, kind, entry_id, details):
        size, readable, clsid, created, modified = details
        self.path = path
        self.kind = kind
        self.size = size
        self.readable = readable
        self.id = entry_id
        self.clsid = _clsid_text(clsid)
        self.created = _utc(created)
        self.modified = _utc(modified)

    @property
    def name(self):
        """The last name of the path ("" for the root)."""
        return self.path[-1] if self.path else ""

    def __repr__(self):
        return f"<zebfile.Entry {show_path(self.path)!r} {self.kind} size={self.size}>"


_builtin_open = open


def open(source):  # noqa: A001 (the package's entry point, like io.open)
    """Opens a compound file: a path (str or os.PathLike), or the file's bytes
    (bytes, bytearray, memoryview, any contiguous buffer) read in place and held
    until close().

    Raises NotACompoundFile, DamagedFile, or OSError (FileNotFoundError,
    IsADirectoryError, PermissionError ...) with errno and filename."""
    return CompoundFile(source)


class CompoundFile:
    """An open compound file; a context manager. See zebfile.open."""

    def __init__(self, source):
        if isinstance(source, (str, _os.PathLike)):
            self.name = _os.fspath(source)
            self._file = self._open_path(source)
        else:
            self.name = None
            self._file = _zebfile.open_buffer(source)
        self._entries = None
        self._index = None

    _map = None

    def _open_path(self, source):
        try:
            return _zebfile.open_path(_os.fsencode(source))
        except _zebfile.UnusableName:
            # A name the reader refuses (one with ':' or '?' on POSIX): the file
            # is mapped here and read as a buffer.
            with _builtin_open(source, "rb") as stream:
                if _os.fstat(stream.fileno()).st_size == 0:
                    return _zebfile.open_buffer(b"")
                self._map = _mmap.mmap(stream.fileno(), 0, access=_mmap.ACCESS_READ)
            try:
                return _zebfile.open_buffer(self._map)
            except BaseException:
                self._map.close()
                raise
        except OSError as error:
            # The file name as the caller gave it, as open() does.
            raise type(error)(error.errno, error.strerror, source) from None

    def close(self):
        """Releases the file (its map, or the buffer it was opened on)."""
        self._file.close()
        if self._map is not None:
            self._map.close()

    @property
    def closed(self):
        return self._file.closed

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        state = "closed" if self.closed else "open"
        return f"<zebfile.CompoundFile {self.name if self.name is not None else '<bytes>'!r} {state}>"

    # --- the tree -----------------------------------------------------------------

    def walk(self):
        """Yields every storage and stream below the root once, depth first, a
        storage before its content, the names of each storage in order (the
        order of ``zebfile ls``)."""
        return iter(self._tree())

    def listdir(self, path=()):
        """The names of the storages and streams in the storage at `path` (the root by default)."""
        storage = self._entry(path)
        if storage.kind != STORAGE:
            raise NotADirectoryError(_errno.ENOTDIR, "not a storage", show_path(storage.path))
        depth = len(storage.path)
        return [e.path[-1] for e in self._tree() if len(e.path) == depth + 1 and e.path[:depth] == storage.path]

    def exists(self, path):
        """True when a storage or stream of that path exists."""
        return self._names(path) in self._lookup()

    def entry(self, path):
        """The Entry at `path`; FileNotFoundError when there is none."""
        return self._entry(path)

    def read(self, path):
        """The bytes of the stream at `path` (what its chain holds: ``entry.readable`` bytes)."""
        entry = self._stream(path)
        return self._file.read(entry.id, entry.size)

    def sha256(self, path):
        """The SHA-256 of the stream at `path`, in hexadecimal, computed without copying the stream."""
        return self._file.sha256(self._stream(path).id)

    def open_stream(self, path):
        """A read-only, seekable binary file object over the stream at `path`;
        it reads the bytes it is asked for when it is asked."""
        return StreamReader(self, self._stream(path))

    # --- properties and damage ---------------------------------------------------

    def properties(self):
        """The document properties of every property set of the file, under
        the names ``zebfile props`` prints ("Title", "Author", "CreationDate" ...
        and user-defined names): str, int, float, bool, or datetime in UTC; None
        for a value that cannot be read."""
        return self._file.properties()

    @property
    def defects(self):
        """The damage the reader tolerated, one sentence each; empty for a sound file."""
        return self._file.defects()

    # --- helpers ------------------------------------------------------------------

    def _tree(self):
        if self._entries is None:
            self._entries = [Entry(tuple(path), STORAGE if is_storage else STREAM, entry_id, details)
                             for path, is_storage, entry_id, details in self._file.tree()]
        return self._entries

    def _lookup(self):
        if self._index is None:
            root = self._file.details(0) or (0, 0, bytes(16), 0, 0)
            self._index = {(): Entry((), STORAGE, 0, root)}
            for entry in self._tree():
                self._index.setdefault(entry.path, entry)
        return self._index

    @staticmethod
    def _names(path):
        if isinstance(path, str):
            return parse_path(path)
        names = tuple(path)
        if not all(isinstance(name, str) for name in names):
            raise TypeError("a path is a '/'-joined str or a tuple of str names")
        return names

    def _entry(self, path):
        names = self._names(path)
        entry = self._lookup().get(names)
        if entry is None:
            raise FileNotFoundError(_errno.ENOENT, "no such storage or stream", show_path(names))
        return entry

    def _stream(self, path):
        entry = self._entry(path)
        if entry.kind != STREAM:
            raise IsADirectoryError(_errno.EISDIR, "a storage, not a stream", show_path(entry.path))
        return entry


class StreamReader(_io.RawIOBase):
    """A stream of a compound file as a read-only, seekable raw file.

    A read asks the reader for the bytes from the position on, at least a
    read-ahead block of them, and keeps that block for the reads that follow:
    a stream is never held in memory whole. A read of n bytes gives n bytes
    unless the stream ends first."""

    READ_AHEAD = 256 * 1024

    def __init__(self, owner, entry):
        super().__init__()
        self._owner = owner
        self._entry = entry
        self._position = 0
        self._block_start = 0
        self._block = b""
        self.name = show_path(entry.path)

    def readable(self):
        return True

    def seekable(self):
        return True

    def write(self, data):
        raise _io.UnsupportedOperation("the streams of a compound file are read only")

    def _size(self):
        return self._entry.readable

    def seek(self, offset, whence=_io.SEEK_SET):
        self._check_open()
        base = {_io.SEEK_SET: 0, _io.SEEK_CUR: self._position, _io.SEEK_END: self._size()}.get(whence)
        if base is None:
            raise ValueError(f"invalid whence ({whence})")
        if base + offset < 0:
            raise ValueError(f"negative seek position {base + offset}")
        self._position = base + offset
        return self._position

    def tell(self):
        self._check_open()
        return self._position

    def readinto(self, buffer):
        self._check_open()
        view = memoryview(buffer).cast("B")
        wanted = min(len(view), max(0, self._size() - self._position))
        if wanted == 0:
            return 0
        offset = self._position - self._block_start
        if not 0 <= offset or offset + wanted > len(self._block):
            self._block_start = self._position
            self._block = self._owner._file.read_at(self._entry.id, self._position, max(wanted, self.READ_AHEAD))
            offset = 0
        got = min(wanted, len(self._block) - offset)
        view[:got] = self._block[offset:offset + got]
        self._position += got
        return got

    def _check_open(self):
        if self.closed or self._owner.closed:
            raise ValueError("I/O operation on closed stream")

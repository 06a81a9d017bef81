"""Archives of compound files as Dask data frames, on whatever scheduler is
active (the threads of this process, or a ``distributed`` cluster).

    import zebfile.dask
    frame = zebfile.dask.read_properties("archive/")          # one row per file
    frame[frame.Author == "Alice Example"].file.compute()
    streams = zebfile.dask.read_entries("archive/**/*.doc")    # one row per stream

``paths`` is a list of files, a directory (walked, every file in it), or a
glob pattern (``**`` reaches into subdirectories). Files are read in
partitions of ``files_per_partition`` files, each partition one task.

Columns of ``read_properties``: ``file`` and ``error`` (``string``; ``error``
is NA when the file was read, else the reason, as ``zebfile`` words it), then
one column per property name: the built-in ones with the dtypes of
``PROPERTY_DTYPES`` (always present), user-defined ones as ``object`` (each
value a ``str``, ``int``, ``float``, ``bool`` or UTC ``datetime``). Columns of
``read_entries``: ``file``, ``path`` (the names joined with ``/`` as
``zebfile ls --json`` writes them), ``size``, ``readable`` (``Int64``),
``sha256`` and ``error`` (``string``; a file that cannot be read has one row
with its error and no path).

Needs Dask and pandas (Debian: python3-dask python3-pandas; python3-distributed
for a cluster).
"""
from __future__ import annotations

import glob as _glob
import os as _os

try:
    import dask as _dask
    import dask.dataframe as _dd
    import pandas as _pd
except ImportError as _missing:  # pragma: no cover - depends on the machine
    raise ImportError(
        f"zebfile.dask needs Dask and pandas ({_missing.name} is missing): on Debian "
        "`apt-get install python3-dask python3-pandas`, and python3-distributed for a cluster") from _missing

import zebfile as _zebfile

__all__ = ["read_properties", "read_entries", "list_files", "PROPERTY_DTYPES", "FILES_PER_PARTITION"]

FILES_PER_PARTITION = 64

_TEXT = "string"
_COUNT = "Int64"
_TIME = "datetime64[ns, UTC]"
# The dtype of each built-in property column.
PROPERTY_DTYPES = {
    "Title": _TEXT, "Author": _TEXT, "Application": _TEXT, "Category": _TEXT, "Comments": _TEXT,
    "Company": _TEXT, "Keywords": _TEXT, "LastAuthor": _TEXT, "Manager": _TEXT, "PresentationTarget": _TEXT,
    "Subject": _TEXT, "TemplateDocument": _TEXT, "TitleOfParts": _TEXT, "RevisionNumber": _TEXT,
    "NumberOfBytes": _COUNT, "NumberOfCharacters": _COUNT, "DocumentSecurity": _COUNT,
    "NumberOfHiddenSlides": _COUNT, "NumberOfLines": _COUNT, "NumberOfMultimediaClips": _COUNT,
    "NumberOfNotes": _COUNT, "NumberOfPages": _COUNT, "NumberOfParagraphs": _COUNT, "NumberOfSlides": _COUNT,
    "NumberOfWords": _COUNT,
    "CreationDate": _TIME, "LastPrintedDate": _TIME, "ModificationDate": _TIME,
}
_ENTRY_DTYPES = {"file": _TEXT, "path": _TEXT, "size": _COUNT, "readable": _COUNT, "sha256": _TEXT, "error": _TEXT}


def list_files(paths):
    """The files `paths` names: a list as given, a directory walked (sorted),
    or a glob pattern (sorted)."""
    if isinstance(paths, (str, _os.PathLike)):
        text = _os.fspath(paths)
        if _os.path.isdir(text):
            found = []
            for folder, folders, names in _os.walk(text):
                folders.sort()
                found += [_os.path.join(folder, name) for name in sorted(names)]
            return found
        return sorted(p for p in _glob.glob(text, recursive=True) if not _os.path.isdir(p))
    return [_os.fspath(p) for p in paths]


def _reason(error):
    if isinstance(error, OSError) and error.strerror:
        return error.strerror
    return str(error) or type(error).__name__


def _property_rows(files):
    rows = []
    for name in files:
        row = {"file": name, "error": None}
        try:
            with _zebfile.open(name) as document:
                row.update(document.properties())
        except (OSError, _zebfile.Error) as error:
            row["error"] = _reason(error)
        rows.append(row)
    return rows


def _typed(frame, dtypes):
    """`frame` with the columns of `dtypes` in their dtypes (a value that
    does not fit becomes NA) and every other column as object."""
    for column, dtype in dtypes.items():
        if column not in frame:
            frame[column] = _pd.Series([None] * len(frame), index=frame.index, dtype=object)
        values = frame[column]
        if dtype == _COUNT:
            values = _pd.to_numeric(values.where(values.map(lambda v: isinstance(v, int))), errors="coerce")
        elif dtype == _TIME:
            values = _pd.to_datetime(values.where(values.map(lambda v: hasattr(v, "tzinfo"))), utc=True)
        elif dtype == _TEXT:
            values = values.where(values.map(lambda v: isinstance(v, str)))
        frame[column] = values.astype(dtype)
    return frame


def _property_frame(files, user):
    return _rows_frame(_property_rows(files), user)


def _partitions(files, files_per_partition):
    if files_per_partition < 1:
        raise ValueError("files_per_partition must be at least 1")
    return [files[k:k + files_per_partition] for k in range(0, len(files), files_per_partition)] or [[]]


def read_properties(paths, files_per_partition=FILES_PER_PARTITION, user_columns=None):
    """A Dask DataFrame of the document properties, one row per file.

    The user-defined property names become columns; unless `user_columns`
    lists them, the files are read once now to find them (the partitions stay
    where they were computed: on the cluster's workers, or in this process)
    and the frame is built on those results. With `user_columns` given nothing
    is read until the frame is computed, and other user-defined names are
    left out."""
    groups = _partitions(list_files(paths), files_per_partition)
    if user_columns is not None:
        user = list(user_columns)
        parts = [_dask.delayed(_property_frame)(group, user) for group in groups]
        return _dd.from_delayed(parts, meta=_property_frame([], user), verify_meta=False)
    rows = _dask.persist(*[_dask.delayed(_property_rows)(group) for group in groups])
    names = _dask.compute(*[_dask.delayed(_user_names)(part) for part in rows])
    user = sorted(set().union(*names))
    parts = [_dask.delayed(_rows_frame)(part, user) for part in rows]
    return _dd.from_delayed(parts, meta=_rows_frame([], user), verify_meta=False)


def _user_names(rows):
    return {key for row in rows for key in row if key not in PROPERTY_DTYPES and key not in ("file", "error")}


def _rows_frame(rows, user):
    frame = _typed(_pd.DataFrame(rows, dtype=object), {"file": _TEXT, "error": _TEXT, **PROPERTY_DTYPES})
    for column in user:
        values = frame[column].astype(object) if column in frame else _pd.Series(None, frame.index, object)
        frame[column] = values.where(values.notna(), None)
    return frame[["file", "error", *PROPERTY_DTYPES, *user]]


def _entry_frame(files):
    rows = []
    for name in files:
        try:
            with _zebfile.open(name) as document:
                for entry in document.walk():
                    if entry.kind == _zebfile.STREAM:
                        rows.append({"file": name, "path": "/".join(entry.path), "size": entry.size,
                                     "readable": entry.readable, "sha256": document.sha256(entry.path),
                                     "error": None})
        except (OSError, _zebfile.Error) as error:
            rows.append({"file": name, "error": _reason(error)})
    frame = _pd.DataFrame(rows, columns=list(_ENTRY_DTYPES))
    return frame.astype(_ENTRY_DTYPES)


def read_entries(paths, files_per_partition=FILES_PER_PARTITION):
    """A Dask DataFrame of every stream of every file, with its SHA-256;
    nothing is read until it is computed."""
    groups = _partitions(list_files(paths), files_per_partition)
    parts = [_dask.delayed(_entry_frame)(group) for group in groups]
    return _dd.from_delayed(parts, meta=_entry_frame([]), verify_meta=False)

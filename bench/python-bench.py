#!/usr/bin/python3
"""Times the Python package against olefile, and its Dask path on a local
cluster against one process, over the tests/data compound files copied
COPIES times (hard links where the file system allows). Each timing follows
one untimed run that brings the files into the page cache.

    PYTHONPATH=build/default/python /usr/bin/python3 bench/python-bench.py [--copies 100] [--workers 2]

Tasks: "properties" reads every property set of each file (zebfile:
properties(); olefile: getproperties() of each property-set stream);
"hash streams" walks each file and hashes every stream with hashlib
(zebfile: walk() and read(); olefile: listdir() and openstream().read());
"hash streams sha256()" hashes with CompoundFile.sha256 instead (libgcrypt,
no copy); "read streams" reads without hashing (the readers alone).
"""
import argparse
import hashlib
import os
import shutil
import sys
import tempfile
import time
from pathlib import Path

import zebfile

ROOT = Path(__file__).resolve().parents[1]
DATA = ROOT / "tests" / "data"


def corpus():
    return sorted(p for p in DATA.iterdir() if p.is_file() and (DATA / "expected" / f"{p.name}.json").exists())


def make_archive(directory, copies):
    files = []
    for k in range(copies):
        folder = Path(directory, f"{k:03}")
        folder.mkdir()
        for source in corpus():
            target = folder / source.name
            try:
                os.link(source, target)
            except OSError:
                shutil.copy(source, target)
            files.append(str(target))
    return files


def zebfile_properties(files):
    for name in files:
        with zebfile.open(name) as document:
            document.properties()


def olefile_properties(files):
    import olefile
    for name in files:
        with olefile.OleFileIO(name) as ole:
            for stream in ole.listdir():
                if stream[-1].startswith("\x05"):
                    ole.getproperties(stream)


def zebfile_streams(digest):
    def run(files):
        for name in files:
            with zebfile.open(name) as document:
                for entry in document.walk():
                    if entry.kind == zebfile.STREAM:
                        digest(document, entry)
    return run


def olefile_streams(digest):
    def run(files):
        import olefile
        for name in files:
            with olefile.OleFileIO(name) as ole:
                for stream in ole.listdir():
                    digest(ole.openstream(stream).read())
    return run


# (task, zebfile's way, olefile's way)
TASKS = [
    ("properties", zebfile_properties, olefile_properties),
    ("hash streams", zebfile_streams(lambda d, e: hashlib.sha256(d.read(e.path)).hexdigest()),
     olefile_streams(lambda data: hashlib.sha256(data).hexdigest())),
    ("hash streams sha256()", zebfile_streams(lambda d, e: d.sha256(e.path)),
     olefile_streams(lambda data: hashlib.sha256(data).hexdigest())),
    ("read streams", zebfile_streams(lambda d, e: d.read(e.path)), olefile_streams(len)),
]


def timed(work, *arguments):
    work(*arguments)
    start = time.perf_counter()
    work(*arguments)
    return time.perf_counter() - start


def report(task, reader, seconds, count, baseline=None):
    ratio = f"{baseline / seconds:8.1f}x" if baseline else ""
    print(f"{task:<22} {reader:<26} {seconds:9.2f} {count / seconds:10.0f} {ratio}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--copies", type=int, default=100)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--skip-olefile", action="store_true")
    parser.add_argument("--skip-dask", action="store_true")
    options = parser.parse_args()
    with tempfile.TemporaryDirectory() as directory:
        files = make_archive(directory, options.copies)
        size = sum(os.path.getsize(f) for f in files)
        print(f"{len(files)} files ({size // 1_000_000} MB): {len(corpus())} files of tests/data, {options.copies} times")
        print(f"{'task':<22} {'reader':<26} {'seconds':>9} {'files/s':>10} {'speed-up':>9}")
        for task, ours, theirs in TASKS:
            baseline = None if options.skip_olefile else timed(theirs, files)
            if baseline:
                report(task, "olefile", baseline, len(files))
            report(task, "zebfile", timed(ours, files), len(files), baseline)
        if not options.skip_dask:
            dask_runs(directory, files, options.workers)


def dask_runs(directory, files, workers):
    import dask
    import distributed
    import zebfile.dask as zdask
    for task, read in (("dask read_properties", zdask.read_properties), ("dask read_entries", zdask.read_entries)):
        # The same partitions computed one after the other in this process.
        with dask.config.set(scheduler="sync"):
            alone = timed(lambda: read(directory, files_per_partition=64).compute())
        report(task, "1 process", alone, len(files))
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                      dashboard_address=None) as cluster, distributed.Client(cluster):
            spread = timed(lambda: read(directory, files_per_partition=64).compute())
        report(task, f"{workers} worker processes", spread, len(files), alone)


if __name__ == "__main__":
    sys.exit(main())

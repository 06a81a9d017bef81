"""What the writer makes, read by two other readers: directory trees packed by zebfile pack (streams either
side of the mini-stream cutoff, 3000 entries in one storage, nesting 50 deep, a stream that needs a DIFAT sector;
both versions) give the same entries and bytes with olefile and with libgsf's gsf, and the properties
zebfile props --set writes are the ones gsf reports. Then every tests/data file through extract and pack lists
the same with ls --json --hash."""
import json
import random
import re
import subprocess
import sys
import tempfile
from pathlib import Path

import olefile

import zebrun

ARGS = zebrun.arguments('--data')
RUN = zebrun.Runner(ARGS.wrapper)
FAILED = []


def check(condition, what):
    if not condition:
        FAILED.append(what)
        print('FAIL', what, file=sys.stderr)


def zebfile(*args):
    status, out, err = RUN.run(ARGS.zebfile, *args, timeout=600)
    if status != 0:
        sys.exit(f'zebfile {" ".join(args)} failed ({status}): {err}')
    return out


def make_trees(top):
    """Each tree as {path with '/': bytes}, directories with None, written under top/NAME."""
    rnd = random.Random(22)
    data = lambda size: rnd.randbytes(size)
    trees = {
        'cutoff': {**{f's{size}': data(size) for size in (0, 1, 63, 64, 4095, 4096, 4097)},
                   'Folder': None, 'Folder/inner': data(100), 'Folder/\u0416\u0438\u0437\u043d\u044c': data(5000)},
        'wide': {f'entry{i:04d}': data(i % 9 * 7) for i in range(3000)},
        'deep': {  # one letter a level: Windows paths end at 260 characters
                 **{'/'.join(['d'] * depth): None for depth in range(1, 51)}, '/'.join(['d'] * 50 + ['leaf']): b'x'},
        'large': {'big': data(7 * 2**20 + 4321)},
    }
    for name, tree in trees.items():
        for path, content in sorted(tree.items()):
            target = Path(top, name, *path.split('/'))
            if content is None:
                target.mkdir(parents=True, exist_ok=True)
            else:
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(content)
    return trees


def with_olefile(path):
    found = {}
    with olefile.OleFileIO(str(path)) as ole:
        for parts in ole.listdir(streams=True, storages=True):
            name = '/'.join(parts)
            found[name] = ole.openstream(parts).read() if ole.get_type(parts) == olefile.STGTY_STREAM else None
    return found


def with_gsf(path):
    listing = subprocess.run(['gsf', 'list', str(path)], capture_output=True, check=True).stdout.decode('utf-8')
    found, streams = {}, []
    for line in listing.splitlines()[1:]:
        kind, size, name = line.split(None, 2)
        if name == '*root*':
            continue
        found[name] = None if kind == 'd' else int(size)
        if kind == 'f':
            streams.append(name)
    # cat gives the streams' bytes one after the other.
    joined = subprocess.run(['gsf', 'cat', str(path), *streams], capture_output=True, check=True).stdout
    at = 0
    for name in streams:
        found[name], at = joined[at:at + found[name]], at + found[name]
    check(at == len(joined), f'{path}: gsf cat gave {len(joined)} bytes, the listing {at}')
    return found


def peers(top, trees):
    for name, tree in trees.items():
        for version in ('3', '4'):
            packed = Path(top, f'{name}-v{version}.cfb')
            zebfile('pack', '--version', version, RUN.arg(Path(top, name)), RUN.arg(packed))
            for reader, found in (('olefile', with_olefile(packed)), ('gsf', with_gsf(packed))):
                wrong = sorted(p for p in set(found) | set(tree) if found.get(p, 0) != tree.get(p, 0))
                check(not wrong, f'{packed.name}: {reader} differs on {wrong[:5]}')


def properties(top):
    source, written = Path(top, 'cutoff-v3.cfb'), Path(top, 'props.cfb')
    # Under Wine the arguments pass through the system code page (1252).
    author = 'Zo\u00eb' + ('' if RUN.wine else ' \u0416')
    settings = {'Title': 'Quarterly Report', 'Author': author, 'NumberOfPages': '42',
                'Client': 'Acme Ltd', 'Amount': '1234.5', 'Reviewed': 'true', 'Count': '-7',
                'Due': '2026-03-01T12:00:00Z'}
    zebfile('props', *[a for k, v in settings.items() for a in ('--set', f'{k}={v}')], RUN.arg(source),
            '-o', RUN.arg(written))
    gsf_names = {'Title': 'dc:title', 'Author': 'dc:creator', 'NumberOfPages': 'gsf:page-count'}
    names = [gsf_names.get(k, k) for k in settings]
    out = subprocess.run(['gsf', 'props', str(written), *names], capture_output=True, check=True).stdout.decode()
    # gsf shows bytes beyond ASCII as octal escapes of their UTF-8.
    unescape = lambda text: text.encode('utf-8').decode('unicode_escape').encode('latin-1').decode('utf-8')
    shown = {name: unescape(value) for name, value in (re.match(r'(.*?):\s*=\s*(.*)', line).groups()
                                                       for line in out.splitlines())}
    expected = {'dc:title': '"Quarterly Report"', 'dc:creator': f'"{author}"', 'gsf:page-count': '42',
                'Client': '"Acme Ltd"', 'Amount': '1234.500000', 'Reviewed': 'TRUE', 'Count': '-7',
                'Due': '2026-03-01T12:00:00Z'}
    for name, value in expected.items():
        check(shown.get(name) == value, f'gsf props {name}: {shown.get(name)!r}, expected {value!r}')
    before, after = with_olefile(source), with_olefile(written)
    check(all(after.get(name) == content for name, content in before.items()), 'props --set changed a stream')
    ours = json.loads(zebfile('props', '--json', RUN.arg(written)))['properties']
    check(ours == {'Amount': 1234.5, 'Author': author, 'Client': 'Acme Ltd', 'Count': -7,
                   'Due': '2026-03-01T12:00:00Z', 'NumberOfPages': 42, 'Reviewed': True, 'Title': 'Quarterly Report'},
          f'props after --set: {ours}')


def failures(top):
    """A refused value, a name the format refuses and a bad directory: exit 1, nothing written, no temporary file."""
    source, out = Path(top, 'cutoff-v3.cfb'), Path(top, 'failed', 'out.cfb')
    out.parent.mkdir()
    Path(top, 'slash', 'a%2Fb').mkdir(parents=True)
    for args in (['props', '--set', 'NumberOfPages=many', RUN.arg(source), '-o', RUN.arg(out)],
                 ['props', '--set', 'CreationDate=yesterday', RUN.arg(source), '-o', RUN.arg(out)],
                 ['pack', RUN.arg(Path(top, 'no such dir')), RUN.arg(out)]):
        status, _, err = RUN.run(ARGS.zebfile, *args)
        check(status == 1 and err.startswith('zebfile: '), f'{args[0]} {args[1]}: status {status}, {err!r}')
        check(not any(out.parent.iterdir()), f'{args[0]} {args[1]} left {list(out.parent.iterdir())}')
    status, _, err = RUN.run(ARGS.zebfile, 'pack', RUN.arg(Path(top, 'slash')), RUN.arg(out))
    check(status == 0 and '1 names written as other writers' in err, f'pack of a/b: {status} {err!r}')


def round_trip(top):
    """extract then pack gives the tree, sizes and digests back."""
    for source in sorted(p for p in Path(ARGS.data).iterdir() if p.is_file() and p.suffix != '.md'):
        tree, packed = Path(top, 'rt-' + source.name), Path(top, 'rt-' + source.name + '.cfb')
        zebfile('extract', RUN.arg(source), RUN.arg(tree))
        zebfile('pack', RUN.arg(tree), RUN.arg(packed))
        before, after = (json.loads(zebfile('ls', '--json', '--hash', RUN.arg(f)))['entries'] for f in (source, packed))
        check(before == after, f'{source.name}: extract then pack lists differently')
        copy = Path(top, 'set-' + source.name)
        zebfile('props', '--set', 'Checked=true', RUN.arg(source), '-o', RUN.arg(copy))
        check(details(source) == details(copy), f'{source.name}: props --set changed an entry or a stream')


def details(path):
    """Each entry's class id, state bits, times and bytes, the property sets left out."""
    with olefile.OleFileIO(str(path)) as ole:
        return {'/'.join(parts): (e.clsid, e.dwUserFlags, e.createTime, e.modifyTime, e.entry_type == 2 and
                                  ole.openstream(parts).read())
                for parts in [[]] + ole.listdir(streams=True, storages=True)
                if not parts or not parts[-1].endswith('SummaryInformation')
                for e in [ole.direntries[ole._find(parts)] if parts else ole.root]}


def main():
    with tempfile.TemporaryDirectory() as top:
        trees = make_trees(top)
        peers(top, trees)
        properties(top)
        failures(top)
        round_trip(top)
    if FAILED:
        sys.exit(f'{len(FAILED)} checks failed')
    print('ok')


main()

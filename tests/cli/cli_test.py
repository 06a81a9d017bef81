"""The zebfile tool end to end: each command on good, foreign, cut, damaged,
missing and odd inputs; many files on many threads; exit statuses; JSON Lines."""
import functools
import hashlib
import json
import os
import random
import re
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

import zebrun

ARGS = zebrun.arguments('--samples', '--data', '--odd-names')
RUN = zebrun.Runner(ARGS.wrapper)
SAMPLE = RUN.arg(Path(ARGS.samples, 'report_en.doc'))
SUMMARY_SHA256 = 'e1a2acddf736427d35daf5172db44af72c966bd6507460d7f5fb7196e6798fde'
REASONS = {'notes.txt': 'not a compound file', 'short.doc': 'not a compound file', 'missing.doc': 'no such file',
           'folder': 'is a directory'}
CHANGED = 'the file changed while it was read'
zebfile = functools.partial(RUN.run, ARGS.zebfile)


class Cli(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = Path(tempfile.mkdtemp(prefix='zebfile-cli-'))
        cls.addClassCleanup(shutil.rmtree, cls.dir)
        data, sheet = (Path(ARGS.samples, name).read_bytes() for name in ['report_en.doc', 'sheet.xls'])
        files = {'notes.txt': b'plain text, no compound file\n' * 40, 'short.doc': data[:100],
                 'half.doc': data[:len(data) // 2]}
        rng = random.Random(12)
        for i in range(16):  # bytes changed in the header, or anywhere
            files[f'damaged{i}.doc'] = damaged = bytearray(data)
            for _ in range(8):
                damaged[rng.randrange(0, len(data) if i % 2 else 1536)] = rng.randrange(256)
        (cls.dir / 'folder').mkdir()
        files.update({f'folder/{i:02}.doc': files['notes.txt'] if i == 7 else data if i % 3 else sheet
                      for i in range(12)})
        for name, content in files.items():
            (cls.dir / name).write_bytes(content)
        assert RUN.run(ARGS.odd_names, cls.arg('odd.cfs'), cls.arg('tree.cfs'))[0] == 0

    @classmethod
    def arg(cls, name):
        return RUN.arg(cls.dir / name)

    def assertErrorLines(self, err, pairs):
        if RUN.wine:  # files found in a directory are named with Windows separators
            err = err.replace('\\', '/')
        self.assertEqual(err.splitlines(), [f'zebfile: {self.arg(name)}: {reason}' for name, reason in pairs])

    def test_good_file(self):
        cases = [  # arguments, text expected on standard output
            (['ls', SAMPLE], '\\x05SummaryInformation           372\n1Table                          1521\n'),
            (['ls', '--hash', SAMPLE], f'\\x05SummaryInformation           372  {SUMMARY_SHA256}\n'),
            (['props', SAMPLE], 'Due: 2026-03-01T12:00:00Z\n'),
            (['props', SAMPLE], 'Reviewed: true\n'),
            (['path', 'C:/Docs/../Reports/q3.doc'],
             'C:\\Reports\\q3.doc\n  root: C:\\\n  directory: C:\\Reports\\\n  name: q3.doc\n  extension: doc\n'
             '  uri: file:///C:/Reports/q3.doc\n'),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                status, out, err = zebfile(*args)
                self.assertEqual((status, err), (0, ''))
                self.assertIn(expected, out.decode())
        # That stream holds no CR LF, which the Wine wrapper's pipe would change.
        status, out, err = zebfile('cat', SAMPLE, '\\x05SummaryInformation')
        self.assertEqual((status, err, hashlib.sha256(out).hexdigest()), (0, '', SUMMARY_SHA256))
        self.assertEqual(zebfile('cat', SAMPLE, 'Nothing/There')[2], f'zebfile: {SAMPLE}: no stream Nothing/There\n')
        props = json.loads(zebfile('props', '--json', SAMPLE)[1])['properties']
        self.assertEqual((props['Title'], props['Reviewed'], props['Amount']), ('Quarterly Report', True, 1234.5))

    def test_bad_inputs_fail_alone_and_damaged_ones_never_crash(self):
        for command, extra in [('ls', []), ('props', []), ('cat', ['WordDocument']), ('extract', [self.arg('out')])]:
            for name in REASONS:
                with self.subTest(command=command, input=name):
                    status, out, err = zebfile(command, self.arg(name), *extra)
                    self.assertEqual((status, out, err.count('\n')), (1, b'', 1))
                    self.assertTrue(err.startswith(f'zebfile: {self.arg(name)}: {REASONS[name]}'), err)
        status, out, err = zebfile('ls', self.arg('missing.doc'), SAMPLE, self.arg('notes.txt'))
        self.assertTrue(status == 1 and b'WordDocument' in out, (status, out))
        self.assertErrorLines(err, [(name, REASONS[name]) for name in ['missing.doc', 'notes.txt']])
        # Cut and damaged files give an entry or a reason, never a crash.
        for name in ['half.doc'] + [f'damaged{i}.doc' for i in range(16)]:
            for args in [['ls', '--json', '--hash'], ['props', '--json']]:
                with self.subTest(input=name, args=args):
                    status, out, err = zebfile(*args, self.arg(name))
                    self.assertIn(status, (0, 1), err)
                    self.assertEqual(len(err.splitlines()), status, err)
                    self.assertTrue(status == 1 or json.loads(out)['file'])

    def test_many_files_keep_their_order_on_any_number_of_threads_in_json_lines(self):
        for args in [['ls', '--json', '--hash'], ['props', '--json'], ['props'], ['ls'], ['check', '--json']]:
            with self.subTest(args=args):
                one, four = (zebfile(*args, '-r', '-j', j, self.arg('folder'), SAMPLE) for j in '14')
                self.assertEqual(one, four)
                self.assertEqual(one[0], 1)
                self.assertErrorLines(one[2], [('folder/07.doc', 'not a compound file')])
                if '--json' in args:  # a JSON text on each line
                    self.assertEqual([json.loads(line)['file'][-6:] for line in one[1].split(b'\n')[:-1]],
                                     [f'{i:02}.doc' for i in range(12) if i != 7] + ['en.doc'])

    def test_odd_names_are_read_as_ls_shows_them_and_extracted_inside_the_target(self):
        listing = zebfile('ls', self.arg('odd.cfs'))[1].decode()
        for shown, content in [('../..\\x2F..\\x2Fescape', 'slash'), ('..\\\\..\\\\escape', 'backslash'),
                               ('\\x2Fetc\\x2Fpasswd', 'absolute'), ('\\x05Ctl\\x01\\x1F', 'control'),
                               ('C:\\\\evil', 'drive'), ('/A', 'upper'), ('a', 'lower'), ('\\u0061', 'lower')]:
            with self.subTest(stream=shown):
                self.assertEqual(zebfile('cat', self.arg('odd.cfs'), shown), (0, content.encode(), ''))
                if '\\u' not in shown:
                    self.assertIn(shown.split('/')[-1] + ' ', listing)
        # Exact JSON paths: a '/' inside a name is escaped, an unpaired surrogate kept; cat and extract take them.
        entries = json.loads(zebfile('ls', '--json', self.arg('odd.cfs'))[1])['entries']
        paths = {tuple(entry['names']): entry['path'] for entry in entries}
        self.assertEqual(len(set(paths.values())), len(entries))
        for names, path, content in [(('x/y',), 'x\\x2Fy', 'flat'), (('x', 'y'), 'x/y', 'nested'),
                                     (('\ud800z',), '\\uD800z', 'lone'), (('..', '../../escape'), None, 'slash')]:
            with self.subTest(names=names):
                self.assertEqual(paths[names], path or paths[names])
                self.assertEqual(zebfile('cat', self.arg('odd.cfs'), paths[names]), (0, content.encode(), ''))
                one = self.dir / 'one' / content
                self.assertEqual(zebfile('extract', self.arg('odd.cfs'), RUN.arg(one), paths[names]), (0, b'', ''))
                self.assertEqual([path.read_text() for path in one.iterdir()], [content])
        # Deep enough that a name climbing out would land in the test's directory.
        before, out = set(self.dir.iterdir()), self.dir / 'deep/er/out'
        self.assertEqual(zebfile('extract', self.arg('odd.cfs'), RUN.arg(out)), (0, b'', ''))
        self.assertEqual((set(self.dir.iterdir()) - before, list(out.parent.iterdir())), ({self.dir / 'deep'}, [out]))
        # Device names escaped, names equal under case folding kept apart: each file holds its expected name.
        names = {path.name: path.read_text() for path in (out / 'fs').iterdir()}
        self.assertEqual((len(names), {name: file for name, file in names.items() if name != file}), (13, {}))
        written = {str(path.relative_to(out)): path.read_text() for path in out.rglob('*')
                   if path.is_file() and path.parent.name != 'fs'}
        self.assertEqual(sorted(written.values()), sorted(['parent', 'slash', 'backslash', 'absolute', 'drive',
                                                           'control', 'device', 'dots', 'dot', 'upper', 'lower', 'flat',
                                                           'nested', 'lone']))
        self.assertTrue(all(re.fullmatch(r'[\w.%~/\\-]+', name) for name in written), written)
        # Again: every name at the top is in the way; --force writes them all again.
        status, _, err = zebfile('extract', self.arg('odd.cfs'), RUN.arg(out))
        self.assertEqual((status, len(err.splitlines())), (1, len(list(out.iterdir()))))
        self.assertTrue(all(line.endswith(' exists') for line in err.splitlines()), err)
        (out / 'A').write_text('changed')
        self.assertEqual(zebfile('extract', '--force', self.arg('odd.cfs'), RUN.arg(out)), (0, b'', ''))
        self.assertEqual((out / 'A').read_text(), 'upper')
        self.assertEqual(zebfile('extract', SAMPLE, self.arg('sample'))[0], 0)
        self.assertEqual((self.dir / 'sample/%05SummaryInformation').stat().st_size, 372)

    @unittest.skipIf(RUN.wine, 'symbolic links, hard links and the test hook are POSIX-only')
    def test_extract_writes_through_held_directories_and_never_over_what_is_there(self):
        base = self.dir / 'planted'
        outside, out = base / 'outside', base / 'out'
        outside.mkdir(parents=True)
        # S is swapped for a link to the outside right after its first file is made.
        hook = 'if [ "$1" = created ] && [ "$2" = "$OUT/S/s00" ]; then mv "$OUT/S" "$OUT/moved"; ln -s "$AWAY" "$OUT/S"; fi'
        env = {'ZEBFILE_TEST_HOOK': hook, 'OUT': str(out), 'AWAY': str(outside)}
        self.assertEqual(zebfile('extract', self.arg('tree.cfs'), str(out), env=env), (0, b'', ''))
        self.assertEqual((list(outside.iterdir()), len(list((out / 'moved').iterdir()))), ([], 20))
        self.assertEqual((out / 'moved/s19').read_text(), 's19')
        # A hard link to a file outside, a file of the user's, a link to the outside: none is written through.
        victim, mine = base / 'victim', out / 'B'
        victim.write_text('victim')
        shutil.rmtree(out)
        out.mkdir()
        (out / 'A').hardlink_to(victim)
        mine.write_text('mine')
        (out / 'S').symlink_to(outside, target_is_directory=True)
        for force, refused, written in [([], 'ABS', 'C'), (['--force'], 'S', 'ABC')]:
            with self.subTest(force=force):
                status, _, err = zebfile('extract', *force, self.arg('tree.cfs'), str(out))
                self.assertEqual(status, 1)
                self.assertEqual(err, ''.join(f'zebfile: {self.arg("tree.cfs")}: {out}/{name} exists\n'
                                              for name in refused))
                self.assertEqual((victim.read_text(), list(outside.iterdir()), (out / 'S').is_symlink()),
                                 ('victim', [], True))
                self.assertEqual([(out / name).read_text() for name in written], list(written))
        self.assertEqual((out / 'A').stat().st_nlink, 1)

    @unittest.skipIf(RUN.wine, 'the test hook is POSIX-only (and Windows refuses to shrink a mapped file)')
    def test_a_file_that_changes_while_it_is_read_fails_alone(self):
        folder = self.dir / 'changing'
        folder.mkdir()
        files = [str(folder / f'{i}.doc') for i in range(4)]
        for change in ['truncate -s 1024 "$2"', 'printf x | dd of="$2" bs=1 seek=9000 conv=notrunc 2>/dev/null']:
            for args in [['ls', '--json', '--hash', '-j', '4'], ['props', '-j', '4']]:
                with self.subTest(change=change, args=args):
                    for name in files:
                        shutil.copy(Path(ARGS.samples, 'report_en.doc'), name)
                    whole = zebfile(*args, *files)
                    hook = f'if [ "$1" = mapped ] && [ "$2" = {files[1]} ]; then {change}; fi'
                    status, out, err = zebfile(*args, *files, env={'ZEBFILE_TEST_HOOK': hook})
                    self.assertEqual((whole[0], status, err), (0, 1, f'zebfile: {files[1]}: {CHANGED}\n'))
                    others = whole[1].split(b'\n\n' if '--json' not in args else b'\n')
                    self.assertEqual(out.split(b'\n\n' if '--json' not in args else b'\n'), others[:1] + others[2:])
        status, out, err = zebfile('cat', files[1], 'WordDocument', env={'ZEBFILE_TEST_HOOK': 'truncate -s 0 "$2"'})
        self.assertEqual((status, err), (1, f'zebfile: {files[1]}: {CHANGED}\n'))

    @unittest.skipIf(RUN.wine or (os.geteuid() == 0 and not shutil.which('setpriv')),
                     'POSIX permissions; root reads every directory, so the tool runs as nobody through setpriv')
    def test_an_unreadable_directory_under_r_is_an_error(self):
        top = self.dir / 'locked'
        (top / 'closed').mkdir(parents=True)
        shutil.copy(Path(ARGS.samples, 'report_en.doc'), top / 'open.doc')
        self.dir.chmod(0o755)
        (top / 'closed').chmod(0)
        self.addCleanup((top / 'closed').chmod, 0o755)
        nobody = ['setpriv', '--reuid=65534', '--regid=65534', '--clear-groups'] if os.geteuid() == 0 else []
        status, out, err = RUN.run(*nobody, ARGS.zebfile, 'ls', '-r', str(top))
        self.assertEqual((status, err), (1, f'zebfile: {top}/closed: cannot be read: Permission denied\n'))
        self.assertIn(b'WordDocument', out)

    def test_damage_is_shown_by_ls_and_named_by_check(self):
        corpus = [RUN.arg(path) for path in sorted(Path(ARGS.data).glob('*.*')) if path.suffix != '.md']
        regress = [RUN.arg(path) for path in sorted(Path(ARGS.data, 'regress').iterdir())]
        sound = ''.join(f'{name}: ok\n' for name in corpus).encode()
        self.assertEqual(zebfile('check', '-j', '4', *corpus), (0, sound, ''))
        status, out, err = zebfile('check', '-j', '4', *regress, SAMPLE)
        self.assertEqual((status, err), (1, ''))
        lines = out.decode().splitlines()
        self.assertEqual(lines[-1], f'{SAMPLE}: ok')
        for name in regress:  # one line or more per defect, none saying ok
            self.assertTrue([line for line in lines if line.startswith(f'{name}: ')], name)
            self.assertNotIn(f'{name}: ok', lines)
        lines = zebfile('check', '--json', *regress, SAMPLE)[1].splitlines()
        defects = [json.loads(line)['defects'] for line in lines]
        self.assertEqual((len(defects), all(defects[:-1]), defects[-1]), (len(regress) + 1, True, []))
        # A stream that delivers fewer bytes than it declares: shown, and no error for ls.
        short = RUN.arg(Path(ARGS.data, 'regress/stream-chain-loops.cfs'))
        status, out, err = zebfile('ls', short)
        self.assertEqual((status, err), (0, ''))
        self.assertRegex(out.decode(), r'\nbig +9000 \(1024 readable\)\n')
        listing = json.loads(zebfile('ls', '--json', short)[1])
        self.assertEqual([(e['size'], e['readable']) for e in listing['entries'] if e['type'] == 'stream'][-1],
                         (9000, 1024))
        self.assertTrue(all('readable' in e for e in listing['entries'] if e['type'] == 'stream'))
        self.assertEqual(len(listing['defects']), 1)
        self.assertIn("'big'", listing['defects'][0])

    def test_usage_errors_and_help(self):
        for args in [[], ['ls'], ['frobnicate'], ['ls', '-j', '0', 'x'], ['cat', 'x'], ['ls', '--colour', 'x']]:
            status, _, err = zebfile(*args)
            self.assertTrue(status == 2 and err.startswith('zebfile: '), (args, status, err))
        for command in ['ls', 'cat', 'extract', 'props', 'path', 'check']:
            self.assertIn(f'Example: zebfile {command} ', zebfile(command, '--help')[1].decode())


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)

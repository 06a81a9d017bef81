"""The zebfile tool end to end: each command on good, foreign, cut, missing and
odd inputs; many files on many threads; exit statuses; JSON Lines."""
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

import zebrun

ARGS = zebrun.arguments('--samples', '--odd-names')
RUN = zebrun.Runner(ARGS.wrapper)
SAMPLE = os.path.join(ARGS.samples, 'report_en.doc')
SUMMARY_SHA256 = 'e1a2acddf736427d35daf5172db44af72c966bd6507460d7f5fb7196e6798fde'


def zebfile(*args):
    return RUN.run(ARGS.zebfile, *args)


class Cli(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix='zebfile-cli-')
        self.addCleanup(shutil.rmtree, self.dir)
        with open(SAMPLE, 'rb') as f:
            data = f.read()
        for name, content in [('notes.txt', b'plain text, no compound file\n' * 40),
                              ('short.doc', data[:100]), ('half.doc', data[:len(data) // 2])]:
            with open(self.path(name), 'wb') as f:
                f.write(content)
        os.mkdir(self.path('folder'))
        for i in range(12):
            shutil.copy(SAMPLE if i % 3 else os.path.join(ARGS.samples, 'sheet.xls'), self.path(f'folder/{i:02}.doc'))
        shutil.copy(self.path('notes.txt'), self.path('folder/07.doc'))

    def path(self, name):
        return os.path.join(self.dir, name)

    def assertErrorLines(self, err, pairs):
        if RUN.wine:  # files found in a directory are named with Windows separators
            err = err.replace('\\', '/')
        self.assertEqual(err.splitlines(), [f'zebfile: {name}: {reason}' for name, reason in pairs])

    def test_good_file(self):
        cases = [  # arguments, text expected on standard output
            (['ls', SAMPLE], '\\x05SummaryInformation           372\n1Table                          1521\n'),
            (['ls', '--hash', SAMPLE], f'\\x05SummaryInformation           372  {SUMMARY_SHA256}\n'),
            (['props', SAMPLE], 'Title: Quarterly Report\n'),
            (['props', SAMPLE], 'Due: 2026-03-01T12:00:00Z\n'),
            (['props', SAMPLE], 'Reviewed: true\n'),
            (['path', 'C:/Docs/../Reports/q3.doc'],
             'C:\\Reports\\q3.doc\n  root: C:\\\n  directory: C:\\Reports\\\n  name: q3.doc\n  extension: doc\n'
             '  uri: file:///C:/Reports/q3.doc\n'),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                status, out, err = zebfile(*[RUN.arg(a) if a == SAMPLE else a for a in args])
                self.assertEqual((status, err), (0, ''))
                self.assertIn(expected, out.decode())
        # That stream holds no CR LF, which the Wine wrapper's pipe would change.
        status, out, err = zebfile('cat', RUN.arg(SAMPLE), '\\x05SummaryInformation')
        self.assertEqual((status, err, hashlib.sha256(out).hexdigest()), (0, '', SUMMARY_SHA256))
        self.assertEqual(zebfile('cat', RUN.arg(SAMPLE), 'Nothing/There')[2],
                         f'zebfile: {RUN.arg(SAMPLE)}: no stream Nothing/There\n')

    def test_bad_inputs(self):
        reasons = {'notes.txt': 'not a compound file', 'short.doc': 'not a compound file',
                   'missing.doc': 'no such file', 'folder': 'is a directory'}
        for command in ['ls', 'props', 'cat', 'extract']:
            for name, reason in reasons.items():
                with self.subTest(command=command, input=name):
                    target = RUN.arg(self.path(name))
                    extra = {'cat': ['WordDocument'], 'extract': [RUN.arg(self.path('out'))]}.get(command, [])
                    status, out, err = zebfile(command, target, *extra)
                    self.assertEqual((status, out), (1, b''))
                    self.assertTrue(err.startswith(f'zebfile: {target}: {reason}'), err)
                    self.assertEqual(err.count('\n'), 1)

    def test_failures_do_not_stop_the_other_inputs(self):
        names = [RUN.arg(self.path(n)) for n in ['missing.doc', 'notes.txt']]
        status, out, err = zebfile('ls', names[0], RUN.arg(SAMPLE), names[1])
        self.assertEqual(status, 1)
        self.assertIn(b'WordDocument', out)
        self.assertErrorLines(err, [(names[0], 'no such file'), (names[1], 'not a compound file')])

    def test_cut_and_damaged_files_never_crash(self):
        with open(SAMPLE, 'rb') as f:
            data = f.read()
        rng = random.Random(12)
        variants = [self.path('half.doc')]
        for i in range(16):
            damaged = bytearray(data)
            for _ in range(8):
                damaged[rng.randrange(0, len(data) if i % 2 else 1536)] = rng.randrange(256)
            variants.append(self.path(f'damaged{i}.doc'))
            with open(variants[-1], 'wb') as f:
                f.write(damaged)
        for name in variants:
            for args in [['ls', '--json', '--hash'], ['props', '--json']]:
                with self.subTest(input=name, args=args):
                    status, out, err = zebfile(*args, RUN.arg(name))
                    self.assertIn(status, (0, 1), err)
                    self.assertEqual(len(err.splitlines()), status, err)
                    self.assertTrue(status == 1 or json.loads(out)['file'])

    def test_many_files_keep_their_order_on_any_number_of_threads(self):
        folder = RUN.arg(self.path('folder'))
        for args in [['ls', '--json', '--hash'], ['props'], ['ls']]:
            with self.subTest(args=args):
                one = zebfile(*args, '-r', '-j', '1', folder, RUN.arg(SAMPLE))
                four = zebfile(*args, '-r', '-j', '4', folder, RUN.arg(SAMPLE))
                self.assertEqual(one, four)
                self.assertEqual(one[0], 1)
                self.assertErrorLines(one[2], [(RUN.arg(self.path('folder/07.doc')), 'not a compound file')])
        status, out, _ = zebfile('ls', '--json', '-r', '-j', '4', folder)
        self.assertEqual([json.loads(line)['file'][-6:] for line in out.splitlines()],
                         [f'{i:02}.doc' for i in range(12) if i != 7])

    def test_json_lines_are_json(self):
        for args in [['ls', '--json', '--hash'], ['props', '--json']]:
            with self.subTest(args=args):
                status, out, _ = zebfile(*args, '-r', RUN.arg(self.path('folder')), RUN.arg(SAMPLE))
                check = subprocess.run([sys.executable, '-m', 'json.tool', '--json-lines'], input=out,
                                       capture_output=True)
                self.assertEqual((status, check.returncode, out.count(b'\n')), (1, 0, 12), check.stderr)
        _, out, _ = zebfile('props', '--json', RUN.arg(SAMPLE))
        props = json.loads(out)['properties']
        self.assertEqual((props['Title'], props['Reviewed'], props['Amount']), ('Quarterly Report', True, 1234.5))

    def test_extract_writes_nothing_outside_its_directory(self):
        odd = self.path('odd.cfs')
        self.assertEqual(RUN.run(ARGS.odd_names, RUN.arg(odd))[0], 0)
        # Deep enough that a name climbing out would land in the test's directory.
        target = self.path('deep/er/out')
        before = set(os.listdir(self.dir))
        status, out, err = zebfile('extract', RUN.arg(odd), RUN.arg(target))
        self.assertEqual((status, out, err), (0, b'', ''))
        self.assertEqual(set(os.listdir(self.dir)) - before, {'deep'})
        self.assertEqual(os.listdir(self.path('deep/er')), ['out'])
        written = {}
        for root, _, files in os.walk(target):
            for name in files:
                with open(os.path.join(root, name)) as f:
                    written[os.path.relpath(os.path.join(root, name), target)] = f.read()
        self.assertEqual(sorted(written.values()), sorted(['parent', 'slash', 'backslash', 'absolute', 'drive',
                                                           'control', 'device', 'dots', 'dot', 'upper', 'lower']))
        for name in written:
            self.assertRegex(name, r'^[\w.%~/\\-]+$')
        status, _, _ = zebfile('extract', RUN.arg(SAMPLE), RUN.arg(self.path('sample')))
        self.assertEqual(os.path.getsize(self.path('sample/%05SummaryInformation')), 372)

    def test_cat_reads_names_as_ls_shows_them(self):
        odd = self.path('odd.cfs')
        RUN.run(ARGS.odd_names, RUN.arg(odd))
        listing = zebfile('ls', RUN.arg(odd))[1].decode()
        for shown, content in [('../..\\x2F..\\x2Fescape', 'slash'), ('..\\\\..\\\\escape', 'backslash'),
                               ('\\x2Fetc\\x2Fpasswd', 'absolute'), ('\\x05Ctl\\x01\\x1F', 'control'),
                               ('C:\\\\evil', 'drive'), ('/A', 'upper'), ('a', 'lower'), ('\\u0061', 'lower')]:
            with self.subTest(stream=shown):
                self.assertEqual(zebfile('cat', RUN.arg(odd), shown), (0, content.encode(), ''))
                if '\\u' not in shown:
                    self.assertIn(shown.split('/')[-1] + ' ', listing)

    def test_usage_errors_and_help(self):
        for args in [[], ['ls'], ['frobnicate'], ['ls', '-j', '0', 'x'], ['cat', 'x'], ['ls', '--colour', 'x']]:
            with self.subTest(args=args):
                status, out, err = zebfile(*args)
                self.assertEqual(status, 2, err)
                self.assertTrue(err.startswith('zebfile: '), err)
        for command in ['ls', 'cat', 'extract', 'props', 'path']:
            with self.subTest(command=command):
                self.assertIn(f'Example: zebfile {command} ', zebfile(command, '--help')[1].decode())


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)

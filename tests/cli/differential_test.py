"""zebfile against two other readers: for every file of tests/data, the entries,
sizes and SHA-256 digests olefile reported, and the properties libgsf reported,
under the name mapping of tests/data/expected (see tests/data/README.md)."""
import json
import os
import sys
from pathlib import Path

import zebrun

ARGS = zebrun.arguments('--data')
RUN = zebrun.Runner(ARGS.wrapper)
# libgsf's names of the properties the library files under its own names.
MAPPED = {'dc:title': 'Title', 'dc:subject': 'Subject', 'dc:creator': 'Author', 'dc:keywords': 'Keywords',
          'dc:description': 'Comments', 'gsf:last-saved-by': 'LastAuthor', 'meta:creation-date': 'CreationDate',
          'dc:date': 'ModificationDate', 'meta:template': 'TemplateDocument', 'meta:generator': 'Application',
          'gsf:page-count': 'NumberOfPages', 'gsf:word-count': 'NumberOfWords', 'gsf:security': 'DocumentSecurity'}
# Compared when both readers report them: libgsf also prints dates it could not read.
OPTIONAL = {'meta:editing-cycles': 'RevisionNumber', 'gsf:last-printed': 'LastPrintedDate'}
WELL_KNOWN = set(MAPPED.values()) | set(OPTIONAL.values()) | set(
    'Category Company Manager PresentationTarget TitleOfParts NumberOfBytes NumberOfCharacters NumberOfHiddenSlides '
    'NumberOfLines NumberOfMultimediaClips NumberOfNotes NumberOfParagraphs NumberOfSlides'.split())


def same_value(ours, theirs):
    if isinstance(ours, bool):
        return theirs.upper() == str(ours).upper()
    return abs(float(theirs) - ours) < 1e-9 if isinstance(ours, (int, float)) else ours == theirs


def property_problems(ours, theirs):
    problems = []
    for name, value in theirs.items():
        mine = MAPPED.get(name) or OPTIONAL.get(name) or (None if ':' in name else name)
        if mine is None or (name in OPTIONAL and mine not in ours) or (value < '1970' and mine.endswith('Date')):
            continue
        # Of user-defined names equal ignoring case only the first is kept.
        twins = [n for n in theirs if ':' not in n and n.lower() == name.lower()]
        if len(twins) > 1 and mine not in ours and any(t in ours for t in twins):
            continue
        if mine not in ours or not same_value(ours[mine], value):
            problems.append(f'{mine}: {ours.get(mine)!r}, the other reader {name}: {value!r}')
    known = {n.lower() for n in theirs if ':' not in n} | {n.lower() for n in WELL_KNOWN}
    problems += [f'{n}: not reported by the other reader' for n in ours if n.lower() not in known]
    return problems


def read_lines(command, files):
    status, out, err = RUN.run(ARGS.zebfile, *command, '-j', '2', *[RUN.arg(f) for f in files])
    if status != 0:
        sys.exit(f'zebfile {" ".join(command)} failed ({status}): {err}')
    return {os.path.basename(line['file']): line for line in map(json.loads, out.splitlines())}


def main():
    expected = {p.stem: json.loads(p.read_text('utf-8')) for p in sorted(Path(ARGS.data, 'expected').glob('*.json'))}
    files = [Path(ARGS.data, name) for name in expected]
    listings, properties = (read_lines(command, files) for command in (['ls', '--json', '--hash'], ['props', '--json']))
    failed = 0
    for name, other in expected.items():
        entries = sorted([e['path'], e['type']] + ([e['size'], e['sha256']] if e['type'] == 'stream' else [])
                         for e in listings[name]['entries'])
        problems = [] if entries == sorted(other['entries']) else [
            f'entries differ: only ours {[e for e in entries if e not in other["entries"]]}, '
            f'only theirs {[e for e in other["entries"] if e not in entries]}']
        problems += property_problems(properties[name]['properties'], other['gsf_props'])
        print(f'{"FAILED" if problems else "ok"}: {name}' + ''.join(f'\n  {p}' for p in problems))
        failed += bool(problems)
    print(f'{len(expected) - failed} passed, {failed} failed')
    return 1 if failed or not expected else 0


if __name__ == '__main__':
    sys.exit(main())

"""Runs zebfile (and the test helper programs) natively or, for the Windows
build, through the Wine wrapper given with --wrapper."""
import argparse
import os
import subprocess


class Runner:
    def __init__(self, wrapper):
        self.wrapper, self.wine = list(wrapper), bool(wrapper)

    def arg(self, path):
        """A host path as the program sees it (Wine shows the host's root as Z:)."""
        return ('Z:' if self.wine else '') + os.path.abspath(path)

    def run(self, program, *args, timeout=120, env=None):
        """Exit status, standard output (bytes), standard error (text, line ends as on POSIX); `env` is added to
        the environment."""
        done = subprocess.run(self.wrapper + [program, *args], stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=timeout, env=dict(os.environ, **(env or {})))
        return done.returncode, done.stdout, done.stderr.decode('utf-8', 'replace').replace('\r\n', '\n')


def arguments(*extra):
    parser = argparse.ArgumentParser()
    parser.add_argument('--zebfile', required=True)
    parser.add_argument('--wrapper', action='append', default=[])
    for name in extra:
        parser.add_argument(name, required=True)
    return parser.parse_args()

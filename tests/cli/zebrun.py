"""Runs zebfile (and the test helper programs) natively or, for the Windows
build, through the Wine wrapper given with --wrapper."""
import argparse
import contextlib
import os
import subprocess
import threading


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


@contextlib.contextmanager
def pausing(folder, act):
    """Serves zebfile's pause points (ZEBFILE_TEST_PAUSE) through a FIFO in `folder`: act(point, path) runs
    while the tool waits. Gives the environment to run the tool with."""
    fifo = os.path.join(folder, 'pause')
    os.mkfifo(fifo)
    done = threading.Event()

    def serve():
        while True:
            with open(fifo) as reader:
                line = reader.readline()
            if done.is_set():
                return
            point, _, path = line.rstrip('\n').partition('\t')
            act(point, path)
            with open(fifo, 'w') as writer:
                writer.write('go\n')

    server = threading.Thread(target=serve, daemon=True)
    server.start()
    try:
        yield {'ZEBFILE_TEST_PAUSE': fifo}
    finally:
        done.set()
        with open(fifo, 'w') as wake:
            wake.write('\n')
        server.join(10)
        os.unlink(fifo)


def arguments(*extra):
    parser = argparse.ArgumentParser()
    parser.add_argument('--zebfile', required=True)
    parser.add_argument('--wrapper', action='append', default=[])
    for name in extra:
        parser.add_argument(name, required=True)
    return parser.parse_args()

# SPDX-License-Identifier: GPL-3.0-or-later
"""The pieces of one benchmark run: a virtual X server or a headless Wayland compositor, the
simulated device and the program."""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

SETTINGS_FILE = ("SolvaneTerm", "Solvane's Terminal V3.07.conf")

# Variables that would change what is measured: another platform plugin, a filtered or
# reformatted debug log, a different GL set-up.
_DROPPED = ('QT_QPA_PLATFORM', 'QT_LOGGING_RULES', 'QT_MESSAGE_PATTERN', 'QT_XCB_GL_INTEGRATION',
            'QT_LOGGING_TO_CONSOLE', 'QT_FORCE_STDERR_LOGGING', 'WAYLAND_DISPLAY', 'LD_PRELOAD')


class BenchError(Exception):
    pass


class Unavailable(BenchError):
    """What the run needs is not installed here: a reason to skip, not a failure."""


def quit_signals_as_default():
    """For the program's process: a signal ignored where the run was started (SIGINT in a
    background job, SIGHUP under nohup) stays ignored by the program, as it should, and would
    keep it from quitting when the run sends it."""
    for number in (signal.SIGINT, signal.SIGHUP, signal.SIGTERM):
        signal.signal(number, signal.SIG_DFL)


def stop_process(process, timeout=5):
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class XServer:
    """Xvfb on the first free display, with no window manager."""

    def __init__(self):
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x1024x24',
                 '-nolisten', 'tcp', '-noreset'],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
        except FileNotFoundError:
            raise BenchError('Xvfb is missing: run scripts/bootstrap') from None
        os.close(write_end)
        number = b''
        with os.fdopen(read_end, 'rb') as pipe:
            while not number.endswith(b'\n'):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            stop_process(self.process)
            raise BenchError('Xvfb did not start')
        self.display = ':' + number.decode().strip()
        self.environment = {'DISPLAY': self.display}

    def close(self):
        stop_process(self.process)


class Weston:
    """A headless Weston with a runtime folder of its own; programs find it by its socket's path,
    with nothing that would let the toolkit fall back to X."""

    SOCKET = 'solvane-wayland'

    def __init__(self, workdir, timeout=20):
        self.display = None
        if not shutil.which('weston'):
            raise Unavailable('weston is missing')
        runtime = tempfile.mkdtemp(prefix='weston.', dir=workdir)  # mode 0700, as Weston wants
        self.log_path = os.path.join(runtime, 'weston.log')
        path = os.path.join(runtime, self.SOCKET)
        environment = {k: v for k, v in os.environ.items()
                       if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'WAYLAND_SOCKET')}
        environment['XDG_RUNTIME_DIR'] = runtime
        self.process = subprocess.Popen(
            ['weston', '--backend=headless-backend.so', '--socket=' + self.SOCKET,
             '--idle-time=0', '--log=' + self.log_path],
            env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + timeout
        while not self._accepts(path):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.close()
                raise BenchError('Weston did not start: ' + self.log_tail())
            time.sleep(0.05)
        # The toolkit needs no input method, and one version crashes looking for it where the
        # compositor has no keyboard.
        self.environment = {'WAYLAND_DISPLAY': path, 'QT_QPA_PLATFORM': 'wayland',
                            'QT_IM_MODULE': 'none'}

    @staticmethod
    def _accepts(path):
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
            try:
                probe.connect(path)
            except OSError:
                return False
        return True

    def log_tail(self, length=500):
        try:
            with open(self.log_path, errors='replace') as log:
                return log.read()[-length:]
        except OSError:
            return '(no log)'

    def close(self):
        stop_process(self.process)


class LineWatcher:
    """Reads a child's output in a thread and keeps every line with the time it arrived."""

    def __init__(self, stream):
        self.lines = []
        self.condition = threading.Condition()
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for raw in stream:
            line = raw.decode(errors='replace').rstrip('\n')
            with self.condition:
                self.lines.append((time.monotonic(), line))
                self.condition.notify_all()
        with self.condition:
            self.lines.append((time.monotonic(), None))
            self.condition.notify_all()

    def wait_for(self, accept, timeout, start=0):
        """The time and text of the first line from index start that accept() takes, or None."""
        deadline = time.monotonic() + timeout
        checked = start
        with self.condition:
            while True:
                for stamp, line in self.lines[checked:]:
                    if line is None:
                        return None
                    if accept(line):
                        return stamp, line
                checked = len(self.lines)
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.condition.wait(left)


class Simulator:
    """solvane-sim with one device, driven through its standard input."""

    NAME = 'bench'

    def __init__(self, executable, workdir):
        self.list_file = os.path.join(workdir, 'devices.list')
        self.process = subprocess.Popen(
            [executable, '--device', f'{self.NAME}=04d8:000a', '--list-file', self.list_file],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.output = LineWatcher(self.process.stdout)
        self.since = 0
        if not self.output.wait_for(lambda line: line.endswith(' plugged'), 10):
            self.close()
            raise BenchError('the simulator did not plug its device in')

    def command(self, text):
        self.process.stdin.write(text.encode() + b'\n')
        self.process.stdin.flush()

    def wait_for(self, suffix, timeout):
        """The first line since the last mark() that names the device and holds suffix."""
        return self.output.wait_for(
            lambda line: line.startswith(self.NAME + ' ') and suffix in line, timeout,
            self.since)

    def mark(self):
        """Later waits look only at lines that come after this moment."""
        self.since = len(self.output.lines)

    def close(self):
        if self.process.poll() is None:
            try:
                self.command('quit')
                self.process.wait(5)
            except (OSError, subprocess.TimeoutExpired):
                pass
        stop_process(self.process)


def program_environment(server, workdir, fakeudev, device_list, hex_view, extra=None,
                        time_stamps=False, settings=()):
    """The environment of one program run under server (an XServer or a Weston); it also writes
    the program's settings file, with the lines in settings added to its [General] group."""
    config = os.path.join(workdir, 'config')
    settings_dir = os.path.join(config, SETTINGS_FILE[0])
    os.makedirs(settings_dir, exist_ok=True)
    with open(os.path.join(settings_dir, SETTINGS_FILE[1]), 'w') as stored:
        stored.write('[General]\nisHexamode=%s\n' % ('true' if hex_view else 'false'))
        if time_stamps:
            stored.write('timestamps=true\n')
        for line in settings:
            stored.write(line + '\n')
    runtime = os.path.join(workdir, 'runtime')
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    environment = {k: v for k, v in os.environ.items() if k not in _DROPPED + ('DISPLAY',)}
    # A sanitizer build insists on its runtime coming first, ahead of the preloaded library;
    # other builds ignore the variable.
    asan = environment.get('ASAN_OPTIONS')
    environment.update(server.environment)
    environment.update(XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=runtime,
                       LD_PRELOAD=fakeudev, SOLVANE_SIM_DEVICES=device_list,
                       ASAN_OPTIONS=(asan + ':' if asan else '') + 'verify_asan_link_order=0')
    environment.update(extra or {})
    return environment

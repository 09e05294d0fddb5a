# SPDX-License-Identifier: GPL-3.0-or-later
"""The program's debug log as a record of what it has handled.

Every block the program takes in appears on its standard error as one line,
    SolvaneTerm::readComm() :  "<the bytes, escaped the way QDebug escapes a byte array>"
so the log, decoded, is the received stream as far as the program has handled it. The
benchmark ends each stream with a unique marker and watches the log for it: the moment the
marker shows up is the moment the program has handled every byte, however much of it the serial
port module was still holding when the sender finished.
"""

import codecs

PREFIX = b'SolvaneTerm::readComm() :  "'


def decode_line(line):
    """The bytes of one receive line, or None for any other line."""
    if not line.startswith(PREFIX) or not line.endswith(b'"'):
        return None
    escaped = line[len(PREFIX):-1]
    # QDebug writes "" after a \xHH escape that a hex digit follows, so that the digit is not
    # read as part of the escape. A quote in the data is always \", so "" is never anything else.
    escaped = escaped.replace(b'""', b'')
    return codecs.escape_decode(escaped)[0]


def decode_log(path):
    """Every byte the program reports having handled, in order."""
    with open(path, 'rb') as log:
        return b''.join(decoded for decoded in map(decode_line, log.read().split(b'\n'))
                        if decoded is not None)


class MarkerWatch:
    """Follows a growing log and tells when the handled stream ends with the marker."""

    def __init__(self, path, marker):
        self.log = open(path, 'rb')
        self.marker = marker
        self.partial = b''
        self.recent = []

    def close(self):
        self.log.close()

    def found(self):
        data = self.log.read()
        if not data:
            return False
        lines = (self.partial + data).split(b'\n')
        self.partial = lines.pop()
        for line in lines:
            if line.startswith(PREFIX):
                self.recent.append(line)
        # The marker may be split across blocks, but a handful of the latest ones hold it.
        del self.recent[:-8]
        tail = b''
        for line in reversed(self.recent):
            tail = (decode_line(line) or b'') + tail
            if len(tail) >= len(self.marker):
                break
        return tail.endswith(self.marker)

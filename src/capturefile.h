// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CAPTUREFILE_H
#define CAPTUREFILE_H

#include <QByteArray>
#include <QString>

enum class CaptureFileResult { Written, NotOpened, NotWritten };

// Writes a capture under the name the user chose. A regular file is replaced only once the new
// capture is complete, so a failed write leaves the old one as it was; where it cannot be
// replaced (its folder is not writable) it is rewritten in place. Whatever else the name stands
// for, a FIFO or a device node, gets the bytes written into it. A write past the process's
// file-size limit, or into a FIFO whose reader has quit, fails like any other write.
CaptureFileResult writeCaptureFile(const QString &fileName, const QByteArray &bytes);

#endif // CAPTUREFILE_H

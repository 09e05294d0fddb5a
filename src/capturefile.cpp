// SPDX-License-Identifier: GPL-3.0-or-later
#include "capturefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QIODevice::OpenMode captureMode = QIODevice::WriteOnly | QIODevice::Text;

// The default actions of SIGXFSZ, raised by a write past the file-size limit, and of SIGPIPE,
// raised by a write into a FIFO whose reader has gone, end the program; ignored, they let that
// write fail (EFBIG, EPIPE) like any other.
class SignalIgnored
{
    Q_DISABLE_COPY(SignalIgnored)

public:
    explicit SignalIgnored(int signalNumber)
        : signalNumber(signalNumber)
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        installed = sigaction(signalNumber, &ignore, &previous) == 0;
    }

    ~SignalIgnored()
    {
        if (installed)
            sigaction(signalNumber, &previous, nullptr);
    }

private:
    int signalNumber;
    struct sigaction previous = {};
    bool installed = false;
};

bool writeAll(QFileDevice &file, const QByteArray &bytes)
{
    // A short capture sits in the buffer until flushed; a failure there must be seen before a
    // commit renames the partial file over the old one.
    return file.write(bytes) == bytes.size() && file.flush();
}

CaptureFileResult writeInPlace(const QString &fileName, const QByteArray &bytes)
{
    // Opened without waiting: a FIFO that nobody reads would otherwise hold the window until
    // someone does. Once open, writes may wait for the reader as usual.
    const int fd
        = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return CaptureFileResult::NotOpened;
    const int flags = ::fcntl(fd, F_GETFL);
    QFile file;
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0
        || !file.open(fd, captureMode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return CaptureFileResult::NotOpened;
    }
    const bool written = writeAll(file, bytes);
    file.close();
    return written && file.error() == QFileDevice::NoError ? CaptureFileResult::Written
                                                           : CaptureFileResult::NotWritten;
}

} // namespace

CaptureFileResult writeCaptureFile(const QString &fileName, const QByteArray &bytes)
{
    const SignalIgnored fileSizeSignal(SIGXFSZ);
    const SignalIgnored brokenPipeSignal(SIGPIPE);

    const QFileInfo target(fileName);
    // Replacing a FIFO or a device node would put a plain file in its place.
    if (target.exists() && !target.isFile() && !target.isDir())
        return writeInPlace(fileName, bytes);

    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (!file.open(captureMode))
        return CaptureFileResult::NotOpened;
    if (!writeAll(file, bytes) || !file.commit()) {
        file.cancelWriting();
        return CaptureFileResult::NotWritten;
    }
    return CaptureFileResult::Written;
}

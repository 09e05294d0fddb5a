// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Collects the messages of one type (debug lines by default) written while it is alive, so a
// test can check the program's developer log. Messages of other types go on to the handler that
// was installed before, so QTest still sees warnings. Captures may nest; each restores the
// previous handler when it is destroyed, so destroy them in reverse order of creation.
class LogCapture
{
    Q_DISABLE_COPY(LogCapture)

public:
    explicit LogCapture(QtMsgType type = QtDebugMsg);
    ~LogCapture();

    // Each entry is one whole message as the program wrote it, without the message pattern.
    QStringList lines() const;
    void clear();

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    const QtMsgType type;
    mutable QMutex mutex;
    QStringList captured;
    LogCapture *outer = nullptr;
    QtMessageHandler previous = nullptr;
};

#endif // LOGCAPTURE_H

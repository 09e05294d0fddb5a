// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds blocks through the window's receive path (terminal view and hex view) the way a device
// streaming for a long time would, and prints the time per receive as the content grows.
//
//   bench_receive [block-bytes] [total-megabytes] [text|binary] [stamps]
//
// Defaults: 4096-byte blocks, 100 MB, text, no time stamps in the terminal view. The debug log is
// discarded, as it is when nobody watches the standard error stream, but it is still formatted.

#include "device/serialport_.h"
#include "hexview/hexview.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <sys/resource.h>

namespace {

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) { }

long peakResidentMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

QByteArray makeBlock(int size, bool binary, quint32 seed)
{
    QByteArray block(size, '\0');
    QRandomGenerator random(seed);
    if (binary) {
        for (char &byte : block)
            byte = static_cast<char>(random.bounded(256));
        return block;
    }
    static const char line[] = "sensor 17: temperature 21.5 C, humidity 48 %, status OK\r\n";
    const int lineLength = int(sizeof line) - 1;
    for (int i = 0; i < size; ++i)
        block[i] = line[(i + int(seed)) % lineLength];
    return block;
}

} // namespace

int main(int argc, char **argv)
{
    TempConfig config;
    QApplication app(argc, argv);
    const int blockSize = argc > 1 ? QByteArray(argv[1]).toInt() : 4096;
    const int totalMegabytes = argc > 2 ? QByteArray(argv[2]).toInt() : 100;
    bool binary = false;
    bool stamps = false;
    bool known = true;
    for (int i = 3; i < argc; ++i) {
        const QByteArray word(argv[i]);
        binary = binary || word == "binary";
        stamps = stamps || word == "stamps";
        known = known && (word == "binary" || word == "text" || word == "stamps");
    }
    if (blockSize <= 0 || totalMegabytes <= 0 || !known) {
        std::fprintf(
            stderr, "usage: %s [block-bytes] [total-megabytes] [text|binary] [stamps]\n", argv[0]);
        return 2;
    }

    SolvaneTerm window;
    SolvaneTermTestAccess access(window);
    access.connectionTimer()->stop();
    window.show();
    // A port that is never opened: the receive path only reads its queue.
    SerialPort port;
    access.setSerialPort(&port);
    access.termView()->setTimeStamps(stamps);
    access.termView()->setEnabled(true);
    access.termView()->show();
    access.hexEdit()->setEnabled(true);
    access.hexEdit()->show();
    QCoreApplication::processEvents();

    qInstallMessageHandler(discardMessages);

    const QByteArray blocks[2] = {makeBlock(blockSize, binary, 1), makeBlock(blockSize, binary, 7)};
    const qint64 megabyte = 1024 * 1024;
    const qint64 checkpoints[] = {1, 10, 50, 100, 200, 500};
    const int sampleReceives = qMax(64, int(megabyte / 2 / blockSize));

    std::printf("block %d bytes, %s%s, up to %d MB\n", blockSize, binary ? "binary" : "text",
        stamps ? ", time stamps" : "", totalMegabytes);
    std::printf("%10s %18s %22s %16s %14s\n", "received", "us per receive", "us with repaint each",
        "slowest ms", "peak RSS MB");

    qint64 received = 0;
    int n = 0;
    // The slowest single receive since the last checkpoint: where the terminal view drops its
    // oldest lines, that receive pays for it.
    qint64 slowestNs = 0;
    const auto receive = [&] {
        QElapsedTimer one;
        one.start();
        for (const unsigned char byte : blocks[n++ & 1])
            port.receiveQueue.append(byte);
        access.readComm();
        received += blockSize;
        slowestNs = qMax(slowestNs, one.nsecsElapsed());
    };
    QElapsedTimer total;
    total.start();
    for (const qint64 checkpoint : checkpoints) {
        if (checkpoint > totalMegabytes)
            break;
        const qint64 target = checkpoint * megabyte;
        while (received + 2 * qint64(sampleReceives) * blockSize < target) {
            receive();
            if ((n & 63) == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        // The handler alone, back to back, as when blocks arrive faster than the screen repaints.
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < sampleReceives; ++i)
            receive();
        const double handlerOnly = double(clock.nsecsElapsed()) / 1000.0 / sampleReceives;
        QCoreApplication::processEvents();
        // Each receive followed by the repaints and layout work it causes.
        clock.restart();
        for (int i = 0; i < sampleReceives; ++i) {
            receive();
            QCoreApplication::processEvents();
        }
        const double withRepaint = double(clock.nsecsElapsed()) / 1000.0 / sampleReceives;
        std::printf("%7lld MB %18.1f %22.1f %16.1f %14ld\n",
            static_cast<long long>(received / megabyte), handlerOnly, withRepaint,
            double(slowestNs) / 1e6, peakResidentMegabytes());
        slowestNs = 0;
        std::fflush(stdout);
    }
    std::printf("hex view holds %lld bytes; total %.1f s\n",
        static_cast<long long>(access.hexEdit()->data().size()), double(total.elapsed()) / 1000.0);

    access.setSerialPort(nullptr);
    qInstallMessageHandler(nullptr);
    return 0;
}

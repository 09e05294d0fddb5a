// SPDX-License-Identifier: GPL-3.0-or-later
// The hex view's cost as the data it holds grows: with the hex view shown in the window, at
// each size, the time of one full repaint of the hex view and of one receive of a 4 KB block
// through the window's receive path (the handler and the repaints it causes), each the median
// of many samples in wall time and in the thread's CPU time, which other processes on a busy
// machine disturb less. Then, with the hex view emptied, 1 GB appended to it in 4 KB blocks,
// as the window appends them: the slowest single append, which is one that drops the oldest
// bytes past the history limit, the slowest of those that drop nothing, and the resident memory
// per kept byte at the end. Ends with the wall and CPU time of the whole run, read from /proc.
//
//   bench_hexview [megabytes ...]          default: 1 16 64 256

#include "device/serialport_.h"
#include "hexview/hexview.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

// A little over the window's shortest time between two repaints.
constexpr int frameMilliseconds = 17;

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) { }

double cpuSecondsFromProc()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // Fields 14 and 15, user and system time in clock ticks, follow the command name, which is
    // in parentheses and may hold spaces.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong())
        / double(sysconf(_SC_CLK_TCK));
}

// A field of /proc/self/status in bytes, 0 when missing.
qint64 statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

// Starts the peak resident memory (VmHWM) over from what is resident now.
void resetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

qint64 threadCpuNanoseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Wall and CPU time of repeated runs of one operation.
struct Samples
{
    std::vector<qint64> wall;
    std::vector<qint64> cpu;

    template<typename Operation> void take(Operation operation)
    {
        QElapsedTimer clock;
        const qint64 cpuBefore = threadCpuNanoseconds();
        clock.start();
        operation();
        wall.push_back(clock.nsecsElapsed());
        cpu.push_back(threadCpuNanoseconds() - cpuBefore);
    }
};

double medianMicroseconds(std::vector<qint64> &nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return double(nanoseconds[nanoseconds.size() / 2]) / 1000.0;
}

QByteArray textBlock(int size, int phase)
{
    static const char line[] = "sensor 17: temperature 21.5 C, humidity 48 %, status OK\r\n";
    const int lineLength = int(sizeof line) - 1;
    QByteArray block(size, '\0');
    for (int i = 0; i < size; ++i)
        block[i] = line[(i + phase) % lineLength];
    return block;
}

} // namespace

int main(int argc, char **argv)
{
    TempConfig config;
    QApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {1, 16, 64, 256};
    std::sort(sizes.begin(), sizes.end());
    if (sizes.first() <= 0) {
        std::fprintf(stderr, "usage: %s [megabytes ...]\n", argv[0]);
        return 2;
    }

    QElapsedTimer wall;
    wall.start();
    const double cpuAtStart = cpuSecondsFromProc();

    SolvaneTerm window;
    SolvaneTermTestAccess access(window);
    access.connectionTimer()->stop();
    window.resize(1000, 800);
    window.show();
    // A port that is never opened: the receive path only reads its queue.
    SerialPort port;
    access.setSerialPort(&port);
    access.termView()->setEnabled(true);
    access.termView()->show();
    access.ui().actionHexa_Mode->setChecked(true);
    HexView *hex = access.hexEdit();
    hex->setEnabled(true);
    hex->show();
    // Repaints reach the screen only once the window is exposed.
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was never exposed\n");
        return 1;
    }
    qInstallMessageHandler(discardMessages);

    const int blockSize = 4096;
    const QByteArray blocks[2] = {textBlock(blockSize, 1), textBlock(blockSize, 7)};
    const QByteArray filler = textBlock(4 << 20, 3);
    const int samples = 200;
    const qint64 megabyte = 1 << 20;

    std::printf("hex viewport %dx%d\n", hex->viewport()->width(), hex->viewport()->height());
    std::printf("%8s %28s %28s\n", "", "one full repaint, us", "one 4 KB receive, us");
    std::printf("%8s %14s %13s %14s %13s\n", "held", "wall", "CPU", "wall", "CPU");
    int n = 0;
    for (const int size : sizes) {
        const qint64 target = size * megabyte;
        // The view never holds more.
        if (target > hex->historyLimit()) {
            std::printf("%5d MB: past the history limit\n", size);
            continue;
        }
        // Most of the way in big blocks, the rest as the measured receives bring it.
        while (hex->data().size() + filler.size() + qint64(samples) * blockSize <= target)
            hex->appendData(filler);
        const qint64 rest = target - hex->data().size() - qint64(samples) * blockSize;
        if (rest > 0)
            hex->appendData(filler.left(int(rest)));
        hex->verticalScrollBar()->setValue(hex->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();

        // The window repaints at most once a frame; each sample waits a frame first, untimed, so
        // that the repaint it causes happens within it.
        Samples receives;
        for (int i = 0; i < samples; ++i) {
            for (const unsigned char byte : blocks[n++ & 1])
                port.receiveQueue.append(byte);
            QThread::msleep(frameMilliseconds);
            receives.take([&] {
                access.readComm();
                QCoreApplication::processEvents();
            });
        }

        // The painting widget itself: a repaint of the viewport alone leaves its child be.
        Samples repaints;
        for (int i = 0; i < samples; ++i) {
            QThread::msleep(frameMilliseconds);
            repaints.take([&] { hex->widget()->repaint(); });
        }

        std::printf("%5lld MB %14.1f %13.1f %14.1f %13.1f\n",
            static_cast<long long>(hex->data().size() / megabyte),
            medianMicroseconds(repaints.wall), medianMicroseconds(repaints.cpu),
            medianMicroseconds(receives.wall), medianMicroseconds(receives.cpu));
        std::fflush(stdout);
    }

    {
        QScrollBar *bar = hex->verticalScrollBar();
        hex->setData(QByteArray());
        QCoreApplication::processEvents();
        resetPeakResident();
        const qint64 residentBefore = statusBytes("VmRSS:");
        const qint64 peakBefore = statusBytes("VmHWM:");
        const qint64 through = 1024 * megabyte;
        Samples dropping;
        Samples keeping;
        for (qint64 appended = 0; appended < through; appended += blockSize) {
            const int heldBefore = hex->data().size();
            Samples one;
            one.take([&] {
                hex->appendData(blocks[n++ & 1]);
                bar->setValue(bar->maximum());
            });
            Samples &kind = hex->data().size() < heldBefore + blockSize ? dropping : keeping;
            kind.wall.push_back(one.wall.front());
            kind.cpu.push_back(one.cpu.front());
            if ((appended / blockSize) % 256 == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        const qint64 held = hex->data().size();
        const qint64 resident = statusBytes("VmRSS:") - residentBefore;
        const qint64 peak = statusBytes("VmHWM:") - peakBefore;
        const auto slowest = [](const std::vector<qint64> &nanoseconds) {
            return nanoseconds.empty()
                ? 0.0
                : double(*std::max_element(nanoseconds.begin(), nanoseconds.end())) / 1000.0;
        };

        std::printf("\n%lld MB appended in %d-byte blocks, history limit %d MB, %lld MB held\n",
            static_cast<long long>(through / megabyte), blockSize,
            hex->historyLimit() / int(megabyte), static_cast<long long>(held / megabyte));
        std::printf("%-40s %12s %12s\n", "one append, us", "wall", "CPU");
        std::printf("%-40s %12.1f %12.1f\n",
            qPrintable(QString("slowest of %1 that drop old bytes").arg(dropping.wall.size())),
            slowest(dropping.wall), slowest(dropping.cpu));
        std::printf("%-40s %12.1f %12.1f\n",
            qPrintable(QString("slowest of %1 that drop none").arg(keeping.wall.size())),
            slowest(keeping.wall), slowest(keeping.cpu));
        std::printf("%-40s %12.1f %12.1f\n", "median of those that drop none",
            medianMicroseconds(keeping.wall), medianMicroseconds(keeping.cpu));
        std::printf("resident memory over the empty view: %.1f MB now, %.1f MB at the peak; "
                    "%.3f and %.3f bytes per kept byte\n",
            double(resident) / double(megabyte), double(peak) / double(megabyte),
            double(resident) / double(held), double(peak) / double(held));
        std::fflush(stdout);
    }

    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpuSecondsFromProc() - cpuAtStart;
    std::printf("whole run: %.1f s wall, %.1f s CPU (/proc), %.0f %% CPU\n", seconds, cpu,
        100.0 * cpu / seconds);

    access.setSerialPort(nullptr);
    qInstallMessageHandler(nullptr);
    return 0;
}

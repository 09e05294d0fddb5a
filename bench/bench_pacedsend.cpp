// SPDX-License-Identifier: GPL-3.0-or-later
// How much processor a paced send costs: pastes 1,000 characters at the default 5 ms write delay
// to a simulated device and prints the wall time and the process's CPU time. For comparison it
// then runs the same number of pauses as a loop that keeps polling the event loop until the time
// is up, which is what a pause that does not sleep costs. Last, it sends a file of pseudo-random
// bytes with no pauses, checks every byte at the device's end as it arrives (the device keeps
// none), and prints the CPU time per megabyte and how far the process grew beyond its size when
// idle.
//
//   bench_pacedsend [characters] [delay-ms] [file-MB, 0 for none]

#include "simulateddevice.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"
#include "testwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status, in kB.
long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void resetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

bool writeRandomFile(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator random(20261208);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 left = bytes; left > 0; left -= block.size()) {
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        if (file.write(block.constData(), qMin<qint64>(left, block.size())) < 0)
            return false;
    }
    return file.flush();
}

void discardDebug(QtMsgType, const QMessageLogContext &, const QString &) { }

void report(const char *what, qint64 wallMs, double cpu)
{
    std::printf("%-28s wall %7.2f s  cpu %6.2f s  (%5.1f %% of one core)\n", what,
        double(wallMs) / 1000.0, cpu, 100.0 * cpu / (double(wallMs) / 1000.0));
}

} // namespace

int main(int argc, char **argv)
{
    TempConfig config;
    QApplication app(argc, argv);
    const int characters = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int delayMs = argc > 2 ? QByteArray(argv[2]).toInt() : 5;

    SimulatedDevice device;
    const std::unique_ptr<SolvaneTerm> window = makeTestWindow();
    SolvaneTermTestAccess access(*window);
    if (!openedWithOneCheck(*window, device)) {
        std::fprintf(stderr, "the simulated device was not opened\n");
        return 1;
    }
    qInstallMessageHandler(discardDebug);

    access.functionSetting();
    access.functionDlg()->spinBoxDelay->setValue(delayMs);
    access.applyFunction();

    std::printf("paste of %d characters, write delay %d ms\n", characters, delayMs);
    QElapsedTimer clock;
    clock.start();
    double cpu = cpuSeconds();
    {
        // Until the pause after the last byte is over; the window sleeps in its event loop.
        QEventLoop sent;
        QObject::connect(
            access.transmitQueue(), &TransmitQueue::busyChanged, &sent, [&sent](bool busy) {
                if (!busy)
                    sent.quit();
            });
        access.keyInput(Qt::Key_F35, QString(characters, QLatin1Char('x')));
        if (access.transmitQueue()->isBusy())
            sent.exec();
    }
    report("paced send", clock.elapsed(), cpuSeconds() - cpu);
    while (device.received().size() < characters && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::printf("device received %lld bytes\n", static_cast<long long>(device.received().size()));

    clock.restart();
    cpu = cpuSeconds();
    for (int i = 0; i < characters; ++i) {
        const QTime end = QTime::currentTime().addMSecs(delayMs);
        while (QTime::currentTime() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    report("polling pauses, same count", clock.elapsed(), cpuSeconds() - cpu);
    const int fileMb = argc > 3 ? QByteArray(argv[3]).toInt() : 100;
    if (fileMb > 0) {
        QTemporaryDir directory;
        const QString path = directory.filePath(QStringLiteral("send.bin"));
        const qint64 size = qint64(fileMb) << 20;
        if (!writeRandomFile(path, size)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        access.functionDlg()->spinBoxDelay->setValue(0);
        access.applyFunction();

        QFile expected(path);
        expected.open(QIODevice::ReadOnly);
        bool same = true;
        qint64 arrived = 0;
        QEventLoop whole;
        QObject::connect(&device, &SimulatedDevice::bytesReceived, [&](const QByteArray &bytes) {
            same = same && expected.read(bytes.size()) == bytes;
            arrived += bytes.size();
            device.clearReceived();
            if (arrived >= size)
                whole.quit();
        });
        QTimer::singleShot(900000, &whole, &QEventLoop::quit);
        QCoreApplication::processEvents();
        resetPeakMemory();
        const long idleKb = statusKb("VmRSS:");
        std::printf("file of %d MB, no pauses\n", fileMb);
        clock.restart();
        cpu = cpuSeconds();
        window->sendFile(path);
        whole.exec();
        const double fileCpu = cpuSeconds() - cpu;
        report("send file", clock.elapsed(), fileCpu);
        const long peakKb = statusKb("VmHWM:");
        std::printf("device received %lld of %lld bytes, %s; cpu %.3f s/MB; memory idle %ld kB, "
                    "peak %ld kB (+%ld kB)\n",
            arrived, size, same && arrived == size ? "the same as the file" : "NOT the file",
            fileCpu / fileMb, idleKb, peakKb, peakKb - idleKb);
    }

    qInstallMessageHandler(nullptr);
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// How much processor a paced send costs: pastes 1,000 characters at the default 5 ms write delay
// to a simulated device and prints the wall time and the process's CPU time. For comparison it
// then runs the same number of pauses as a loop that keeps polling the event loop until the time
// is up, which is what a pause that does not sleep costs.
//
//   bench_pacedsend [characters] [delay-ms]

#include "simulateddevice.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"
#include "testwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTime>

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
    access.keyInput(Qt::Key_F35, QString(characters, QLatin1Char('x')));
    report("paced send", clock.elapsed(), cpuSeconds() - cpu);
    while (device.received().size() < characters && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::printf("device received %d bytes\n", device.received().size());

    clock.restart();
    cpu = cpuSeconds();
    for (int i = 0; i < characters; ++i) {
        const QTime end = QTime::currentTime().addMSecs(delayMs);
        while (QTime::currentTime() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    report("polling pauses, same count", clock.elapsed(), cpuSeconds() - cpu);

    qInstallMessageHandler(nullptr);
    return 0;
}

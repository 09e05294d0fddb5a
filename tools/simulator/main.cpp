// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// Devices must be unplugged and the list file removed on Ctrl-C or a kill from a script's trap,
// which only the event loop can do safely.
void quitOnSignals(QCoreApplication *app)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, &QCoreApplication::quit);
    struct sigaction action
    { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signalNumber, &action, nullptr);
}

QString defaultListFile()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString directory
        = runtime.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(runtime);
    return directory + QStringLiteral("/solvane-sim-%1.list").arg(getuid());
}

// A FIFO opened for reading and writing never reports end of file, so any number of writers
// can come and go: `echo "unplug dev1" > FIFO`.
int openCommandFifo(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkfifo(name.constData(), 0600) != 0 && errno != EEXIST)
        return -1;
    return ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("solvane-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated Solvane devices on pseudo-terminals. Run the program with\n"
        "LD_PRELOAD=<build>/tools/libsolvane_fakeudev.so and SOLVANE_SIM_DEVICES=<list file>\n"
        "to make it find them. Type 'help' for the commands read from standard input."));
    parser.addHelpOption();
    const QCommandLineOption deviceOption(QStringLiteral("device"),
        QStringLiteral(
            "Start with a device: VID:PID in hex (04d8:000a), '-' for a port with no USB "
            "identity, optionally NAME= in front. Repeat for more devices."),
        QStringLiteral("[NAME=]VID:PID"));
    const QCommandLineOption listOption(QStringLiteral("list-file"),
        QStringLiteral("The device list to write (default %1).").arg(defaultListFile()),
        QStringLiteral("PATH"), defaultListFile());
    const QCommandLineOption commandsOption(QStringLiteral("commands"),
        QStringLiteral("Also read commands from this named pipe, made if missing."),
        QStringLiteral("FIFO"));
    parser.addOptions({deviceOption, listOption, commandsOption});
    parser.process(app);

    const QString listFile = QFileInfo(parser.value(listOption)).absoluteFilePath();
    Simulator simulator(listFile);
    QObject::connect(&simulator, &Simulator::quitRequested, &app, &QCoreApplication::quit);
    std::printf("list file: %s\n", qPrintable(listFile));
    std::fflush(stdout);

    for (const QString &deviceText : parser.values(deviceOption)) {
        QString name = simulator.nextDeviceName();
        QString ids = deviceText;
        const int equals = deviceText.indexOf(QLatin1Char('='));
        if (equals >= 0) {
            name = deviceText.left(equals);
            ids = deviceText.mid(equals + 1);
        }
        const QStringList parts = ids.split(QLatin1Char(':'));
        if (!simulator.addDevice(name, parts.value(0), parts.value(1)))
            return 2;
    }

    if (parser.isSet(commandsOption)) {
        const int fd = openCommandFifo(parser.value(commandsOption));
        if (fd < 0) {
            std::fprintf(stderr, "cannot open the command pipe %s: %s\n",
                qPrintable(parser.value(commandsOption)), std::strerror(errno));
            return 2;
        }
        simulator.listenOn(fd);
    }
    simulator.listenOn(STDIN_FILENO);
    quitOnSignals(&app);
    return app.exec();
}

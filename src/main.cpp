// SPDX-License-Identifier: GPL-3.0-or-later
#include "quitsignals.h"
#include "solvaneterm.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char **argv)
{
    // Nothing here draws with OpenGL, yet looking for it doubles the time to the first window on
    // X11. Whoever wants it can still ask for it in the environment.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(SOLVANETERM_VERSION));
    // Lets the desktop match the window to its launcher and group it under the launcher's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.solvaneterm.SolvaneTerm"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serial terminal for the Solvane family of USB devices."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption log(QStringLiteral("log"),
        QStringLiteral("Record every byte received at the end of <file>, made when missing."),
        QStringLiteral("file"));
    parser.addOption(log);
    // Help, the version and a wrong option end the program here, with a message.
    parser.process(app);

    SolvaneTerm window;
    new QuitSignals(&window);
    window.show();
    if (parser.isSet(log))
        window.startSessionLog(parser.value(log));
    QObject::connect(&app, SIGNAL(lastWindowClosed()), &app, SLOT(quit()));
    return app.exec();
}

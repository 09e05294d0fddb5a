// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // Nothing here draws with OpenGL, yet looking for it doubles the time to the first window on
    // X11. Whoever wants it can still ask for it in the environment.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    // Lets the desktop match the window to its launcher and group it under the launcher's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.solvaneterm.SolvaneTerm"));
    SolvaneTerm window;
    window.show();
    QObject::connect(&app, SIGNAL(lastWindowClosed()), &app, SLOT(quit()));
    return app.exec();
}

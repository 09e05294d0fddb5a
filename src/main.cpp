#include "solvaneterm.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Lets the desktop match the window to its launcher and group it under the launcher's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.solvaneterm.SolvaneTerm"));
    SolvaneTerm window;
    window.show();
    QObject::connect(&app, SIGNAL(lastWindowClosed()), &app, SLOT(quit()));
    return app.exec();
}

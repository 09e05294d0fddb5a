#include "solvaneterm.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    SolvaneTerm window;
    window.show();
    QObject::connect(&app, SIGNAL(lastWindowClosed()), &app, SLOT(quit()));
    return app.exec();
}

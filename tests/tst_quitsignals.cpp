// SPDX-License-Identifier: GPL-3.0-or-later
#include "quitsignals.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <signal.h>

namespace {

class MainWindow : public QWidget
{
public:
    int closes = 0;
    // Raised from inside the close event, as a second signal that comes while closing; the loop
    // reads it once the window has closed.
    int raiseWhileClosing = 0;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ++closes;
        if (raiseWhileClosing)
            ::raise(raiseWhileClosing);
        QWidget::closeEvent(event);
    }
};

sighandler_t disposition(int signalNumber)
{
    struct sigaction current = {};
    ::sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}

} // namespace

// The signals that end the program close its windows as the user would, through the event loop.
class tst_QuitSignals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void closesWindows_data();
    void closesWindows();
    void ignoredSignalStaysIgnored();
};

void tst_QuitSignals::initTestCase()
{
    // The program quits when its last window closes; here the next test still needs a loop.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void tst_QuitSignals::closesWindows_data()
{
    QTest::addColumn<QVector<int>>("numbers");
    QTest::addColumn<int>("whileClosing");
    QTest::addColumn<bool>("modalDialog");

    QTest::newRow("SIGTERM") << QVector<int> {SIGTERM} << 0 << false;
    QTest::newRow("SIGINT") << QVector<int> {SIGINT} << 0 << false;
    QTest::newRow("SIGHUP") << QVector<int> {SIGHUP} << 0 << false;
    QTest::newRow("two at once") << QVector<int> {SIGTERM, SIGINT} << 0 << false;
    QTest::newRow("second while closing") << QVector<int> {SIGTERM} << SIGTERM << false;
    QTest::newRow("modal dialog open") << QVector<int> {SIGTERM} << 0 << true;
}

void tst_QuitSignals::closesWindows()
{
    QFETCH(QVector<int>, numbers);
    QFETCH(int, whileClosing);
    QFETCH(bool, modalDialog);

    const QVector<sighandler_t> before
        = {disposition(SIGTERM), disposition(SIGINT), disposition(SIGHUP)};
    {
        MainWindow window;
        window.raiseWhileClosing = whileClosing;
        const auto *quitSignals = new QuitSignals(&window);
        QCOMPARE(quitSignals->watched(), (QVector<int> {SIGTERM, SIGINT, SIGHUP}));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const auto raiseAll = [&numbers] {
            for (const int signalNumber : numbers)
                ::raise(signalNumber);
        };
        if (modalDialog) {
            QDialog dialog(&window);
            bool gaveUp = false;
            QTimer::singleShot(0, &dialog, raiseAll);
            QTimer::singleShot(10000, &dialog, [&] {
                gaveUp = true;
                dialog.reject();
            });
            dialog.exec();
            QVERIFY(!gaveUp);
            QVERIFY(!dialog.isVisible());
        } else {
            raiseAll();
        }
        QTRY_VERIFY(!window.isVisible());
        // Nothing is left for a later turn of the loop to close again.
        QTest::qWait(50);
        QCOMPARE(window.closes, 1);
    }
    QVERIFY((QVector<sighandler_t> {disposition(SIGTERM), disposition(SIGINT), disposition(SIGHUP)})
        == before);
}

void tst_QuitSignals::ignoredSignalStaysIgnored()
{
    // As nohup starts a program.
    const sighandler_t before = ::signal(SIGHUP, SIG_IGN);
    {
        MainWindow window;
        const auto *quitSignals = new QuitSignals(&window);
        QCOMPARE(quitSignals->watched(), (QVector<int> {SIGTERM, SIGINT}));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ::raise(SIGHUP);
        QTest::qWait(50);
        QVERIFY(window.isVisible());
        ::raise(SIGTERM);
        QTRY_VERIFY(!window.isVisible());
    }
    QVERIFY(disposition(SIGHUP) == SIG_IGN);
    ::signal(SIGHUP, before);
}

QTEST_MAIN(tst_QuitSignals)
#include "tst_quitsignals.moc"

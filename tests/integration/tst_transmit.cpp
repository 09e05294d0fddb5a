// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/serialport_.h"
#include "dialogscript.h"
#include "functionkeys/functiondlg.h"
#include "logcapture.h"
#include "simulateddevice.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"
#include "testfiles.h"
#include "testwindow.h"
#include "view/dovikview.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QString writeFailure = QStringLiteral("Can't write through the serial port.");

void pressKey(
    QWidget *view, int key, const QString &text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(view, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(view, &release);
}

} // namespace

// Keys, function keys and pastes typed into the terminal, checked as bytes at the device's end.
class TransmitTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void letterIsOneWrite();
    void returnKey_data();
    void returnKey();
    void droppedKeysSendAndLogNothing_data();
    void droppedKeysSendAndLogNothing();
    void plainKeys_data();
    void plainKeys();
    void keyWithoutTextReportsFailure();
    void functionKeyIsPacedByteByByte();
    void modifiedFunctionKeySendsSameString();
    void paste_data();
    void paste();
    void unplugInMidPasteStopsTheSend();
    void pulledSendStopsAtOnce_data();
    void pulledSendStopsAtOnce();
    void delayAppliedDuringSendGovernsRemainingPauses();
    void zeroDelayDoesNotWait();
    void pacedSendKeepsReceiving();
    void sentInTheOrderGiven_data();
    void sentInTheOrderGiven();
    void longSendShowsProgressAndStops();
    void sendFile_data();
    void sendFile();
    void unplugMidFileDropsTheQueue();
    void clipboardKeys_data();
    void clipboardKeys();

private:
    void programFunctionKey(int index, const QString &text, bool cr, bool lf, int delayMs);
    QString status() const { return access->ui().statusbar->currentMessage(); }
    bool sending() const { return access->transmitQueue()->isBusy(); }

    std::unique_ptr<SolvaneTerm> window;
    std::unique_ptr<SolvaneTermTestAccess> access;
    std::unique_ptr<SimulatedDevice> device;
    QTemporaryDir scratch;
};

void TransmitTest::init()
{
    device = std::make_unique<SimulatedDevice>(0x04D8, 0x000A);
    window = makeTestWindow();
    access = std::make_unique<SolvaneTermTestAccess>(*window);
    QVERIFY(openedWithOneCheck(*window, *device));
    device->clearReceived();
}

void TransmitTest::cleanup()
{
    access.reset();
    window.reset();
    device.reset();
}

void TransmitTest::programFunctionKey(int index, const QString &text, bool cr, bool lf, int delayMs)
{
    access->functionSetting();
    FunctionDlg *dialog = access->functionDlg();
    QVERIFY(dialog);
    dialog->lineEditF[index]->setText(text);
    dialog->checkBoxCR[index]->setChecked(cr);
    dialog->checkBoxLF[index]->setChecked(lf);
    dialog->spinBoxDelay->setValue(delayMs);
    QTest::mouseClick(dialog->ui.btnApply, Qt::LeftButton);
    QCOMPARE(window->getDelay(), delayMs);
}

void TransmitTest::letterIsOneWrite()
{
    LogCapture log;
    pressKey(access->termView(), Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier);
    QTRY_COMPARE(device->received(), QByteArray("A"));
    QCOMPARE(device->chunks().size(), 1);
    QCOMPARE(log.lines(),
        QStringList({QStringLiteral("keycode 0x41 delay 5"), QStringLiteral("text :  \"A\""),
            QStringLiteral("text2 :  \"A\"")}));
}

void TransmitTest::returnKey_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("enterWithReturn");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("Return, CR LF on")
        << int(Qt::Key_Return) << Qt::KeyboardModifiers() << true << QByteArray("\r\n");
    QTest::newRow("Return, CR LF off")
        << int(Qt::Key_Return) << Qt::KeyboardModifiers() << false << QByteArray("\r");
    QTest::newRow("keypad Enter, CR LF on")
        << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << true
        << QByteArray("\r\n");
    QTest::newRow("keypad Enter, CR LF off")
        << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << false
        << QByteArray("\r");
}

void TransmitTest::returnKey()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, enterWithReturn);
    QFETCH(QByteArray, expected);

    access->ui().actionEnter_with_Return->setChecked(enterWithReturn);
    QCOMPARE(access->enterWithCR(), enterWithReturn);
    pressKey(access->termView(), key, QStringLiteral("\r"), modifiers);
    QTRY_COMPARE(device->received(), expected);
    QCOMPARE(device->chunks().size(), 1);
}

void TransmitTest::droppedKeysSendAndLogNothing_data()
{
    QTest::addColumn<int>("key");
    // One of each range; the transmit plan's test has every key.
    const int dropped[] = {Qt::Key_Tab, Qt::Key_Delete, Qt::Key_Left, Qt::Key_Shift};
    for (const int key : dropped)
        QTest::newRow(qPrintable(QKeySequence(key).toString())) << key;
}

void TransmitTest::droppedKeysSendAndLogNothing()
{
    QFETCH(int, key);
    const QString before = status();
    LogCapture log;
    // Tab and Escape do produce text; it must still not be sent.
    pressKey(access->termView(), key, key == Qt::Key_Tab ? QStringLiteral("\t") : QString());
    QTest::qWait(50);
    QCOMPARE(device->received(), QByteArray());
    QCOMPARE(log.lines(), QStringList());
    QCOMPARE(status(), before);
}

void TransmitTest::plainKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << Qt::KeyboardModifiers()
                               << QStringLiteral("\b") << QByteArray("\x08");
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << Qt::KeyboardModifiers(Qt::ControlModifier)
                            << QStringLiteral("\x03") << QByteArray("\x03");
    QTest::newRow("Space") << int(Qt::Key_Space) << Qt::KeyboardModifiers() << QStringLiteral(" ")
                           << QByteArray(" ");
    QTest::newRow("composed text in one write") << int(Qt::Key_unknown) << Qt::KeyboardModifiers()
                                                << QStringLiteral("ab") << QByteArray("ab");
}

void TransmitTest::plainKeys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);

    pressKey(access->termView(), key, text, modifiers);
    QTRY_COMPARE(device->received(), expected);
    QCOMPARE(device->chunks().size(), 1);
    QVERIFY(status() != writeFailure);
}

void TransmitTest::keyWithoutTextReportsFailure()
{
    LogCapture log;
    pressKey(access->termView(), Qt::Key_Menu, QString());
    QCOMPARE(status(), writeFailure);
    QVERIFY(log.lines().contains(
        QStringLiteral("SerialPort write error.[ \"%1\" ]").arg(access->serialPort()->portName)));
    QTest::qWait(50);
    QCOMPARE(device->received(), QByteArray());
}

void TransmitTest::functionKeyIsPacedByteByByte()
{
    // Long enough that the device side reads every byte on its own even on a busy machine.
    const int delayMs = 50;
    programFunctionKey(0, QStringLiteral("ATZ"), true, true, delayMs);

    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(access->termView(), Qt::Key_F1);
    QTRY_VERIFY(!sending());
    const qint64 elapsed = clock.elapsed();

    QTRY_COMPARE(device->received(), QByteArray("ATZ\r\n"));
    // Every byte, the last included, is followed by the pause.
    QVERIFY2(elapsed >= 5 * delayMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(device->chunks().size(), 5);
    QCOMPARE(log.lines(),
        QStringList({QStringLiteral("keycode 0x1000030 delay 50"), QStringLiteral("text :  \"\""),
            QStringLiteral("keycode 0x1000030 delay 50"),
            QStringLiteral("function :  \"ATZ\\r\\n\"")}));
}

void TransmitTest::modifiedFunctionKeySendsSameString()
{
    programFunctionKey(0, QStringLiteral("hi"), false, false, 1);
    QTest::keyClick(access->termView(), Qt::Key_F1, Qt::ShiftModifier);
    QTRY_COMPARE(device->received(), QByteArray("hi"));
    device->clearReceived();
    QTest::keyClick(access->termView(), Qt::Key_F1, Qt::ControlModifier);
    QTRY_COMPARE(device->received(), QByteArray("hi"));
}

void TransmitTest::paste_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("euro sign becomes NUL") << QStringLiteral("\u20ac") << QByteArray(1, '\0');
    QTest::newRow("line with break") << QStringLiteral("ls\n") << QByteArray("ls\n");
}

void TransmitTest::paste()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);

    QApplication::clipboard()->setText(text);
    access->termView()->paste();
    QTRY_COMPARE(device->received(), expected);
    QVERIFY(access->termView()->toPlainText().isEmpty());
}

void TransmitTest::unplugInMidPasteStopsTheSend()
{
    programFunctionKey(0, QString(), false, false, 5);
    const QString text(400, QLatin1Char('x'));

    // The device goes away, and the monitor notices and deletes the port before the wrapper
    // has seen the hang-up, while the paste is pausing between bytes.
    QTimer::singleShot(100, device.get(), [this] {
        device->unplug();
        access->checkConnection();
    });
    access->keyInput(Qt::Key_F35, text);
    QVERIFY(sending());
    QTRY_VERIFY(!window->isConnected());

    QVERIFY(!sending());
    QVERIFY(access->serialPort() == nullptr);
    QCOMPARE(status(), writeFailure);
    QVERIFY(device->received().size() < text.size());

    // A later key finds no port and says so instead of touching a deleted one.
    access->keyInput(Qt::Key_B, QStringLiteral("b"));
    QCOMPARE(status(), writeFailure);
}

void TransmitTest::pulledSendStopsAtOnce_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("pullAfter");

    QTest::newRow("paste, after its first byte") << int(Qt::Key_F35) << 1;
    QTest::newRow("paste, in its middle") << int(Qt::Key_F35) << 5;
    QTest::newRow("paste, two bytes before its end") << int(Qt::Key_F35) << 8;
    QTest::newRow("function key, two bytes before its end") << int(Qt::Key_F1) << 8;
}

// The monitor's timer is stopped, so nothing but the wrapper itself can notice the device going.
void TransmitTest::pulledSendStopsAtOnce()
{
    QFETCH(int, key);
    QFETCH(int, pullAfter);

    const QString text = QStringLiteral("0123456789");
    // Pauses long enough for the hang-up to be seen well before the next byte is due.
    programFunctionKey(0, text, false, false, 50);

    QSerialPort *port = access->serialPort()->findChild<QSerialPort *>();
    QVERIFY(port);
    int receivedAtClose = -1;
    qint64 bufferedAtClose = -1;
    // Goes with this function, and with it the connections to its locals.
    QObject scope;
    connect(port, &QIODevice::aboutToClose, &scope, [&] {
        receivedAtClose = device->received().size();
        bufferedAtClose = port->bytesToWrite();
    });
    connect(device.get(), &SimulatedDevice::bytesReceived, &scope, [&] {
        if (device->isPlugged() && device->received().size() >= pullAfter)
            device->unplug();
    });

    LogCapture log;
    access->keyInput(key, key == Qt::Key_F35 ? text : QString());
    QTRY_VERIFY_WITH_TIMEOUT(!sending(), 10000);

    QCOMPARE(device->received(), text.toLatin1().left(pullAfter));
    QCOMPARE(status(), writeFailure);
    // Closed right at the pull, with nothing taken on since: no byte went into a dead port.
    QCOMPARE(receivedAtClose, pullAfter);
    QCOMPARE(bufferedAtClose, qint64(0));
    QVERIFY(!access->serialPort()->writeData(QByteArrayLiteral("z")));
    QVERIFY(!log.lines().join(QLatin1Char('\n')).contains(QLatin1String("SerialPort write error")));
    if (key == Qt::Key_F1)
        QCOMPARE(log.lines().constLast(), writeFailure);

    // The next check finds the device gone and does what it always does.
    log.clear();
    access->checkConnection();
    QCOMPARE(log.lines(), QStringList(QStringLiteral("the Solvane Device was not found.")));
    QCOMPARE(status(), QStringLiteral("the Solvane Device was not found."));
    QVERIFY(access->serialPort() == nullptr);
    QVERIFY(!access->termView()->isEnabled());
    QVERIFY(access->termView()->isHidden());
}

void TransmitTest::delayAppliedDuringSendGovernsRemainingPauses()
{
    programFunctionKey(0, QStringLiteral("123456"), false, false, 1);
    // Runs during the first pause; the five pauses after it must use the new delay.
    QTimer::singleShot(0, window.get(), [this] {
        FunctionDlg *dialog = access->functionDlg();
        dialog->spinBoxDelay->setValue(100);
        QTest::mouseClick(dialog->ui.btnApply, Qt::LeftButton);
    });
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(access->termView(), Qt::Key_F1);
    QTRY_VERIFY_WITH_TIMEOUT(!sending(), 10000);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(window->getDelay(), 100);
    QVERIFY2(elapsed >= 5 * 100, qPrintable(QString::number(elapsed)));
    QTRY_COMPARE(device->received(), QByteArray("123456"));
}

void TransmitTest::zeroDelayDoesNotWait()
{
    bool ran = false;
    QTimer::singleShot(0, window.get(), [&ran] { ran = true; });
    window->waitForWritten(0);
    window->waitForWritten(-10);
    QVERIFY(!ran);

    QElapsedTimer clock;
    clock.start();
    window->waitForWritten(30);
    QVERIFY(ran);
    QVERIFY(clock.elapsed() >= 30);
}

void TransmitTest::pacedSendKeepsReceiving()
{
    device->setEcho(true);
    programFunctionKey(0, QString(), false, false, 5);
    access->keyInput(Qt::Key_F35, QStringLiteral("echo"));
    // Echoes arrive and reach the view while the paste is still pausing.
    QTRY_COMPARE(access->termView()->toPlainText(), QStringLiteral("echo"));
}

void TransmitTest::sentInTheOrderGiven_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QByteArray>("expected");

    // Each entry is given 20 ms after the one before, while the first is still going out at
    // 10 ms a byte: "paste TEXT", "type C" (one key), "F1" (programmed "fk" with CR),
    // "file TEXT" (a file holding TEXT).
    QTest::newRow("keys typed during a paste") << QStringList {"paste ABCDEFGHIJKLMNOP", "type x",
        "type 1", "type 2", "type 3"} << QByteArray("ABCDEFGHIJKLMNOPx123");
    QTest::newRow("a paste during a paste")
        << QStringList {"paste ABCDEFGH", "paste 12345678"} << QByteArray("ABCDEFGH12345678");
    QTest::newRow("a function key and a key during a paste")
        << QStringList {"paste ABCDEFGH", "F1", "type z"} << QByteArray("ABCDEFGHfk\rz");
    QTest::newRow("a file and a key during a paste")
        << QStringList {"paste ABCDEFGH", "file FILE\n", "type z"} << QByteArray("ABCDEFGHFILE\nz");
    QTest::newRow("a paste and a key during a file")
        << QStringList {"file 0123456789", "paste ab", "type z"} << QByteArray("0123456789abz");
}

void TransmitTest::sentInTheOrderGiven()
{
    QFETCH(QStringList, given);
    QFETCH(QByteArray, expected);

    programFunctionKey(0, QStringLiteral("fk"), true, false, 10);
    for (int i = 0; i < given.size(); ++i) {
        if (i > 0)
            QTest::qWait(20);
        const QString &entry = given.at(i);
        const QString argument = entry.section(QLatin1Char(' '), 1);
        if (entry.startsWith(QLatin1String("paste "))) {
            access->keyInput(Qt::Key_F35, argument);
        } else if (entry.startsWith(QLatin1String("type "))) {
            pressKey(access->termView(), argument.at(0).toUpper().unicode(), argument);
        } else if (entry == QLatin1String("F1")) {
            QTest::keyClick(access->termView(), Qt::Key_F1);
        } else {
            const QString path = scratch.filePath(QStringLiteral("given%1").arg(i));
            QVERIFY(writeFile(path, argument.toLatin1()));
            QVERIFY(window->sendFile(path));
        }
        QVERIFY2(sending(), qPrintable(entry));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!sending(), 10000);
    QTRY_COMPARE(device->received(), expected);
}

// A paste of four seconds says what it is doing while the device status stays; Stop ends it
// after the byte that went out last and drops what waits behind it.
void TransmitTest::longSendShowsProgressAndStops()
{
    programFunctionKey(0, QString(), false, false, 10);
    QVERIFY(!access->ui().actionStop_Sending->isEnabled());
    const QString deviceStatus = status();
    access->keyInput(Qt::Key_F35, QString(400, QLatin1Char('x')));
    access->keyInput(Qt::Key_Z, QStringLiteral("z"));
    QVERIFY(access->ui().actionStop_Sending->isEnabled());

    auto *progress = window->findChild<QLabel *>(QStringLiteral("transmitStatus"));
    QTRY_VERIFY(progress && progress->isVisible());
    QTRY_VERIFY2(progress->text().startsWith(QLatin1String("Sending paste: "))
            && progress->text().contains(QLatin1String(" of 400 bytes, "))
            && progress->text().contains(QLatin1String(" s left"))
            && progress->text().endsWith(QLatin1String(" (1 more waiting)")),
        qPrintable(progress->text()));
    QCOMPARE(status(), deviceStatus);

    access->ui().actionStop_Sending->trigger();
    QVERIFY(!sending());
    QVERIFY(!access->ui().actionStop_Sending->isEnabled());
    const QRegularExpression note(
        QStringLiteral("^Stopped sending paste after (\\d+) of 400 bytes$"));
    const QRegularExpressionMatch stopped = note.match(progress->text());
    QVERIFY2(stopped.hasMatch(), qPrintable(progress->text()));
    const int sent = stopped.captured(1).toInt();
    QVERIFY(sent > 0 && sent < 400);
    // Time for any byte written after the stop to arrive.
    QTest::qWait(200);
    QCOMPARE(device->received(), QByteArray(sent, 'x'));

    // Closing the window stops a send as quietly as Stop does.
    const QString path = scratch.filePath(QStringLiteral("closed.txt"));
    QVERIFY(writeFile(path, QByteArray(400, 'c')));
    DialogScript script({press(QMessageBox::Ok)});
    QVERIFY(window->sendFile(path));
    window->close();
    QVERIFY(!sending());
    QTest::qWait(100);
    QVERIFY(script.seen().isEmpty());
}

void TransmitTest::sendFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("linePauseMs");
    // Empty when the file must arrive; otherwise what the message box says after the path.
    QTest::addColumn<QString>("refusal");

    QByteArray binary;
    for (int i = 0; i < 300000; ++i)
        binary.append(char((i * 7 + i / 256) & 0xFF));
    binary.insert(1000, QByteArray("\r\n\0\x80\xff\n\r", 7));
    QByteArray everyValue;
    for (int value = 0; value < 256; ++value)
        everyValue.append(char(value));

    QTest::newRow("binary, no pauses") << "binary.bin" << binary << 0 << 0 << QString();
    QTest::newRow("every byte value, paced") << "values.bin" << everyValue + "\r\n"
                                             << 1 << 0 << QString();
    QTest::newRow("a pause after each line feed")
        << "lines.txt" << QByteArray("one\ntwo\nthree\n") << 0 << 100 << QString();
    QTest::newRow("missing file") << "" << QByteArray() << 0 << 0 << "No such file";
    QTest::newRow("a folder") << "." << QByteArray() << 0 << 0 << "Not a regular file";
}

void TransmitTest::sendFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, delayMs);
    QFETCH(int, linePauseMs);
    QFETCH(QString, refusal);

    programFunctionKey(0, QString(), false, false, delayMs);
    access->functionDlg()->spinBoxLinePause->setValue(linePauseMs);
    access->applyFunction();
    QCOMPARE(window->getLinePause(), linePauseMs);
    QVERIFY(access->ui().actionSend_File->isEnabled());

    const QString path = name.isEmpty() ? scratch.filePath(QStringLiteral("missing"))
                                        : QDir(scratch.path()).filePath(name);
    if (refusal.isEmpty())
        QVERIFY(writeFile(path, content));
    DialogScript script({press(QMessageBox::Ok)});
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(window->sendFile(path), refusal.isEmpty());
    if (!refusal.isEmpty()) {
        QCOMPARE(script.seen().size(), 1);
        QCOMPARE(script.seen().at(0).title, QStringLiteral("Send File"));
        QCOMPARE(script.seen().at(0).text, QStringLiteral("Can't send %1: %2").arg(path, refusal));
        QVERIFY(!sending());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!sending(), 20000);
    QVERIFY(clock.elapsed() >= qint64(content.count('\n')) * linePauseMs);
    QTRY_COMPARE(device->received().size(), content.size());
    QVERIFY(device->received() == content);
    QVERIFY(script.seen().isEmpty());
}

// Nothing meant for a device that went goes to the one that comes next, not even what was
// pausing after a line when it went.
void TransmitTest::unplugMidFileDropsTheQueue()
{
    programFunctionKey(0, QString(), false, false, 0);
    access->functionDlg()->spinBoxLinePause->setValue(1000);
    access->applyFunction();
    const QString path = scratch.filePath(QStringLiteral("lines.txt"));
    QVERIFY(writeFile(path, "first\nOLD"));
    DialogScript script({press(QMessageBox::Ok)});
    QVERIFY(window->sendFile(path));
    access->keyInput(Qt::Key_F35, QStringLiteral("late"));
    QTRY_COMPARE(device->received(), QByteArray("first\n"));

    device->unplug();
    access->checkConnection();
    QVERIFY(!window->isConnected());
    QVERIFY(!sending());
    QCOMPARE(status(), writeFailure);
    QVERIFY(!access->ui().actionSend_File->isEnabled());
    QTRY_COMPARE(script.seen().size(), 1);
    QCOMPARE(script.seen().at(0).title, QStringLiteral("Send File"));
    QCOMPARE(script.seen().at(0).text,
        QStringLiteral(
            "Sending %1 stopped after 6 of 9 bytes: Can't write through the serial port.")
            .arg(path));

    QVERIFY(device->replug());
    device->clearReceived();
    access->checkConnection();
    QVERIFY(window->isConnected());
    // Past the end of the line pause, when the rest of the file would have gone out.
    QTest::qWait(1500);
    QCOMPARE(device->received(), QByteArray());
}

void TransmitTest::clipboardKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("clipboard");

    const int controlShift = int(Qt::ControlModifier | Qt::ShiftModifier);
    // The clipboard holds "on the clipboard" and the view shows "shown text", all selected.
    QTest::newRow("Ctrl+Shift+C copies the selection")
        << int(Qt::Key_C) << controlShift << QByteArray() << "shown text";
    QTest::newRow("Ctrl+Shift+V pastes to the device")
        << int(Qt::Key_V) << controlShift << QByteArray("on the clipboard") << "on the clipboard";
    QTest::newRow("Ctrl+C goes to the device")
        << int(Qt::Key_C) << int(Qt::ControlModifier) << QByteArray("\x03") << "on the clipboard";
    QTest::newRow("Ctrl+V goes to the device")
        << int(Qt::Key_V) << int(Qt::ControlModifier) << QByteArray("\x16") << "on the clipboard";
}

// The keys a desktop terminal copies and pastes with, and the ones that stay the device's.
void TransmitTest::clipboardKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, sent);
    QFETCH(QString, clipboard);

    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    access->termView()->setFocus();
    QVERIFY(device->write("shown text"));
    QTRY_COMPARE(access->termView()->toPlainText(), QStringLiteral("shown text"));
    access->termView()->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("on the clipboard"));

    // With the text the keyboard gives these keys: the control character of the letter.
    const QString text(QChar(key - Qt::Key_A + 1));
    QTest::sendKeyEvent(
        QTest::Press, access->termView(), Qt::Key(key), text, Qt::KeyboardModifiers(modifiers));
    QTest::sendKeyEvent(
        QTest::Release, access->termView(), Qt::Key(key), text, Qt::KeyboardModifiers(modifiers));
    QTRY_VERIFY(!sending());
    QTest::qWait(50);
    QCOMPARE(device->received(), sent);
    QCOMPARE(QApplication::clipboard()->text(), clipboard);
}

SOLVANETERM_WINDOW_TEST_MAIN(TransmitTest)

#include "tst_transmit.moc"

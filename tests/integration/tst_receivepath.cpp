// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/serialport_.h"
#include "functionkeys/functiondlg.h"
#include "hexview/hexview.h"
#include "logcapture.h"
#include "simulateddevice.h"
#include "solvaneterm.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"
#include "testwindow.h"
#include "verifycall.h"
#include "view/dovikview.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include <memory>

namespace {

const QChar replacement(0xFFFD);

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

// What the terminal shows for allByteValues(): NUL dropped, the backspace takes the bell before
// it, CR and LF both end a line, and every byte from 0x80 on is invalid UTF-8 on its own.
QString allByteValuesText()
{
    QString text;
    for (int value = 1; value < 0x80; ++value) {
        if (value == 0x07 || value == 0x08)
            continue;
        text.append(value == '\r' ? QChar('\n') : QChar(value));
    }
    return text + QString(0x80, replacement);
}

// The bytes of one "SolvaneTerm::readComm() : " debug line, undoing QDebug's byte-array escaping.
QByteArray loggedBlock(const QString &line)
{
    const QString prefix = QStringLiteral("SolvaneTerm::readComm() :  \"");
    if (!line.startsWith(prefix) || !line.endsWith(QLatin1Char('"')))
        return QByteArray("<not a receive line>");
    const QByteArray text = line.mid(prefix.size(), line.size() - prefix.size() - 1).toLatin1();
    QByteArray bytes;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '"' && i + 1 < text.size()
            && text.at(i + 1) == '"') { // separates \xNN from a following hex digit
            ++i;
            continue;
        }
        if (c != '\\') {
            bytes += c;
            continue;
        }
        const char escaped = ++i < text.size() ? text.at(i) : '\\';
        switch (escaped) {
        case 'x':
            bytes += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
            break;
        case 'n':
            bytes += '\n';
            break;
        case 'r':
            bytes += '\r';
            break;
        case 't':
            bytes += '\t';
            break;
        case 'b':
            bytes += '\b';
            break;
        case 'f':
            bytes += '\f';
            break;
        default:
            bytes += escaped;
            break;
        }
    }
    return bytes;
}

QByteArray burstBytes(const QString &kind, int size)
{
    QByteArray bytes;
    if (kind == QLatin1String("binary")) {
        for (int i = 0; bytes.size() < size; ++i)
            bytes += char((i * 7919 + i / 251) & 0xff);
        return bytes;
    }
    for (int line = 0; bytes.size() < size; ++line)
        bytes += QByteArray::number(line).rightJustified(7, '0') + " reading 21.5 C\r\n";
    bytes.truncate(size);
    return bytes;
}

} // namespace

// Feeds bytes from a simulated device through the open port into the window and checks what
// the terminal view, the hex view and the debug log make of them.
class tst_ReceivePath : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void bytesReachBothViews_data();
    void bytesReachBothViews();
    void longBurstArrivesWhole();
    void burstsArriveWholeAndInOrder_data();
    void burstsArriveWholeAndInOrder();
    void loneBlockShowsAtOnce();
    void debugLine_data();
    void debugLine();
    void hiddenHexViewStillAccumulates();
    void hexViewFollowsTheNewestBytes();
    void clearScreenStartsAfresh();
    void openAndCloseEmptyTheViews();
    void typingInHexViewChangesNothing_data();
    void typingInHexViewChangesNothing();

private:
    // Opens the device with one check of the window, whose own timer is stopped.
    void openDevice();
    SolvaneTermTestAccess access() const { return SolvaneTermTestAccess(*window); }
    HexView *hexEdit() const { return access().hexEdit(); }
    DovikView *termView() const { return access().termView(); }

    std::unique_ptr<LogCapture> log;
    std::unique_ptr<SimulatedDevice> device;
    std::unique_ptr<SolvaneTerm> window;
};

void tst_ReceivePath::init()
{
    // Every receive writes a debug line holding the whole block; keep them off the test output.
    log = std::make_unique<LogCapture>();
    device = std::make_unique<SimulatedDevice>();
    window = makeTestWindow();
    window->resize(800, 600);
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void tst_ReceivePath::cleanup()
{
    window.reset();
    device.reset();
    log.reset();
}

void tst_ReceivePath::openDevice()
{
    QVERIFY(openedWithOneCheck(*window, *device));
    log->clear();
}

void tst_ReceivePath::bytesReachBothViews_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain text") << QByteArray("hello, device") << QStringLiteral("hello, device");
    QTest::newRow("all 256 byte values") << allByteValues() << allByteValuesText();
    QTest::newRow("NUL bytes") << QByteArray("A\0B\0\0C", 6) << QStringLiteral("ABC");
    QTest::newRow("backspace") << QByteArray("abc\bd") << QStringLiteral("abd");
    QTest::newRow("line ends") << QByteArray("one\r\ntwo\rthree\n")
                               << QStringLiteral("one\ntwo\nthree\n");
    QTest::newRow("UTF-8") << QByteArray("gr\xc3\xbc\xc3\x9f \xe2\x82\xac")
                           << QStringLiteral(u"gr\u00fc\u00df \u20ac");
    QTest::newRow("invalid UTF-8") << QByteArray("a\xff"
                                                 "b\xc3(c\x80")
                                   << QStringLiteral("a%1b%1(c%1").arg(replacement);
}

void tst_ReceivePath::bytesReachBothViews()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, shown);
    VERIFY_CALL(openDevice());

    QVERIFY(device->write(sent));
    QTRY_COMPARE(hexEdit()->data().size(), sent.size());
    QCOMPARE(hexEdit()->data(), sent);
    QCOMPARE(termView()->toPlainText(), shown);
    QVERIFY(access().serialPort()->receiveQueue.isEmpty());
}

void tst_ReceivePath::longBurstArrivesWhole()
{
    VERIFY_CALL(openDevice());
    // Numbered lines, so a lost, doubled or swapped piece shows in the text as well.
    QByteArray sent;
    for (int line = 0; sent.size() < 1024 * 1024; ++line)
        sent += QByteArray::number(line).rightJustified(8, '0') + QByteArray(55, 'a' + line % 26)
            + '\n';
    sent.truncate(1024 * 1024);
    for (int offset = 0; offset < sent.size(); offset += 4096)
        QVERIFY(device->write(sent.mid(offset, 4096)));

    QTRY_COMPARE_WITH_TIMEOUT(hexEdit()->data().size(), sent.size(), 120000);
    QVERIFY(hexEdit()->data() == sent);
    QVERIFY(termView()->toPlainText() == QString::fromLatin1(sent));
    QVERIFY(access().serialPort()->receiveQueue.isEmpty());
    // It did come in pieces: one debug line per receive.
    QVERIFY(log->lines().size() > 1);
}

void tst_ReceivePath::burstsArriveWholeAndInOrder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("writeSize");

    // Small writes in quick succession: some are shown alone, most wait for a frame together.
    QTest::newRow("text in 7-byte writes") << "text" << 60000 << 7;
    QTest::newRow("binary in 64-byte writes") << "binary" << 200000 << 64;
    // Far more than one frame may take: the rest waits in the port and comes in later frames.
    QTest::newRow("text in one 3 MB write") << "text" << 3 * 1024 * 1024 << 3 * 1024 * 1024;
}

// Whatever the pacing does, every byte reaches both views and the debug log once, in order; and
// the terminal shows exactly what the logged blocks make of it.
void tst_ReceivePath::burstsArriveWholeAndInOrder()
{
    QFETCH(QString, kind);
    QFETCH(int, size);
    QFETCH(int, writeSize);
    VERIFY_CALL(openDevice());

    const QByteArray sent = burstBytes(kind, size);
    for (int offset = 0, writes = 0; offset < sent.size(); offset += writeSize, ++writes) {
        QVERIFY(device->write(sent.mid(offset, writeSize)));
        if (writes % 16 == 0)
            QCoreApplication::processEvents();
    }
    QTRY_COMPARE_WITH_TIMEOUT(hexEdit()->data().size(), sent.size(), 120000);
    QVERIFY(hexEdit()->data() == sent);

    QByteArray logged;
    DovikView replay;
    for (const QString &line : log->lines()) {
        const QByteArray block = loggedBlock(line);
        logged += block;
        replay.insertView(block);
    }
    QVERIFY(logged == sent);
    QVERIFY(log->lines().size() > 1);
    QVERIFY(termView()->toPlainText() == replay.toPlainText());
}

// A block that comes after a quiet spell does not wait for more to go with it.
void tst_ReceivePath::loneBlockShowsAtOnce()
{
    VERIFY_CALL(openDevice());
    QTest::qWait(100);
    QVERIFY(device->write("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(termView()->toPlainText(), QStringLiteral("ok"), 250);
    QCOMPARE(hexEdit()->data(), QByteArray("ok"));
}

void tst_ReceivePath::debugLine_data()
{
    QTest::addColumn<QByteArray>("queued");
    QTest::addColumn<QString>("line");

    QTest::newRow("nothing queued")
        << QByteArray() << QStringLiteral("SolvaneTerm::readComm() :  \"\"");
    QTest::newRow("letters and NUL")
        << QByteArray("AB\0", 3) << QStringLiteral("SolvaneTerm::readComm() :  \"AB\\x00\"");
    QTest::newRow("NUL then a hex letter")
        << QByteArray("\0C", 2) << QStringLiteral("SolvaneTerm::readComm() :  \"\\x00\"\"C\"");
    QTest::newRow("controls, quote, backslash, high bytes")
        << QByteArray("\r\n\t\"\\\x7f\x80\xff z")
        << QStringLiteral("SolvaneTerm::readComm() :  \"\\r\\n\\t\\\"\\\\\\x7F\\x80\\xFF z\"");
}

// Runs the handler by hand on a queue filled by hand, so the block is known exactly.
void tst_ReceivePath::debugLine()
{
    QFETCH(QByteArray, queued);
    QFETCH(QString, line);
    VERIFY_CALL(openDevice());
    termView()->insertView("before ");
    hexEdit()->setData("before ");

    QList<unsigned char> &queue = access().serialPort()->receiveQueue;
    for (const char byte : queued)
        queue.append(static_cast<unsigned char>(byte));
    access().readComm();

    QCOMPARE(log->lines(), QStringList(line));
    QVERIFY(queue.isEmpty());
    QCOMPARE(hexEdit()->data(), QByteArray("before ") + queued);
}

void tst_ReceivePath::hiddenHexViewStillAccumulates()
{
    QAction *hexaView = access().ui().actionHexa_Mode;
    // A first start has no stored settings: no hex group.
    QVERIFY(!hexaView->isChecked());
    VERIFY_CALL(openDevice());
    QVERIFY(!access().ui().hexaGroup->isVisible());

    QVERIFY(device->write("abc"));
    QTRY_COMPARE(hexEdit()->data(), QByteArray("abc"));
    QVERIFY(!hexEdit()->isVisible());

    hexaView->setChecked(true);
    QVERIFY(access().ui().hexaGroup->isVisible());
    QVERIFY(hexEdit()->isVisible());
    QCOMPARE(hexEdit()->data(), QByteArray("abc"));

    QVERIFY(device->write("def"));
    QTRY_COMPARE(hexEdit()->data(), QByteArray("abcdef"));
    hexaView->setChecked(false);
    QVERIFY(device->write("g"));
    QTRY_COMPARE(hexEdit()->data(), QByteArray("abcdefg"));
    QCOMPARE(termView()->toPlainText(), QStringLiteral("abcdefg"));
}

void tst_ReceivePath::hexViewFollowsTheNewestBytes()
{
    access().ui().actionHexa_Mode->setChecked(true);
    VERIFY_CALL(openDevice());
    QScrollBar *scrollBar = hexEdit()->verticalScrollBar();
    QVERIFY(hexEdit()->height() > 50);

    const QByteArray page(4096, 'p');
    QVERIFY(device->write(page));
    QTRY_COMPARE(hexEdit()->data().size(), page.size());
    QVERIFY(scrollBar->maximum() > 0);
    QCOMPARE(scrollBar->value(), scrollBar->maximum());
    const int firstMaximum = scrollBar->maximum();

    // The user scrolls up; the next bytes bring the view back down.
    scrollBar->setValue(0);
    QVERIFY(device->write(page));
    QTRY_COMPARE(hexEdit()->data().size(), 2 * page.size());
    QVERIFY(scrollBar->maximum() > firstMaximum);
    QCOMPARE(scrollBar->value(), scrollBar->maximum());

    // Also a receive with nothing new ends at the bottom.
    scrollBar->setValue(0);
    access().readComm();
    QCOMPARE(scrollBar->value(), scrollBar->maximum());
}

void tst_ReceivePath::clearScreenStartsAfresh()
{
    VERIFY_CALL(openDevice());
    QVERIFY(device->write("old text\n"));
    QTRY_COMPARE(hexEdit()->data(), QByteArray("old text\n"));

    access().ui().action_Clear_Screen->trigger();
    QVERIFY(termView()->toPlainText().isEmpty());
    QVERIFY(hexEdit()->data().isEmpty());

    QVERIFY(device->write("new"));
    QTRY_COMPARE(hexEdit()->data(), QByteArray("new"));
    QCOMPARE(termView()->toPlainText(), QStringLiteral("new"));
    QVERIFY(window->isConnected());
}

void tst_ReceivePath::openAndCloseEmptyTheViews()
{
    termView()->insertView("stale");
    hexEdit()->setData("stale");
    VERIFY_CALL(openDevice());
    QVERIFY(termView()->toPlainText().isEmpty());
    QVERIFY(hexEdit()->data().isEmpty());

    QVERIFY(device->write("live"));
    QTRY_COMPARE(hexEdit()->data(), QByteArray("live"));
    device->unplug();
    access().checkConnection();
    QVERIFY(!window->isConnected());
    QVERIFY(termView()->toPlainText().isEmpty());
    QVERIFY(hexEdit()->data().isEmpty());
}

void tst_ReceivePath::typingInHexViewChangesNothing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QKeySequence>("keys");

    // Each row would change the bytes if the view were editable.
    QTest::newRow("hex digits") << QStringLiteral("0f9a") << QKeySequence();
    QTest::newRow("delete first byte")
        << QString() << QKeySequence(QStringLiteral("Ctrl+Home, Del"), QKeySequence::PortableText);
    QTest::newRow("backspace at end")
        << QString()
        << QKeySequence(QStringLiteral("Ctrl+End, Backspace"), QKeySequence::PortableText);
    QTest::newRow("paste") << QString() << QKeySequence(QKeySequence::Paste);
    QTest::newRow("cut everything")
        << QString() << QKeySequence(QStringLiteral("Ctrl+A, Ctrl+X"), QKeySequence::PortableText);
}

void tst_ReceivePath::typingInHexViewChangesNothing()
{
    QFETCH(QString, typed);
    QFETCH(QKeySequence, keys);
    access().ui().actionHexa_Mode->setChecked(true);
    VERIFY_CALL(openDevice());
    QApplication::clipboard()->setText(QStringLiteral("deadbeef"));

    const QByteArray received("\x01\x02\x03\x04", 4);
    QVERIFY(device->write(received));
    QTRY_COMPARE(hexEdit()->data(), received);

    QWidget *inner = hexEdit()->widget();
    QVERIFY(inner);
    QTest::keyClicks(inner, typed);
    if (!keys.isEmpty())
        QTest::keySequence(inner, keys);
    QCOMPARE(hexEdit()->data(), received);
    // Nor does anything typed there reach the device.
    QVERIFY(device->received().isEmpty());
}

SOLVANETERM_WINDOW_TEST_MAIN(tst_ReceivePath)

#include "tst_receivepath.moc"

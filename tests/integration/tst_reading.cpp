// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/findbar.h"
#include "hexview/hexview.h"
#include "simulateddevice.h"
#include "solvaneterm.h"
#include "solvanetermtestaccess.h"
#include "testwindow.h"
#include "view/dovikview.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <memory>

// Reading back through a window that goes on receiving: the view holds still under a selection,
// and the find bar searches the text or, from the hex view, the bytes.
class tst_Reading : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void selectionHoldsWhileReceiving();
    void findText();
    void findBytes();
    void findBytesAsTheHistoryGoes();
    void timeStampsFromTheMenu();

private:
    SolvaneTermTestAccess access() const { return SolvaneTermTestAccess(*window); }
    QString count() const
    {
        return window->findChild<QLabel *>(QStringLiteral("findCount"))->text();
    }
    QLineEdit *field() const { return window->findChild<QLineEdit *>(QStringLiteral("findField")); }
    // Lines "line 1" to "line N"; every tenth says "needle".
    void receiveLines(int from, int to);
    void receiveBytes(const QByteArray &bytes);

    std::unique_ptr<SimulatedDevice> device;
    std::unique_ptr<SolvaneTerm> window;
};

void tst_Reading::init()
{
    device = std::make_unique<SimulatedDevice>();
    window = makeTestWindow();
    QVERIFY(openedWithOneCheck(*window, *device));
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void tst_Reading::cleanup()
{
    window.reset();
    device.reset();
}

void tst_Reading::receiveLines(int from, int to)
{
    QByteArray lines;
    for (int line = from; line <= to; ++line)
        lines += "line " + QByteArray::number(line) + (line % 10 == 0 ? " needle" : "") + "\r\n";
    QVERIFY(device->write(lines));
    QTRY_VERIFY(access().termView()->toPlainText().endsWith(
        QStringLiteral("line %1%2\n").arg(to).arg(to % 10 == 0 ? " needle" : "")));
}

void tst_Reading::receiveBytes(const QByteArray &bytes)
{
    QVERIFY(device->write(bytes));
    QTRY_VERIFY(access().hexEdit()->data().endsWith(bytes.right(8)));
}

// Also at the end of the text, where the window keeps a view that follows at the end.
void tst_Reading::selectionHoldsWhileReceiving()
{
    receiveLines(1, 300);
    DovikView *view = access().termView();
    QTextCursor selection(view->document());
    selection.movePosition(QTextCursor::End);
    selection.movePosition(QTextCursor::PreviousBlock, QTextCursor::KeepAnchor, 3);
    view->setTextCursor(selection);
    const QString selected = view->textCursor().selectedText();
    const int scrolled = view->verticalScrollBar()->value();

    for (int block = 0; block < 5; ++block)
        receiveLines(301 + 100 * block, 400 + 100 * block);
    QCOMPARE(view->textCursor().selectedText(), selected);
    QCOMPARE(view->verticalScrollBar()->value(), scrolled);

    // Ctrl+Shift+C copies it; Ctrl itself, pressed first, leaves it alone.
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::clipboard()->text(),
        QString(selected).replace(QChar::ParagraphSeparator, '\n'));

    // Typing goes back to the newest text.
    QTest::keyClick(view, Qt::Key_A);
    receiveLines(801, 810);
    QVERIFY(view->isFollowing());
    QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
}

void tst_Reading::findText()
{
    receiveLines(1, 200);
    QTest::keyClick(access().termView(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(field() && field()->isVisible() && field()->hasFocus());
    device->clearReceived();

    // The search starts where the user is looking, at the end here: at the first needle at or
    // below the top line shown, every tenth line having one.
    const QString top
        = access().termView()->cursorForPosition(QPoint(0, 0)).block().text().section(' ', 1, 1);
    QVERIFY2(top.toInt() > 10, qPrintable(top));
    QTest::keyClicks(field(), QStringLiteral("needle"));
    QTRY_VERIFY2(count().endsWith(QLatin1String(" of 20")), qPrintable(count()));
    const int first = count().section(QLatin1Char(' '), 0, 0).toInt();
    QCOMPARE(first, (top.toInt() + 9) / 10);
    QTest::keyClick(field(), Qt::Key_Return);
    const QString second = QStringLiteral("%1 of ").arg(first % 20 + 1);
    QCOMPARE(count(), second + QStringLiteral("20"));
    QCOMPARE(access().termView()->textCursor().selectedText(), QStringLiteral("needle"));
    // More arrives while the bar is open, and is counted.
    receiveLines(201, 230);
    QTRY_COMPARE(count(), second + QStringLiteral("23"));

    // The clipboard keys in the field mean the field, not the device.
    QApplication::clipboard()->setText(QStringLiteral(" pasted"));
    QTest::keyClick(field(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(field()->text(), QStringLiteral("needle pasted"));

    QTest::keyClick(field(), Qt::Key_Escape);
    QVERIFY(!field()->isVisible());
    QVERIFY(access().termView()->hasFocus());
    // Every key typed into the bar stayed there.
    QTest::qWait(50);
    QCOMPARE(device->received(), QByteArray());

    // The match shown last holds the view no longer than the user stays away from the end.
    DovikView *view = access().termView();
    QVERIFY(!view->textCursor().hasSelection());
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    receiveLines(231, 400);
    QVERIFY(view->isFollowing());
    QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
}

void tst_Reading::findBytes()
{
    access().ui().actionHexa_Mode->setChecked(true);
    receiveLines(1, 50);
    HexView *hex = access().hexEdit();
    hex->setFocus();
    QTRY_VERIFY(hex->hasFocus());
    access().ui().actionFind->trigger();
    QVERIFY(field()->hasFocus());

    QTest::keyClicks(field(), QStringLiteral("0d 0a"));
    QTRY_COMPARE(count(), QStringLiteral("1 of 50"));
    // Asked for again while open, it goes on looking for bytes.
    QTest::keyClick(field(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(count(), QStringLiteral("1 of 50"));
    QCOMPARE(hex->selectionToReadableString().isEmpty(), false);
    QTest::keyClick(field(), Qt::Key_Return);
    QCOMPARE(count(), QStringLiteral("2 of 50"));
    QTest::keyClick(field(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(field(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(count(), QStringLiteral("50 of 50"));
    // Overlapping matches in a run of equal bytes are each counted and reached.
    QVERIFY(device->write("lll"));
    QTRY_VERIFY(hex->data().endsWith("lll"));
    field()->clear();
    QTest::keyClicks(field(), QStringLiteral("6c 6c"));
    QTRY_COMPARE(count(), QStringLiteral("1 of 2"));
    QTest::keyClick(field(), Qt::Key_Return);
    QCOMPARE(count(), QStringLiteral("2 of 2"));
    QTest::keyClick(field(), Qt::Key_Escape);
    QVERIFY(hex->hasFocus());
}

// The oldest bytes of a full hex view go with their matches; the current match stays on its
// bytes for as long as they are kept.
void tst_Reading::findBytesAsTheHistoryGoes()
{
    access().ui().actionHexa_Mode->setChecked(true);
    HexView *hex = access().hexEdit();
    // Appends past it keep 112 bytes, whole rows of 16.
    hex->setHistoryLimit(128);
    QByteArray bytes(128, '.');
    for (const int at : {40, 60, 80, 100})
        bytes.replace(at, 2, "ab");
    bytes[127] = 'w';
    receiveBytes(bytes);
    hex->setFocus();
    QTRY_VERIFY(hex->hasFocus());
    access().ui().actionFind->trigger();
    QTest::keyClicks(field(), QStringLiteral("61 62"));
    QTRY_COMPARE(count(), QStringLiteral("1 of 4"));
    QTest::keyClick(field(), Qt::Key_Return);
    QCOMPARE(count(), QStringLiteral("2 of 4"));

    // 32 bytes without a match go: the current match is now 32 bytes further forward.
    receiveBytes(QByteArray(15, '.') + 'x');
    QCOMPARE(hex->data().size(), 112);
    QCOMPARE(count(), QStringLiteral("2 of 4"));
    QTest::keyClick(field(), Qt::Key_Return);
    QCOMPARE(count(), QStringLiteral("3 of 4"));
    QCOMPARE(hex->data().mid(hex->cursorPosition() - 3, 4), QByteArray(".ab."));

    // The current match goes, with two others: Next goes to the oldest match kept.
    receiveBytes(QByteArray(63, '.') + 'y');
    QCOMPARE(count(), QStringLiteral("1 matches"));
    QTest::keyClick(field(), Qt::Key_Return);
    QCOMPARE(count(), QStringLiteral("1 of 1"));

    // After Clear Screen, Next starts at the first byte.
    access().clearScreen();
    QCOMPARE(count(), QStringLiteral("No matches"));
    receiveBytes("ab.ab");
    QCOMPARE(count(), QStringLiteral("2 matches"));
    QTest::keyClick(field(), Qt::Key_Return);
    QCOMPARE(count(), QStringLiteral("1 of 2"));
    QCOMPARE(hex->cursorPosition(), 2);
}

// Lines that start once the entry is checked carry their arrival time; the hex view never does.
void tst_Reading::timeStampsFromTheMenu()
{
    receiveLines(1, 2);
    access().ui().actionTime_Stamps->trigger();
    QVERIFY(access().termView()->timeStamps());
    receiveLines(3, 4);
    // Shown and captured with their stamps; the text found and copied is what the device sent.
    QCOMPARE(
        access().termView()->toPlainText(), QStringLiteral("line 1\nline 2\nline 3\nline 4\n"));
    const QStringList lines
        = access().termView()->shownDocument()->toPlainText().split(QLatin1Char('\n'));
    const QRegularExpression stamped(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d line \\d$"));
    QCOMPARE(lines.mid(0, 2), QStringList({"line 1", "line 2"}));
    QVERIFY2(stamped.match(lines.at(2)).hasMatch() && stamped.match(lines.at(3)).hasMatch(),
        qPrintable(lines.join(QLatin1Char('|'))));
    QCOMPARE(access().hexEdit()->data(), QByteArray("line 1\r\nline 2\r\nline 3\r\nline 4\r\n"));
}

SOLVANETERM_WINDOW_TEST_MAIN(tst_Reading)

#include "tst_reading.moc"

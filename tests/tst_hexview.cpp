// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events go through the window system, so that a move with the button held is delivered
// like a real drag.
#define QTEST_QPA_MOUSE_HANDLING
#include <QtTest>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QScrollBar>
#include <QUndoStack>

#include "hexview/hexview.h"
#include "hexview/hexview_p.h"
#include "imagediff.h"

class tst_HexView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void geometry_data();
    void geometry();
    void hitTest_data();
    void hitTest();
    void cursorCell_data();
    void cursorCell();
    void paintsColours();
    void cursorClamping_data();
    void cursorClamping();
    void typingHexDigits_data();
    void typingHexDigits();
    void uppercaseIsNotHex();
    void typingEdgeCases();
    void readOnlyRefusesEdits_data();
    void readOnlyRefusesEdits();
    void readOnlyStillNavigates();
    void deleteAndBackspace_data();
    void deleteAndBackspace();
    void selectAll();
    void copyText_data();
    void copyText();
    void cutAndPaste();
    void navigationKeys_data();
    void navigationKeys();
    void search();
    void mousePressAndDrag();
    void facadeConversions();
    void facadeProperties();
    void facadeSignals();
    void appendMatchesSetData_data();
    void appendMatchesSetData();
    void appendKeepsScrollRangeCurrent_data();
    void appendKeepsScrollRangeCurrent();
    void appendPastTheLimitKeepsTheView_data();
    void appendPastTheLimitKeepsTheView();

private:
    HexViewPrivate *inner() const { return qobject_cast<HexViewPrivate *>(view->widget()); }
    int charWidth() const { return QFontMetrics(inner()->font()).horizontalAdvance('9'); }
    int charHeight() const { return QFontMetrics(inner()->font()).height(); }
    int undoCount() const { return inner()->findChild<QUndoStack *>()->count(); }
    void showFocused();

    HexView *view = nullptr;
};

static QByteArray sequence(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i));
    return bytes;
}

// Sends the platform's first binding of a standard key, so the tests follow the key map the
// widget itself matches against.
static void pressStandardKey(QWidget *widget, QKeySequence::StandardKey key)
{
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    QVERIFY2(!bindings.isEmpty(), "standard key without a binding on this platform");
    QTest::keySequence(widget, bindings.first());
}

void tst_HexView::init()
{
    view = new HexView;
    view->resize(800, 400);
}

void tst_HexView::cleanup()
{
    delete view;
    view = nullptr;
}

void tst_HexView::showFocused()
{
    view->show();
    view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(view));
    inner()->setFocus();
    QTRY_VERIFY(inner()->hasFocus());
}

void tst_HexView::geometry_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("addressArea");
    QTest::addColumn<bool>("asciiArea");
    QTest::addColumn<int>("addressWidth");
    QTest::addColumn<int>("digits");

    QTest::newRow("both areas") << 100 << true << true << 4 << 4;
    QTest::newRow("ascii hidden") << 100 << true << false << 4 << 4;
    QTest::newRow("address hidden") << 100 << false << true << 4 << 0;
    QTest::newRow("address width 6") << 100 << true << true << 6 << 6;
    QTest::newRow("65536 bytes need 5 digits") << 65536 << true << true << 4 << 5;
}

void tst_HexView::geometry()
{
    QFETCH(int, size);
    QFETCH(bool, addressArea);
    QFETCH(bool, asciiArea);
    QFETCH(int, addressWidth);
    QFETCH(int, digits);

    view->setData(QByteArray(size, 'x'));
    view->setAddressArea(addressArea);
    view->setAsciiArea(asciiArea);
    view->setAddressWidth(addressWidth);

    const int cw = charWidth();
    const int ch = charHeight();
    const int hexX = addressArea ? digits * cw + 10 : 0;
    const int asciiX = hexX + 47 * cw + 16;
    QCOMPARE(inner()->minimumWidth(), asciiArea ? asciiX + 16 * cw : hexX + 47 * cw);
    QCOMPARE(inner()->minimumHeight(), (size / 16 + 1) * ch + 5);
    QCOMPARE(inner()->cursorPos(QPoint(hexX, 3)), 0);
    if (hexX > 0)
        QCOMPARE(inner()->cursorPos(QPoint(hexX - 1, 3)), -1);
}

void tst_HexView::hitTest_data()
{
    QTest::addColumn<int>("column"); // in character widths from the hex area's left edge
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("expected");

    QTest::newRow("first digit") << 0 << 0 << 0;
    QTest::newRow("second digit") << 1 << 0 << 1;
    QTest::newRow("gap counts as second digit") << 2 << 0 << 1;
    QTest::newRow("next byte") << 3 << 0 << 2;
    QTest::newRow("row 2, column 5") << 5 << 2 << 67;
    QTest::newRow("last digit of a row") << 46 << 1 << 63;
    QTest::newRow("right of the hex area") << 47 << 0 << -1;
    QTest::newRow("left of the hex area") << -1 << 0 << -1;
}

void tst_HexView::hitTest()
{
    QFETCH(int, column);
    QFETCH(int, row);
    QFETCH(int, expected);

    view->setData(sequence(100));
    const int hexX = 4 * charWidth() + 10;
    const QPoint point(hexX + column * charWidth(), 3 + row * charHeight());
    QCOMPARE(inner()->cursorPos(point), expected);
}

void tst_HexView::cursorCell_data()
{
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("addressWidth");

    QTest::newRow("overwrite, 35") << true << 35 << 4;
    QTest::newRow("insert, 35") << false << 35 << 4;
    QTest::newRow("overwrite, 0") << true << 0 << 4;
    QTest::newRow("overwrite, 35, address width 6") << true << 35 << 6;
}

void tst_HexView::cursorCell()
{
    QFETCH(bool, overwrite);
    QFETCH(int, position);
    QFETCH(int, addressWidth);

    showFocused();
    view->setData(sequence(64));
    view->setOverwriteMode(overwrite);
    view->setAddressWidth(addressWidth);
    inner()->setCursorPos(position);

    // The cursor is the only thing that a read-only view paints differently.
    const QImage withCursor = inner()->grab().toImage();
    view->setReadOnly(true);
    const QImage withoutCursor = inner()->grab().toImage();

    const int cw = charWidth();
    const int ch = charHeight();
    const int inRow = position % 32;
    const int x = ((inRow / 2) * 3 + inRow % 2) * cw + addressWidth * cw + 10;
    const int y = (position / 32) * ch + 4;
    const QRect expected = overwrite ? QRect(x, y + ch - 2, cw, 2) : QRect(x, y, 2, ch);
    QCOMPARE(differingPixels(withCursor, withoutCursor), expected);

    view->setReadOnly(false);
    inner()->clearFocus();
    QCOMPARE(differingPixels(inner()->grab().toImage(), withoutCursor), QRect());
}

void tst_HexView::paintsColours()
{
    view->setData(sequence(32));
    view->replace(3, 1, QByteArray("\x33"));
    inner()->resetSelection(2 * 5);
    inner()->setSelection(2 * 7);

    const QFontMetrics metrics(inner()->font());
    const int cw = charWidth();
    const int hexX = 4 * cw + 10;
    const int blankY = charHeight() - metrics.ascent() / 2;
    // The space in front of a byte is painted with that byte's background.
    auto spaceBefore = [&](const QImage &image, int byte) {
        return QColor(image.pixel(hexX + (3 * byte - 1) * cw + cw / 2, blankY));
    };
    const QColor base = inner()->palette().color(QPalette::Base);

    QImage image = inner()->grab().toImage();
    QCOMPARE(QColor(image.pixel(1, 1)), view->addressAreaColor());
    QCOMPARE(QColor(image.pixel(hexX + 47 * cw + 8, 1)), QColor(Qt::gray));
    QCOMPARE(spaceBefore(image, 3), view->highlightingColor());
    QCOMPARE(spaceBefore(image, 4), base);
    QCOMPARE(spaceBefore(image, 5), view->selectionColor());
    QCOMPARE(spaceBefore(image, 6), view->selectionColor());
    QCOMPARE(spaceBefore(image, 7), base);

    view->setHighlighting(false);
    image = inner()->grab().toImage();
    QCOMPARE(spaceBefore(image, 3), base);
    QCOMPARE(spaceBefore(image, 6), view->selectionColor());
}

void tst_HexView::cursorClamping_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");

    QTest::newRow("empty, overwrite") << 0 << true << 5 << 0;
    QTest::newRow("empty, insert") << 0 << false << 5 << 0;
    QTest::newRow("past the end, overwrite") << 10 << true << 100 << 19;
    QTest::newRow("past the end, insert") << 10 << false << 100 << 20;
    QTest::newRow("negative") << 10 << true << -5 << 0;
    QTest::newRow("inside") << 10 << true << 7 << 7;
}

void tst_HexView::cursorClamping()
{
    QFETCH(int, size);
    QFETCH(bool, overwrite);
    QFETCH(int, requested);
    QFETCH(int, expected);

    view->setData(sequence(size));
    view->setOverwriteMode(overwrite);
    QSignalSpy addresses(view, SIGNAL(currentAddressChanged(int)));
    QVERIFY(addresses.isValid());
    inner()->setCursorPos(requested);
    QCOMPARE(inner()->cursorPos(), expected);
    QCOMPARE(addresses.count(), 1);
    QCOMPARE(addresses.at(0).at(0).toInt(), expected / 2);
}

void tst_HexView::typingHexDigits_data()
{
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<QByteArray>("afterA");
    QTest::addColumn<QByteArray>("afterB");

    QTest::newRow("overwrite") << true << QByteArray::fromHex("00a12233")
                               << QByteArray::fromHex("00ab2233");
    QTest::newRow("insert") << false << QByteArray::fromHex("00a0112233")
                            << QByteArray::fromHex("00ab112233");
}

void tst_HexView::typingHexDigits()
{
    QFETCH(bool, overwrite);
    QFETCH(QByteArray, afterA);
    QFETCH(QByteArray, afterB);

    const QByteArray start = QByteArray::fromHex("00112233");
    view->setData(start);
    view->setOverwriteMode(overwrite);
    inner()->setCursorPos(2);
    QSignalSpy edits(view, SIGNAL(dataChanged()));
    QVERIFY(edits.isValid());

    QTest::keyClick(inner(), Qt::Key_A);
    QCOMPARE(view->data(), afterA);
    QCOMPARE(inner()->cursorPos(), 3);
    QTest::keyClick(inner(), Qt::Key_B);
    QCOMPARE(view->data(), afterB);
    QCOMPARE(inner()->cursorPos(), 4);
    QVERIFY(inner()->xData()->dataChanged(1));
    QVERIFY(!inner()->xData()->dataChanged(2));
    QCOMPARE(undoCount(), 1);
    QVERIFY(edits.count() > 0);

    pressStandardKey(inner(), QKeySequence::Undo);
    QCOMPARE(view->data(), start);
    QVERIFY(!inner()->xData()->dataChanged(1));
    pressStandardKey(inner(), QKeySequence::Redo);
    QCOMPARE(view->data(), afterB);
}

void tst_HexView::uppercaseIsNotHex()
{
    view->setData(QByteArray::fromHex("00112233"));
    inner()->setCursorPos(2);
    QTest::keyClick(inner(), 'A');
    QCOMPARE(view->data(), QByteArray::fromHex("00112233"));
    QCOMPARE(undoCount(), 0);
}

void tst_HexView::typingEdgeCases()
{
    view->setData(QByteArray());
    QTest::keyClick(inner(), Qt::Key_7);
    QCOMPARE(view->data(), QByteArray());
    QCOMPARE(undoCount(), 0);

    view->setOverwriteMode(false);
    QTest::keyClick(inner(), Qt::Key_7);
    QCOMPARE(view->data(), QByteArray::fromHex("70"));

    // a font change moves the columns; the next digit must still land on the cursor's byte
    view->setData(sequence(8));
    view->setOverwriteMode(true);
    inner()->setCursorPos(10);
    view->setFont(QFont(QStringLiteral("Courier"), 24));
    QTest::keyClick(inner(), Qt::Key_F);
    QCOMPARE(view->data(), QByteArray::fromHex("0001020304f50607"));
}

void tst_HexView::readOnlyRefusesEdits_data()
{
    QTest::addColumn<int>("key"); // a digit, Backspace, or a standard key
    QTest::addColumn<bool>("standard");

    QTest::newRow("digit") << int(Qt::Key_5) << false;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << false;
    QTest::newRow("Delete") << int(QKeySequence::Delete) << true;
    QTest::newRow("Cut") << int(QKeySequence::Cut) << true;
    QTest::newRow("Paste") << int(QKeySequence::Paste) << true;
    QTest::newRow("Undo") << int(QKeySequence::Undo) << true;
    QTest::newRow("Redo") << int(QKeySequence::Redo) << true;
}

void tst_HexView::readOnlyRefusesEdits()
{
    QFETCH(int, key);
    QFETCH(bool, standard);

    const QByteArray start = QByteArray::fromHex("0011223344");
    view->setData(start);
    view->setOverwriteMode(false);
    view->insert(0, 'z'); // something for Undo to take back
    view->undo(); // and for Redo to bring back
    view->setProperty("readOnly", true);
    QVERIFY(view->isReadOnly());
    inner()->resetSelection(2);
    inner()->setSelection(6);
    inner()->setCursorPos(4);
    QApplication::clipboard()->setText("ee ff");

    if (standard)
        pressStandardKey(inner(), QKeySequence::StandardKey(key));
    else
        QTest::keyClick(inner(), Qt::Key(key));
    QCOMPARE(view->data(), start);
    QCOMPARE(QApplication::clipboard()->text(), QString("ee ff"));

    // direct calls still edit
    view->remove(0, 1);
    QCOMPARE(view->data(), start.mid(1));
}

void tst_HexView::readOnlyStillNavigates()
{
    view->setData(sequence(40));
    view->setReadOnly(true);
    inner()->setCursorPos(4);

    pressStandardKey(inner(), QKeySequence::MoveToNextChar);
    QCOMPARE(inner()->cursorPos(), 5);
    pressStandardKey(inner(), QKeySequence::SelectNextLine);
    QCOMPARE(inner()->getSelectionBegin(), 2);
    QCOMPARE(inner()->getSelectionEnd(), 18);
    pressStandardKey(inner(), QKeySequence::Copy);
    QVERIFY(QApplication::clipboard()->text().startsWith("02 03 "));

    QSignalSpy modes(view, SIGNAL(overwriteModeChanged(bool)));
    QVERIFY(modes.isValid());
    QTest::keyClick(inner(), Qt::Key_Insert);
    QVERIFY(!view->overwriteMode());
    QCOMPARE(modes.count(), 1);
    QCOMPARE(modes.at(0).at(0).toBool(), false);
    QCOMPARE(view->data(), sequence(40));
}

void tst_HexView::deleteAndBackspace_data()
{
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<bool>("backspace");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("selBegin");
    QTest::addColumn<int>("selEnd");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("expectedCursor");

    QTest::newRow("Delete, overwrite")
        << true << false << 6 << 0 << 0 << QByteArray::fromHex("0001020004050607") << 6;
    QTest::newRow("Delete, insert")
        << false << false << 6 << 0 << 0 << QByteArray::fromHex("00010204050607") << 6;
    QTest::newRow("Delete selection, overwrite")
        << true << false << 10 << 2 << 6 << QByteArray::fromHex("0001000000000607") << 4;
    QTest::newRow("Delete selection, insert")
        << false << false << 10 << 2 << 6 << QByteArray::fromHex("00010607") << 4;
    QTest::newRow("Delete at the end, insert")
        << false << false << 16 << 0 << 0 << sequence(8) << 16;
    QTest::newRow("Backspace at byte 0") << false << true << 0 << 0 << 0 << sequence(8) << 0;
    QTest::newRow("Backspace at byte 3, insert")
        << false << true << 6 << 0 << 0 << QByteArray::fromHex("00010304050607") << 4;
    QTest::newRow("Backspace at byte 3, overwrite")
        << true << true << 6 << 0 << 0 << QByteArray::fromHex("0001000304050607") << 4;
    QTest::newRow("Backspace selection, insert")
        << false << true << 10 << 2 << 6 << QByteArray::fromHex("00010607") << 4;
}

void tst_HexView::deleteAndBackspace()
{
    QFETCH(bool, overwrite);
    QFETCH(bool, backspace);
    QFETCH(int, cursor);
    QFETCH(int, selBegin);
    QFETCH(int, selEnd);
    QFETCH(QByteArray, expected);
    QFETCH(int, expectedCursor);

    view->setData(sequence(8));
    view->setOverwriteMode(overwrite);
    inner()->resetSelection(2 * selBegin);
    inner()->setSelection(2 * selEnd);
    inner()->setCursorPos(cursor);

    if (backspace)
        QTest::keyClick(inner(), Qt::Key_Backspace);
    else
        pressStandardKey(inner(), QKeySequence::Delete);
    QCOMPARE(view->data(), expected);
    QCOMPARE(inner()->cursorPos(), expectedCursor);

    // whatever happened is one step that undo takes back completely
    QCOMPARE(undoCount(), expected == sequence(8) ? 0 : 1);
    view->undo();
    QCOMPARE(view->data(), sequence(8));
    QCOMPARE(inner()->xData()->dataChanged(0, 100), QByteArray(8, 0));
}

void tst_HexView::selectAll()
{
    view->setData(sequence(10));
    inner()->setCursorPos(7);
    pressStandardKey(inner(), QKeySequence::SelectAll);
    QCOMPARE(inner()->getSelectionBegin(), 0);
    QCOMPARE(inner()->getSelectionEnd(), 10);
    QCOMPARE(inner()->cursorPos(), 7);
    QCOMPARE(view->selectionToReadableString(), view->toReadableString());
}

void tst_HexView::copyText_data()
{
    QTest::addColumn<int>("selBegin");
    QTest::addColumn<int>("selEnd");
    QTest::addColumn<QString>("expected");

    QTest::newRow("across a row break") << 14 << 18 << QString("0e 0f \n10 11 ");
    QTest::newRow("break follows the index, not the start") << 13 << 16 << QString("0d 0e 0f \n");
    QTest::newRow("empty selection") << 3 << 3 << QString();
    QTest::newRow("past the end") << 38 << 42 << QString("26 27   ");
}

void tst_HexView::copyText()
{
    QFETCH(int, selBegin);
    QFETCH(int, selEnd);
    QFETCH(QString, expected);

    view->setData(sequence(40));
    QApplication::clipboard()->setText("stale");
    inner()->resetSelection(2 * selBegin);
    inner()->setSelection(2 * selEnd);
    pressStandardKey(inner(), QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(), expected);
    QCOMPARE(view->data(), sequence(40));
}

void tst_HexView::cutAndPaste()
{
    view->setData(sequence(8));
    view->setOverwriteMode(false);

    QApplication::clipboard()->setText("stale");
    inner()->setCursorPos(6);
    pressStandardKey(inner(), QKeySequence::Cut); // nothing selected
    QCOMPARE(QApplication::clipboard()->text(), QString());
    QCOMPARE(view->data(), sequence(8));

    inner()->resetSelection(2);
    inner()->setSelection(6);
    pressStandardKey(inner(), QKeySequence::Cut);
    QCOMPARE(QApplication::clipboard()->text(), QString("01 02 "));
    QCOMPARE(view->data(), QByteArray::fromHex("000304050607"));
    QCOMPARE(inner()->cursorPos(), 2);

    QApplication::clipboard()->setText("aa:BB");
    pressStandardKey(inner(), QKeySequence::Paste);
    QCOMPARE(view->data(), QByteArray::fromHex("00aabb0304050607"));
    QCOMPARE(inner()->cursorPos(), 6);

    view->setOverwriteMode(true);
    inner()->setCursorPos(0);
    pressStandardKey(inner(), QKeySequence::Paste);
    QCOMPARE(view->data(), QByteArray::fromHex("aabbbb0304050607"));
}

void tst_HexView::navigationKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("expected"); // -1: one page below `from`
    QTest::addColumn<int>("selBegin");
    QTest::addColumn<int>("selEnd");

    QTest::newRow("MoveToEndOfLine") << int(QKeySequence::MoveToEndOfLine) << 40 << 63 << 31 << 31;
    QTest::newRow("MoveToStartOfLine")
        << int(QKeySequence::MoveToStartOfLine) << 40 << 32 << 16 << 16;
    QTest::newRow("MoveToNextLine") << int(QKeySequence::MoveToNextLine) << 40 << 72 << 36 << 36;
    QTest::newRow("MoveToPreviousChar at 0")
        << int(QKeySequence::MoveToPreviousChar) << 0 << 0 << 0 << 0;
    QTest::newRow("MoveToEndOfDocument")
        << int(QKeySequence::MoveToEndOfDocument) << 40 << 8191 << 4095 << 4095;
    QTest::newRow("MoveToNextPage") << int(QKeySequence::MoveToNextPage) << 40 << -1 << -1 << -1;
    QTest::newRow("SelectEndOfLine") << int(QKeySequence::SelectEndOfLine) << 40 << 64 << 20 << 32;
    QTest::newRow("SelectPreviousChar")
        << int(QKeySequence::SelectPreviousChar) << 40 << 39 << 19 << 20;
    QTest::newRow("SelectStartOfDocument")
        << int(QKeySequence::SelectStartOfDocument) << 40 << 0 << 0 << 20;
}

void tst_HexView::navigationKeys()
{
    QFETCH(int, key);
    QFETCH(int, from);
    QFETCH(int, expected);
    QFETCH(int, selBegin);
    QFETCH(int, selEnd);

    view->setData(QByteArray(4096, 'x'));
    inner()->setCursorPos(from);
    inner()->resetSelection(from);
    if (expected < 0) {
        const int rows = view->viewport()->height() / charHeight() - 1;
        QVERIFY(rows > 1);
        expected = from + rows * 32;
        selBegin = selEnd = expected / 2;
    }
    pressStandardKey(inner(), QKeySequence::StandardKey(key));
    QCOMPARE(inner()->cursorPos(), expected);
    QCOMPARE(inner()->getSelectionBegin(), selBegin);
    QCOMPARE(inner()->getSelectionEnd(), selEnd);
}

void tst_HexView::search()
{
    view->setData(
        QByteArray::fromHex("00 01 02 03 04 ab cd 07 08 ab cd 0b 0c 0d 0e ab cd 11 12 13"));

    QCOMPARE(view->indexOf(QByteArray::fromHex("abcd"), 0), 5);
    QCOMPARE(inner()->getSelectionBegin(), 5);
    QCOMPARE(inner()->getSelectionEnd(), 7);
    QCOMPARE(inner()->cursorPos(), 14);
    QCOMPARE(view->indexOf(QByteArray::fromHex("abcd"), 6), 9);

    QCOMPARE(view->lastIndexOf(QByteArray::fromHex("abcd"), 20), 15);
    QCOMPARE(inner()->cursorPos(), 30);
    QCOMPARE(inner()->getSelectionBegin(), 15);
    QCOMPARE(inner()->getSelectionEnd(), 17);
    QCOMPARE(view->lastIndexOf(QByteArray::fromHex("abcd"), 16), 9);

    QCOMPARE(view->indexOf(QByteArray::fromHex("eeee"), 0), -1);
    QCOMPARE(inner()->getSelectionBegin(), 9);
    QCOMPARE(inner()->cursorPos(), 18);

    view->setData(QByteArray());
    QCOMPARE(view->indexOf(QByteArray::fromHex("00"), 0), -1);
    QCOMPARE(view->lastIndexOf(QByteArray::fromHex("00"), 0), -1);
    QCOMPARE(view->indexOf(QByteArray(), 0), -1);
}

void tst_HexView::mousePressAndDrag()
{
    showFocused();
    view->setData(sequence(64));
    const int cw = charWidth();
    const int hexX = 4 * cw + 10;
    const int y = 3 + charHeight() / 2;
    inner()->setCursorPos(20);

    QTest::mousePress(inner(), Qt::LeftButton, {}, QPoint(2, y));
    QCOMPARE(inner()->cursorPos(), 0);
    QCOMPARE(inner()->getSelectionBegin(), 0);
    QCOMPARE(inner()->getSelectionEnd(), 0);
    QTest::mouseRelease(inner(), Qt::LeftButton, {}, QPoint(2, y));

    QTest::mousePress(inner(), Qt::LeftButton, {}, QPoint(hexX + 6 * cw + 1, y));
    QCOMPARE(inner()->cursorPos(), 4);
    QTest::mouseMove(inner(), QPoint(hexX + 18 * cw + 1, y));
    QCOMPARE(inner()->cursorPos(), 12);
    QCOMPARE(inner()->getSelectionBegin(), 2);
    QCOMPARE(inner()->getSelectionEnd(), 6);
    QTest::mouseRelease(inner(), Qt::LeftButton, {}, QPoint(hexX + 18 * cw + 1, y));
}

void tst_HexView::facadeConversions()
{
    view->setData(sequence(10));
    view->setCursorPosition(3);
    QCOMPARE(inner()->cursorPos(), 6);
    QCOMPARE(view->cursorPosition(), 3);
    inner()->setCursorPos(7);
    QCOMPARE(view->cursorPosition(), 3);
    QCOMPARE(view->property("cursorPosition").toInt(), 3);
    QVERIFY(view->setProperty("cursorPosition", 9));
    QCOMPARE(inner()->cursorPos(), 18);
}

void tst_HexView::facadeProperties()
{
    const QMetaObject *meta = view->metaObject();
    QStringList names;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        names << meta->property(i).name();
    QCOMPARE(names,
        QStringList({"data", "addressOffset", "addressAreaColor", "cursorPosition",
            "highlightingColor", "selectionColor", "overwriteMode", "readOnly", "font"}));

    QVERIFY(view->setProperty("readOnly", true));
    QVERIFY(inner()->isReadOnly());
    QVERIFY(view->setProperty("data", QByteArray("abc")));
    QCOMPARE(inner()->data(), QByteArray("abc"));
    QVERIFY(view->setProperty("addressOffset", 0x10000));
    QCOMPARE(inner()->addressOffset(), 0x10000);
    QVERIFY(view->setProperty("selectionColor", QColor(Qt::red)));
    QCOMPARE(inner()->selectionColor(), QColor(Qt::red));

    QFont bigger(QStringLiteral("Courier"), 20);
    const int widthBefore = inner()->minimumWidth();
    QVERIFY(view->setProperty("font", bigger));
    QCOMPARE(inner()->font().pointSize(), 20);
    QCOMPARE(view->font().pointSize(), 20);
    QVERIFY(inner()->minimumWidth() > widthBefore);
}

void tst_HexView::facadeSignals()
{
    QSignalSpy addresses(view, SIGNAL(currentAddressChanged(int)));
    QSignalSpy sizes(view, SIGNAL(currentSizeChanged(int)));
    QSignalSpy edits(view, SIGNAL(dataChanged()));
    QSignalSpy modes(view, SIGNAL(overwriteModeChanged(bool)));
    QVERIFY(addresses.isValid() && sizes.isValid() && edits.isValid() && modes.isValid());

    view->setData(sequence(10));
    view->setCursorPosition(4);
    QCOMPARE(addresses.last().at(0).toInt(), 4);
    view->insert(2, QByteArray("xy"));
    QCOMPARE(edits.count(), 1);
    QTest::keyClick(inner(), Qt::Key_Insert);
    QCOMPARE(modes.count(), 1);
    QCOMPARE(modes.at(0).at(0).toBool(), false);
    QCOMPARE(sizes.count(), 0); // announced by painting, not by the change itself
    inner()->grab();
    QCOMPARE(sizes.count(), 1);
    QCOMPARE(sizes.at(0).at(0).toInt(), 10);
    inner()->grab();
    QCOMPARE(sizes.count(), 1);
}

void tst_HexView::appendMatchesSetData_data()
{
    QTest::addColumn<QByteArray>("initial");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QByteArray>("block");

    QTest::newRow("clean") << sequence(40) << false << QByteArray("tail");
    QTest::newRow("after an edit") << sequence(40) << true << QByteArray("tail");
    QTest::newRow("empty block after an edit") << sequence(40) << true << QByteArray();
    QTest::newRow("into an empty view") << QByteArray() << false << sequence(20);
    QTest::newRow("across 64 KiB") << QByteArray(65530, 'x') << true << QByteArray(10, 'y');
}

void tst_HexView::appendMatchesSetData()
{
    QFETCH(QByteArray, initial);
    QFETCH(bool, edit);
    QFETCH(QByteArray, block);

    HexView reference;
    HexView *views[] = {view, &reference};
    for (HexView *v : views) {
        v->resize(800, 400);
        v->setData(initial);
        auto *d = qobject_cast<HexViewPrivate *>(v->widget());
        if (edit) {
            v->setOverwriteMode(false);
            v->insert(1, QByteArray("ab"));
            v->replace(5, 2, QByteArray("cd"));
            QVERIFY(d->xData()->dataChanged(1));
        }
        d->resetSelection(4);
        d->setSelection(12);
        v->setCursorPosition(3);
    }
    auto *other = qobject_cast<HexViewPrivate *>(reference.widget());

    for (int round = 0; round < 2; ++round) {
        QSignalSpy appendedAddresses(view, SIGNAL(currentAddressChanged(int)));
        QSignalSpy referenceAddresses(&reference, SIGNAL(currentAddressChanged(int)));
        view->appendData(block);
        reference.setData(reference.data() + block);

        QCOMPARE(view->data(), reference.data());
        QCOMPARE(inner()->xData()->dataChanged(0, INT_MAX), QByteArray(view->data().size(), 0));
        QCOMPARE(undoCount(), 0);
        QCOMPARE(inner()->cursorPos(), other->cursorPos());
        QCOMPARE(inner()->cursorPos(), 0);
        QCOMPARE(appendedAddresses, referenceAddresses);
        QCOMPARE(inner()->getSelectionBegin(), other->getSelectionBegin());
        QCOMPARE(inner()->getSelectionEnd(), other->getSelectionEnd());
        QCOMPARE(inner()->minimumSize(), other->minimumSize());
        QCOMPARE(view->toReadableString(), reference.toReadableString());
    }
}

void tst_HexView::appendKeepsScrollRangeCurrent_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("append");
    QTest::addColumn<int>("size");

    QTest::newRow("shown, append") << false << true << 20000;
    QTest::newRow("hidden, append") << true << true << 20000;
    QTest::newRow("shown, setData shrinks") << false << false << 4000;
    QTest::newRow("beyond the tallest possible widget") << false << true << 17000000;
}

void tst_HexView::appendKeepsScrollRangeCurrent()
{
    QFETCH(bool, hidden);
    QFETCH(bool, append);
    QFETCH(int, size);

    view->setData(QByteArray(10000, 'x'));
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    if (hidden)
        view->hide();

    if (append)
        view->appendData(QByteArray(size - 10000, 'y'));
    else
        view->setData(QByteArray(size, 'y'));
    const qint64 wanted = qint64(size / 16 + 1) * charHeight() + 5;
    QCOMPARE(inner()->minimumHeight(), int(qMin<qint64>(wanted, QWIDGETSIZE_MAX - 1)));
    QScrollBar *bar = view->verticalScrollBar();
    QCOMPARE(bar->maximum(), inner()->minimumHeight() - view->viewport()->height());

    bar->setValue(bar->maximum());
    QCOMPARE(inner()->y() + inner()->height(), view->viewport()->height());
}

void tst_HexView::appendPastTheLimitKeepsTheView_data()
{
    QTest::addColumn<int>("loaded");
    QTest::addColumn<int>("appended");
    QTest::addColumn<int>("topRow"); // -1: scrolled to the end
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("selBegin");
    QTest::addColumn<int>("selEnd");
    QTest::addColumn<int>("expectedTopRow");
    QTest::addColumn<int>("expectedCursor");
    QTest::addColumn<int>("expectedSelBegin");
    QTest::addColumn<int>("expectedSelEnd");

    // Limit 4096: 4000 bytes and 200 more drop 624 (39 rows), 50 more drop none; 1000 bytes and
    // 5000 more drop 2416 (151 rows), leaving more rows than before.
    QTest::newRow("all kept") << 4000 << 200 << 100 << 2000 << 1700 << 1800 << 61 << 1376 << 1076
                              << 1176;
    QTest::newRow("top row, cursor and half the selection dropped")
        << 4000 << 200 << 10 << 100 << 600 << 700 << 0 << 0 << 0 << 76;
    QTest::newRow("selection wholly dropped, cursor on the oldest kept byte")
        << 4000 << 200 << 100 << 624 << 100 << 200 << 61 << 0 << 0 << 0;
    QTest::newRow("at the end") << 4000 << 200 << -1 << 3999 << 3990 << 4000 << -1 << 3375 << 3366
                                << 3376;
    // The cursor starts well below the view, whatever the font's height, so that its move to 0
    // leaves the view as it was.
    QTest::newRow("nothing dropped: cursor to 0 as ever")
        << 4000 << 50 << 100 << 3000 << 1700 << 1800 << 100 << 0 << 1700 << 1800;
    QTest::newRow("at the end, a block larger than the limit")
        << 1000 << 5000 << -1 << 500 << 900 << 1000 << -1 << 0 << 0 << 0;
}

void tst_HexView::appendPastTheLimitKeepsTheView()
{
    QFETCH(int, loaded);
    QFETCH(int, appended);
    QFETCH(int, topRow);
    QFETCH(int, cursor);
    QFETCH(int, selBegin);
    QFETCH(int, selEnd);
    QFETCH(int, expectedTopRow);
    QFETCH(int, expectedCursor);
    QFETCH(int, expectedSelBegin);
    QFETCH(int, expectedSelEnd);

    const auto stream = [](int from, int count) {
        QByteArray bytes(count, Qt::Uninitialized);
        for (int i = 0; i < count; ++i)
            bytes[i] = char((from + i) % 251);
        return bytes;
    };
    view->setHistoryLimit(4096);
    view->setData(stream(0, loaded));
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QScrollBar *bar = view->verticalScrollBar();
    bar->setValue(topRow < 0 ? bar->maximum() : topRow * charHeight());
    view->setCursorPosition(cursor);
    inner()->resetSelection(2 * selBegin);
    inner()->setSelection(2 * selEnd);
    const QImage before = view->viewport()->grab().toImage();

    view->appendData(stream(loaded, appended));
    const int kept = view->data().size();
    QCOMPARE(view->data(), stream(loaded + appended - kept, kept));
    QCOMPARE(view->cursorPosition(), expectedCursor);
    QCOMPARE(inner()->getSelectionBegin(), expectedSelBegin);
    QCOMPARE(inner()->getSelectionEnd(), expectedSelEnd);
    if (expectedTopRow < 0) {
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
    } else {
        QCOMPARE(bar->value(), expectedTopRow * charHeight());
    }
    // The same bytes in the same places, under the same addresses.
    if (expectedTopRow > 0)
        QCOMPARE(view->viewport()->grab().toImage(), before);

    // The selection's anchor moved with it.
    inner()->setSelection(2 * expectedSelEnd);
    QCOMPARE(inner()->getSelectionBegin(), expectedSelBegin);
}

QTEST_MAIN(tst_HexView)
#include "tst_hexview.moc"

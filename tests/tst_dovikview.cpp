// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogscript.h"
#include "logcapture.h"
#include "view/dovikview.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QDialog>
#include <QFontDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtMath>

namespace {

const QString defaultSheet = QStringLiteral("QTextEdit { font:400 10pt \"Courier New\";"
                                            "color:rgb(255,255,255);"
                                            "background-color:rgb(43,88,65); }");
const QChar replacement(0xFFFD);

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Opens up the drag handlers that Qt would never call after a refused drag entry.
class DropTarget : public DovikView
{
public:
    using DovikView::DovikView;
    using DovikView::dragMoveEvent;
    using DovikView::dropEvent;
};

// Lines of 100 bytes, each with its own number, as a device logging readings sends them.
QByteArray numberedLines(int first, int count)
{
    QByteArray lines;
    for (int i = first; i < first + count; ++i)
        lines += "reading " + QByteArray::number(i).rightJustified(7, '0') + QByteArray(83, '.')
            + "\r\n";
    return lines;
}

QString lineText(int number)
{
    return QString::fromLatin1(numberedLines(number, 1).chopped(2));
}

// In blocks of the size the port hands over while a device streams.
void feed(DovikView *view, const QByteArray &bytes)
{
    for (int at = 0; at < bytes.size(); at += 4096)
        view->insertView(bytes.mid(at, 4096));
}

// Blocks in the time stamp tests arrive a second apart.
const QDateTime firstArrival(QDate(2024, 5, 6), QTime(23, 59, 58, 125));

// The document's text with each run in the dimmer stamp colour in brackets; a run of any other
// format but the plain one would show in braces.
QString withStampsMarked(const QTextDocument *doc, const QColor &stampColor)
{
    QStringList lines;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        QString line;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            const QString text = it.fragment().text();
            if (format.foreground().color() == stampColor
                && format.foreground().style() != Qt::NoBrush)
                line += QLatin1Char('[') + text + QLatin1Char(']');
            else if (format.hasProperty(QTextFormat::ForegroundBrush))
                line += QLatin1Char('{') + text + QLatin1Char('}');
            else
                line += text;
        }
        lines += line;
    }
    return lines.join(QLatin1Char('\n'));
}

QColor dimmedWhiteOnGreen();

// What the view shows, stamps marked as above.
QString shownWithStampsMarked(const DovikView *view)
{
    const std::unique_ptr<QTextDocument> shown = view->shownDocument();
    return withStampsMarked(shown ? shown.get() : view->document(), dimmedWhiteOnGreen());
}

// "#N" stands for the stamp of the block that arrived Nth.
QString stampsIn(QString expected)
{
    for (int n = 0; n < 10; ++n) {
        const QString stamp = firstArrival.addSecs(n).toString(QStringLiteral("hh:mm:ss.zzz "));
        expected.replace(
            QLatin1Char('#') + QString::number(n), QLatin1Char('[') + stamp + QLatin1Char(']'));
    }
    return expected;
}

// The stamp's colour is the text's at 55 % over the background.
QColor dimmedWhiteOnGreen()
{
    QColor dimmed;
    dimmed.setRgbF(0.55 * 1.0 + 0.45 * 43 / 255.0, 0.55 * 1.0 + 0.45 * 88 / 255.0,
        0.55 * 1.0 + 0.45 * 65 / 255.0);
    return dimmed;
}

QString firstShown(const DovikView *view)
{
    return view->cursorForPosition(QPoint(0, 0)).block().text();
}

// Halfway into the line, so that no rounding of the scroll position can tip it over.
void scrollToLine(DovikView *view, int number)
{
    const QTextBlock block = view->document()->findBlockByNumber(number);
    const QRectF rect = view->document()->documentLayout()->blockBoundingRect(block);
    view->verticalScrollBar()->setValue(qRound(rect.center().y()));
}

} // namespace

// Tests of the terminal view. Each test gets a fresh view in a window next to a line edit, so that
// a Tab which moved the focus instead of reaching the view would show.
class tst_DovikView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void styleSheetStartsEmptyAndDefaultsMatch();
    void invalidTextColorKeepsSheet();
    void awkwardFamilyKeepsColours_data();
    void awkwardFamilyKeepsColours();
    void dialogs_data();
    void dialogs();

    void insertView_data();
    void insertView();
    void insertViewEditsOncePerBlock_data();
    void insertViewEditsOncePerBlock();
    void timeStamps_data();
    void timeStamps();
    void stampsLookLikeText_data();
    void stampsLookLikeText();
    void switchingStampsKeepsTheLineInView();
    void trimsKeepStamps_data();
    void trimsKeepStamps();
    void insertViewFollowsTheEnd();
    void holdsStillWhileReading_data();
    void holdsStillWhileReading();
    void followsAgain_data();
    void followsAgain();
    void clearForgetsHeldBytesAndCr_data();
    void clearForgetsHeldBytesAndCr();
    void longLineCutKeepsWholeCharacters_data();
    void longLineCutKeepsWholeCharacters();
    void veryTallDisplayDropsOldestText();
    void newTextRepaintsOnlyTheView_data();
    void newTextRepaintsOnlyTheView();
    void unshapedTextLooksTheSame_data();
    void unshapedTextLooksTheSame();

    void keys_data();
    void keys();
    void ctrlVSendsControlCharacterWithoutPasting();
    void paste_data();
    void paste();
    void contextMenuPasteGoesToSignal();
    void dropsRefused();

private:
    QWidget *window = nullptr;
    DovikView *view = nullptr;
};

void tst_DovikView::init()
{
    window = new QWidget;
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(new QLineEdit(window));
    view = new DovikView(window);
    layout->addWidget(view);
    {
        // The offscreen platform warns on every show that it cannot pass on size hints.
        LogCapture platformWarnings(QtWarningMsg);
        window->show();
    }
    QVERIFY(QTest::qWaitForWindowExposed(window));
    view->setFocus();
}

void tst_DovikView::cleanup()
{
    delete window;
    window = nullptr;
    view = nullptr;
    QApplication::clipboard()->clear();
}

void tst_DovikView::styleSheetStartsEmptyAndDefaultsMatch()
{
    QVERIFY(view->styleSheet().isEmpty());
    view->setFont(view->getFont());
    view->setColor(view->getColor());
    view->setBackColor(view->getBackColor());
    QCOMPARE(view->styleSheet(), defaultSheet);
}

void tst_DovikView::invalidTextColorKeepsSheet()
{
    view->setColor(QColor(10, 20, 30));
    const QString before = view->styleSheet();
    QVERIFY(before.contains(QLatin1String("color:rgb(10,20,30);")));

    view->setColor(QColor());
    QCOMPARE(view->getColor(), QColor(10, 20, 30));
    QCOMPARE(view->styleSheet(), before);
}

void tst_DovikView::awkwardFamilyKeepsColours_data()
{
    QTest::addColumn<QString>("family");

    QTest::newRow("quote") << QStringLiteral("Bad\"Family");
    QTest::newRow("semicolon") << QStringLiteral("Mono; color:rgb(255,0,0)");
    QTest::newRow("braces") << QStringLiteral("Mono { } x {");
    QTest::newRow("quote, brace and semicolon adding a rule")
        << QStringLiteral("Mono\";} QTextEdit { background-color:rgb(255,0,0); } x {");
    QTest::newRow("backslash before the closing quote") << QStringLiteral("Mono\\");
    QTest::newRow("escaped quote in hex") << QStringLiteral("Mono\\22;color:rgb(255,0,0)");
    QTest::newRow("line break") << QStringLiteral("Mono\n;color:rgb(255,0,0)");
}

void tst_DovikView::awkwardFamilyKeepsColours()
{
    QFETCH(QString, family);

    const QColor text(10, 20, 30);
    const QColor background(200, 100, 50);
    LogCapture warnings(QtWarningMsg);
    QFont font = view->getFont();
    font.setFamily(family);
    view->setFont(font);
    view->setColor(text);
    view->setBackColor(background);

    QCOMPARE(view->getFont().family(), family);
    QCOMPARE(view->palette().color(QPalette::Text), text);
    const QImage shown = view->viewport()->grab().toImage();
    QCOMPARE(shown.pixelColor(shown.width() / 2, shown.height() / 2), background);
    QCOMPARE(warnings.lines(), QStringList());
}

void tst_DovikView::dialogs_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("accept");

    // The font dialog is opened without a title of its own, so Qt shows its default one.
    QTest::newRow("font, OK") << QByteArray("changeFont") << "Select Font" << true;
    QTest::newRow("font, cancel") << QByteArray("changeFont") << "Select Font" << false;
    QTest::newRow("text color, OK") << QByteArray("changeFontColor") << "Font color" << true;
    QTest::newRow("text color, cancel") << QByteArray("changeFontColor") << "Font color" << false;
    QTest::newRow("background, OK") << QByteArray("changeBackColor") << "Background color" << true;
    QTest::newRow("background, cancel")
        << QByteArray("changeBackColor") << "Background color" << false;
}

void tst_DovikView::dialogs()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, title);
    QFETCH(bool, accept);

    view->setFont(view->getFont());
    const QString before = view->styleSheet();
    const QColor picked(1, 2, 3);
    const QFont pickedFont(QStringLiteral("Courier New"), 17);

    QList<SeenDialog> seen;
    {
        DialogScript script({finish(accept, [&](QDialog *dialog) {
            if (auto *colorDialog = qobject_cast<QColorDialog *>(dialog))
                colorDialog->setCurrentColor(picked);
            if (auto *fontDialog = qobject_cast<QFontDialog *>(dialog))
                fontDialog->setCurrentFont(pickedFont);
        })});
        LogCapture platformWarnings(QtWarningMsg);
        QVERIFY(QMetaObject::invokeMethod(view, slot.constData()));
        seen = script.seen();
    }

    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().title, title);
    QCOMPARE(seen.first().parent, view);
    if (!accept) {
        QCOMPARE(view->styleSheet(), before);
    } else if (slot == "changeFont") {
        QCOMPARE(view->getFont().pointSize(), 17);
        QVERIFY(view->styleSheet().contains(QLatin1String(" 17pt ")));
    } else {
        QVERIFY(view->styleSheet().contains(QLatin1String("rgb(1,2,3)")));
    }
}

void tst_DovikView::insertView_data()
{
    QTest::addColumn<QByteArrayList>("blocks");
    QTest::addColumn<QString>("expected");

    QTest::newRow("AB | BS") << QByteArrayList {"AB", "\b"} << "A";
    QTest::newRow("AB BS C") << QByteArrayList {"AB\bC"} << "AC";
    QTest::newRow("abc | BS BS x") << QByteArrayList {"abc", "\b\bx"} << "ax";
    QTest::newRow("xy | a BS BS") << QByteArrayList {"xy", "a\b\b"} << "x";
    QTest::newRow("BS on empty, then Z") << QByteArrayList {"\bZ"} << "Z";
    QTest::newRow("BS joins lines") << QByteArrayList {"one\n", "\btwo"} << "onetwo";
    QTest::newRow("NUL dropped") << QByteArrayList {QByteArrayLiteral("A\0B")} << "AB";
    QTest::newRow("NUL is not pending") << QByteArrayList {"ab", QByteArrayLiteral("\0\b")} << "a";
    QTest::newRow("CR LF in one block") << QByteArrayList {"a\r\nb"} << "a\nb";
    QTest::newRow("CR | LF") << QByteArrayList {"a\r", "\nb"} << "a\nb";
    QTest::newRow("CR | BS LF") << QByteArrayList {"a\r", "\b\n"} << "a\n";
    QTest::newRow("lone CR") << QByteArrayList {"a\rb"} << "a\nb";
    QTest::newRow("e acute whole") << QByteArrayList {"\xC3\xA9"} << QString(QChar(0xE9));
    QTest::newRow("e acute split") << QByteArrayList {"\xC3", "\xA9"} << QString(QChar(0xE9));
    QTest::newRow("e acute then BS")
        << QByteArrayList {"\xC3\xA9\b", "z"} << QString(replacement) + QLatin1Char('z');
    QTest::newRow("tab, escape, bell")
        << QByteArrayList {"a\tb\x1b[31mc\x07"} << "a\tb\x1b[31mc\x07";
    QTest::newRow("empty block") << QByteArrayList {"AB", ""} << "AB";
}

void tst_DovikView::insertView()
{
    QFETCH(QByteArrayList, blocks);
    QFETCH(QString, expected);

    for (const QByteArray &block : blocks) {
        view->insertView(block);
        QVERIFY(view->textCursor().atEnd());
    }
    QCOMPARE(view->toPlainText(), expected);
}

void tst_DovikView::insertViewEditsOncePerBlock_data()
{
    QTest::addColumn<bool>("stamps");
    QTest::addColumn<QString>("tail");

    QTest::newRow("without time stamps") << false << "line\nabc";
    QTest::newRow("with time stamps") << true << stampsIn("#0line\n#0abc");
}

// A device may stream for hours: a block must cost one document change, not one per byte.
void tst_DovikView::insertViewEditsOncePerBlock()
{
    QFETCH(bool, stamps);
    QFETCH(QString, tail);
    view->setTimeStamps(stamps);
    QSignalSpy changes(view->document(), &QTextDocument::contentsChange);
    QVERIFY(changes.isValid());

    view->insertView(QByteArray("line\r\n").repeated(500) + "\t\x1b", firstArrival);
    QCOMPARE(changes.count(), 1);

    changes.clear();
    view->insertView("\b\babc", firstArrival.addSecs(1));
    QCOMPARE(changes.count(), 3);
    QVERIFY(shownWithStampsMarked(view).endsWith(tail));
}

void tst_DovikView::timeStamps_data()
{
    QTest::addColumn<QByteArrayList>("blocks");
    // One character a block: whether time stamps are on when it arrives.
    QTest::addColumn<QString>("on");
    QTest::addColumn<QString>("expected");

    QTest::newRow("off") << QByteArrayList {"a\r\nb", "c\n", "\bd"} << "000"
                         << "a\nbcd";
    QTest::newRow("every line, empty ones too")
        << QByteArrayList {"one\r\ntwo\rthree\n\nfour"} << "1"
        << "#0one\n#0two\n#0three\n#0\n#0four";
    QTest::newRow("line split between blocks") << QByteArrayList {"sen", "sor\r\n", "ok"} << "111"
                                               << "#0sensor\n#2ok";
    QTest::newRow("line feed ends a block") << QByteArrayList {"a\n", "b"} << "11"
                                            << "#0a\n#1b";
    QTest::newRow("CR | LF") << QByteArrayList {"a\r", "\nb"} << "11"
                             << "#0a\n#1b";
    QTest::newRow("first character split between blocks")
        << QByteArrayList {"a\r\n\xe2", "\x82\xac"} << "11" << QStringLiteral(u"#0a\n#0\u20ac");
    QTest::newRow("BS keeps the line's stamp") << QByteArrayList {"ab", "\b\b\bc"} << "11"
                                               << "#0c";
    QTest::newRow("BS joins lines under the first one's stamp")
        << QByteArrayList {"ab\ncd", "\b\b\b\be\nf"} << "11"
        << "#0ae\n#1f";
    QTest::newRow("BS within the block") << QByteArrayList {"ab\bc\n"} << "1"
                                         << "#0ac\n";
    QTest::newRow("BS joins onto a line of its own")
        << QByteArrayList {"ab\n", "cd", "\b\b\be"} << "111"
        << "#0abe";
    QTest::newRow("BS joins onto an empty line") << QByteArrayList {"a\n", "\bb"} << "11"
                                                 << "#0ab";
    QTest::newRow("BS joins a line begun with stamps off")
        << QByteArrayList {"a\n", "b", "\b\bc"} << "101"
        << "#0ac";
    QTest::newRow("BS joins onto a line begun with stamps off")
        << QByteArrayList {"a\nb", "\b\bc"} << "01"
        << "ac";
    QTest::newRow("switched on within a line") << QByteArrayList {"a\nb", "c\nd"} << "01"
                                               << "a\nbc\n#1d";
    QTest::newRow("switched off: none shown") << QByteArrayList {"a\nb", "c\nd"} << "10"
                                              << "a\nbc\nd";
    QTest::newRow("switched off and on again: lines begun meanwhile have none")
        << QByteArrayList {"a\nb", "c\nd", "e\n", "f"} << "1011"
        << "#0a\n#0bc\nde\n#3f";
}

// The stamp is the time a line's first byte arrived, in its own dimmer colour; what the device
// sent keeps the plain format, and backspaces take back only that.
void tst_DovikView::timeStamps()
{
    QFETCH(QByteArrayList, blocks);
    QFETCH(QString, on);
    QFETCH(QString, expected);

    for (int n = 0; n < blocks.size(); ++n) {
        view->setTimeStamps(on.at(n) == QLatin1Char('1'));
        QCOMPARE(view->timeStamps(), on.at(n) == QLatin1Char('1'));
        view->insertView(blocks.at(n), firstArrival.addSecs(n));
    }
    QCOMPARE(shownWithStampsMarked(view), stampsIn(expected));
    // The text itself is only what the device sent.
    QCOMPARE(
        view->toPlainText(), QString(expected).remove(QRegularExpression(QStringLiteral("#\\d"))));
}

void tst_DovikView::stampsLookLikeText_data()
{
    QTest::addColumn<QString>("family");

    QTest::newRow("monospace") << "DejaVu Sans Mono";
    QTest::newRow("proportional") << "DejaVu Sans";
}

// The margin shows each stamp as a capture has it, and the text beside it as without stamps.
void tst_DovikView::stampsLookLikeText()
{
    QFETCH(QString, family);

    DovikView stamped;
    DovikView unstamped;
    QTextEdit capture;
    stamped.setTimeStamps(true);
    for (QTextEdit *edit :
        {static_cast<QTextEdit *>(&stamped), static_cast<QTextEdit *>(&unstamped), &capture})
        edit->setFixedSize(600, 400);
    for (DovikView *view : {&stamped, &unstamped}) {
        view->setFont(QFont(family, 11));
        view->insertView("first line\r\n\r\nthird ", firstArrival);
        view->insertView("line", firstArrival.addSecs(1));
        view->ensurePolished();
    }
    capture.setStyleSheet(stamped.styleSheet());
    const std::unique_ptr<QTextDocument> shown = stamped.shownDocument();
    QVERIFY(shown);
    QCOMPARE(shownWithStampsMarked(&stamped).count(QLatin1Char('[')), 3);
    capture.setDocument(shown.get());
    capture.moveCursor(QTextCursor::End);

    const auto image = [](QTextEdit &edit) {
        return edit.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QImage withStamps = image(stamped);
    const qreal stampWidth = QFontMetricsF(stamped.document()->defaultFont())
                                 .horizontalAdvance(QStringLiteral("00:00:00.000 "));
    const int stampsEnd = 4 + qFloor(stampWidth);
    const int height = withStamps.height();
    QCOMPARE(
        withStamps.copy(0, 0, stampsEnd, height), image(capture).copy(0, 0, stampsEnd, height));
    // Moved by whole pixels, so that each glyph is drawn the same.
    const QTextDocument *doc = stamped.document();
    const qreal textLeft = doc->documentLayout()->blockBoundingRect(doc->begin()).left();
    // Without stamps, the text starts at the document's margin.
    const qreal shift = textLeft - unstamped.document()->documentMargin();
    QVERIFY2(shift >= stampWidth && shift == qRound(shift), qPrintable(QString::number(shift)));
    const int width = withStamps.width() - int(shift);
    QCOMPARE(
        withStamps.copy(int(shift), 0, width, height), image(unstamped).copy(0, 0, width, height));
    capture.setDocument(nullptr);
}

// The margin narrows the text, and long lines wrap anew.
void tst_DovikView::switchingStampsKeepsTheLineInView()
{
    QByteArray lines;
    for (int i = 0; i < 600; ++i)
        lines += "line " + QByteArray::number(i) + ' ' + QByteArray("word ").repeated(30) + "\r\n";
    feed(view, lines);
    scrollToLine(view, 300);
    QVERIFY(firstShown(view).startsWith(QLatin1String("line 300 ")));
    for (const bool on : {true, false, true}) {
        view->setTimeStamps(on);
        QVERIFY2(firstShown(view).startsWith(QLatin1String("line 300 ")),
            qPrintable(firstShown(view).left(10)));
    }
    // At the end, it stays at the end.
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    view->setTimeStamps(false);
    QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    QVERIFY(view->isFollowing());
}

void tst_DovikView::trimsKeepStamps_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("blockSize");

    QTest::newRow("a line too long") << QByteArray(9000, 'x') << 999;
    QTest::newRow("too many lines") << numberedLines(0, 20001) << 4096;
}

void tst_DovikView::trimsKeepStamps()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, blockSize);
    view->setTimeStamps(true);

    for (int at = 0; at < bytes.size(); at += blockSize)
        view->insertView(bytes.mid(at, blockSize), firstArrival.addSecs(at / blockSize % 2));

    const QString shown = shownWithStampsMarked(view);
    QVERIFY(shown.size() < bytes.size());
    for (const QString &line : shown.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QVERIFY2(line.startsWith(stampsIn(QStringLiteral("#0")))
                || line.startsWith(stampsIn(QStringLiteral("#1"))),
            qPrintable(line.left(40)));
        QCOMPARE(line.count(QLatin1Char('[')), 1);
    }
}

// Neither a selection nor a scrolled-back display may swallow or misplace new text, and the text
// arriving at the end takes neither the display nor the selection along.
void tst_DovikView::insertViewFollowsTheEnd()
{
    QScrollBar *scrollBar = view->verticalScrollBar();
    view->insertView(QByteArray("line\n").repeated(200));
    scrollBar->setValue(0);
    QTextCursor selection(view->document());
    selection.movePosition(QTextCursor::End);
    selection.setPosition(0, QTextCursor::KeepAnchor);
    view->setTextCursor(selection);

    view->insertView("tail");

    QCOMPARE(view->document()->blockCount(), 201);
    QCOMPARE(view->document()->lastBlock().text(), QStringLiteral("tail"));
    QCOMPARE(scrollBar->value(), 0);
    QCOMPARE(view->textCursor().selectionStart(), 0);
    QCOMPARE(view->textCursor().selectionEnd(), 1000);
}

void tst_DovikView::holdsStillWhileReading_data()
{
    QTest::addColumn<int>("topLine"); // -1: scrolled to the end
    QTest::addColumn<int>("selectFrom"); // -1: nothing selected
    QTest::addColumn<int>("selectTo"); // -1: the end of the text
    QTest::addColumn<bool>("topKept");
    QTest::addColumn<bool>("selectionKept");

    QTest::newRow("scrolled up") << 14000 << -1 << -1 << true << true;
    QTest::newRow("scrolled up to lines that are dropped") << 1000 << -1 << -1 << false << true;
    QTest::newRow("selection above the end") << 14000 << 14002 << 14005 << true << true;
    QTest::newRow("selection, scrolled to the end") << -1 << 14995 << 14997 << true << true;
    QTest::newRow("selection to the end of the text") << 14000 << 14990 << -1 << true << true;
    QTest::newRow("selection partly dropped") << 14000 << 100 << 14001 << true << false;
}

// A user reading back or selecting text to copy keeps the same lines in view while the device
// goes on talking, through a megabyte of text and the dropping of the oldest lines.
void tst_DovikView::holdsStillWhileReading()
{
    QFETCH(int, topLine);
    QFETCH(int, selectFrom);
    QFETCH(int, selectTo);
    QFETCH(bool, topKept);
    QFETCH(bool, selectionKept);
    QTextDocument *doc = view->document();
    QScrollBar *scrollBar = view->verticalScrollBar();

    view->insertView(numberedLines(0, 15000));
    if (selectFrom >= 0) {
        QTextCursor selection(doc);
        selection.setPosition(doc->findBlockByNumber(selectFrom).position());
        selection.setPosition(
            selectTo < 0 ? doc->characterCount() - 1 : doc->findBlockByNumber(selectTo).position(),
            QTextCursor::KeepAnchor);
        view->setTextCursor(selection);
    }
    if (topLine < 0)
        scrollBar->setValue(scrollBar->maximum());
    else
        scrollToLine(view, topLine);
    QVERIFY(!view->isFollowing());
    const QString shown = firstShown(view);
    QVERIFY(shown.startsWith(QLatin1String("reading ")));
    const QString selected = view->textCursor().selectedText();

    feed(view, numberedLines(15000, 10486));
    QCoreApplication::processEvents();

    QVERIFY(doc->blockCount() <= 20001);
    QCOMPARE(doc->lastBlock().previous().text(), lineText(25485));
    if (topKept)
        QCOMPARE(firstShown(view), shown);
    else
        QCOMPARE(view->cursorForPosition(QPoint(0, 0)).blockNumber(), 0);
    if (selectionKept) {
        QCOMPARE(view->textCursor().selectedText(), selected);
    } else {
        const QString left = view->textCursor().selectedText();
        QVERIFY(!left.isEmpty());
        QVERIFY(selected.endsWith(left));
        QCOMPARE(view->textCursor().selectionStart(), 0);
    }
    QVERIFY(!view->isFollowing());
}

void tst_DovikView::followsAgain_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("never left the end") << "";
    QTest::newRow("scrolled back to the end") << "scroll";
    QTest::newRow("key press") << "key";
    QTest::newRow("paste") << "paste";
    QTest::newRow("Clear Screen") << "clear";
}

void tst_DovikView::followsAgain()
{
    QFETCH(QString, how);
    QTextDocument *doc = view->document();
    QScrollBar *scrollBar = view->verticalScrollBar();

    view->insertView(numberedLines(0, 300));
    if (!how.isEmpty()) {
        if (how != QLatin1String("scroll")) {
            QTextCursor selection(doc);
            selection.setPosition(doc->findBlockByNumber(10).position());
            selection.setPosition(doc->findBlockByNumber(12).position(), QTextCursor::KeepAnchor);
            view->setTextCursor(selection);
        }
        scrollBar->setValue(0);
        view->insertView(numberedLines(300, 50));
        QCoreApplication::processEvents();
        QCOMPARE(scrollBar->value(), 0);
        QVERIFY(!view->isFollowing());
    }

    if (how == QLatin1String("scroll")) {
        scrollBar->setValue(scrollBar->maximum());
    } else if (how == QLatin1String("key")) {
        QTest::keyClick(view, Qt::Key_A);
    } else if (how == QLatin1String("paste")) {
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        LogCapture log;
        view->paste();
    } else if (how == QLatin1String("clear")) {
        view->clear();
    }
    // Two blocks in a row, as when they come faster than the layout of the first is finished.
    view->insertView(numberedLines(350, 300));
    view->insertView(numberedLines(650, 2));
    QVERIFY(view->isFollowing());
    QVERIFY(view->textCursor().atEnd());
    QTextCursor last(doc);
    last.movePosition(QTextCursor::End);
    last.movePosition(QTextCursor::PreviousBlock);
    QCOMPARE(last.block().text(), lineText(651));
    QVERIFY(view->viewport()->rect().contains(view->cursorRect(last)));
    QVERIFY(scrollBar->value() > 0);
}

void tst_DovikView::clearForgetsHeldBytesAndCr_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("expected");

    QTest::newRow("held byte") << QByteArray("a\xC3") << QByteArray("\xA9") << QString(replacement);
    QTest::newRow("CR") << QByteArray("a\r") << QByteArray("\nb") << "\nb";
}

void tst_DovikView::clearForgetsHeldBytesAndCr()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, expected);

    view->insertView(before);
    view->clear();
    QVERIFY(view->toPlainText().isEmpty());
    view->insertView(after);
    QCOMPARE(view->toPlainText(), expected);
}

void tst_DovikView::longLineCutKeepsWholeCharacters_data()
{
    QTest::addColumn<int>("blockSize");

    QTest::newRow("one block") << 18000;
    QTest::newRow("blocks that split characters") << 999;
}

// A line that never ends keeps only its end; it must start with a whole character.
void tst_DovikView::longLineCutKeepsWholeCharacters()
{
    QFETCH(int, blockSize);
    const QString emoji = QStringLiteral("\U0001F600");
    const QByteArray line = emoji.toUtf8().repeated(4500);

    for (int at = 0; at < line.size(); at += blockSize)
        view->insertView(line.mid(at, blockSize));

    const QString shown = view->toPlainText();
    QVERIFY(shown.size() < 4500 * 2);
    QVERIFY(shown.at(0).isHighSurrogate());
    QCOMPARE(shown.count(emoji) * 2, shown.size());
}

// Past some eight million pixels the text layout can stop making progress and the program would
// hang, so the oldest lines give way. A large font in a narrow view gets there quickly.
void tst_DovikView::veryTallDisplayDropsOldestText()
{
    view->setFont(QFont(QStringLiteral("Courier New"), 30));
    window->resize(160, 400);
    QCoreApplication::processEvents();

    const QByteArray words = QByteArray("x ").repeated(30);
    qreal tallest = 0;
    int trimmedAt = -1;
    for (int i = 0; i < 60000 && trimmedAt < 0; ++i) {
        const int before = view->document()->characterCount();
        view->insertView(QByteArray::number(i) + ' ' + words + '\n');
        tallest = qMax(tallest, view->document()->size().height());
        if (view->document()->characterCount() < before)
            trimmedAt = i;
    }
    QVERIFY2(trimmedAt > 0, "the display never grew past the height limit");
    QVERIFY(tallest <= 6e6);
    QVERIFY(view->document()->size().height() <= 4.6e6);

    const QString shown = view->toPlainText();
    QVERIFY(!shown.startsWith(QLatin1String("0 ")));
    // Whole lines go, the newest stay.
    QVERIFY(shown.section(QLatin1Char(' '), 0, 0).toInt() > 0);
    QVERIFY(shown.endsWith(QString::number(trimmedAt) + QLatin1Char(' ')
        + QString::fromLatin1(words) + QLatin1Char('\n')));

    view->insertView("XYZ");
    QVERIFY(view->toPlainText().endsWith(QLatin1String("\nXYZ")));
    QCOMPARE(view->textCursor().position(), view->document()->characterCount() - 1);
}

void tst_DovikView::newTextRepaintsOnlyTheView_data()
{
    QTest::addColumn<QColor>("backColor");
    QTest::addColumn<QColor>("shown");

    QTest::newRow("default green") << QColor(43, 88, 65) << QColor(43, 88, 65);
    QTest::newRow("alpha left out") << QColor(250, 128, 0, 10) << QColor(250, 128, 0);
    QTest::newRow("invalid is black") << QColor() << QColor(Qt::black);
}

// The view paints its own background, in the configured colour: text arriving, which scrolls the
// view and moves its scroll bar, repaints nothing behind it.
void tst_DovikView::newTextRepaintsOnlyTheView()
{
    QFETCH(QColor, backColor);
    QFETCH(QColor, shown);
    view->setFont(QFont(QStringLiteral("Courier New"), 10));
    view->setColor(Qt::white);
    view->setBackColor(backColor);
    for (int i = 0; i < 100; ++i)
        view->insertView("line " + QByteArray::number(i) + "\r\n");
    QTRY_VERIFY(view->verticalScrollBar()->isVisible());
    QCoreApplication::processEvents();

    PaintCounter behind;
    window->installEventFilter(&behind);
    view->installEventFilter(&behind);
    PaintCounter viewport;
    view->viewport()->installEventFilter(&viewport);
    for (int i = 0; i < 20; ++i) {
        view->insertView("more " + QByteArray::number(i) + "\r\n");
        QCoreApplication::processEvents();
    }
    QVERIFY(viewport.paints > 0);
    QCOMPARE(behind.paints, 0);

    const QImage image = view->viewport()->grab().toImage();
    QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), shown);
}

void tst_DovikView::unshapedTextLooksTheSame_data()
{
    QTest::addColumn<QString>("family");

    QTest::newRow("monospace") << "Courier New";
    QTest::newRow("proportional, with kerning") << "DejaVu Sans";
    QTest::newRow("serif") << "DejaVu Serif";
}

// The view may lay out text without shaping, which is much cheaper, only where that draws the very
// same pixels as a plain rich-text view with the same style sheet.
void tst_DovikView::unshapedTextLooksTheSame()
{
    QFETCH(QString, family);
    QString text;
    for (ushort c = 0x21; c < 0x7f; ++c)
        text += QChar(c) + QStringLiteral("AV To LT ff fi ") + QChar(c);
    text += QStringLiteral(u"caf\u00e9 \u00c5ngstr\u00f6m \u00bd\u00be \u00ff\u00fe");

    DovikView terminal;
    QTextEdit plain;
    for (QTextEdit *edit : {static_cast<QTextEdit *>(&terminal), &plain})
        edit->setFixedSize(600, 400);
    terminal.setFont(QFont(family, 11));
    plain.setStyleSheet(terminal.styleSheet());
    terminal.insertView(text.toUtf8());
    plain.setPlainText(text);
    plain.moveCursor(QTextCursor::End);

    QCOMPARE(terminal.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32),
        plain.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32));
}

void tst_DovikView::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    // A modifier alone leaves the view where the user is reading, and a selection for
    // Ctrl+Shift+C to copy; any other key goes back to the newest text.
    QTest::addColumn<bool>("followsEnd");

    QTest::newRow("a") << int(Qt::Key_A) << int(Qt::NoModifier) << "a" << true;
    QTest::newRow("Shift alone") << int(Qt::Key_Shift) << int(Qt::NoModifier) << "" << false;
    for (const Qt::Key alone :
        {Qt::Key_AltGr, Qt::Key_Mode_switch, Qt::Key_Super_L, Qt::Key_Hyper_R})
        QTest::addRow("modifier 0x%x alone", alone)
            << int(alone) << int(Qt::NoModifier) << "" << false;
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << "\r" << true;
    QTest::newRow("Tab") << int(Qt::Key_Tab) << int(Qt::NoModifier) << "\t" << true;
    QTest::newRow("Shift+Tab") << int(Qt::Key_Tab) << int(Qt::ShiftModifier) << "\t" << true;
    QTest::newRow("Left") << int(Qt::Key_Left) << int(Qt::NoModifier) << "" << true;
    QTest::newRow("Up") << int(Qt::Key_Up) << int(Qt::NoModifier) << "" << true;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << int(Qt::NoModifier) << "\b" << true;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << "\x1b" << true;
}

void tst_DovikView::keys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(bool, followsEnd);

    view->insertView("first\r\nsecond");
    view->moveCursor(QTextCursor::Start);
    QSignalSpy spy(view, &DovikView::keyInput);
    QVERIFY(spy.isValid());

    // QTest cannot name the text of every modifier key, so the table gives it.
    if (modifiers == Qt::NoModifier)
        QTest::sendKeyEvent(QTest::Click, view, Qt::Key(key), text, Qt::NoModifier);
    else
        QTest::keyClick(view, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    // QTest presses the modifier key on its own first, as a keyboard would.
    QCOMPARE(spy.count(), modifiers == Qt::NoModifier ? 1 : 2);
    QCOMPARE(spy.last().at(0).toInt(), key);
    QCOMPARE(spy.last().at(1).toString(), text);
    QCOMPARE(view->toPlainText(), QStringLiteral("first\nsecond"));
    QCOMPARE(view->textCursor().atEnd(), followsEnd);
    QVERIFY(view->hasFocus());
}

void tst_DovikView::ctrlVSendsControlCharacterWithoutPasting()
{
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    QSignalSpy spy(view, &DovikView::keyInput);
    QVERIFY(spy.isValid());

    // The window system sends Ctrl+V with the control character as text; QTest::keyClick
    // would send a plain "v".
    QTest::sendKeyEvent(QTest::Press, view, Qt::Key_V, QStringLiteral("\x16"), Qt::ControlModifier);

    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toInt(), int(Qt::Key_Control));
    QCOMPARE(spy.at(1).at(0).toInt(), int(Qt::Key_V));
    QCOMPARE(spy.at(1).at(1).toString(), QStringLiteral("\x16"));
    QVERIFY(view->toPlainText().isEmpty());
}

void tst_DovikView::paste_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("hello") << "hello"
                           << "\"hello\"";
    QTest::newRow("two lines") << "a\nb"
                               << "\"a\\nb\"";
    QTest::newRow("empty clipboard") << QString() << "\"\"";
}

void tst_DovikView::paste()
{
    QFETCH(QString, clipboard);
    QFETCH(QString, debugLine);

    view->insertView("shown");
    // A cleared clipboard has no data at all here, so the editor would not even try to paste; an
    // empty one on a desktop still hands over data, just without text.
    if (clipboard.isNull())
        QApplication::clipboard()->setMimeData(new QMimeData);
    else
        QApplication::clipboard()->setText(clipboard);
    QSignalSpy spy(view, &DovikView::keyInput);
    QVERIFY(spy.isValid());

    LogCapture log;
    view->paste();

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), int(Qt::Key_F35));
    QCOMPARE(spy.at(0).at(1).toString(), clipboard);
    QCOMPARE(log.lines(), QStringList {debugLine});
    QCOMPARE(view->toPlainText(), QStringLiteral("shown"));
}

void tst_DovikView::contextMenuPasteGoesToSignal()
{
    view->insertView("shown");
    QApplication::clipboard()->setText(QStringLiteral("hello"));
    QSignalSpy spy(view, &DovikView::keyInput);
    QVERIFY(spy.isValid());

    QScopedPointer<QMenu> menu(view->createStandardContextMenu());
    auto *pasteAction = menu->findChild<QAction *>(QStringLiteral("edit-paste"));
    auto *undoAction = menu->findChild<QAction *>(QStringLiteral("edit-undo"));
    QVERIFY(pasteAction && undoAction);
    QVERIFY(pasteAction->isEnabled());
    QVERIFY(!undoAction->isEnabled());

    LogCapture log;
    pasteAction->trigger();
    QCOMPARE(log.lines().size(), 1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), int(Qt::Key_F35));
    QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("hello"));
    QCOMPARE(view->toPlainText(), QStringLiteral("shown"));
}

void tst_DovikView::dropsRefused()
{
    view->insertView("shown");
    QSignalSpy spy(view, &DovikView::keyInput);
    QVERIFY(spy.isValid());
    QMimeData mime;
    mime.setText(QStringLiteral("dropped"));
    const QPoint at(5, 5);

    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QVERIFY(!enter.isAccepted());

    // Qt hands moves and drops only to a widget that took the drag in, so those handlers are
    // called directly to show that they would refuse too.
    DropTarget target;
    target.insertView("shown");
    QSignalSpy targetSpy(&target, &DovikView::keyInput);
    QVERIFY(targetSpy.isValid());
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    target.dragMoveEvent(&move);
    QVERIFY(!move.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    target.dropEvent(&drop);
    QVERIFY(!drop.isAccepted());

    QCOMPARE(view->toPlainText(), QStringLiteral("shown"));
    QCOMPARE(target.toPlainText(), QStringLiteral("shown"));
    QCOMPARE(spy.count() + targetSpy.count(), 0);
}

QTEST_MAIN(tst_DovikView)

#include "tst_dovikview.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/dovikview.h"

#include "view/opaquescrollbars.h"
#include "view/terminalstylesheet.h"

#include <QAbstractTextDocumentLayout>
#include <QByteArray>
#include <QColorDialog>
#include <QDebug>
#include <QFontDialog>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QRawFont>
#include <QScrollBar>
#include <QStaticText>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTime>

#include <cmath>
#include <cstdio>

namespace {

// Dropping the oldest text makes the layout move every line that stays up, at a cost of about a
// microsecond per line, so the number of lines kept is what bounds the time one trim holds up the
// window: it stays within a frame. A few thousand lines go at a time, so that it is rarely paid.
constexpr int linesKeptAtMost = 20000;
constexpr int linesAfterTrim = 17000;
// Text appended to a line lays out that whole line again: a device that never sends a line break
// would make every frame slower than the last. Like a terminal's scrollback, only the end of such
// a line is kept.
constexpr int lineLengthAtMost = 8192;
constexpr int lineLengthAfterTrim = 4096;
// Past about eight million pixels (2^23, where single-precision coordinates run out of fractions)
// the text layout can stop making progress; a large font in a narrow window can get there even
// within the limits above.
constexpr qreal displayHeightLimit = 6e6;
constexpr qreal displayHeightAfterTrim = 4.5e6;

// How much of the text colour a time stamp keeps over the background.
constexpr qreal stampOpacity = 0.55;
// A line's user state is the time its first byte arrived, in milliseconds since midnight, or this.
constexpr int lineNotStamped = -1;
const QString stampPattern = QStringLiteral("hh:mm:ss.zzz ");

QList<QGlyphRun> glyphsOf(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    return layout.glyphRuns();
}

// The two layouts use font engines of their own, so their raw fonts never compare equal.
bool sameFace(const QRawFont &a, const QRawFont &b)
{
    return a.familyName() == b.familyName() && a.styleName() == b.styleName()
        && a.pixelSize() == b.pixelSize() && a.weight() == b.weight() && a.style() == b.style();
}

// Every pair of printable ASCII characters, where kerning and ligatures would show, then the
// printable Latin-1 letters and signs.
QString shapingProbe()
{
    QString probe;
    for (ushort first = 0x21; first < 0x7f; ++first) {
        for (ushort second = 0x20; second < 0x7f; ++second) {
            probe += QChar(first);
            probe += QChar(second);
        }
    }
    for (ushort c = 0xa1; c <= 0xff; ++c)
        probe += QChar(c);
    return probe;
}

// Shaping costs about a third of the layout of received text, and a terminal font rarely needs
// it: the cheaper path is taken only when it draws the very same glyphs at the very same places.
bool shapingChangesNothing(const QFont &font)
{
    static const QString probe = shapingProbe();
    QFont unshaped = font;
    unshaped.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    const QList<QGlyphRun> expected = glyphsOf(probe, font);
    const QList<QGlyphRun> cheaper = glyphsOf(probe, unshaped);
    if (expected.size() != cheaper.size())
        return false;
    for (int i = 0; i < expected.size(); ++i) {
        if (expected.at(i).glyphIndexes() != cheaper.at(i).glyphIndexes()
            || expected.at(i).positions() != cheaper.at(i).positions()
            || !sameFace(expected.at(i).rawFont(), cheaper.at(i).rawFont()))
            return false;
    }
    return true;
}

// The first position at or after `position` that does not fall between the two halves of a
// character outside the basic plane.
int wholeCharacterFrom(const QTextDocument *doc, int position)
{
    const bool inPair = doc->characterAt(position).isLowSurrogate()
        && doc->characterAt(position - 1).isHighSurrogate();
    return inPair ? position + 1 : position;
}

QColor stampColor(const QColor &color, const QColor &backColor)
{
    const QColor text = styleSheetColor(color);
    const QColor back = styleSheetColor(backColor);
    const auto mix
        = [](qreal over, qreal under) { return stampOpacity * over + (1 - stampOpacity) * under; };
    return QColor::fromRgbF(mix(text.redF(), back.redF()), mix(text.greenF(), back.greenF()),
        mix(text.blueF(), back.blueF()));
}

QString stampText(int millisecondsSinceMidnight)
{
    return QTime::fromMSecsSinceStartOfDay(millisecondsSinceMidnight).toString(stampPattern);
}

} // namespace

DovikView::DovikView(QWidget *parent)
    : QTextEdit(parent)
    , font(QStringLiteral("Courier New"), 10, QFont::Normal, false)
    , color(255, 255, 255, 255)
    , backColor(43, 88, 65, 255)
{
    setFocusPolicy(Qt::StrongFocus);
    setReadOnly(true);
    setAcceptRichText(true);
    // Must follow setReadOnly, which resets the flags. An editable control shows the text cursor
    // and keeps Tab and Shift+Tab for keyPressEvent instead of moving the focus.
    setTextInteractionFlags(Qt::TextEditorInteraction);
    // A terminal can run for hours; an undo history would only grow.
    document()->setUndoRedoEnabled(false);
    ensureCursorVisible();
    // The background is painted by the view itself (paintEvent), so nothing behind it has to
    // repaint whenever text arrives.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    new OpaqueScrollBars(this);
}

void DovikView::setFont(const QFont &font)
{
    this->font = font;
    applyStyleSheet();
}

const QFont &DovikView::getFont() const
{
    return font;
}

void DovikView::setColor(const QColor &color)
{
    if (!color.isValid())
        return;
    this->color = color;
    applyStyleSheet();
}

const QColor &DovikView::getColor() const
{
    return color;
}

void DovikView::setBackColor(const QColor &color)
{
    backColor = color;
    applyStyleSheet();
}

const QColor &DovikView::getBackColor() const
{
    return backColor;
}

void DovikView::insertView(const QByteArray &data)
{
    insertView(data, stamping ? QDateTime::currentDateTime() : QDateTime());
}

void DovikView::insertView(const QByteArray &data, const QDateTime &arrival)
{
    if (!shapingChosen)
        chooseTextShaping();
    // Decided before the text goes in: afterwards the scroll bar may not yet know the new height,
    // and asking the layout would cost more than the insertion.
    const bool following = isFollowing();
    QTextCursor cursor;
    if (following) {
        moveToEnd();
        // A copy of the view's cursor, at the end of the document: the view's own cursor sits at
        // the same position and moves along with every edit made through this one.
        cursor = textCursor();
    } else {
        cursor = QTextCursor(document());
        cursor.movePosition(QTextCursor::End);
    }
    // A selection that reaches the end would take in whatever arrives.
    const QTextCursor selected = following ? QTextCursor() : textCursor();
    const bool selectionAtEnd
        = selected.hasSelection() && selected.selectionEnd() == cursor.position();
    const int anchor = selected.anchor();
    const int position = selected.position();

    // Backspaces first eat bytes of this block that are not shown yet, so the whole block still
    // goes into the document as a single insertion.
    const ReceivedBlock block = decoder.decode(data);
    for (int i = 0; i < block.deletions && cursor.position() != 0; ++i) {
        // Lines joined keep the later one's state, but the joined line began with the first.
        const bool joins = cursor.positionInBlock() == 0;
        const int firstLineState = joins ? cursor.block().previous().userState() : lineNotStamped;
        cursor.deletePreviousChar();
        if (joins)
            cursor.block().setUserState(firstLineState);
        if (following)
            ensureCursorVisible();
    }
    const int selectionEndsBy = cursor.position();
    // Looking up the line's number walks the document; without stamps nobody needs it.
    const int firstLine = stamping ? cursor.blockNumber() : 0;
    const bool firstLineEmpty = stamping && cursor.block().length() <= 1;
    if (!block.text.isEmpty())
        cursor.insertText(block.text);
    if (stamping)
        stampLinesFrom(firstLine, firstLineEmpty, arrival);
    if (following)
        ensureCursorVisible();
    else if (selectionAtEnd)
        keepSelection(qMin(anchor, selectionEndsBy), qMin(position, selectionEndsBy));
    trimOldestText(following);
    followedTo = following ? verticalScrollBar()->value() : -1;
}

bool DovikView::isFollowing() const
{
    // Scrolling to make the last line visible can stop short of the maximum by the document's
    // margin; that still counts as the end. So does where the view was left following, until the
    // user moves it: the layout of a large block goes on later and keeps the maximum too high.
    const QScrollBar *bar = verticalScrollBar();
    const bool atEnd
        = bar->value() == followedTo || bar->value() >= bar->maximum() - bar->singleStep();
    return atEnd && !textCursor().hasSelection();
}

void DovikView::setTimeStamps(bool on)
{
    if (on == stamping)
        return;
    stamping = on;
    // The margin changes the width the text wraps in; the reader stays on the same line.
    const bool following = isFollowing();
    const QTextCursor top = cursorForPosition(QPoint(0, 0));
    const qreal intoLine = verticalScrollBar()->value() - lineTop(top);
    updateStampMargin();
    if (following)
        followEnd();
    else
        verticalScrollBar()->setValue(qRound(lineTop(top) + intoLine));
}

bool DovikView::timeStamps() const
{
    return stamping;
}

void DovikView::clear()
{
    decoder.reset();
    QTextEdit::clear();
    updateStampMargin();
}

void DovikView::changeFont()
{
    bool ok = false;
    const QFont chosen
        = QFontDialog::getFont(&ok, font, this, QString(), QFontDialog::FontDialogOptions());
    if (ok)
        setFont(chosen);
}

void DovikView::changeFontColor()
{
    const QColor chosen
        = QColorDialog::getColor(color, this, tr("Font color"), QColorDialog::ColorDialogOptions());
    if (chosen.isValid())
        setColor(chosen);
}

void DovikView::changeBackColor()
{
    const QColor chosen = QColorDialog::getColor(
        backColor, this, tr("Background color"), QColorDialog::ColorDialogOptions());
    if (chosen.isValid())
        setBackColor(chosen);
}

void DovikView::keyPressEvent(QKeyEvent *event)
{
    // The base editor is never asked: what a key does is up to the device, whose echo is what
    // appears on the display. A modifier pressed on its way to Ctrl+Shift+C must leave the
    // selection it is meant to copy where it is.
    const int key = event->key();
    const bool modifierAlone = (key >= Qt::Key_Shift && key <= Qt::Key_ScrollLock)
        || key == Qt::Key_AltGr || key == Qt::Key_Super_L || key == Qt::Key_Super_R
        || key == Qt::Key_Hyper_L || key == Qt::Key_Hyper_R || key == Qt::Key_Mode_switch;
    if (!modifierAlone)
        followEnd();
    emit keyInput(key, event->text());
}

void DovikView::dragEnterEvent(QDragEnterEvent *) { }

void DovikView::dragMoveEvent(QDragMoveEvent *) { }

void DovikView::dragLeaveEvent(QDragLeaveEvent *) { }

void DovikView::dropEvent(QDropEvent *) { }

void DovikView::insertFromMimeData(const QMimeData *source)
{
    followEnd();
    const QString text = source ? source->text() : QString();
    qDebug() << text;
    emit keyInput(Qt::Key_F35, text);
}

void DovikView::paintEvent(QPaintEvent *event)
{
    // The style sheet's background is drawn under a transparent viewport; filling it here with
    // the same colour is what lets the viewport be opaque.
    {
        QPainter painter(viewport());
        painter.fillRect(event->rect(), styleSheetColor(backColor));
    }
    QTextEdit::paintEvent(event);
    if (stamping)
        paintStamps(event->rect());
}

void DovikView::changeEvent(QEvent *event)
{
    QTextEdit::changeEvent(event);
    // The style sheet's font reaches the document as its default font on this event; whether it
    // needs shaping is worked out when text next arrives, not at every change during start-up.
    if (event->type() == QEvent::FontChange) {
        shapingChosen = false;
        updateStampMargin();
    }
}

void DovikView::chooseTextShaping()
{
    shapingChosen = true;
    QFont documentFont = document()->defaultFont();
    const bool skip = shapingChangesNothing(documentFont);
    if (skip == bool(documentFont.styleStrategy() & QFont::PreferNoShaping))
        return;
    documentFont.setStyleStrategy(skip ? QFont::PreferNoShaping : QFont::PreferDefault);
    document()->setDefaultFont(documentFont);
}

// Lines that have no stamp yet get the arrival time once their first byte is there; the text
// itself never holds a stamp, so that finding, copying and the line length limits see only what
// the device sent.
void DovikView::stampLinesFrom(int blockNumber, bool wasEmpty, const QDateTime &arrival)
{
    const int time = arrival.time().msecsSinceStartOfDay();
    QTextBlock line = document()->findBlockByNumber(blockNumber);
    // A line with text already began before: while time stamps were off, if it has none.
    if (!wasEmpty)
        line = line.next();
    for (; line.isValid(); line = line.next()) {
        if (line.userState() != lineNotStamped)
            continue;
        // A line's first byte may be one of a character still incomplete.
        if (line.length() <= 1 && !line.next().isValid() && !decoder.holdsBytes())
            break;
        line.setUserState(time);
    }
}

// Room for the stamps and the document's own margin before them: Qt 6 takes a left margin in place
// of the document's, Qt 5 adds the two. Whole pixels keep the text on the same pixels as without
// stamps.
void DovikView::updateStampMargin()
{
    QTextFrame *const root = document()->rootFrame();
    QTextFrameFormat format = root->frameFormat();
    if (stamping) {
        const qreal margin = std::ceil(stampWidth()) + document()->documentMargin();
        if (format.hasProperty(QTextFormat::FrameLeftMargin) && format.leftMargin() == margin)
            return;
        format.setLeftMargin(margin);
    } else {
        if (!format.hasProperty(QTextFormat::FrameLeftMargin))
            return;
        format.clearProperty(QTextFormat::FrameLeftMargin);
    }
    root->setFrameFormat(format);
}

qreal DovikView::stampWidth() const
{
    return QFontMetricsF(document()->defaultFont()).horizontalAdvance(stampText(0));
}

void DovikView::paintStamps(const QRect &area)
{
    QPainter painter(viewport());
    painter.setPen(stampColor(color, backColor));
    painter.setFont(document()->defaultFont());
    const int top = verticalScrollBar()->value();
    const qreal left = document()->documentMargin() - horizontalScrollBar()->value();
    const QAbstractTextDocumentLayout *layout = document()->documentLayout();
    const qreal ascent = QFontMetricsF(painter.font()).ascent();
    // The lines of one received block share their stamp; laying it out once is what makes a
    // full screen of stamps cheap to draw.
    int laidOut = -1;
    QStaticText stamp;
    stamp.setTextFormat(Qt::PlainText);
    for (QTextBlock line = cursorForPosition(QPoint(0, area.top())).block(); line.isValid();
         line = line.next()) {
        const QRectF rect = layout->blockBoundingRect(line);
        if (rect.top() - top > area.bottom())
            break;
        const QTextLayout *lines = line.layout();
        if (line.userState() < 0 || !lines || lines->lineCount() == 0)
            continue;
        if (line.userState() != laidOut) {
            laidOut = line.userState();
            stamp.setText(stampText(laidOut));
        }
        const QTextLine first = lines->lineAt(0);
        painter.drawStaticText(
            QPointF(left, rect.top() + first.y() + first.ascent() - ascent - top), stamp);
    }
}

std::unique_ptr<QTextDocument> DovikView::shownDocument() const
{
    if (!stamping)
        return nullptr;
    std::unique_ptr<QTextDocument> shown(document()->clone());
    QTextFrameFormat frame = shown->rootFrame()->frameFormat();
    frame.clearProperty(QTextFormat::FrameLeftMargin);
    shown->rootFrame()->setFrameFormat(frame);
    QTextCharFormat format;
    format.setForeground(stampColor(color, backColor));
    QTextCursor cursor(shown.get());
    for (QTextBlock line = document()->begin(), copy = shown->begin();
         line.isValid() && copy.isValid(); line = line.next(), copy = copy.next()) {
        if (line.userState() < 0)
            continue;
        cursor.setPosition(copy.position());
        cursor.insertText(stampText(line.userState()), format);
    }
    return shown;
}

void DovikView::applyStyleSheet()
{
    setStyleSheet(terminalStyleSheet(font, color, backColor));
}

void DovikView::moveToEnd()
{
    // The display goes to the newest text, wherever the user had clicked or scrolled to.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    // Setting the cursor also lays out and scrolls to it; where it already is, that is wasted.
    const QTextCursor current = textCursor();
    if (current.atEnd() && !current.hasSelection())
        return;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
    setTextCursor(cursor);
}

void DovikView::followEnd()
{
    moveToEnd();
    ensureCursorVisible();
    followedTo = verticalScrollBar()->value();
}

void DovikView::keepSelection(int anchor, int position)
{
    // Setting the cursor scrolls to it; the reader stays where they are.
    QScrollBar *const bar = verticalScrollBar();
    const int value = bar->value();
    QTextCursor cursor(document());
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    bar->setValue(value);
}

qreal DovikView::lineTop(const QTextCursor &cursor) const
{
    const QTextBlock block = cursor.block();
    qreal top = document()->documentLayout()->blockBoundingRect(block).top();
    if (const QTextLayout *layout = block.layout()) {
        const QTextLine line = layout->lineForTextPosition(cursor.positionInBlock());
        if (line.isValid())
            top += line.y();
    }
    return top;
}

void DovikView::trimOldestText(bool following)
{
    QTextDocument *const doc = document();
    int from = 0;
    int to = 0;
    const QTextBlock last = doc->lastBlock();
    const qreal height = doc->size().height();
    if (doc->blockCount() > linesKeptAtMost) {
        to = doc->findBlockByNumber(doc->blockCount() - linesAfterTrim).position();
    } else if (last.length() > lineLengthAtMost) {
        from = last.position();
        to = wholeCharacterFrom(doc, last.position() + last.length() - lineLengthAfterTrim);
    } else if (height > displayHeightLimit) {
        // At the start of the line found at that height, or inside it if it is the first; a hit
        // is a cursor position, and those never fall inside a character.
        to = doc->documentLayout()->hitTest(
            QPointF(0, height - displayHeightAfterTrim), Qt::FuzzyHit);
        const QTextBlock block = doc->findBlock(to);
        if (block.position() > 0)
            to = block.position();
        else
            from = block.position();
    }
    if (to <= from)
        return;

    // The line at the top of a view the user reads in is found again after the text above it
    // has gone; the document moves this cursor along with the removal.
    QTextCursor top;
    qreal intoLine = 0;
    if (!following) {
        top = cursorForPosition(QPoint(0, 0));
        const bool trimmedAway = top.position() >= from && top.position() < to;
        intoLine = trimmedAway ? 0 : verticalScrollBar()->value() - lineTop(top);
    }

    QTextCursor cursor(doc);
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (following) {
        moveToEnd();
        ensureCursorVisible();
    } else {
        verticalScrollBar()->setValue(qRound(lineTop(top) + intoLine));
    }
}

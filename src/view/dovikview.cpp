#include "dovikview.h"

#include <QAbstractTextDocumentLayout>
#include <QByteArray>
#include <QColorDialog>
#include <QDebug>
#include <QFontDialog>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

constexpr char nul = '\x00';
// Once a document grows past about eight million pixels (2^23, where single-precision
// coordinates run out of fractions) the text layout can stop making progress, and the view would
// freeze for good: with a 10-point font that is some half a million lines, far fewer with a large
// font or wrapped lines. Above the limit the oldest lines are dropped, a quarter of the height at
// a time, so that the cost of moving the rest up is rarely paid.
constexpr qreal displayHeightLimit = 6e6;
constexpr qreal displayHeightAfterTrim = 4.5e6;
constexpr char backspace = '\x08';

QString rgbText(const QColor &color)
{
    // An invalid colour has no components of its own; write it as black rather than rely on
    // what QColor happens to return for one.
    if (!color.isValid())
        return QStringLiteral("0,0,0");
    return QStringLiteral("%1,%2,%3").arg(color.red()).arg(color.green()).arg(color.blue());
}

// The family as a quoted style sheet string, so that no family can end the string early and add
// rules of its own. Quotes and backslashes are escaped. A line break cannot stand in a string, and
// no installed family has one, so it is left out. The sheet parser decodes a backslash followed by
// hex digits before anything else, so such a run in a family may come out as another character,
// but always as one escaped inside the string.
QString quotedFamily(const QString &family)
{
    QString quoted;
    quoted.reserve(family.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : family) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\f'))
            continue;
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
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
    moveToEnd();
    // A copy of the view's cursor, at the end of the document: the view's own cursor sits at
    // the same position and moves along with every edit made through this one.
    QTextCursor cursor = textCursor();

    // Backspaces first eat bytes of this block that are not shown yet, so the whole block still
    // goes into the document as a single insertion.
    QByteArray pending;
    pending.reserve(data.size());
    for (const char byte : data) {
        if (byte == nul)
            continue;
        if (byte == backspace) {
            if (pending.isEmpty() && cursor.position() != 0) {
                cursor.deletePreviousChar();
                ensureCursorVisible();
            }
            pending.chop(1);
            continue;
        }
        pending.append(byte);
    }

    const QString text = QString::fromUtf8(pending);
    if (!text.isEmpty())
        cursor.insertText(text);
    ensureCursorVisible();
    trimToHeightLimit();
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
    // appears on the display.
    moveToEnd();
    ensureCursorVisible();
    emit keyInput(event->key(), event->text());
}

void DovikView::dragEnterEvent(QDragEnterEvent *) { }

void DovikView::dragMoveEvent(QDragMoveEvent *) { }

void DovikView::dragLeaveEvent(QDragLeaveEvent *) { }

void DovikView::dropEvent(QDropEvent *) { }

void DovikView::insertFromMimeData(const QMimeData *source)
{
    moveToEnd();
    ensureCursorVisible();
    const QString text = source ? source->text() : QString();
    qDebug() << text;
    emit keyInput(Qt::Key_F35, text);
}

void DovikView::applyStyleSheet()
{
    // QFont::weight() is on Qt's 0-99 scale, which style sheets do not use for numeric weights;
    // it is written as it is so that stored settings keep producing the same sheet.
    QString sheet = QStringLiteral("QTextEdit { font:");
    if (font.style() == QFont::StyleItalic)
        sheet += QStringLiteral("italic ");
    sheet += QString::number(font.weight());
    sheet += QLatin1Char(' ');
    sheet += QString::number(font.pointSize());
    sheet += QStringLiteral("pt ");
    sheet += quotedFamily(font.family());
    sheet += QLatin1Char(';');
    sheet += QStringLiteral("color:rgb(");
    sheet += rgbText(color);
    sheet += QStringLiteral(");");
    sheet += QStringLiteral("background-color:rgb(");
    sheet += rgbText(backColor);
    sheet += QStringLiteral("); }");
    setStyleSheet(sheet);
}

void DovikView::moveToEnd()
{
    // New text always goes at the end and the display follows it, wherever the user had clicked
    // or scrolled to.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End, QTextCursor::MoveAnchor, 1);
    setTextCursor(cursor);
}

void DovikView::trimToHeightLimit()
{
    QTextDocument *const doc = document();
    const qreal height = doc->size().height();
    if (height <= displayHeightLimit)
        return;

    // Cut at the start of the line found at that height, or inside it when the text has no line
    // breaks at all.
    int cut
        = doc->documentLayout()->hitTest(QPointF(0, height - displayHeightAfterTrim), Qt::FuzzyHit);
    const QTextBlock block = doc->findBlock(cut);
    if (block.position() > 0)
        cut = block.position();
    if (cut <= 0)
        return;

    QTextCursor cursor(doc);
    cursor.setPosition(cut, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    moveToEnd();
    ensureCursorVisible();
}

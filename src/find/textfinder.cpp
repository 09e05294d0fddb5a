// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/textfinder.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <utility>

namespace {

// Well inside one frame, so that a slice of counting never delays a repaint.
constexpr qint64 sliceNanoseconds = 4000000;

// Enough for any screen; a screenful of long lines full of matches stays cheap to draw.
constexpr int highlightedAtMost = 2000;

const QColor matchBackground(255, 215, 0, 110);
const QColor currentBackground(255, 140, 0);
const QColor currentForeground(Qt::black);

} // namespace

TextFinder::TextFinder(QTextEdit *edit, QObject *parent)
    : QObject(parent)
{
    countTimer.setInterval(0);
    connect(&countTimer, &QTimer::timeout, this, &TextFinder::countSlice);
    highlightTimer.setInterval(0);
    highlightTimer.setSingleShot(true);
    connect(&highlightTimer, &QTimer::timeout, this, &TextFinder::updateHighlights);
    setTextEdit(edit);
}

void TextFinder::setTextEdit(QTextEdit *newEdit)
{
    if (newEdit == edit)
        return;
    clear();
    if (edit) {
        for (const QMetaObject::Connection &connection : qAsConst(editConnections))
            disconnect(connection);
        editConnections.clear();
        edit->viewport()->removeEventFilter(this);
    }
    edit = newEdit;
    if (!edit)
        return;
    editConnections = {
        connect(
            edit->document(), &QTextDocument::contentsChange, this, &TextFinder::contentsChanged),
        connect(edit->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &TextFinder::scheduleHighlights),
        // A large document is laid out a part at a time, and what is visible is known only as
        // far as it has been.
        connect(edit->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &TextFinder::scheduleHighlights),
    };
    edit->viewport()->installEventFilter(this);
}

QTextEdit *TextFinder::textEdit() const
{
    return edit;
}

void TextFinder::setSearch(const QString &text, Qt::CaseSensitivity caseSensitivity)
{
    if (text.isEmpty() || !edit) {
        clear();
        return;
    }
    const int anchor = current >= 0 ? current : topVisiblePosition();
    needle = text;
    sensitivity = caseSensitivity;
    starts.clear();
    countedUpTo = 0;
    counting = true;
    countTimer.start();
    current = findFrom(anchor, false);
    if (current >= 0)
        selectCurrent();
    scheduleHighlights();
    emit changed();
}

void TextFinder::clear()
{
    const bool hadSearch = !needle.isEmpty();
    needle.clear();
    starts.clear();
    counting = false;
    countTimer.stop();
    highlightTimer.stop();
    current = -1;
    reselect = false;
    if (edit) {
        edit->setExtraSelections({});
        // A match left selected would hold the view still for good; a selection the user made
        // stays.
        QTextCursor cursor = edit->textCursor();
        if (cursor.hasSelection() && cursor == shownMatch) {
            cursor.clearSelection();
            edit->setTextCursor(cursor);
        }
    }
    shownMatch = QTextCursor();
    if (hadSearch)
        emit changed();
}

void TextFinder::next()
{
    moveCurrent(false);
}

void TextFinder::previous()
{
    moveCurrent(true);
}

QString TextFinder::text() const
{
    return needle;
}

Qt::CaseSensitivity TextFinder::caseSensitivity() const
{
    return sensitivity;
}

bool TextFinder::countingDone() const
{
    return !counting;
}

int TextFinder::count() const
{
    return int(starts.size());
}

int TextFinder::currentIndex() const
{
    if (counting || current < 0)
        return -1;
    return int(std::lower_bound(starts.begin(), starts.end(), current) - starts.begin());
}

int TextFinder::currentPosition() const
{
    return current;
}

bool TextFinder::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && edit && watched == edit->viewport())
        scheduleHighlights();
    return QObject::eventFilter(watched, event);
}

void TextFinder::contentsChanged(int position, int removed, int added)
{
    if (needle.isEmpty())
        return;
    const int length = needle.size();
    const int removedEnd = position + removed;
    const int shift = added - removed;

    // Matches that touch the changed text go; those after it move with it.
    const auto touched = std::lower_bound(starts.begin(), starts.end(), position - length + 1);
    const auto after = std::lower_bound(touched, starts.end(), removedEnd);
    for (auto it = after; it != starts.end(); ++it)
        *it += shift;
    starts.erase(touched, after);

    bool currentLost = false;
    if (current >= removedEnd) {
        current += shift;
    } else if (current >= 0 && current + length > position && !(shift == 0 && matchesAt(current))) {
        // A change of layout or format only reports its whole range as replaced.
        current = -1;
        currentLost = true;
    }
    if (counting) {
        if (countedUpTo >= removedEnd)
            countedUpTo += shift;
        else if (countedUpTo > position)
            countedUpTo = position;
    }

    // Qt may report more than was changed (a whole block whose format moved), so the range is
    // clamped to the document; what lies past countedUpTo, counting still has to reach.
    const int from = qMax(0, position - length + 1);
    int to = qMin(position + added, documentLength());
    if (counting)
        to = qMin(to, countedUpTo);
    if (from < to) {
        const std::vector<int> found = matchesIn(from, to);
        const auto at = std::lower_bound(starts.begin(), starts.end(), from);
        starts.erase(at, std::lower_bound(at, starts.end(), to));
        starts.insert(
            std::lower_bound(starts.begin(), starts.end(), from), found.begin(), found.end());
        if (current < 0 && !currentLost && !found.empty())
            current = found.front();
    }
    if (currentLost) {
        current = findFrom(qMin(position, documentLength()), false);
        // The selection that showed it went with it, unless the user had already left it. Not
        // now: whoever is changing the text may still be placing the view.
        reselect = current >= 0 && edit->textCursor() == shownMatch;
    }

    scheduleHighlights();
    emit changed();
}

void TextFinder::countSlice()
{
    if (!edit || needle.isEmpty()) {
        countTimer.stop();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    QTextBlock block = edit->document()->findBlock(countedUpTo);
    while (block.isValid()) {
        const int position = block.position();
        const QString line = block.text();
        for (int at = line.indexOf(needle, countedUpTo - position, sensitivity); at >= 0;
             at = line.indexOf(needle, at + 1, sensitivity))
            starts.push_back(position + at);
        block = block.next();
        countedUpTo = block.isValid() ? block.position() : documentLength() + 1;
        if (clock.nsecsElapsed() > sliceNanoseconds)
            break;
    }
    if (!block.isValid()) {
        counting = false;
        countTimer.stop();
    }
    emit changed();
}

void TextFinder::updateHighlights()
{
    if (!edit)
        return;
    if (std::exchange(reselect, false) && current >= 0 && !edit->textCursor().hasSelection())
        selectCurrent();
    QList<QTextEdit::ExtraSelection> selections;
    if (!needle.isEmpty()) {
        const QTextBlock last
            = edit->cursorForPosition(edit->viewport()->rect().bottomRight()).block();
        const int from = topVisiblePosition();
        const int to = qMax(from, last.position() + last.length());
        QTextEdit::ExtraSelection selection;
        selection.cursor = QTextCursor(edit->document());
        selection.format.setBackground(matchBackground);
        for (const int start : matchesIn(from, to)) {
            if (selections.size() == highlightedAtMost)
                break;
            if (start == current)
                continue;
            selection.cursor.setPosition(start);
            selection.cursor.setPosition(start + needle.size(), QTextCursor::KeepAnchor);
            selections.append(selection);
        }
        // Last, so that it is drawn over any match it overlaps.
        if (current >= 0) {
            selection.cursor.setPosition(current);
            selection.cursor.setPosition(current + needle.size(), QTextCursor::KeepAnchor);
            selection.format.setBackground(currentBackground);
            selection.format.setForeground(currentForeground);
            selections.append(selection);
        }
    }
    edit->setExtraSelections(selections);
}

void TextFinder::scheduleHighlights()
{
    if (!highlightTimer.isActive())
        highlightTimer.start();
}

void TextFinder::selectCurrent()
{
    QTextCursor cursor(edit->document());
    cursor.setPosition(current);
    cursor.setPosition(current + needle.size(), QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
    shownMatch = cursor;
}

void TextFinder::moveCurrent(bool backward)
{
    if (needle.isEmpty() || !edit)
        return;
    if (current < 0) {
        current = findFrom(topVisiblePosition(), backward);
    } else if (!counting && !starts.empty()) {
        const int total = int(starts.size());
        const int index = currentIndex();
        current = starts[std::size_t((index + (backward ? total - 1 : 1)) % total)];
    } else {
        current = findFrom(backward ? current - 1 : current + 1, backward);
    }
    if (current >= 0)
        selectCurrent();
    scheduleHighlights();
    emit changed();
}

std::vector<int> TextFinder::matchesIn(int from, int to) const
{
    std::vector<int> found;
    for (QTextBlock block = edit->document()->findBlock(qMax(0, from));
         block.isValid() && block.position() < to; block = block.next()) {
        const int position = block.position();
        const QString line = block.text();
        for (int at = line.indexOf(needle, qMax(0, from - position), sensitivity);
             at >= 0 && position + at < to; at = line.indexOf(needle, at + 1, sensitivity))
            found.push_back(position + at);
    }
    return found;
}

int TextFinder::findFrom(int position, bool backward) const
{
    QTextDocument *const document = edit->document();
    const int end = documentLength();
    const auto firstIn = [&](int from, int to) {
        for (QTextBlock block = document->findBlock(from); block.isValid() && block.position() < to;
             block = block.next()) {
            const int at = block.text().indexOf(needle, from - block.position(), sensitivity);
            if (at >= 0 && block.position() + at < to)
                return block.position() + at;
            from = block.position() + block.length();
        }
        return -1;
    };
    const auto lastIn = [&](int from, int to) {
        for (QTextBlock block = document->findBlock(to - 1);
             block.isValid() && block.position() + block.length() > from;
             block = block.previous()) {
            const QString line = block.text();
            const int at = line.lastIndexOf(
                needle, qMin(to - 1 - block.position(), line.size() - 1), sensitivity);
            if (at >= 0)
                return block.position() + at >= from ? block.position() + at : -1;
            to = block.position();
        }
        return -1;
    };
    if (end == 0)
        return -1;
    position = qBound(-1, position, end);
    if (backward) {
        const int found = position >= 0 ? lastIn(0, position + 1) : -1;
        return found >= 0 ? found : lastIn(position + 1, end);
    }
    position = qMax(0, position);
    const int found = firstIn(position, end);
    return found >= 0 ? found : firstIn(0, position);
}

bool TextFinder::matchesAt(int position) const
{
    const QTextBlock block = edit->document()->findBlock(position);
    return block.text().mid(position - block.position(), needle.size()).compare(needle, sensitivity)
        == 0;
}

int TextFinder::topVisiblePosition() const
{
    // Hit tests guess in a document not laid out yet; the top of the document needs none.
    if (edit->verticalScrollBar()->value() == 0)
        return 0;
    return edit->cursorForPosition(QPoint(0, 0)).block().position();
}

int TextFinder::documentLength() const
{
    return edit ? edit->document()->characterCount() - 1 : 0;
}

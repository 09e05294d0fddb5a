// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TEXTFINDER_H
#define TEXTFINDER_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextCursor>
#include <QTimer>

#include <vector>

class QTextEdit;

// Every occurrence of a string in a text edit's document, one of them current. The current match
// is found at once; the others are counted from a zero timer a few milliseconds at a time, so a
// large document never holds up the window for long. Text appended or removed while the search
// stands is followed: matches move with the text or go with it, and only the changed text is
// searched again. Only the matches near the visible area are highlighted. Matches may overlap
// and never cross a line break.
class TextFinder : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TextFinder)

public:
    explicit TextFinder(QTextEdit *edit = nullptr, QObject *parent = nullptr);

    void setTextEdit(QTextEdit *edit);
    QTextEdit *textEdit() const;

    // Searches for `text` from the start of the current match, or from the top of the visible
    // area when there is none, and selects the match found. An empty text clears the search.
    void setSearch(const QString &text, Qt::CaseSensitivity sensitivity);
    // Forgets the search and removes its highlights.
    void clear();
    void next();
    void previous();

    QString text() const;
    Qt::CaseSensitivity caseSensitivity() const;
    // Until counting is done, count() holds the matches counted so far and currentIndex() is -1.
    bool countingDone() const;
    int count() const;
    // From 0; -1 with no match or while counting.
    int currentIndex() const;
    // Document position of the current match, -1 with none.
    int currentPosition() const;

signals:
    // The count, the current match or whether counting is done has changed.
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void contentsChanged(int position, int removed, int added);
    void countSlice();
    void updateHighlights();
    void scheduleHighlights();
    void selectCurrent();
    void moveCurrent(bool backward);
    // Starts of the matches that start within [from, to), in order.
    std::vector<int> matchesIn(int from, int to) const;
    // The first match at or after `position`, or with `backward` the last one at or before it,
    // wrapping around the document; -1 with none.
    int findFrom(int position, bool backward) const;
    bool matchesAt(int position) const;
    int topVisiblePosition() const;
    int documentLength() const;

    QPointer<QTextEdit> edit;
    QString needle;
    Qt::CaseSensitivity sensitivity = Qt::CaseInsensitive;
    // In order; while counting, complete only below countedUpTo.
    std::vector<int> starts;
    int countedUpTo = 0;
    bool counting = false;
    int current = -1;
    // The selection that shows the current match, as last set; the document moves it along with
    // the view's own, so the two stay equal while the user leaves the match shown.
    QTextCursor shownMatch;
    bool reselect = false;
    QTimer countTimer;
    QTimer highlightTimer;
    QList<QMetaObject::Connection> editConnections;
};

#endif // TEXTFINDER_H

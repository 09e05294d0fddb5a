// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DOVIKVIEW_H
#define DOVIKVIEW_H

#include "view/receivedblock.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QString>
#include <QTextEdit>

class QByteArray;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMimeData;
class QPaintEvent;
class QTextBlock;
class QTextCursor;

// The terminal screen: shows what the device sends and turns every key press and paste into a
// keyInput request for the transmit path. It never edits its own text from the keyboard; the
// device's echo is what appears.
class DovikView : public QTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY(DovikView)

public:
    explicit DovikView(QWidget *parent = nullptr);

    // Deliberately hides QWidget::setFont: the terminal font takes effect through the style
    // sheet only, together with the two colours.
    void setFont(const QFont &font);
    const QFont &getFont() const;
    void setColor(const QColor &color);
    const QColor &getColor() const;
    void setBackColor(const QColor &color);
    const QColor &getBackColor() const;

    void insertView(const QByteArray &data);
    // The same with the time the block arrived, which the lines it starts show when time stamps
    // are on.
    void insertView(const QByteArray &data, const QDateTime &arrival);
    // Lines that start while this is on begin with the time their first byte arrived; lines
    // already shown keep or lack theirs.
    void setTimeStamps(bool on);
    bool timeStamps() const;
    // True while arriving text scrolls the view along: it is at the end and nothing is selected.
    bool isFollowing() const;
    // Deliberately hides QTextEdit::clear() for calls through DovikView*: resets the decoder too.
    void clear();

signals:
    void keyInput(int, QString);

private slots:
    void changeFont();
    void changeFontColor();
    void changeBackColor();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyStyleSheet();
    void moveToEnd();
    void followEnd();
    void keepSelection(int anchor, int position);
    qreal lineTop(const QTextCursor &cursor) const;
    void trimOldestText(bool following);
    void chooseTextShaping();
    void insertStamped(QTextCursor &cursor, const QString &text, const QDateTime &arrival);
    int stampEnd(const QTextBlock &block) const;

    ReceivedTextDecoder decoder;
    QFont font;
    QColor color;
    QColor backColor;
    bool shapingChosen = false;
    bool stamping = false;
    // Whether the document may hold stamps: until then, text goes in exactly as without them.
    bool stampsPossible = false;
    // The scroll bar's value when the view last went to the end, or -1 since it held still.
    int followedTo = -1;
};

#endif // DOVIKVIEW_H

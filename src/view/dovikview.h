// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DOVIKVIEW_H
#define DOVIKVIEW_H

#include "view/receivedblock.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QString>
#include <QTextEdit>

#include <memory>

class QByteArray;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMimeData;
class QPaintEvent;
class QTextCursor;
class QTextDocument;

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
    // While this is on, a margin shows beside each line the time its first byte arrived, for the
    // lines that began while it was on.
    void setTimeStamps(bool on);
    bool timeStamps() const;
    // A copy of the text as shown, each stamp in its dimmer colour at the start of its line; none
    // while time stamps are off, when the view's own document is what it shows.
    std::unique_ptr<QTextDocument> shownDocument() const;
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
    void stampLinesFrom(int blockNumber, bool wasEmpty, const QDateTime &arrival);
    void updateStampMargin();
    qreal stampWidth() const;
    void paintStamps(const QRect &area);

    ReceivedTextDecoder decoder;
    QFont font;
    QColor color;
    QColor backColor;
    bool shapingChosen = false;
    bool stamping = false;
    // The scroll bar's value when the view last went to the end, or -1 since it held still.
    int followedTo = -1;
};

#endif // DOVIKVIEW_H

// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FINDBAR_H
#define FINDBAR_H

#include <QByteArray>
#include <QWidget>

#include <optional>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QTextEdit;
class TextFinder;

// The bytes written in hex in `text`, two digits each, with or without spaces between them;
// nothing when the text holds anything else, an odd number of digits, or no digit at all.
std::optional<QByteArray> bytesFromHex(const QString &text);

// The bar the user types a search into, over a text view or, in hex mode, for whoever shows the
// bytes. Keys pressed in it stay in it: the view below would send them to the device.
//   Enter, F3: next match      Shift+Enter, Shift+F3: previous match      Escape: close
class FindBar : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(FindBar)

public:
    explicit FindBar(QWidget *parent = nullptr);

    // The view searched in text mode; nullptr for none.
    void setTextEdit(QTextEdit *edit);
    TextFinder *finder() const;

    // In hex mode the field takes bytes in hex, the bar searches nothing itself and asks for
    // each search through hexSearchEdited and hexFindRequested instead.
    void setHexMode(bool hex);
    bool hexMode() const;
    // What the hex search found, for the count label: `index` from 0, -1 with no current match;
    // while counting goes on, only that it does.
    void showHexResult(int index, int count, bool countingDone);

    QString text() const;

public slots:
    // Shows the bar with the field focused and its text selected, and searches that text again.
    void open();
    void findNext();
    void findPrevious();
    // Hides the bar and forgets the search's highlights; emits closed().
    void closeBar();

signals:
    void closed();
    // The hex field was edited: search again from the start of the current match.
    void hexSearchEdited(const QByteArray &bytes);
    // Next or previous in hex mode: the match after (or before) the current one.
    void hexFindRequested(const QByteArray &bytes, bool backward);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void searchEdited();
    void showCount();
    void step(bool backward);

    QLineEdit *field;
    QCheckBox *matchCase;
    QLabel *countLabel;
    TextFinder *textFinder;
    bool hex = false;
};

#endif // FINDBAR_H

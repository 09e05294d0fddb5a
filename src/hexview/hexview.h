// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HEXVIEW_H
#define HEXVIEW_H

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QScrollArea>
#include <QString>

class HexViewPrivate;

// The hex view as the rest of the program sees it: a scroll area around the painting and
// editing widget, offering its interface by forwarding. Cursor positions here count bytes.
class HexView : public QScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY(HexView)

    Q_PROPERTY(QByteArray data READ data WRITE setData)
    Q_PROPERTY(int addressOffset READ addressOffset WRITE setAddressOffset)
    Q_PROPERTY(QColor addressAreaColor READ addressAreaColor WRITE setAddressAreaColor)
    Q_PROPERTY(int cursorPosition READ cursorPosition WRITE setCursorPosition)
    Q_PROPERTY(QColor highlightingColor READ highlightingColor WRITE setHighlightingColor)
    Q_PROPERTY(QColor selectionColor READ selectionColor WRITE setSelectionColor)
    Q_PROPERTY(bool overwriteMode READ overwriteMode WRITE setOverwriteMode)
    Q_PROPERTY(bool readOnly READ isReadOnly WRITE setReadOnly)
    Q_PROPERTY(QFont font READ font WRITE setFont)

public:
    explicit HexView(QWidget *parent = nullptr);

    QByteArray data() const;
    void setData(const QByteArray &data);
    // Same observable result as setData(data() + block) while the bytes fit the history limit
    // (256 MiB unless set otherwise), at a cost proportional to the block, and with the scroll
    // range already covering the new bytes on return. Past the limit the oldest bytes are
    // dropped, whole rows at a time; the view, the cursor and the selection stay on the bytes
    // they were on, and the addresses go on counting from the first byte set.
    void appendData(const QByteArray &block);
    int historyLimit() const;
    // In bytes, from 16 to 1 GiB; what the view holds stays until the next append.
    void setHistoryLimit(int bytes);

    int addressOffset() const;
    void setAddressOffset(int offset);
    QColor addressAreaColor() const;
    void setAddressAreaColor(const QColor &color);
    int cursorPosition() const;
    void setCursorPosition(int cursorPos);
    QColor highlightingColor() const;
    void setHighlightingColor(const QColor &color);
    QColor selectionColor() const;
    void setSelectionColor(const QColor &color);
    bool overwriteMode() const;
    void setOverwriteMode(bool overwriteMode);
    bool isReadOnly() const;
    void setReadOnly(bool readOnly);
    QFont font() const;
    void setFont(const QFont &font);

    int indexOf(const QByteArray &ba, int from = 0) const;
    int lastIndexOf(const QByteArray &ba, int from = 0) const;
    void insert(int i, const QByteArray &ba);
    void insert(int i, char ch);
    void remove(int pos, int len = 1);
    void replace(int pos, int len, const QByteArray &after);
    QString toReadableString();
    QString selectionToReadableString();
    bool hasSelection() const;
    // The selection as Ctrl+C in the view copies it.
    void copy();

public slots:
    void redo();
    void setAddressWidth(int addressWidth);
    void setAddressArea(bool addressArea);
    void setAsciiArea(bool asciiArea);
    void setHighlighting(bool mode);
    void undo();

signals:
    void currentAddressChanged(int address);
    void currentSizeChanged(int size);
    void dataChanged();
    void overwriteModeChanged(bool state);

private:
    void updateScrollRange();

    HexViewPrivate *d;
};

#endif // HEXVIEW_H

// SPDX-License-Identifier: GPL-3.0-or-later
#include "hexview/hexview.h"

#include <QCoreApplication>
#include <QEvent>

#include "hexview/hexview_p.h"

HexView::HexView(QWidget *parent)
    : QScrollArea(parent)
    , d(new HexViewPrivate(this))
{
    setWidget(d);
    setWidgetResizable(true);

    connect(d, SIGNAL(currentAddressChanged(int)), this, SIGNAL(currentAddressChanged(int)));
    connect(d, SIGNAL(currentSizeChanged(int)), this, SIGNAL(currentSizeChanged(int)));
    connect(d, SIGNAL(dataChanged()), this, SIGNAL(dataChanged()));
    connect(d, SIGNAL(overwriteModeChanged(bool)), this, SIGNAL(overwriteModeChanged(bool)));

    setFocusPolicy(Qt::NoFocus);
}

QByteArray HexView::data() const
{
    return d->data();
}

void HexView::setData(const QByteArray &data)
{
    d->setData(data);
    updateScrollRange();
}

void HexView::appendData(const QByteArray &block)
{
    d->appendData(block);
    updateScrollRange();
}

int HexView::historyLimit() const
{
    return d->historyLimit();
}

void HexView::setHistoryLimit(int bytes)
{
    d->setHistoryLimit(bytes);
}

int HexView::addressOffset() const
{
    return d->addressOffset();
}

void HexView::setAddressOffset(int offset)
{
    d->setAddressOffset(offset);
}

QColor HexView::addressAreaColor() const
{
    return d->addressAreaColor();
}

void HexView::setAddressAreaColor(const QColor &color)
{
    d->setAddressAreaColor(color);
}

int HexView::cursorPosition() const
{
    return d->cursorByte();
}

void HexView::setCursorPosition(int cursorPos)
{
    d->setCursorPos(2 * qint64(cursorPos));
}

QColor HexView::highlightingColor() const
{
    return d->highlightingColor();
}

void HexView::setHighlightingColor(const QColor &color)
{
    d->setHighlightingColor(color);
}

QColor HexView::selectionColor() const
{
    return d->selectionColor();
}

void HexView::setSelectionColor(const QColor &color)
{
    d->setSelectionColor(color);
}

bool HexView::overwriteMode() const
{
    return d->overwriteMode();
}

void HexView::setOverwriteMode(bool overwriteMode)
{
    d->setOverwriteMode(overwriteMode);
}

bool HexView::isReadOnly() const
{
    return d->isReadOnly();
}

void HexView::setReadOnly(bool readOnly)
{
    d->setReadOnly(readOnly);
}

QFont HexView::font() const
{
    return d->font();
}

void HexView::setFont(const QFont &font)
{
    d->setFont(font);
}

int HexView::indexOf(const QByteArray &ba, int from) const
{
    return d->indexOf(ba, from);
}

int HexView::lastIndexOf(const QByteArray &ba, int from) const
{
    return d->lastIndexOf(ba, from);
}

void HexView::insert(int i, const QByteArray &ba)
{
    d->insert(i, ba);
}

void HexView::insert(int i, char ch)
{
    d->insert(i, ch);
}

void HexView::remove(int pos, int len)
{
    d->remove(pos, len);
}

void HexView::replace(int pos, int len, const QByteArray &after)
{
    d->replace(pos, len, after);
}

QString HexView::toReadableString()
{
    return d->toRedableString();
}

QString HexView::selectionToReadableString()
{
    return d->selectionToReadableString();
}

bool HexView::hasSelection() const
{
    return d->getSelectionEnd() > d->getSelectionBegin();
}

void HexView::copy()
{
    d->copy();
}

void HexView::redo()
{
    d->redo();
}

void HexView::setAddressWidth(int addressWidth)
{
    d->setAddressWidth(addressWidth);
}

void HexView::setAddressArea(bool addressArea)
{
    d->setAddressArea(addressArea);
}

void HexView::setAsciiArea(bool asciiArea)
{
    d->setAsciiArea(asciiArea);
}

void HexView::setHighlighting(bool mode)
{
    d->setHighlighting(mode);
}

void HexView::undo()
{
    d->undo();
}

void HexView::updateScrollRange()
{
    // The scroll area would recompute its range on a posted layout request; a caller that jumps
    // to the bottom right after loading needs the range now.
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(this, &request);
}

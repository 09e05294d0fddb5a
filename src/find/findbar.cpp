// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/findbar.h"
#include "find/textfinder.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace {

// Keys the bar keeps from the window's shortcuts: all but those held with Ctrl, Alt or Meta,
// which stay free for the window's commands.
bool isBarKey(const QKeyEvent *event)
{
    return !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

} // namespace

std::optional<QByteArray> bytesFromHex(const QString &text)
{
    QByteArray digits;
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return std::nullopt;
        digits.append(char(c.unicode()));
    }
    if (digits.isEmpty() || digits.size() % 2 != 0)
        return std::nullopt;
    return QByteArray::fromHex(digits);
}

FindBar::FindBar(QWidget *parent)
    : QWidget(parent)
    , field(new QLineEdit(this))
    , matchCase(new QCheckBox(tr("Match case"), this))
    , countLabel(new QLabel(this))
    , textFinder(new TextFinder(nullptr, this))
{
    setObjectName(QStringLiteral("findBar"));
    field->setObjectName(QStringLiteral("findField"));
    field->setPlaceholderText(tr("Find"));
    matchCase->setObjectName(QStringLiteral("findMatchCase"));
    // Clicking it must not take the focus from the field, where the keys are wanted.
    matchCase->setFocusPolicy(Qt::NoFocus);
    countLabel->setObjectName(QStringLiteral("findCount"));
    countLabel->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000 of 00000")));

    const auto makeButton = [this](Qt::ArrowType arrow, const QString &tip) {
        auto *button = new QToolButton(this);
        button->setArrowType(arrow);
        button->setToolTip(tip);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    QToolButton *previousButton = makeButton(Qt::UpArrow, tr("Previous match (Shift+F3)"));
    QToolButton *nextButton = makeButton(Qt::DownArrow, tr("Next match (F3)"));
    QToolButton *closeButton = makeButton(Qt::NoArrow, tr("Close (Escape)"));
    closeButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(field, 1);
    layout->addWidget(previousButton);
    layout->addWidget(nextButton);
    layout->addWidget(matchCase);
    layout->addWidget(countLabel);
    layout->addWidget(closeButton);
    setFocusProxy(field);

    connect(field, &QLineEdit::textEdited, this, &FindBar::searchEdited);
    connect(matchCase, &QCheckBox::toggled, this, &FindBar::searchEdited);
    connect(previousButton, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(nextButton, &QToolButton::clicked, this, &FindBar::findNext);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::closeBar);
    connect(textFinder, &TextFinder::changed, this, &FindBar::showCount);
}

void FindBar::setTextEdit(QTextEdit *edit)
{
    textFinder->setTextEdit(edit);
}

TextFinder *FindBar::finder() const
{
    return textFinder;
}

void FindBar::setHexMode(bool on)
{
    if (on == hex)
        return;
    hex = on;
    matchCase->setVisible(!hex);
    textFinder->clear();
    countLabel->clear();
    if (isVisible())
        searchEdited();
}

bool FindBar::hexMode() const
{
    return hex;
}

void FindBar::showHexResult(int index, int count, bool countingDone)
{
    // Results arrive as bytes do, also for the last search while the field holds no bytes.
    if (!hex || !bytesFromHex(field->text()))
        return;
    if (!countingDone)
        countLabel->setText(tr("Counting…"));
    else if (count == 0)
        countLabel->setText(tr("No matches"));
    else if (index < 0)
        countLabel->setText(tr("%1 matches").arg(count));
    else
        countLabel->setText(tr("%1 of %2").arg(index + 1).arg(count));
}

QString FindBar::text() const
{
    return field->text();
}

void FindBar::open()
{
    show();
    field->setFocus(Qt::ShortcutFocusReason);
    field->selectAll();
    searchEdited();
}

void FindBar::findNext()
{
    step(false);
}

void FindBar::findPrevious()
{
    step(true);
}

void FindBar::closeBar()
{
    textFinder->clear();
    hide();
    emit closed();
}

bool FindBar::event(QEvent *event)
{
    // The window's shortcuts come before key presses, and would take Enter, F3 or Escape.
    if (event->type() == QEvent::ShortcutOverride && isBarKey(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F3:
        step(shift);
        break;
    case Qt::Key_Escape:
        closeBar();
        break;
    default:
        break;
    }
    // Whatever the field and the buttons leave would otherwise go on to the parent.
    event->accept();
}

void FindBar::searchEdited()
{
    const QString typed = field->text();
    if (!hex) {
        textFinder->setSearch(
            typed, matchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive);
        showCount();
        return;
    }
    countLabel->clear();
    if (typed.isEmpty())
        return;
    const std::optional<QByteArray> bytes = bytesFromHex(typed);
    if (!bytes)
        countLabel->setText(tr("Not hex"));
    else
        emit hexSearchEdited(*bytes);
}

void FindBar::showCount()
{
    if (hex)
        return;
    if (field->text().isEmpty())
        countLabel->clear();
    else if (textFinder->currentPosition() < 0)
        countLabel->setText(tr("No matches"));
    else if (!textFinder->countingDone())
        countLabel->setText(tr("Counting…"));
    else
        countLabel->setText(
            tr("%1 of %2").arg(textFinder->currentIndex() + 1).arg(textFinder->count()));
}

void FindBar::step(bool backward)
{
    if (!hex) {
        if (backward)
            textFinder->previous();
        else
            textFinder->next();
        return;
    }
    if (field->text().isEmpty())
        return;
    const std::optional<QByteArray> bytes = bytesFromHex(field->text());
    if (!bytes)
        countLabel->setText(tr("Not hex"));
    else
        emit hexFindRequested(*bytes, backward);
}

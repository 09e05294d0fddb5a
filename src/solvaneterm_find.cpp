// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "find/findbar.h"
#include "hexview/hexview.h"
#include "view/dovikview.h"

#include <QTextCursor>
#include <QVBoxLayout>

void SolvaneTerm::setUpFindBar()
{
    findBar = new FindBar(ui.centralwidget);
    findBar->hide();
    findBar->setTextEdit(termView);
    // Under both views, so that it serves whichever of them it searches.
    ui.verticalLayout->addWidget(findBar);
    connect(ui.actionFind, &QAction::triggered, this, &SolvaneTerm::openFindBar);
    connect(findBar, &FindBar::closed, this, [this] {
        if (findBar->hexMode()) {
            hexEdit->setFocus(Qt::OtherFocusReason);
            return;
        }
        // The match was shown as a selection, which would hold the view still for good: the
        // view stays on it, and follows again once scrolled back to the end.
        QTextCursor atMatch = termView->textCursor();
        atMatch.clearSelection();
        termView->setTextCursor(atMatch);
        termView->setFocus(Qt::OtherFocusReason);
    });
    connect(findBar, &FindBar::hexSearchEdited, this,
        [this](const QByteArray &bytes) { findBytes(bytes, HexStep::Again); });
    connect(
        findBar, &FindBar::hexFindRequested, this, [this](const QByteArray &bytes, bool backward) {
            findBytes(bytes, backward ? HexStep::Previous : HexStep::Next);
        });
}

void SolvaneTerm::openFindBar()
{
    // Bytes when the hex view is where the user is looking, text otherwise; asked again while
    // open, the bar keeps what it looks for.
    if (!findBar->isVisible()) {
        findBar->setHexMode(hexEdit->isVisible() && hexEdit->hasFocus());
        hexMatch = -1;
    }
    findBar->open();
}

// Wraps around the end either way.
void SolvaneTerm::findBytes(const QByteArray &bytes, HexStep step)
{
    const QByteArray data = hexEdit->data();
    const int from = qMax(hexMatch, 0);
    int found = -1;
    if (step == HexStep::Previous) {
        found = hexMatch > 0 ? hexEdit->lastIndexOf(bytes, hexMatch - 1 + bytes.size()) : -1;
        if (found < 0)
            found = hexEdit->lastIndexOf(bytes, data.size() + bytes.size());
    } else {
        found = hexEdit->indexOf(bytes, step == HexStep::Again ? from : from + 1);
        if (found < 0 || (step == HexStep::Next && hexMatch >= 0 && found <= hexMatch))
            found = hexEdit->indexOf(bytes, 0);
    }
    hexMatch = found;
    // Matches may overlap, as in a run of equal bytes: each start counts.
    int count = 0;
    int before = 0;
    for (int at = data.indexOf(bytes); at >= 0; at = data.indexOf(bytes, at + 1)) {
        ++count;
        if (at < found)
            ++before;
    }
    findBar->showHexResult(found < 0 ? -1 : before, count);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "find/bytefinder.h"
#include "find/findbar.h"
#include "hexview/hexview.h"
#include "view/dovikview.h"

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
        termView->setFocus(Qt::OtherFocusReason);
    });
    byteFinder = new ByteFinder(this);
    byteFinder->setHistory([this] { return hexEdit->data(); },
        [this] { return hexReceived - hexEdit->data().size(); });
    connect(byteFinder, &ByteFinder::changed, this, [this] {
        findBar->showHexResult(
            byteFinder->currentIndex(), byteFinder->count(), byteFinder->countingDone());
    });
    connect(findBar, &FindBar::closed, byteFinder, &ByteFinder::clear);
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
        byteFinder->clear();
    }
    findBar->open();
}

void SolvaneTerm::findBytes(const QByteArray &bytes, HexStep step)
{
    if (step == HexStep::Again) {
        byteFinder->setSearch(bytes);
    } else if (bytes != byteFinder->bytes()) {
        // Stepping in a search not started yet: from the oldest match, or back to the newest.
        byteFinder->clear();
        byteFinder->setSearch(bytes);
        if (step == HexStep::Previous)
            byteFinder->previous();
    } else if (step == HexStep::Next) {
        byteFinder->next();
    } else {
        byteFinder->previous();
    }
    // Searching from the match's own start selects it and scrolls to it.
    const int offset = byteFinder->currentOffset();
    if (offset >= 0)
        hexEdit->indexOf(bytes, offset);
}

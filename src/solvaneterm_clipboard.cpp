// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "find/findbar.h"
#include "hexview/hexview.h"
#include "view/dovikview.h"

#include <QApplication>
#include <QLineEdit>

QLineEdit *SolvaneTerm::findField() const
{
    auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    return field && findBar->isAncestorOf(field) ? field : nullptr;
}

// Ctrl+C and Ctrl+V belong to the device (0x03 and 0x16), so copying and pasting take the keys
// that the desktop's terminals use for them.
void SolvaneTerm::copySelection()
{
    // In the find bar's field the keys mean the field.
    if (auto *field = findField()) {
        field->copy();
        return;
    }
    const bool hexHasIt = hexEdit->isVisible() && hexEdit->hasSelection();
    if (hexHasIt && (hexEdit->hasFocus() || !termView->textCursor().hasSelection()))
        hexEdit->copy();
    else if (termView->textCursor().hasSelection())
        termView->copy();
}

void SolvaneTerm::pasteToDevice()
{
    if (auto *field = findField()) {
        field->paste();
        return;
    }
    // Through the view, as a middle click or its own paste would: one paste transmission.
    if (serialPort)
        termView->paste();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "functionkeys/functiondlg.h"
#include "functionkeys/functionkeytable.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>

int SolvaneTerm::getDelay() const
{
    return delay;
}

int SolvaneTerm::getLinePause() const
{
    return linePause;
}

QList<QPair<int, QString>> SolvaneTerm::getFunctionString() const
{
    return functionString;
}

QList<QPair<int, bool>> SolvaneTerm::getFunctionCheckCR() const
{
    return functionCheckCR;
}

QList<QPair<int, bool>> SolvaneTerm::getFunctionCheckLF() const
{
    return functionCheckLF;
}

void SolvaneTerm::functionSetting()
{
    if (functionDlg && functionDlg->isVisible())
        return;
    // A dialog hidden by Cancel is not reused: the new one starts from the table as applied.
    functionDlg = new FunctionDlg(this, Qt::WindowFlags());
    functionDlg->show();
}

void SolvaneTerm::applyFunction()
{
    if (!functionDlg)
        return;

    FunctionKeyTable table;
    for (int i = 0; i < FunctionKeyTable::size; ++i)
        table[i] = {functionDlg->lineEditF[i]->text(), functionDlg->checkBoxCR[i]->isChecked(),
            functionDlg->checkBoxLF[i]->isChecked()};
    functionString = table.strings();
    functionCheckCR = table.crFlags();
    functionCheckLF = table.lfFlags();

    // The text, not the value: a field the user emptied means no delay at all.
    bool ok = false;
    const int typed = functionDlg->spinBoxDelay->text().toInt(&ok, 10);
    delay = ok ? typed : 0;
    linePause = functionDlg->spinBoxLinePause->value();
}

void SolvaneTerm::acceptFunction()
{
    applyFunction();
    // OK arrives from inside the dialog's own button box, which must outlive this call.
    if (functionDlg)
        functionDlg->deleteLater();
    functionDlg = nullptr;
}

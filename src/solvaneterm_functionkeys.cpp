#include "solvaneterm.h"

#include "functionkeys/functiondlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>

int SolvaneTerm::getDelay() const
{
    return delay;
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

    functionString.clear();
    functionCheckCR.clear();
    functionCheckLF.clear();
    for (int i = 0; i < 12; ++i) {
        const int key = Qt::Key_F1 + i;
        functionString.append(qMakePair(key, functionDlg->lineEditF[i]->text()));
        functionCheckCR.append(qMakePair(key, functionDlg->checkBoxCR[i]->isChecked()));
        functionCheckLF.append(qMakePair(key, functionDlg->checkBoxLF[i]->isChecked()));
    }

    // The text, not the value: a field the user emptied means no delay at all.
    bool ok = false;
    const int typed = functionDlg->spinBoxDelay->text().toInt(&ok, 10);
    delay = ok ? typed : 0;
}

void SolvaneTerm::acceptFunction()
{
    applyFunction();
    // OK arrives from inside the dialog's own button box, which must outlive this call.
    if (functionDlg)
        functionDlg->deleteLater();
    functionDlg = nullptr;
}

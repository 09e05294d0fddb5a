// SPDX-License-Identifier: GPL-3.0-or-later
#include "functionkeys/functiondlg.h"

#include "solvaneterm.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>

FunctionDlg::FunctionDlg(SolvaneTerm *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    ui.setupUi(this);
    connect(ui.buttonBox, SIGNAL(accepted()), parent, SLOT(acceptFunction()));
    connect(ui.btnApply, SIGNAL(clicked()), parent, SLOT(applyFunction()));

    QLineEdit *const lineEdits[12] = {ui.lineEdit_f1, ui.lineEdit_f2, ui.lineEdit_f3,
        ui.lineEdit_f4, ui.lineEdit_f5, ui.lineEdit_f6, ui.lineEdit_f7, ui.lineEdit_f8,
        ui.lineEdit_f9, ui.lineEdit_f10, ui.lineEdit_f11, ui.lineEdit_f12};
    QCheckBox *const lfBoxes[12] = {ui.checkBox_f1, ui.checkBox_f2, ui.checkBox_f3, ui.checkBox_f4,
        ui.checkBox_f5, ui.checkBox_f6, ui.checkBox_f7, ui.checkBox_f8, ui.checkBox_f9,
        ui.checkBox_f10, ui.checkBox_f11, ui.checkBox_f12};
    QCheckBox *const crBoxes[12] = {ui.checkBox_c1, ui.checkBox_c2, ui.checkBox_c3, ui.checkBox_c4,
        ui.checkBox_c5, ui.checkBox_c6, ui.checkBox_c7, ui.checkBox_c8, ui.checkBox_c9,
        ui.checkBox_c10, ui.checkBox_c11, ui.checkBox_c12};
    for (int i = 0; i < 12; ++i) {
        lineEditF[i] = lineEdits[i];
        checkBoxLF[i] = lfBoxes[i];
        checkBoxCR[i] = crBoxes[i];
    }
    spinBoxDelay = ui.spinBox_delay;
    spinBoxLinePause = ui.spinBox_linePause;

    const QList<QPair<int, QString>> strings = parent->getFunctionString();
    const QList<QPair<int, bool>> crFlags = parent->getFunctionCheckCR();
    const QList<QPair<int, bool>> lfFlags = parent->getFunctionCheckLF();
    for (int i = 0; i < 12; ++i) {
        checkBoxCR[i]->setCheckState(crFlags.at(i).second ? Qt::Checked : Qt::Unchecked);
        checkBoxLF[i]->setCheckState(lfFlags.at(i).second ? Qt::Checked : Qt::Unchecked);
        lineEditF[i]->insert(strings.at(i).second);
    }
    spinBoxDelay->setValue(parent->getDelay());
    spinBoxLinePause->setValue(parent->getLinePause());
}

FunctionDlg::~FunctionDlg() = default;

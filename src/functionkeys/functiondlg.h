// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FUNCTIONDLG_H
#define FUNCTIONDLG_H

#include "ui_functiondialog.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSpinBox;
class SolvaneTerm;

// The modeless editor of the function key table; the main window reads its widgets directly
// when Apply or OK is pressed.
class FunctionDlg : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(FunctionDlg)

public:
    explicit FunctionDlg(SolvaneTerm *parent, Qt::WindowFlags flags = Qt::WindowFlags());
    ~FunctionDlg() override;

    QLineEdit *lineEditF[12];
    QCheckBox *checkBoxLF[12];
    QCheckBox *checkBoxCR[12];
    QSpinBox *spinBoxDelay;
    QSpinBox *spinBoxLinePause;
    Ui_FunctionDialog ui;
};

#endif // FUNCTIONDLG_H

// SPDX-License-Identifier: GPL-3.0-or-later
#include "functionkeys/functiondlg.h"
#include "logcapture.h"
#include "simulateddevice.h"
#include "solvaneterm.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"
#include "testwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>

namespace {

using StringTable = QList<QPair<int, QString>>;
using FlagTable = QList<QPair<int, bool>>;

// Grid rows of F1 to F12; row 4 is left empty.
const int keyRows[12] = {0, 2, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23};

QSettings storedSettings()
{
    return QSettings(QStringLiteral("SolvaneTerm"), windtitle);
}

StringTable stringTable(int index = -1, const QString &text = QString())
{
    StringTable table;
    for (int i = 0; i < 12; ++i)
        table.append(qMakePair(int(Qt::Key_F1) + i, i == index ? text : QString()));
    return table;
}

FlagTable flagTable(int index = -1, bool flag = false)
{
    FlagTable table;
    for (int i = 0; i < 12; ++i)
        table.append(qMakePair(int(Qt::Key_F1) + i, i == index && flag));
    return table;
}

QWidget *widgetAt(QGridLayout *grid, int row, int column)
{
    QLayoutItem *item = grid->itemAtPosition(row, column);
    return item ? item->widget() : nullptr;
}

} // namespace

// The function key dialog: its form, and how Apply, OK and Cancel move its contents into the
// main window's function key table and delay.
class tst_FunctionDialog : public QObject
{
    Q_OBJECT

public:
    explicit tst_FunctionDialog(const TempConfig &config)
        : config(config)
    { }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void keyRowsInGrid_data();
    void keyRowsInGrid();
    void spacerRowsAndDelayRow();

    void defaults();
    void apply_data();
    void apply();
    void cancelAfterApplyKeepsApplied();
    void cancelDiscardsEdits();
    void menuActionWhileVisible();
    void emptyDelayIsZero();
    void restoredDelayAboveRange();
    void okAppliesAndDeletesDialog();
    void closingWindowReopensDialog();

private:
    void restartWindow();
    FunctionDlg *openDialog();

    const TempConfig &config;
    QPointer<SolvaneTerm> window;
};

void tst_FunctionDialog::initTestCase()
{
    QVERIFY(config.isValid());
    QVERIFY(storedSettings().fileName().startsWith(config.configPath()));
    // An empty device list, so that no device turns up while the window runs.
    QVERIFY(QFile::exists(SimulatedDevice::listFilePath()));
}

void tst_FunctionDialog::init()
{
    QFile::remove(storedSettings().fileName());
    window = new SolvaneTerm;
}

void tst_FunctionDialog::cleanup()
{
    LogCapture quiet;
    delete window;
}

void tst_FunctionDialog::restartWindow()
{
    {
        LogCapture quiet;
        delete window;
    }
    // A window that reopens its dialog shows it, and the offscreen platform warns on every show.
    LogCapture platformWarnings(QtWarningMsg);
    window = new SolvaneTerm;
}

// Through the menu action, as the user opens it.
FunctionDlg *tst_FunctionDialog::openDialog()
{
    // The offscreen platform warns on every show that it cannot pass on size hints.
    LogCapture platformWarnings(QtWarningMsg);
    SolvaneTermTestAccess(*window).ui().actionFunction_Settings->trigger();
    return SolvaneTermTestAccess(*window).functionDlg();
}

void tst_FunctionDialog::form()
{
    FunctionDlg *dialog = openDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());

    QCOMPARE(dialog->objectName(), QStringLiteral("FunctionDialog"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Function Key Settings"));
    QCOMPARE(dialog->size(), QSize(600, 570));
    QCOMPARE(dialog->windowModality(), Qt::NonModal);
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->parentWidget(), window.data());
    QCOMPARE(dialog->font().family(), QStringLiteral("Lucida Console"));
    QCOMPARE(dialog->font().pointSize(), 10);
    QVERIFY(!dialog->windowIcon().isNull());
    QCOMPARE(dialog->windowIcon().pixmap(16, 16).toImage(),
        QIcon(QStringLiteral(":/Dovik/images/menu.png")).pixmap(16, 16).toImage());

    const Ui_FunctionDialog &ui = dialog->ui;
    QVERIFY(ui.groupBox->title().isEmpty());
    QCOMPARE(dialog->spinBoxDelay, ui.spinBox_delay);
    QCOMPARE(ui.spinBox_delay->minimum(), 0);
    QCOMPARE(ui.spinBox_delay->maximum(), 10000);
    QCOMPARE(ui.spinBox_delay->singleStep(), 1);
    QCOMPARE(ui.spinBox_delay->parentWidget(), ui.groupBox);

    QCOMPARE(ui.btnApply->text(), QStringLiteral("Apply"));
    QCOMPARE(ui.btnApply->parentWidget(), dialog);
    QCOMPARE(ui.buttonBox->parentWidget(), dialog);
    QCOMPARE(ui.buttonBox->orientation(), Qt::Horizontal);
    QCOMPARE(ui.buttonBox->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    QCOMPARE(dialog->layout(), ui.verticalLayout);
    QCOMPARE(ui.verticalLayout->count(), 3);
    QCOMPARE(ui.verticalLayout->itemAt(0)->widget(), ui.groupBox);
    QCOMPARE(ui.verticalLayout->itemAt(1)->layout(), ui.hboxLayout);
    QVERIFY(ui.verticalLayout->itemAt(2)->spacerItem());
    QCOMPARE(ui.hboxLayout->count(), 3);
    QCOMPARE(ui.hboxLayout->itemAt(0)->widget(), ui.btnApply);
    QVERIFY(ui.hboxLayout->itemAt(1)->spacerItem());
    QCOMPARE(ui.hboxLayout->itemAt(2)->widget(), ui.buttonBox);
}

void tst_FunctionDialog::keyRowsInGrid_data()
{
    QTest::addColumn<int>("index");

    for (int index = 0; index < 12; ++index)
        QTest::addRow("F%d", index + 1) << index;
}

void tst_FunctionDialog::keyRowsInGrid()
{
    QFETCH(int, index);

    FunctionDlg *dialog = openDialog();
    QVERIFY(dialog);
    QGridLayout *grid = dialog->ui.gridLayout;
    QCOMPARE(grid->columnCount(), 4);
    const int row = keyRows[index];
    const QString number = QString::number(index + 1);

    auto *label = qobject_cast<QLabel *>(widgetAt(grid, row, 0));
    QVERIFY(label);
    QCOMPARE(label->objectName(),
        index == 0 ? QStringLiteral("label") : QStringLiteral("label_") + number);
    QCOMPARE(label->text(), QStringLiteral("F") + number);
    QCOMPARE(label->alignment(), Qt::AlignCenter);

    auto *field = qobject_cast<QLineEdit *>(widgetAt(grid, row, 1));
    QVERIFY(field);
    QCOMPARE(field->objectName(), QStringLiteral("lineEdit_f") + number);
    QCOMPARE(dialog->lineEditF[index], field);

    auto *cr = qobject_cast<QCheckBox *>(widgetAt(grid, row, 2));
    QVERIFY(cr);
    QCOMPARE(cr->objectName(), QStringLiteral("checkBox_c") + number);
    QCOMPARE(cr->text(), QStringLiteral("CR"));
    QCOMPARE(dialog->checkBoxCR[index], cr);

    auto *lf = qobject_cast<QCheckBox *>(widgetAt(grid, row, 3));
    QVERIFY(lf);
    QCOMPARE(lf->objectName(), QStringLiteral("checkBox_f") + number);
    QCOMPARE(lf->text(), QStringLiteral("LF"));
    QCOMPARE(dialog->checkBoxLF[index], lf);

    for (QWidget *widget : {static_cast<QWidget *>(label), static_cast<QWidget *>(field),
             static_cast<QWidget *>(cr), static_cast<QWidget *>(lf)})
        QCOMPARE(widget->parentWidget(), dialog->ui.groupBox);
}

void tst_FunctionDialog::spacerRowsAndDelayRow()
{
    FunctionDlg *dialog = openDialog();
    QVERIFY(dialog);
    QGridLayout *grid = dialog->ui.gridLayout;
    // The rows as they have always been, and below them the pause for files being sent.
    QCOMPARE(grid->rowCount(), 27);

    for (int row : {1, 3, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24}) {
        QLayoutItem *item = grid->itemAtPosition(row, 1);
        QVERIFY2(item && item->spacerItem(), qPrintable(QStringLiteral("row %1").arg(row)));
        QCOMPARE(item->sizeHint(), QSize(20, 40));
        QCOMPARE(item->expandingDirections(), Qt::Vertical);
        for (int column : {0, 2, 3})
            QVERIFY(!grid->itemAtPosition(row, column));
    }
    for (int column = 0; column < 4; ++column)
        QVERIFY(!grid->itemAtPosition(4, column));

    const Ui_FunctionDialog &ui = dialog->ui;
    const int at = grid->indexOf(ui.horizontalLayout);
    QVERIFY(at >= 0);
    int row, column, rowSpan, columnSpan;
    grid->getItemPosition(at, &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(row, 25);
    QCOMPARE(column, 0);
    QCOMPARE(rowSpan, 1);
    QCOMPARE(columnSpan, 4);
    QCOMPARE(ui.horizontalLayout->count(), 3);
    QCOMPARE(ui.horizontalLayout->itemAt(0)->widget(), ui.label_13);
    QCOMPARE(ui.label_13->text(), QStringLiteral("Serial Write Delay mSec"));
    QVERIFY(ui.horizontalLayout->itemAt(1)->spacerItem());
    QCOMPARE(ui.horizontalLayout->itemAt(2)->widget(), ui.spinBox_delay);

    grid->getItemPosition(grid->indexOf(ui.linePauseLayout), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(row, 26);
    QCOMPARE(ui.linePauseLayout->itemAt(0)->widget(), ui.label_linePause);
    QCOMPARE(ui.linePauseLayout->itemAt(2)->widget(), ui.spinBox_linePause);
    QCOMPARE(ui.spinBox_linePause->maximum(), 10000);
}

void tst_FunctionDialog::defaults()
{
    QCOMPARE(window->getFunctionString(), stringTable());
    QCOMPARE(window->getFunctionCheckCR(), flagTable());
    QCOMPARE(window->getFunctionCheckLF(), flagTable());
    QCOMPARE(window->getDelay(), 5);
    QVERIFY(!SolvaneTermTestAccess(*window).functionDlg());

    FunctionDlg *dialog = openDialog();
    QVERIFY(dialog);
    for (int i = 0; i < 12; ++i) {
        QVERIFY(dialog->lineEditF[i]->text().isEmpty());
        QVERIFY(!dialog->checkBoxCR[i]->isChecked());
        QVERIFY(!dialog->checkBoxLF[i]->isChecked());
    }
    QCOMPARE(dialog->spinBoxDelay->value(), 5);
    QCOMPARE(dialog->spinBoxDelay->text(), QStringLiteral("5"));
}

void tst_FunctionDialog::apply_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("cr");
    QTest::addColumn<bool>("lf");
    QTest::addColumn<int>("delay");

    QTest::newRow("F1 text") << 0 << "hello" << false << false << 5;
    QTest::newRow("F3 AT with CR") << 2 << "AT" << true << false << 5;
    QTest::newRow("F7 LF only") << 6 << "" << false << true << 5;
    QTest::newRow("F12 CR and LF") << 11 << "ATZ" << true << true << 5;
    QTest::newRow("F5 beyond Latin-1")
        << 4 << QStringLiteral("\u00e9\u2192 \u03a9") << false << false << 5;
    QTest::newRow("delay 0") << 1 << "x" << false << false << 0;
    QTest::newRow("delay 250") << 1 << "x" << false << false << 250;
    QTest::newRow("delay 10000") << 1 << "x" << false << false << 10000;
}

void tst_FunctionDialog::apply()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(bool, cr);
    QFETCH(bool, lf);
    QFETCH(int, delay);

    FunctionDlg *dialog = openDialog();
    QVERIFY(dialog);
    dialog->lineEditF[index]->setText(text);
    dialog->checkBoxCR[index]->setChecked(cr);
    dialog->checkBoxLF[index]->setChecked(lf);
    dialog->spinBoxDelay->setValue(delay);

    QTest::mouseClick(dialog->ui.btnApply, Qt::LeftButton);

    QVERIFY(dialog->isVisible());
    QCOMPARE(SolvaneTermTestAccess(*window).functionDlg(), dialog);
    QCOMPARE(window->getFunctionString(), stringTable(index, text));
    QCOMPARE(window->getFunctionCheckCR(), flagTable(index, cr));
    QCOMPARE(window->getFunctionCheckLF(), flagTable(index, lf));
    QCOMPARE(window->getDelay(), delay);
}

void tst_FunctionDialog::cancelAfterApplyKeepsApplied()
{
    FunctionDlg *first = openDialog();
    QVERIFY(first);
    first->lineEditF[2]->setText(QStringLiteral("AT"));
    first->checkBoxCR[2]->setChecked(true);
    first->spinBoxDelay->setValue(42);
    first->spinBoxLinePause->setValue(30);
    QTest::mouseClick(first->ui.btnApply, Qt::LeftButton);

    first->lineEditF[2]->setText(QStringLiteral("changed"));
    first->checkBoxLF[2]->setChecked(true);
    first->spinBoxDelay->setValue(7);
    first->spinBoxLinePause->setValue(9);
    QTest::mouseClick(first->ui.buttonBox->button(QDialogButtonBox::Cancel), Qt::LeftButton);

    QVERIFY(!first->isVisible());
    QCOMPARE(SolvaneTermTestAccess(*window).functionDlg(), first);
    QCOMPARE(window->getFunctionString(), stringTable(2, QStringLiteral("AT")));
    QCOMPARE(window->getFunctionCheckCR(), flagTable(2, true));
    QCOMPARE(window->getFunctionCheckLF(), flagTable());
    QCOMPARE(window->getDelay(), 42);
    QCOMPARE(window->getLinePause(), 30);

    const QPointer<FunctionDlg> hidden(first);
    FunctionDlg *second = openDialog();
    QVERIFY(second);
    QVERIFY(second != first);
    QVERIFY(second->isVisible());
    // The hidden one stays a hidden child and is never shown again.
    QVERIFY(!hidden.isNull());
    QVERIFY(!hidden->isVisible());
    QCOMPARE(window->findChildren<FunctionDlg *>().size(), 2);

    QCOMPARE(second->lineEditF[2]->text(), QStringLiteral("AT"));
    QVERIFY(second->checkBoxCR[2]->isChecked());
    QVERIFY(!second->checkBoxLF[2]->isChecked());
    QCOMPARE(second->spinBoxDelay->value(), 42);
    QCOMPARE(second->spinBoxLinePause->value(), 30);
}

void tst_FunctionDialog::cancelDiscardsEdits()
{
    FunctionDlg *first = openDialog();
    QVERIFY(first);
    first->lineEditF[1]->setText(QStringLiteral("discarded"));
    first->checkBoxCR[4]->setChecked(true);
    first->checkBoxLF[9]->setChecked(true);
    first->spinBoxDelay->setValue(99);
    QTest::mouseClick(first->ui.buttonBox->button(QDialogButtonBox::Cancel), Qt::LeftButton);

    QVERIFY(!first->isVisible());
    QCOMPARE(window->getFunctionString(), stringTable());
    QCOMPARE(window->getFunctionCheckCR(), flagTable());
    QCOMPARE(window->getFunctionCheckLF(), flagTable());
    QCOMPARE(window->getDelay(), 5);

    FunctionDlg *second = openDialog();
    QVERIFY(second && second != first);
    QVERIFY(second->lineEditF[1]->text().isEmpty());
    QVERIFY(!second->checkBoxCR[4]->isChecked());
    QVERIFY(!second->checkBoxLF[9]->isChecked());
    QCOMPARE(second->spinBoxDelay->value(), 5);
}

void tst_FunctionDialog::menuActionWhileVisible()
{
    FunctionDlg *first = openDialog();
    QVERIFY(first);
    first->lineEditF[0]->setText(QStringLiteral("unsaved edit"));

    FunctionDlg *again = openDialog();
    QCOMPARE(again, first);
    QVERIFY(first->isVisible());
    QCOMPARE(first->lineEditF[0]->text(), QStringLiteral("unsaved edit"));
    QCOMPARE(window->findChildren<FunctionDlg *>().size(), 1);
}

// A mouse click on Apply would take the focus from the spin box, which then writes its value
// back into the field; the field is emptied without giving it the focus so that Apply sees it
// empty, as it does when the focus stays put.
void tst_FunctionDialog::emptyDelayIsZero()
{
    FunctionDlg *dialog = openDialog();
    QVERIFY(dialog);
    auto *field = dialog->spinBoxDelay->findChild<QLineEdit *>();
    QVERIFY(field);
    field->clear();
    QVERIFY(dialog->spinBoxDelay->text().isEmpty());
    QCOMPARE(dialog->spinBoxDelay->value(), 5);

    dialog->ui.btnApply->click();
    QCOMPARE(window->getDelay(), 0);
}

void tst_FunctionDialog::restoredDelayAboveRange()
{
    {
        QSettings settings = storedSettings();
        settings.setValue(QStringLiteral("delay"), 20000);
    }
    restartWindow();
    QCOMPARE(window->getDelay(), 20000);

    FunctionDlg *dialog = openDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->spinBoxDelay->value(), 10000);
    QCOMPARE(dialog->spinBoxDelay->text(), QStringLiteral("10000"));

    QTest::mouseClick(dialog->ui.btnApply, Qt::LeftButton);
    QCOMPARE(window->getDelay(), 10000);
}

void tst_FunctionDialog::okAppliesAndDeletesDialog()
{
    SolvaneTermTestAccess access(*window);
    const QPointer<FunctionDlg> dialog(openDialog());
    QVERIFY(dialog);
    dialog->lineEditF[1]->setText(QStringLiteral("sent by F2"));
    dialog->checkBoxLF[1]->setChecked(true);
    dialog->spinBoxDelay->setValue(12);

    QTest::mouseClick(dialog->ui.buttonBox->button(QDialogButtonBox::Ok), Qt::LeftButton);

    QVERIFY(!access.functionDlg());
    QVERIFY(dialog.isNull() || !dialog->isVisible());
    QCOMPARE(window->getFunctionString(), stringTable(1, QStringLiteral("sent by F2")));
    QCOMPARE(window->getFunctionCheckLF(), flagTable(1, true));
    QCOMPARE(window->getFunctionCheckCR(), flagTable());
    QCOMPARE(window->getDelay(), 12);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(dialog.isNull());
    QVERIFY(window->findChildren<FunctionDlg *>().isEmpty());

    {
        LogCapture quiet;
        window->close();
    }
    QCOMPARE(storedSettings().value(QStringLiteral("ShowFunctionDlg")).toBool(), false);
}

void tst_FunctionDialog::closingWindowReopensDialog()
{
    FunctionDlg *dialog = openDialog();
    QVERIFY(dialog);
    dialog->lineEditF[6]->setText(QStringLiteral("applied"));
    QTest::mouseClick(dialog->ui.btnApply, Qt::LeftButton);

    {
        LogCapture platformWarnings(QtWarningMsg);
        window->show();
    }
    {
        LogCapture quiet;
        window->close();
    }
    QVERIFY(!dialog->isVisible());
    QCOMPARE(storedSettings().value(QStringLiteral("ShowFunctionDlg")).toBool(), true);

    restartWindow();
    FunctionDlg *reopened = SolvaneTermTestAccess(*window).functionDlg();
    QVERIFY(reopened);
    QVERIFY(reopened->isVisible());
    QCOMPARE(reopened->lineEditF[6]->text(), QStringLiteral("applied"));
}

SOLVANETERM_WINDOW_TEST_MAIN(tst_FunctionDialog)

#include "tst_functiondialog.moc"

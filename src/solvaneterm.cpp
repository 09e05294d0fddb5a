// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "device/serialport_.h"
#include "functionkeys/functiondlg.h"
#include "functionkeys/functionkeytable.h"
#include "hexview/hexview.h"
#include "repaintpacer.h"
#include "scrollendkeeper.h"
#include "transmit/transmitqueue.h"
#include "view/dovikview.h"
#include "view/opaquescrollbars.h"

#include <QCloseEvent>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QVBoxLayout>

int qInitResources_dovik();
int qCleanupResources_dovik();

QString windtitle = QStringLiteral("Solvane's Terminal V3.07");

namespace {

// The images are compiled into the static library; registering them here, in the file that
// every program using the window links, keeps them available before main() runs.
struct DovikResources
{
    DovikResources() { qInitResources_dovik(); }
    ~DovikResources() { qCleanupResources_dovik(); }
} dovikResources;

} // namespace

SolvaneTerm::SolvaneTerm(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , functionDlg(nullptr)
    , termView(nullptr)
    , hexEdit(nullptr)
    , delay(5)
    , serialPort(nullptr)
    , connectionTimer(nullptr)
    , deviceFound(false)
    , deviceWasFound(false)
    , deviceChecked(false)
    , shownOnce(false)
    , hexamode(false)
    , enterWithCR(true)
{
    ui.setupUi(this);
    new RepaintPacer(this);

    const FunctionKeyTable emptyKeys;
    functionString = emptyKeys.strings();
    functionCheckCR = emptyKeys.crFlags();
    functionCheckLF = emptyKeys.lfFlags();
    delay = 5;

    connect(ui.actionAbout_This_Program, SIGNAL(triggered()), this, SLOT(about()));
    connect(ui.action_Toolbar, SIGNAL(toggled(bool)), ui.toolBar, SLOT(setHidden(bool)));
    connect(ui.actionHexa_Mode, SIGNAL(toggled(bool)), this, SLOT(setHexamode(bool)));
    connect(ui.actionEnter_with_Return, SIGNAL(toggled(bool)), this, SLOT(setEnterWithCR(bool)));
    ui.actionEnter_with_Return->setChecked(enterWithCR);

    termView = new DovikView(this);
    termView->setDisabled(true);
    connect(termView, SIGNAL(keyInput(int, QString)), this, SLOT(keyInput(int, QString)));

    auto *textLayout = new QHBoxLayout(ui.textGroup);
    textLayout->addWidget(termView);

    hexEdit = new HexView(nullptr);
    hexEdit->setDisabled(true);
    hexEdit->setReadOnly(true);
    auto *hexLayout = new QVBoxLayout(ui.hexaGroup);
    hexLayout->addWidget(hexEdit);
    new OpaqueScrollBars(hexEdit);

    // A selection holds the terminal view still wherever it is, as the view itself does.
    new ScrollEndKeeper(
        termView->verticalScrollBar(), [this] { return termView->textCursor().hasSelection(); });
    new ScrollEndKeeper(hexEdit->verticalScrollBar());

    connect(ui.actionFunction_Settings, SIGNAL(triggered()), this, SLOT(functionSetting()));
    connect(ui.action_Font, SIGNAL(triggered()), termView, SLOT(changeFont()));
    connect(ui.action_FontColor, SIGNAL(triggered()), termView, SLOT(changeFontColor()));
    connect(ui.actionBackground_color, SIGNAL(triggered()), termView, SLOT(changeBackColor()));
    connect(ui.actionCa_pture, SIGNAL(triggered()), this, SLOT(saveCapture()));
    connect(ui.action_Clear_Screen, SIGNAL(triggered()), this, SLOT(clearScreen()));
    connect(ui.actionE_xit, SIGNAL(triggered()), this, SLOT(close()));
    connect(ui.actionSession_Log, &QAction::triggered, this, &SolvaneTerm::chooseSessionLog);
    connect(ui.actionSession_Log_Folder, &QAction::triggered, this,
        &SolvaneTerm::chooseSessionLogFolder);
    setUpTransmitQueue();
    setUpFindBar();
    connect(ui.actionTime_Stamps, &QAction::toggled, termView, &DovikView::setTimeStamps);
    connect(ui.actionTerminal_Copy, &QAction::triggered, this, &SolvaneTerm::copySelection);
    connect(ui.actionTerminal_Paste, &QAction::triggered, this, &SolvaneTerm::pasteToDevice);

    setWindowTitle(windtitle);

    readSettings();
    closeSolvaneDevice();

    connectionTimer = new QTimer(this);
    connect(connectionTimer, SIGNAL(timeout()), this, SLOT(checkConnection()));
    connectionTimer->start(1000);
}

SolvaneTerm::~SolvaneTerm()
{
    qDebug("~SolvaneTerm");
    // A window destroyed without being closed still owns an open port.
    delete serialPort;
    serialPort = nullptr;
}

bool SolvaneTerm::event(QEvent *event)
{
    // Every menu entry that the pointer or the keyboard reaches sends its status tip, and ours
    // are all empty: shown, they would wipe the device state from the bar.
    if (event->type() == QEvent::StatusTip
        && static_cast<QStatusTipEvent *>(event)->tip().isEmpty()) {
        event->accept();
        return true;
    }
    return QMainWindow::event(event);
}

void SolvaneTerm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (shownOnce)
        return;
    shownOnce = true;
    // A device that is already there is opened as soon as the window is up, not a second later:
    // what it sends at power-up waits in the meantime. The regular checks then count from here.
    QTimer::singleShot(0, this, [this] {
        if (!connectionTimer->isActive())
            return;
        connectionTimer->start();
        checkConnection();
    });
}

void SolvaneTerm::closeEvent(QCloseEvent *event)
{
    qDebug("closeEvent");
    // The user ends what is being sent by closing; that is no failure to report.
    transmitQueue->stop();
    closeSolvaneDevice();
    writeSettings();
    if (functionDlg && functionDlg->isVisible())
        functionDlg->close();
    event->accept();
}

void SolvaneTerm::statusMsg(const QString &msg)
{
    ui.statusbar->showMessage(msg, 0);
}

QLabel *SolvaneTerm::permanentLabel(QLabel *&label, const QString &objectName)
{
    if (!label) {
        label = new QLabel(this);
        label->setObjectName(objectName);
        ui.statusbar->addPermanentWidget(label);
    }
    return label;
}

void SolvaneTerm::showProblemSoon(const QString &title, const QString &text)
{
    QTimer::singleShot(0, this, [this, title, text] {
        QMessageBox::critical(this, title, text, QMessageBox::Ok, QMessageBox::NoButton);
    });
}

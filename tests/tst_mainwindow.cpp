// SPDX-License-Identifier: GPL-3.0-or-later
#include "functionkeys/functiondlg.h"
#include "hexview/hexview.h"
#include "logcapture.h"
#include "simulateddevice.h"
#include "solvaneterm.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"
#include "testwindow.h"
#include "view/dovikview.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const QString imageRoot = QStringLiteral(":/Dovik/images/");

QString settingsPath()
{
    return QSettings(QStringLiteral("SolvaneTerm"), windtitle).fileName();
}

// Object names in order, a dash for each separator.
QStringList describe(const QList<QAction *> &actions)
{
    QStringList names;
    for (const QAction *action : actions)
        names.append(action->isSeparator() ? QStringLiteral("-") : action->objectName());
    return names;
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16)).toImage();
}

} // namespace

// The main window as a user first meets it: its title, menus, toolbar and actions, the state of
// a first start with no stored settings, and the keyboard shortcuts on the shown window.
class tst_MainWindow : public QObject
{
    Q_OBJECT

public:
    explicit tst_MainWindow(const TempConfig &config)
        : config(config)
    { }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowIdentity();
    void minimumSize_data();
    void minimumSize();
    void menuBarOrder();
    void menus_data();
    void menus();
    void toolBar();
    void actions_data();
    void actions();
    void colourActionsShareOneIcon();
    void widgetTree();
    void firstStart();
    void toolbarHideAction();
    void hoveredEntryKeepsTheStatus_data();
    void hoveredEntryKeepsTheStatus();
    void viewAtTheEndStaysThere_data();
    void viewAtTheEndStaysThere();

    void exit_data();
    void exit();
    void altHTogglesHexView();
    void altFOpensFunctionDialog();
    void altAClearsScreen();
    void destructorLogs();

private:
    bool showActive();

    const TempConfig &config;
    QPointer<SolvaneTerm> window;
};

void tst_MainWindow::initTestCase()
{
    QVERIFY(config.isValid());
    QVERIFY(settingsPath().startsWith(config.configPath()));
    // An empty device list: no real or simulated device may turn up while the window runs.
    QVERIFY(QFile::exists(SimulatedDevice::listFilePath()));
}

void tst_MainWindow::init()
{
    QFile::remove(settingsPath());
    QVERIFY(!QFile::exists(settingsPath()));
    window = new SolvaneTerm;
}

void tst_MainWindow::cleanup()
{
    LogCapture quiet;
    delete window;
}

bool tst_MainWindow::showActive()
{
    window->show();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

void tst_MainWindow::windowIdentity()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Solvane's Terminal V3.07"));
    QCOMPARE(windtitle, QStringLiteral("Solvane's Terminal V3.07"));
    QCOMPARE(window->objectName(), QStringLiteral("Dovik"));
    QCOMPARE(window->minimumSize(), QSize(640, 480));
    QCOMPARE(window->size(), QSize(800, 600));
    QCOMPARE(window->pos(), QPoint(25, 25));
    QCOMPARE(window->font().family(), QStringLiteral("Lucida Console"));
    QCOMPARE(window->font().pointSize(), 10);

    QVERIFY(QFile::exists(imageRoot + QStringLiteral("SOLVANE_LOGO.png")));
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(iconImage(window->windowIcon()),
        iconImage(QIcon(imageRoot + QStringLiteral("SOLVANE_LOGO.png"))));
}

void tst_MainWindow::minimumSize_data()
{
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<QSize>("result");

    QTest::newRow("both too small") << QSize(320, 240) << QSize(640, 480);
    QTest::newRow("too narrow") << QSize(639, 700) << QSize(640, 700);
    QTest::newRow("too low") << QSize(900, 479) << QSize(900, 480);
    QTest::newRow("exactly the minimum") << QSize(640, 480) << QSize(640, 480);
}

void tst_MainWindow::minimumSize()
{
    QFETCH(QSize, requested);
    QFETCH(QSize, result);

    window->resize(requested);
    QCOMPARE(window->size(), result);
    QVERIFY(showActive());
    window->resize(requested);
    QCOMPARE(window->size(), result);
}

void tst_MainWindow::menuBarOrder()
{
    const Ui_Dovik &ui = SolvaneTermTestAccess(*window).ui();
    QCOMPARE(window->menuBar(), ui.menubar);
    QCOMPARE(ui.menubar->objectName(), QStringLiteral("menubar"));
    const QList<QAction *> entries = ui.menubar->actions();
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries.at(0), ui.menu_File->menuAction());
    QCOMPARE(entries.at(1), ui.menu_View->menuAction());
    QCOMPARE(entries.at(2), ui.menuConfigure->menuAction());
    QCOMPARE(entries.at(3), ui.menu_Help->menuAction());
}

void tst_MainWindow::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("contents");

    QTest::newRow("Main") << "menu_File"
                          << "&Main"
                          << QStringList {"actionE_xit", "-", "actionCa_pture", "-",
                                 "actionSession_Log", "actionSession_Log_Folder", "-",
                                 "actionSend_File", "actionStop_Sending"};
    QTest::newRow("View") << "menu_View"
                          << "&View"
                          << QStringList {"action_Toolbar", "-", "action_Clear_Screen", "-",
                                 "actionHexa_Mode", "-", "actionTerminal_Copy",
                                 "actionTerminal_Paste", "actionFind", "actionTime_Stamps"};
    QTest::newRow("Configure") << "menuConfigure"
                               << "&Configure"
                               << QStringList {"actionFunction_Settings", "-", "action_Font",
                                      "action_FontColor", "actionBackground_color", "-",
                                      "actionEnter_with_Return"};
    // Not "&Help": Alt+H belongs to Hexa View.
    QTest::newRow("Help") << "menu_Help"
                          << "He&lp" << QStringList {"actionAbout_This_Program"};
}

void tst_MainWindow::menus()
{
    QFETCH(QString, menu);
    QFETCH(QString, title);
    QFETCH(QStringList, contents);

    const Ui_Dovik &ui = SolvaneTermTestAccess(*window).ui();
    auto *found = ui.menubar->findChild<QMenu *>(menu, Qt::FindDirectChildrenOnly);
    QVERIFY(found);
    QCOMPARE(found->title(), title);
    QCOMPARE(describe(found->actions()), contents);
}

void tst_MainWindow::toolBar()
{
    const Ui_Dovik &ui = SolvaneTermTestAccess(*window).ui();
    QCOMPARE(ui.toolBar->objectName(), QStringLiteral("toolBar"));
    QCOMPARE(ui.toolBar->windowTitle(), QStringLiteral("toolBar"));
    QCOMPARE(window->toolBarArea(ui.toolBar), Qt::TopToolBarArea);
    QCOMPARE(describe(ui.toolBar->actions()),
        (QStringList {"actionCa_pture", "-", "action_Font", "action_FontColor",
            "actionBackground_color", "-", "action_Clear_Screen", "actionHexa_Mode", "-",
            "actionFunction_Settings", "-", "actionSend_File", "actionStop_Sending"}));
}

void tst_MainWindow::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("checked");

    QTest::newRow("Exit") << "actionE_xit"
                          << "Exit"
                          << "Alt+X"
                          << "delete.png" << false << false;
    QTest::newRow("Font") << "action_Font"
                          << "Font"
                          << ""
                          << "edit.png" << false << false;
    QTest::newRow("Font color") << "action_FontColor"
                                << "Font color"
                                << ""
                                << "palette.png" << false << false;
    QTest::newRow("About") << "actionAbout_This_Program"
                           << "About This Program"
                           << ""
                           << "info.png" << false << false;
    QTest::newRow("Function Settings") << "actionFunction_Settings"
                                       << "Function Settings"
                                       << "Alt+F"
                                       << "menu.png" << false << false;
    QTest::newRow("Toolbar Hide") << "action_Toolbar"
                                  << "Toolbar Hide"
                                  << ""
                                  << "rightup.png" << true << false;
    QTest::newRow("SaveCapture") << "actionCa_pture"
                                 << "SaveCapture"
                                 << "Alt+S"
                                 << "saveas.png" << false << false;
    QTest::newRow("Clear Screen") << "action_Clear_Screen"
                                  << "Clear Screen"
                                  << "Alt+A"
                                  << "erase.png" << false << false;
    // Checked in the form, then unchecked by a first start's settings.
    QTest::newRow("Hexa View") << "actionHexa_Mode"
                               << "Hexa View"
                               << "Alt+H"
                               << "hexa.png" << true << false;
    QTest::newRow("Background color") << "actionBackground_color"
                                      << "Background color"
                                      << ""
                                      << "palette.png" << false << false;
    QTest::newRow("Enter with Return") << "actionEnter_with_Return"
                                       << "Enter with Return"
                                       << ""
                                       << "" << true << true;
}

void tst_MainWindow::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(QString, icon);
    QFETCH(bool, checkable);
    QFETCH(bool, checked);

    auto *action = window->findChild<QAction *>(name, Qt::FindDirectChildrenOnly);
    QVERIFY(action);
    QCOMPARE(action->text(), text);
    // None carries a mnemonic, so an explicit tooltip and the one made from the text agree.
    QCOMPARE(action->toolTip(), text);
    QCOMPARE(action->shortcuts(),
        shortcut.isEmpty() ? QList<QKeySequence>() : QList<QKeySequence> {QKeySequence(shortcut)});
    QCOMPARE(action->isCheckable(), checkable);
    QCOMPARE(action->isChecked(), checked);
    QVERIFY(action->isEnabled());
    QVERIFY(action->isVisible());

    if (icon.isEmpty()) {
        QVERIFY(action->icon().isNull());
    } else {
        QVERIFY(QFile::exists(imageRoot + icon));
        QVERIFY(!action->icon().isNull());
        QCOMPARE(iconImage(action->icon()), iconImage(QIcon(imageRoot + icon)));
    }
}

void tst_MainWindow::colourActionsShareOneIcon()
{
    const Ui_Dovik &ui = SolvaneTermTestAccess(*window).ui();
    QCOMPARE(ui.actionBackground_color->icon().cacheKey(), ui.action_FontColor->icon().cacheKey());
    // The eleven of the form, and after them two session log entries, two for sending, and
    // copy, paste, find and time stamps.
    QCOMPARE(window->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly).size(), 19);
}

void tst_MainWindow::widgetTree()
{
    SolvaneTermTestAccess access(*window);
    const Ui_Dovik &ui = access.ui();

    QCOMPARE(window->centralWidget(), ui.centralwidget);
    QCOMPARE(window->statusBar(), ui.statusbar);
    QCOMPARE(ui.centralwidget->layout(), ui.verticalLayout);
    // The two groups of the form, and under them the find bar, hidden until asked for.
    QCOMPARE(ui.verticalLayout->count(), 3);
    QCOMPARE(ui.verticalLayout->itemAt(0)->widget(), ui.textGroup);
    QCOMPARE(ui.verticalLayout->itemAt(1)->widget(), ui.hexaGroup);
    QCOMPARE(ui.verticalLayout->itemAt(2)->widget()->objectName(), QStringLiteral("findBar"));
    QVERIFY(ui.verticalLayout->itemAt(2)->widget()->isHidden());
    QVERIFY(ui.textGroup->title().isEmpty());
    QVERIFY(ui.hexaGroup->title().isEmpty());

    auto *textLayout = qobject_cast<QHBoxLayout *>(ui.textGroup->layout());
    QVERIFY(textLayout);
    QCOMPARE(textLayout->count(), 1);
    QCOMPARE(textLayout->itemAt(0)->widget(), access.termView());

    auto *hexLayout = qobject_cast<QVBoxLayout *>(ui.hexaGroup->layout());
    QVERIFY(hexLayout);
    QCOMPARE(hexLayout->count(), 1);
    QCOMPARE(hexLayout->itemAt(0)->widget(), access.hexEdit());
    QVERIFY(access.hexEdit()->isReadOnly());

    QTimer *timer = access.connectionTimer();
    QVERIFY(timer);
    QCOMPARE(timer->parent(), window.data());
    QVERIFY(timer->isActive());
    QVERIFY(!timer->isSingleShot());
    QCOMPARE(timer->interval(), 1000);
}

void tst_MainWindow::firstStart()
{
    SolvaneTermTestAccess access(*window);
    const Ui_Dovik &ui = access.ui();
    QVERIFY(showActive());

    QVERIFY(!ui.actionHexa_Mode->isChecked());
    QVERIFY(!access.hexamode());
    QVERIFY(ui.hexaGroup->isHidden());
    QVERIFY(!ui.textGroup->isHidden());
    QVERIFY(ui.actionEnter_with_Return->isChecked());
    QVERIFY(access.enterWithCR());
    QVERIFY(!ui.action_Toolbar->isChecked());
    QVERIFY(ui.toolBar->isVisible());

    QVERIFY(!access.serialPort());
    QVERIFY(!access.functionDlg());
    QVERIFY(!access.termView()->isEnabled());
    QVERIFY(access.termView()->isHidden());
    QVERIFY(!access.hexEdit()->isEnabled());
    QVERIFY(access.hexEdit()->isHidden());
    // The first device check runs as soon as the window is up and replaces the settings message.
    QCOMPARE(ui.statusbar->currentMessage(), QStringLiteral("the Solvane Device was not found."));
}

void tst_MainWindow::toolbarHideAction()
{
    const Ui_Dovik &ui = SolvaneTermTestAccess(*window).ui();
    QVERIFY(showActive());

    ui.action_Toolbar->trigger();
    QVERIFY(ui.toolBar->isHidden());
    ui.action_Toolbar->trigger();
    QVERIFY(ui.toolBar->isVisible());
}

void tst_MainWindow::hoveredEntryKeepsTheStatus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("action");

    QTest::newRow("Main menu, Exit") << "menu_File"
                                     << "actionE_xit";
    QTest::newRow("Configure menu, Enter with Return") << "menuConfigure"
                                                       << "actionEnter_with_Return";
    QTest::newRow("Help menu, About") << "menu_Help"
                                      << "actionAbout_This_Program";
}

void tst_MainWindow::hoveredEntryKeepsTheStatus()
{
    QFETCH(QString, menu);
    QFETCH(QString, action);

    const Ui_Dovik &ui = SolvaneTermTestAccess(*window).ui();
    QVERIFY(showActive());
    auto *popup = window->findChild<QMenu *>(menu);
    auto *entry = window->findChild<QAction *>(action);
    QVERIFY(popup);
    QVERIFY(entry);
    const QString deviceStatus = QStringLiteral("the Solvane Device was found. [/dev/ttyACM0]");
    window->statusMsg(deviceStatus);

    LogCapture platformWarnings(QtWarningMsg);
    popup->popup(window->mapToGlobal(QPoint(20, 20)));
    QVERIFY(QTest::qWaitForWindowExposed(popup));
    // What hovering the entry with the mouse does.
    popup->setActiveAction(entry);
    QCOMPARE(popup->activeAction(), entry);
    QCOMPARE(ui.statusbar->currentMessage(), deviceStatus);
    popup->hide();
    QCOMPARE(ui.statusbar->currentMessage(), deviceStatus);
}

void tst_MainWindow::viewAtTheEndStaysThere_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("hexView");
    QTest::addColumn<bool>("scrolledUp");

    QTest::newRow("hex view shown: terminal") << "hex view shown" << false << false;
    QTest::newRow("hex view shown: hex view") << "hex view shown" << true << false;
    QTest::newRow("larger font: terminal") << "larger font" << false << false;
    QTest::newRow("hex view shown: terminal scrolled up") << "hex view shown" << false << true;
    QTest::newRow("larger font: terminal scrolled up") << "larger font" << false << true;
}

void tst_MainWindow::viewAtTheEndStaysThere()
{
    QFETCH(QString, change);
    QFETCH(bool, hexView);
    QFETCH(bool, scrolledUp);

    SolvaneTermTestAccess access(*window);
    QVERIFY(showActive());
    // As an open device leaves them, after a few screens of data.
    const QList<QWidget *> views {access.termView(), access.hexEdit()};
    for (QWidget *view : views) {
        view->setEnabled(true);
        view->show();
    }
    QByteArray block;
    for (int line = 0; line < 400; ++line)
        block += "received line " + QByteArray::number(line) + "\r\n";
    access.termView()->insertView(block);
    access.hexEdit()->appendData(block);
    QScrollBar *bar
        = hexView ? access.hexEdit()->verticalScrollBar() : access.termView()->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 1000);
    bar->setValue(scrolledUp ? bar->maximum() / 2 : bar->maximum());
    const int before = bar->value();
    const int maximumBefore = bar->maximum();

    if (change == QLatin1String("hex view shown"))
        access.ui().actionHexa_Mode->setChecked(true);
    else
        access.termView()->setFont(QFont(QStringLiteral("Courier New"), 20));
    QTRY_VERIFY(bar->maximum() != maximumBefore);

    QCOMPARE(bar->value(), scrolledUp ? before : bar->maximum());
}

void tst_MainWindow::exit_data()
{
    QTest::addColumn<bool>("byKey");

    QTest::newRow("Exit action") << false;
    QTest::newRow("Alt+X") << true;
}

void tst_MainWindow::exit()
{
    QFETCH(bool, byKey);

    QVERIFY(showActive());
    LogCapture log;
    if (byKey)
        QTest::keyClick(window, Qt::Key_X, Qt::AltModifier);
    else
        SolvaneTermTestAccess(*window).ui().actionE_xit->trigger();

    QVERIFY(!window->isVisible());
    QCOMPARE(log.lines().count(QStringLiteral("closeEvent")), 1);
    QVERIFY(QFile::exists(settingsPath()));
    QSettings stored(QStringLiteral("SolvaneTerm"), windtitle);
    QCOMPARE(stored.value(QStringLiteral("size")).toSize(), QSize(800, 600));
    QCOMPARE(stored.value(QStringLiteral("isHexamode")).toBool(), false);
}

void tst_MainWindow::altHTogglesHexView()
{
    SolvaneTermTestAccess access(*window);
    const Ui_Dovik &ui = access.ui();
    QVERIFY(showActive());
    QVERIFY(!ui.hexaGroup->isVisible());

    LogCapture warnings(QtWarningMsg);
    QTest::keyClick(window, Qt::Key_H, Qt::AltModifier);
    QVERIFY(ui.actionHexa_Mode->isChecked());
    QVERIFY(access.hexamode());
    QVERIFY(ui.hexaGroup->isVisible());

    QTest::keyClick(window, Qt::Key_H, Qt::AltModifier);
    QVERIFY(!ui.actionHexa_Mode->isChecked());
    QVERIFY(!access.hexamode());
    QVERIFY(!ui.hexaGroup->isVisible());

    for (const QString &line : warnings.lines())
        QVERIFY2(!line.contains(QLatin1String("Ambiguous")), qPrintable(line));
}

void tst_MainWindow::altFOpensFunctionDialog()
{
    SolvaneTermTestAccess access(*window);
    QVERIFY(showActive());
    QVERIFY(!access.functionDlg());

    {
        // The offscreen platform warns on every show that it cannot pass on size hints.
        LogCapture platformWarnings(QtWarningMsg);
        QTest::keyClick(window, Qt::Key_F, Qt::AltModifier);
    }
    QVERIFY(access.functionDlg());
    QVERIFY(access.functionDlg()->isVisible());
    QCOMPARE(access.functionDlg()->parentWidget(), window.data());
}

void tst_MainWindow::altAClearsScreen()
{
    SolvaneTermTestAccess access(*window);
    QVERIFY(showActive());
    access.termView()->insertView(QByteArrayLiteral("received text"));
    access.hexEdit()->setData(QByteArrayLiteral("received text"));
    QVERIFY(!access.termView()->toPlainText().isEmpty());

    QTest::keyClick(window, Qt::Key_A, Qt::AltModifier);
    QVERIFY(access.termView()->toPlainText().isEmpty());
    QVERIFY(access.hexEdit()->data().isEmpty());
}

void tst_MainWindow::destructorLogs()
{
    QVERIFY(showActive());
    LogCapture log;
    delete window;
    QVERIFY(window.isNull());
    QCOMPARE(log.lines(), QStringList(QStringLiteral("~SolvaneTerm")));
}

SOLVANETERM_WINDOW_TEST_MAIN(tst_MainWindow)

#include "tst_mainwindow.moc"

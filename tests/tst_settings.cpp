// SPDX-License-Identifier: GPL-3.0-or-later
#include "functionkeys/functiondlg.h"
#include "logcapture.h"
#include "simulateddevice.h"
#include "solvaneterm.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"
#include "testwindow.h"
#include "verifycall.h"
#include "view/dovikview.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <algorithm>

namespace {

const QString organisation = QStringLiteral("SolvaneTerm");
const QString storeMessage = QStringLiteral("store current settings...");

QString storePath()
{
    return QSettings(organisation, windtitle).fileName();
}

// Empties the store through QSettings itself, so that its in-process cache agrees with the disk.
void clearStore()
{
    QSettings settings(organisation, windtitle);
    settings.clear();
    settings.sync();
}

// Writes the store as someone with a text editor would. QSettings keeps a parsed copy of the
// file and reads it again only when its size or modification time changed, so every write gets
// a time of its own.
bool writeRawStore(const QByteArray &text)
{
    static QDateTime stamp = QDateTime::currentDateTime();
    stamp = stamp.addSecs(2);
    QFile file(storePath());
    if (!QDir().mkpath(QFileInfo(file).absolutePath())
        || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(text) == text.size()
        && file.setFileTime(stamp, QFileDevice::FileModificationTime);
}

QList<QByteArray> rawStoreLines()
{
    QFile file(storePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n');
}

// Text for function key n that needs quoting or escaping in the store in one way or another.
QString keyText(int n)
{
    static const QStringList texts = {
        QStringLiteral("AT+RST"),
        QStringLiteral("a, b, c"),
        QStringLiteral("@Point(1 2)"),
        QStringLiteral("x=y; z"),
        QStringLiteral("say \"hi\""),
        QStringLiteral("  padded  "),
        QStringLiteral("C:\\dir\\file"),
        QStringLiteral("caf\u00e9 \u20ac \u65e5\u672c"),
        QStringLiteral("#hash"),
        QStringLiteral("[General]"),
        QStringLiteral("\t\x1b[0m@"),
        QString(2000, QLatin1Char('k')),
    };
    return texts.at(n);
}

// Everything readSettings() restores, as one value so that data rows can state all of it.
struct Restored
{
    QPoint pos = QPoint(25, 25);
    QSize size = QSize(800, 600);
    bool toolbarHidden = false;
    QString family = QStringLiteral("Courier New");
    int pointSize = 10;
    int weight = QFont::Normal;
    bool italic = false;
    QColor color = QColor(0xff, 0xff, 0xff);
    QColor backColor = QColor(0x43, 0x88, 0x65);
    QString f1;
    bool c1 = false;
    bool l1 = false;
    int delay = 5;
    bool dialogShown = false;
    bool hexamode = false;
};

template<typename Change> Restored restoredWith(Change change)
{
    Restored restored;
    change(restored);
    return restored;
}

// What QFont makes of a stored size or weight that the rules pass on unchanged.
int toolkitPointSize(int stored)
{
    LogCapture refusal(QtWarningMsg);
    QFont font;
    font.setPointSize(stored);
    return font.pointSize();
}

} // namespace

Q_DECLARE_METATYPE(Restored)

namespace {

void addStoreColumns()
{
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<Restored>("expected");
    QTest::addColumn<QByteArray>("warning");
}

void addStoreRow(const char *tag, const QByteArray &store, const Restored &expected,
    const char *warning = nullptr)
{
    QTest::newRow(tag) << store << expected << QByteArray(warning);
}

} // namespace

// The settings store as the main window reads it at start-up and writes it at close: defaults
// of a first start, a complete round trip, the replacement rules, and stores edited by hand or
// left by another version.
class tst_Settings : public QObject
{
    Q_OBJECT

public:
    explicit tst_Settings(const TempConfig &config)
        : config(config)
    { }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStart();
    void nothingStoredBeforeClose();
    void roundTrip();
    void storeHoldsExactlyTheKnownKeys();
    void storedValues_data();
    void storedValues();
    void handEditedStore_data();
    void handEditedStore();
    void damagedGeometry_data();
    void damagedGeometry();
    void delayWrittenAsText();
    void functionDialogState_data();
    void functionDialogState();
    void toolbarState_data();
    void toolbarState();
    void enterWithReturnAtEveryStart();
    void writtenOncePerClose_data();
    void writtenOncePerClose();
    void destroyingWithoutCloseWritesNothing();

private:
    SolvaneTerm *start();
    void close(SolvaneTerm *window);
    void compareRestored(SolvaneTerm *window, const Restored &expected);

    const TempConfig &config;
    QList<QPointer<SolvaneTerm>> windows;
};

void tst_Settings::initTestCase()
{
    QVERIFY(config.isValid());
    QVERIFY(storePath().startsWith(config.configPath()));
    QCOMPARE(QFileInfo(storePath()).fileName(), QStringLiteral("Solvane's Terminal V3.07.conf"));
    QCOMPARE(QFileInfo(storePath()).dir().dirName(), QStringLiteral("SolvaneTerm"));
    // An empty device list: no real or simulated device may turn up while a window runs.
    QVERIFY(QFile::exists(SimulatedDevice::listFilePath()));
}

void tst_Settings::init()
{
    clearStore();
}

void tst_Settings::cleanup()
{
    LogCapture quiet;
    for (const QPointer<SolvaneTerm> &window : qAsConst(windows))
        delete window;
    windows.clear();
}

SolvaneTerm *tst_Settings::start()
{
    auto *window = new SolvaneTerm;
    windows.append(window);
    return window;
}

void tst_Settings::close(SolvaneTerm *window)
{
    LogCapture quiet;
    window->close();
}

void tst_Settings::compareRestored(SolvaneTerm *window, const Restored &expected)
{
    SolvaneTermTestAccess access(*window);
    QCOMPARE(window->pos(), expected.pos);
    QCOMPARE(window->size(), expected.size);
    QCOMPARE(access.ui().action_Toolbar->isChecked(), expected.toolbarHidden);
    QCOMPARE(access.ui().toolBar->isHidden(), expected.toolbarHidden);

    const QFont &font = access.termView()->getFont();
    QCOMPARE(font.family(), expected.family);
    QCOMPARE(font.pointSize(), expected.pointSize);
    QCOMPARE(font.weight(), expected.weight);
    QCOMPARE(font.style(), expected.italic ? QFont::StyleItalic : QFont::StyleNormal);

    QCOMPARE(access.termView()->getColor().isValid(), expected.color.isValid());
    if (expected.color.isValid())
        QCOMPARE(access.termView()->getColor().name(), expected.color.name());
    QCOMPARE(access.termView()->getBackColor().isValid(), expected.backColor.isValid());
    if (expected.backColor.isValid())
        QCOMPARE(access.termView()->getBackColor().name(), expected.backColor.name());

    const auto strings = window->getFunctionString();
    const auto crFlags = window->getFunctionCheckCR();
    const auto lfFlags = window->getFunctionCheckLF();
    QCOMPARE(strings.size(), 12);
    QCOMPARE(crFlags.size(), 12);
    QCOMPARE(lfFlags.size(), 12);
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(strings.at(i).first, Qt::Key_F1 + i);
        QCOMPARE(crFlags.at(i).first, Qt::Key_F1 + i);
        QCOMPARE(lfFlags.at(i).first, Qt::Key_F1 + i);
    }
    QCOMPARE(strings.at(0).second, expected.f1);
    QCOMPARE(crFlags.at(0).second, expected.c1);
    QCOMPARE(lfFlags.at(0).second, expected.l1);
    QCOMPARE(window->getDelay(), expected.delay);

    QCOMPARE(
        access.functionDlg() != nullptr && access.functionDlg()->isVisible(), expected.dialogShown);
    QCOMPARE(access.hexamode(), expected.hexamode);
    QCOMPARE(access.ui().actionHexa_Mode->isChecked(), expected.hexamode);
    QCOMPARE(access.ui().hexaGroup->isHidden(), !expected.hexamode);
    QVERIFY(access.ui().actionEnter_with_Return->isChecked());
    QVERIFY(access.enterWithCR());
}

void tst_Settings::firstStart()
{
    QFile::remove(storePath());
    SolvaneTerm *window = start();
    SolvaneTermTestAccess access(*window);

    VERIFY_CALL(compareRestored(window, Restored()));
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(window->getFunctionString().at(i).second, QString());
        QCOMPARE(window->getFunctionCheckCR().at(i).second, false);
        QCOMPARE(window->getFunctionCheckLF().at(i).second, false);
    }
    QCOMPARE(access.functionDlg(), nullptr);
    QCOMPARE(
        access.ui().statusbar->currentMessage(), QStringLiteral("getting previews settings..."));

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(access.ui().toolBar->isVisible());
    QVERIFY(!access.ui().hexaGroup->isVisible());
}

void tst_Settings::nothingStoredBeforeClose()
{
    SolvaneTerm *window = start();
    SolvaneTermTestAccess access(*window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->move(300, 200);
    access.ui().action_Toolbar->setChecked(true);
    access.ui().actionHexa_Mode->setChecked(true);
    access.termView()->setColor(QColor(Qt::red));
    access.ui().actionFunction_Settings->trigger();
    QVERIFY(access.functionDlg());
    access.functionDlg()->lineEditF[0]->setText(QStringLiteral("early"));
    access.functionDlg()->ui.btnApply->click();
    QCOMPARE(window->getFunctionString().at(0).second, QStringLiteral("early"));

    QCOMPARE(QSettings(organisation, windtitle).allKeys(), QStringList());
}

void tst_Settings::roundTrip()
{
    SolvaneTerm *first = start();
    SolvaneTermTestAccess before(*first);
    first->show();
    QVERIFY(QTest::qWaitForWindowExposed(first));

    first->move(140, 90);
    first->resize(780, 560);
    before.ui().action_Toolbar->setChecked(true);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPointSize(14);
    font.setWeight(QFont::Bold);
    font.setStyle(QFont::StyleItalic);
    before.termView()->setFont(font);
    before.termView()->setColor(QColor(0x12, 0x34, 0x56));
    before.termView()->setBackColor(QColor(0xfe, 0xdc, 0xba));

    before.ui().actionFunction_Settings->trigger();
    QPointer<FunctionDlg> dialog = before.functionDlg();
    QVERIFY(dialog);
    for (int i = 0; i < 12; ++i) {
        dialog->lineEditF[i]->setText(keyText(i));
        dialog->checkBoxCR[i]->setChecked(i % 2 == 0);
        dialog->checkBoxLF[i]->setChecked(i % 3 == 0);
    }
    dialog->spinBoxDelay->setValue(37);
    dialog->ui.btnApply->click();
    QCOMPARE(first->getDelay(), 37);

    before.ui().actionHexa_Mode->setChecked(true);
    before.ui().actionEnter_with_Return->setChecked(false);
    QCOMPARE(first->pos(), QPoint(140, 90));

    close(first);
    QVERIFY(dialog);
    QVERIFY(!dialog->isVisible());

    const QList<QByteArray> lines = rawStoreLines();
    for (const char *line : {"pos=@Point(140 90)", "size=@Size(780 560)", "viewtoolbar=true",
             "fontfamily=DejaVu Sans Mono", "fontsize=14", "fontweight=75", "fontstyle=true",
             "fontcolor=#123456", "backcolor=#fedcba", "delay=37", "ShowFunctionDlg=true",
             "isHexamode=true", "C1=true", "C2=false", "L4=true", "L5=false"})
        QVERIFY2(lines.contains(line), line);

    SolvaneTerm *second = start();
    SolvaneTermTestAccess after(*second);
    Restored expected;
    expected.pos = QPoint(140, 90);
    expected.size = QSize(780, 560);
    expected.toolbarHidden = true;
    expected.family = QStringLiteral("DejaVu Sans Mono");
    expected.pointSize = 14;
    expected.weight = QFont::Bold;
    expected.italic = true;
    expected.color = QColor(0x12, 0x34, 0x56);
    expected.backColor = QColor(0xfe, 0xdc, 0xba);
    expected.f1 = keyText(0);
    expected.c1 = true;
    expected.l1 = true;
    expected.delay = 37;
    expected.dialogShown = true;
    expected.hexamode = true;
    VERIFY_CALL(compareRestored(second, expected));

    for (int i = 0; i < 12; ++i) {
        QCOMPARE(second->getFunctionString().at(i).second, keyText(i));
        QCOMPARE(second->getFunctionCheckCR().at(i).second, i % 2 == 0);
        QCOMPARE(second->getFunctionCheckLF().at(i).second, i % 3 == 0);
        // The reopened dialog starts from the restored table.
        QCOMPARE(after.functionDlg()->lineEditF[i]->text(), keyText(i));
    }
    QCOMPARE(after.functionDlg()->spinBoxDelay->value(), 37);

    second->show();
    QVERIFY(QTest::qWaitForWindowExposed(second));
    QCOMPARE(second->pos(), QPoint(140, 90));
    QVERIFY(!after.ui().toolBar->isVisible());
    QVERIFY(after.ui().hexaGroup->isVisible());
}

void tst_Settings::storeHoldsExactlyTheKnownKeys()
{
    close(start());

    QStringList expected = {QStringLiteral("pos"), QStringLiteral("size"),
        QStringLiteral("viewtoolbar"), QStringLiteral("fontfamily"), QStringLiteral("fontsize"),
        QStringLiteral("fontweight"), QStringLiteral("fontstyle"), QStringLiteral("fontcolor"),
        QStringLiteral("backcolor"), QStringLiteral("delay"), QStringLiteral("ShowFunctionDlg"),
        QStringLiteral("isHexamode")};
    for (int n = 1; n <= 12; ++n) {
        expected.append(QStringLiteral("F%1").arg(n));
        expected.append(QStringLiteral("C%1").arg(n));
        expected.append(QStringLiteral("L%1").arg(n));
    }
    QStringList stored = QSettings(organisation, windtitle).allKeys();
    stored.sort();
    expected.sort();
    QCOMPARE(stored, expected);
}

void tst_Settings::storedValues_data()
{
    addStoreColumns();

    addStoreRow("position (0, 0) replaced", "pos=@Point(0 0)\n", Restored());
    addStoreRow("position (0, 5) kept", "pos=@Point(0 5)\n",
        restoredWith([](Restored &r) { r.pos = QPoint(0, 5); }));
    addStoreRow("position (7, 0) kept", "pos=@Point(7 0)\n",
        restoredWith([](Restored &r) { r.pos = QPoint(7, 0); }));
    addStoreRow("negative position kept", "pos=@Point(-40 30)\n",
        restoredWith([](Restored &r) { r.pos = QPoint(-40, 30); }));
    // The offscreen platform's one screen is 800 x 600 in Qt 5 and 800 x 800 in Qt 6, its whole
    // area available.
    addStoreRow("title bar above the screen brought down", "pos=@Point(-40 -30)\n",
        restoredWith([](Restored &r) { r.pos = QPoint(-40, 0); }));
    addStoreRow("size 0x600 replaced", "size=@Size(0 600)\n", Restored());
    addStoreRow("size 1024x0 replaced", "size=@Size(1024 0)\n", Restored());
    addStoreRow("size 1x1 held at the minimum", "size=@Size(1 1)\n",
        restoredWith([](Restored &r) { r.size = QSize(640, 480); }));
    addStoreRow("size 700x500 kept", "size=@Size(700 500)\n",
        restoredWith([](Restored &r) { r.size = QSize(700, 500); }));
    addStoreRow(
        "size 1024x700 held to the screen", "size=@Size(1024 700)\n", restoredWith([](Restored &r) {
            r.size = QSize(1024, 700).boundedTo(
                QGuiApplication::primaryScreen()->availableGeometry().size());
        }));
    addStoreRow("dialog and hex mode on", "ShowFunctionDlg=true\nisHexamode=true\n",
        restoredWith([](Restored &r) {
            r.dialogShown = true;
            r.hexamode = true;
        }));
}

void tst_Settings::storedValues()
{
    QFETCH(QByteArray, store);
    QFETCH(Restored, expected);

    QVERIFY(writeRawStore("[General]\n" + store));
    SolvaneTerm *window = start();
    VERIFY_CALL(compareRestored(window, expected));
}

void tst_Settings::handEditedStore_data()
{
    addStoreColumns();

    static const char junk[] = "\x01\x02\xff\xfe binary\0junk\n=\n[[[\n";
    addStoreRow("not a settings file at all", QByteArray(junk, sizeof junk - 1), Restored());
    addStoreRow("keys in another group", "[Other]\ndelay=9\nfontsize=30\n", Restored());
    addStoreRow("position not a point", "[General]\npos=abc\n", Restored());
    addStoreRow("position with one coordinate", "[General]\npos=@Point(10)\n", Restored());
    addStoreRow("position with text coordinates", "[General]\npos=@Point(x y)\n", Restored());
    addStoreRow("negative size", "[General]\nsize=@Size(-5 600)\n", Restored());
    addStoreRow("size not a size", "[General]\nsize=@Size(big)\n", Restored());
    addStoreRow("size as plain number", "[General]\nsize=1024\n", Restored());
    addStoreRow("fontsize text", "[General]\nfontsize=large\n", Restored());
    addStoreRow("fontsize fraction", "[General]\nfontsize=12.7\n", Restored());
    addStoreRow("fontsize negative", "[General]\nfontsize=-5\n",
        restoredWith([](Restored &r) { r.pointSize = toolkitPointSize(-5); }),
        "QFont::setPointSize: Point size <= 0 (-5), must be greater than 0");
    addStoreRow("fontweight out of range", "[General]\nfontweight=1000\n",
        // The heaviest weight of the toolkit's scale.
        restoredWith(
            [](Restored &r) { r.weight = QT_VERSION_MAJOR >= 6 ? int(QFont::Black) : 99; }));
    addStoreRow("fontstyle text", "[General]\nfontstyle=oblique\n",
        restoredWith([](Restored &r) { r.italic = true; }));
    addStoreRow("family with a quote", "[General]\nfontfamily=\"Bad\\\"Family\"\n",
        restoredWith([](Restored &r) { r.family = QStringLiteral("Bad\"Family"); }));
    addStoreRow("text colour unparsable", "[General]\nfontcolor=not a colour\n", Restored());
    addStoreRow("background unparsable", "[General]\nbackcolor=#12345\n",
        restoredWith([](Restored &r) { r.backColor = QColor(); }));
    addStoreRow("colour stored as a colour value",
        "[General]\nfontcolor=@Variant(\\0\\0\\0\\x43\\x1\\xff\\xff\\x12\\x12"
        "\\x34\\x34VV\\0\\0)\n",
        restoredWith([](Restored &r) { r.color = QColor(0x12, 0x34, 0x56); }));
    addStoreRow("toolbar flag as a word", "[General]\nviewtoolbar=maybe\n",
        restoredWith([](Restored &r) { r.toolbarHidden = true; }));
    addStoreRow("toolbar flag as 0", "[General]\nviewtoolbar=0\n", Restored());
    addStoreRow(
        "flags as numbers", "[General]\nC1=2\nL1=0\nisHexamode=1\n", restoredWith([](Restored &r) {
            r.c1 = true;
            r.hexamode = true;
        }));
    addStoreRow("very long function key string",
        "[General]\nF1=" + QByteArray(100000, 'z') + "\nShowFunctionDlg=true\n",
        restoredWith([](Restored &r) {
            r.f1 = QString(100000, QLatin1Char('z'));
            r.dialogShown = true;
        }));
    // Unquoted, the comma makes a list, and a list of two does not convert to one string.
    addStoreRow("F1 as a list", "[General]\nF1=a, b\nF2=\"a, b\"\n", Restored());
    addStoreRow(
        "delay text", "[General]\ndelay=abc\n", restoredWith([](Restored &r) { r.delay = 0; }));
    addStoreRow(
        "delay empty", "[General]\ndelay=\n", restoredWith([](Restored &r) { r.delay = 0; }));
    addStoreRow(
        "delay fraction", "[General]\ndelay=7.5\n", restoredWith([](Restored &r) { r.delay = 0; }));
    addStoreRow("delay negative", "[General]\ndelay=-20\n",
        restoredWith([](Restored &r) { r.delay = -20; }));
    addStoreRow("delay padded", "[General]\ndelay=  12  \n",
        restoredWith([](Restored &r) { r.delay = 12; }));
    // QVariant narrows the 64-bit number to an int instead of rejecting it.
    addStoreRow("delay huge", "[General]\ndelay=99999999999\n", restoredWith([](Restored &r) {
        r.delay = QVariant(QStringLiteral("99999999999")).toInt();
    }));

    addStoreRow("everything wrong at once",
        "[General]\n"
        "pos=@Point(0 0)\n"
        "size=@Size(-5 600)\n"
        "viewtoolbar=\n"
        "fontfamily=\n"
        "fontsize=abc\n"
        "fontweight=@Point(1 2)\n"
        "fontstyle=\n"
        "fontcolor=#zzzzzz\n"
        "backcolor=nothing\n"
        "F1="
            + QByteArray(50000, 'q')
            + "\n"
              "C1=perhaps\n"
              "L1=false\n"
              "F2=@Invalid()\n"
              "delay=abc\n"
              "ShowFunctionDlg=no\n"
              "isHexamode=@Size(1 2)\n"
              "unknown=1\n",
        restoredWith([](Restored &r) {
            r.backColor = QColor();
            r.f1 = QString(50000, QLatin1Char('q'));
            r.c1 = true;
            r.delay = 0;
            // Any text but "0", "false" or nothing reads as true, "no" included.
            r.dialogShown = true;
        }));
}

void tst_Settings::handEditedStore()
{
    QFETCH(QByteArray, store);
    QFETCH(Restored, expected);
    QFETCH(QByteArray, warning);

    QVERIFY(writeRawStore(store));
    // How often the toolkit repeats a warning depends on when it polishes the widgets.
    LogCapture warnings(QtWarningMsg);
    SolvaneTerm *window = start();
    VERIFY_CALL(compareRestored(window, expected));
    if (store.contains("F2=\"a, b\""))
        QCOMPARE(window->getFunctionString().at(1).second, QStringLiteral("a, b"));

    // Still a window to work with: it shows at a sensible size, its commands run, and closing
    // it puts a clean store back.
    SolvaneTermTestAccess access(*window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(window->width() >= 640 && window->height() >= 480);
    access.ui().action_Clear_Screen->trigger();
    access.ui().actionHexa_Mode->toggle();
    QCOMPARE(access.ui().hexaGroup->isVisible(), !expected.hexamode);
    access.ui().actionHexa_Mode->toggle();
    access.ui().actionFunction_Settings->trigger();
    QVERIFY(access.functionDlg() && access.functionDlg()->isVisible());
    close(window);
    QVERIFY(!window->isVisible());

    QSettings written(organisation, windtitle);
    QCOMPARE(written.value(QStringLiteral("pos")).toPoint(), expected.pos);
    QCOMPARE(written.value(QStringLiteral("size")).toSize(), expected.size);
    QCOMPARE(written.value(QStringLiteral("delay")).toString(), QString::number(expected.delay));
    QCOMPARE(written.value(QStringLiteral("F1")).toString(), expected.f1);
    QCOMPARE(written.value(QStringLiteral("fontcolor")).toString(), expected.color.name());
    QCOMPARE(written.value(QStringLiteral("ShowFunctionDlg")).toBool(), true);

    if (!warning.isEmpty()) {
        const QStringList seen = warnings.lines();
        QVERIFY2(std::any_of(seen.cbegin(), seen.cend(),
                     [&](const QString &line) { return line.startsWith(warning); }),
            qPrintable(seen.join(QLatin1Char('\n'))));
    }
}

void tst_Settings::damagedGeometry_data()
{
    QTest::addColumn<QByteArray>("store");

    QTest::newRow("size 100000 x 100000") << QByteArray("size=@Size(100000 100000)\n");
    QTest::newRow("largest int size") << QByteArray("size=@Size(2147483647 2147483647)\n");
    QTest::newRow("largest int position") << QByteArray("pos=@Point(2147483647 2147483647)\n");
    QTest::newRow("largest int everything")
        << QByteArray("pos=@Point(2147483647 2147483647)\nsize=@Size(2147483647 2147483647)\n");
    QTest::newRow("position (5000, 10)") << QByteArray("pos=@Point(5000 10)\n");
    QTest::newRow("position (-9999, -9999)") << QByteArray("pos=@Point(-9999 -9999)\n");
}

// Geometry that once crashed the program while drawing, or put it out of reach, at every start.
void tst_Settings::damagedGeometry()
{
    QFETCH(QByteArray, store);

    QVERIFY(writeRawStore("[General]\n" + store));
    for (const char *run : {"first start", "next start"}) {
        SolvaneTerm *window = start();
        window->show();
        QVERIFY2(QTest::qWaitForWindowExposed(window), run);
        QVERIFY2(!window->grab().isNull(), run);

        const QRect screen = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        QVERIFY2(screen.contains(frame.topLeft()), run);
        QVERIFY2(window->width() >= 640 && window->width() <= screen.width(), run);
        QVERIFY2(window->height() >= 480 && window->height() <= screen.height(), run);

        close(window);
        QVERIFY2(!window->isVisible(), run);
        QSettings written(organisation, windtitle);
        QCOMPARE(written.value(QStringLiteral("pos")).toPoint(), window->pos());
        QCOMPARE(written.value(QStringLiteral("size")).toSize(), window->size());
    }
}

void tst_Settings::delayWrittenAsText()
{
    SolvaneTerm *window = start();
    SolvaneTermTestAccess access(*window);
    access.functionSetting();
    access.functionDlg()->spinBoxDelay->setValue(7);
    access.functionDlg()->ui.btnApply->click();
    QCOMPARE(window->getDelay(), 7);
    close(window);

    const QList<QByteArray> lines = rawStoreLines();
    QVERIFY(lines.contains("delay=7"));

    // In the file a number and its digits look alike. Within this process QSettings still holds
    // the values with the types they were written with, which the numeric font size shows.
    QSettings store(organisation, windtitle);
    if (store.value(QStringLiteral("fontsize")).userType() != QMetaType::Int)
        QSKIP("QSettings no longer keeps the written types; the file alone cannot tell them");
    QCOMPARE(store.value(QStringLiteral("delay")).userType(), int(QMetaType::QString));
    QCOMPARE(store.value(QStringLiteral("delay")).toString(), QStringLiteral("7"));

    QCOMPARE(start()->getDelay(), 7);
}

void tst_Settings::functionDialogState_data()
{
    QTest::addColumn<QString>("howLeft");
    QTest::addColumn<bool>("stored");

    QTest::newRow("never opened") << QString() << false;
    QTest::newRow("left open") << QStringLiteral("open") << true;
    QTest::newRow("closed with Cancel") << QStringLiteral("cancel") << false;
    QTest::newRow("closed with OK") << QStringLiteral("ok") << false;
}

void tst_Settings::functionDialogState()
{
    QFETCH(QString, howLeft);
    QFETCH(bool, stored);

    SolvaneTerm *first = start();
    SolvaneTermTestAccess before(*first);
    first->show();
    QVERIFY(QTest::qWaitForWindowExposed(first));
    if (!howLeft.isEmpty()) {
        before.ui().actionFunction_Settings->trigger();
        QPointer<FunctionDlg> dialog = before.functionDlg();
        QVERIFY(dialog && dialog->isVisible());
        if (howLeft == QLatin1String("cancel"))
            dialog->ui.buttonBox->button(QDialogButtonBox::Cancel)->click();
        else if (howLeft == QLatin1String("ok"))
            dialog->ui.buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(bool(dialog && dialog->isVisible()), stored);
    }
    close(first);
    QCOMPARE(QSettings(organisation, windtitle).value(QStringLiteral("ShowFunctionDlg")).toBool(),
        stored);

    // The dialog comes back during construction, before the window itself is shown.
    SolvaneTerm *second = start();
    SolvaneTermTestAccess after(*second);
    QVERIFY(!second->isVisible());
    QCOMPARE(after.functionDlg() != nullptr, stored);
    if (stored) {
        QVERIFY(after.functionDlg()->isVisible());
        QCOMPARE(after.functionDlg()->parentWidget(), second);
    }
}

void tst_Settings::toolbarState_data()
{
    QTest::addColumn<bool>("hidden");

    QTest::newRow("hidden") << true;
    QTest::newRow("shown") << false;
}

void tst_Settings::toolbarState()
{
    QFETCH(bool, hidden);

    SolvaneTerm *first = start();
    SolvaneTermTestAccess before(*first);
    first->show();
    QVERIFY(QTest::qWaitForWindowExposed(first));
    if (hidden)
        before.ui().action_Toolbar->trigger();
    QCOMPARE(before.ui().toolBar->isVisible(), !hidden);
    close(first);
    QVERIFY(rawStoreLines().contains(hidden ? "viewtoolbar=true" : "viewtoolbar=false"));

    SolvaneTerm *second = start();
    SolvaneTermTestAccess after(*second);
    second->show();
    QVERIFY(QTest::qWaitForWindowExposed(second));
    QCOMPARE(after.ui().action_Toolbar->isChecked(), hidden);
    QCOMPARE(after.ui().toolBar->isVisible(), !hidden);
}

void tst_Settings::enterWithReturnAtEveryStart()
{
    SolvaneTerm *first = start();
    SolvaneTermTestAccess before(*first);
    before.ui().actionEnter_with_Return->setChecked(false);
    QVERIFY(!before.enterWithCR());
    close(first);

    for (const QString &key : QSettings(organisation, windtitle).allKeys())
        QVERIFY2(!key.contains(QLatin1String("enter"), Qt::CaseInsensitive), qPrintable(key));

    SolvaneTerm *second = start();
    SolvaneTermTestAccess after(*second);
    QVERIFY(after.ui().actionEnter_with_Return->isChecked());
    QVERIFY(after.enterWithCR());
}

void tst_Settings::writtenOncePerClose_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("window closed") << QStringLiteral("close");
    QTest::newRow("Exit action") << QStringLiteral("exit");
    QTest::newRow("Alt+X") << QStringLiteral("alt+x");
    QTest::newRow("with the function dialog open") << QStringLiteral("dialog");
}

void tst_Settings::writtenOncePerClose()
{
    QFETCH(QString, how);

    SolvaneTerm *window = start();
    SolvaneTermTestAccess access(*window);
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QSignalSpy messages(access.ui().statusbar, &QStatusBar::messageChanged);
    QVERIFY(messages.isValid());
    QVERIFY(!QFile::exists(storePath()) || QSettings(organisation, windtitle).allKeys().isEmpty());

    LogCapture log;
    if (how == QLatin1String("exit")) {
        access.ui().actionE_xit->trigger();
    } else if (how == QLatin1String("alt+x")) {
        QTest::keyClick(window, Qt::Key_X, Qt::AltModifier);
    } else {
        if (how == QLatin1String("dialog")) {
            access.functionSetting();
            QVERIFY(access.functionDlg()->isVisible());
        }
        window->close();
    }

    QVERIFY(!window->isVisible());
    int writes = 0;
    for (const QList<QVariant> &message : qAsConst(messages))
        writes += message.at(0).toString() == storeMessage ? 1 : 0;
    QCOMPARE(writes, 1);
    QCOMPARE(log.lines().count(QStringLiteral("closeEvent")), 1);
    QCOMPARE(QSettings(organisation, windtitle).allKeys().size(), 48);
}

void tst_Settings::destroyingWithoutCloseWritesNothing()
{
    SolvaneTerm *window = start();
    SolvaneTermTestAccess(*window).ui().action_Toolbar->setChecked(true);
    {
        LogCapture quiet;
        delete window;
    }
    QCOMPARE(QSettings(organisation, windtitle).allKeys(), QStringList());
}

SOLVANETERM_WINDOW_TEST_MAIN(tst_Settings)

#include "tst_settings.moc"

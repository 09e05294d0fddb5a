// SPDX-License-Identifier: GPL-3.0-or-later
#include "storedsettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(StoredSettings)

namespace {

template<typename Change> StoredSettings storedWith(Change change)
{
    StoredSettings stored;
    change(stored);
    return stored;
}

void compare(const StoredSettings &actual, const StoredSettings &expected)
{
    QCOMPARE(actual.pos, expected.pos);
    QCOMPARE(actual.size, expected.size);
    QCOMPARE(actual.toolbarHidden, expected.toolbarHidden);
    QCOMPARE(actual.font.family(), expected.font.family());
    QCOMPARE(actual.font.pointSize(), expected.font.pointSize());
    QCOMPARE(actual.font.weight(), expected.font.weight());
    QCOMPARE(actual.font.style(), expected.font.style());
    QCOMPARE(actual.color, expected.color);
    QCOMPARE(actual.backColor, expected.backColor);
    QCOMPARE(actual.functionKeys.strings(), expected.functionKeys.strings());
    QCOMPARE(actual.functionKeys.crFlags(), expected.functionKeys.crFlags());
    QCOMPARE(actual.functionKeys.lfFlags(), expected.functionKeys.lfFlags());
    QCOMPARE(actual.delay, expected.delay);
    QCOMPARE(actual.functionDialogShown, expected.functionDialogShown);
    QCOMPARE(actual.hexamode, expected.hexamode);
    QCOMPARE(actual.logFolder, expected.logFolder);
    QCOMPARE(actual.linePause, expected.linePause);
    QCOMPARE(actual.timeStamps, expected.timeStamps);
}

} // namespace

// The stored settings without a window: the replacement rules when the store is read, and what
// the store holds after a write.
class tst_StoredSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void load_data();
    void load();
    void saveAndLoadAgain_data();
    void saveAndLoadAgain();

private:
    // QSettings keeps a parsed copy of every file it has read, and reads it again only when its
    // size or time changed: each row gets a file of its own.
    QString storePath() const
    {
        return directory.filePath(QStringLiteral("%1 %2.conf")
                                      .arg(QTest::currentTestFunction(), QTest::currentDataTag()));
    }

    QTemporaryDir directory;
};

void tst_StoredSettings::init()
{
    QVERIFY(directory.isValid());
}

void tst_StoredSettings::load_data()
{
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<StoredSettings>("expected");

    const auto row = [](const char *tag, const QByteArray &store, const StoredSettings &expected) {
        QTest::newRow(tag) << store << expected;
    };

    row("nothing stored", QByteArray(), StoredSettings());
    row("position (0, 0) replaced", "pos=@Point(0 0)\n", StoredSettings());
    row("position (0, 5) kept", "pos=@Point(0 5)\n",
        storedWith([](StoredSettings &s) { s.pos = QPoint(0, 5); }));
    row("size 0x600 replaced", "size=@Size(0 600)\n", StoredSettings());
    row("size 1024x0 replaced", "size=@Size(1024 0)\n", StoredSettings());
    row("size 1x1 kept for placing", "size=@Size(1 1)\n",
        storedWith([](StoredSettings &s) { s.size = QSize(1, 1); }));
    row("empty family replaced", "fontfamily=\n", StoredSettings());
    row("family kept", "fontfamily=Monospace\n",
        storedWith([](StoredSettings &s) { s.font.setFamily(QStringLiteral("Monospace")); }));
    row("fontsize 0 replaced", "fontsize=0\n", StoredSettings());
    row("fontsize 1 kept", "fontsize=1\n",
        storedWith([](StoredSettings &s) { s.font.setPointSize(1); }));
    row("fontsize 22 kept", "fontsize=22\n",
        storedWith([](StoredSettings &s) { s.font.setPointSize(22); }));
    row("fontweight 0 replaced", "fontweight=0\n", StoredSettings());
    row("fontweight 25 kept", "fontweight=25\n",
        storedWith([](StoredSettings &s) { s.font.setWeight(QFont::Light); }));
    row("fontweight 75 kept", "fontweight=75\n",
        storedWith([](StoredSettings &s) { s.font.setWeight(QFont::Bold); }));
    row("italic", "fontstyle=true\n",
        storedWith([](StoredSettings &s) { s.font.setStyle(QFont::StyleItalic); }));
    row("colours by short names", "fontcolor=red\nbackcolor=#00F\n",
        storedWith([](StoredSettings &s) {
            s.color = QColor(0xff, 0, 0);
            s.backColor = QColor(0, 0, 0xff);
        }));
    // The view keeps its own text colour for an invalid one, and draws an invalid background black.
    row("colours unparsable", "fontcolor=not a colour\nbackcolor=#12345\n",
        storedWith([](StoredSettings &s) {
            s.color = QColor();
            s.backColor = QColor();
        }));
    row("delay 0 stays 0", "delay=0\n", storedWith([](StoredSettings &s) { s.delay = 0; }));
    row("delay 250", "delay=250\n", storedWith([](StoredSettings &s) { s.delay = 250; }));
    row("F1 with both flags", "F1=ping\nC1=true\nL1=true\n", storedWith([](StoredSettings &s) {
        s.functionKeys[0] = {QStringLiteral("ping"), true, true};
    }));
    row("F12 only", "F12=last\nC12=true\n", storedWith([](StoredSettings &s) {
        s.functionKeys[11] = {QStringLiteral("last"), true, false};
    }));
    row("line pause", "linepause=40\n", storedWith([](StoredSettings &s) { s.linePause = 40; }));
    row("negative line pause is none", "linepause=-5\n", StoredSettings());
    row("line pause beyond the dialog's range", "linepause=50000\n",
        storedWith([](StoredSettings &s) { s.linePause = 10000; }));
    row("time stamps", "timestamps=true\n",
        storedWith([](StoredSettings &s) { s.timeStamps = true; }));
    row("log folder", "logfolder=/var/tmp/logs\n",
        storedWith([](StoredSettings &s) { s.logFolder = QStringLiteral("/var/tmp/logs"); }));
    row("toolbar hidden", "viewtoolbar=true\n",
        storedWith([](StoredSettings &s) { s.toolbarHidden = true; }));
    row("dialog and hex mode on", "ShowFunctionDlg=true\nisHexamode=true\n",
        storedWith([](StoredSettings &s) {
            s.functionDialogShown = true;
            s.hexamode = true;
        }));
}

void tst_StoredSettings::load()
{
    QFETCH(QByteArray, store);
    QFETCH(StoredSettings, expected);

    QFile file(storePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write("[General]\n" + store), store.size() + 10);
    file.close();

    compare(StoredSettings::load(QSettings(storePath(), QSettings::IniFormat)), expected);
}

void tst_StoredSettings::saveAndLoadAgain_data()
{
    QTest::addColumn<StoredSettings>("saved");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<StoredSettings>("loaded");

    const auto colours = [](const QColor &color, const QColor &backColor) {
        return storedWith([&](StoredSettings &s) {
            s.color = color;
            s.backColor = backColor;
        });
    };
    QTest::newRow("colours by name") << colours(QColor("red"), QColor("navy"))
                                     << QByteArrayList {"fontcolor=#ff0000", "backcolor=#000080"}
                                     << colours(QColor(0xff, 0, 0), QColor(0, 0, 0x80));
    QTest::newRow("colours in upper-case hex")
        << colours(QColor("#ABCDEF"), QColor("#0A0B0C"))
        << QByteArrayList {"fontcolor=#abcdef", "backcolor=#0a0b0c"}
        << colours(QColor(0xab, 0xcd, 0xef), QColor(0x0a, 0x0b, 0x0c));
    QTest::newRow("colours in three-digit hex")
        << colours(QColor("#fa0"), QColor("#123"))
        << QByteArrayList {"fontcolor=#ffaa00", "backcolor=#112233"}
        << colours(QColor(0xff, 0xaa, 0), QColor(0x11, 0x22, 0x33));
    QTest::newRow("translucent colours lose their alpha")
        << colours(QColor(1, 2, 3, 4), QColor(250, 251, 252, 0))
        << QByteArrayList {"fontcolor=#010203", "backcolor=#fafbfc"}
        << colours(QColor(1, 2, 3), QColor(250, 251, 252));
    QTest::newRow("colours given as hsv")
        << colours(QColor::fromHsv(120, 255, 255), QColor::fromHsv(0, 0, 0))
        << QByteArrayList {"fontcolor=#00ff00", "backcolor=#000000"}
        << colours(QColor(0, 0xff, 0), QColor(0, 0, 0));
    QTest::newRow("global colours") << colours(QColor(Qt::darkYellow), QColor(Qt::white))
                                    << QByteArrayList {"fontcolor=#808000", "backcolor=#ffffff"}
                                    << colours(QColor(0x80, 0x80, 0), QColor(0xff, 0xff, 0xff));

    const auto font = [](QFont::Style style) {
        return storedWith([=](StoredSettings &s) {
            s.font = QFont(QStringLiteral("Courier New"), 11, QFont::DemiBold);
            s.font.setStyle(style);
        });
    };
    QTest::newRow("normal font") << font(
        QFont::StyleNormal) << QByteArrayList {"fontstyle=false", "fontweight=63", "fontsize=11"}
                                 << font(QFont::StyleNormal);
    QTest::newRow("italic font") << font(QFont::StyleItalic)
                                 << QByteArrayList {"fontstyle=true", "fontweight=63"}
                                 << font(QFont::StyleItalic);
    QTest::newRow("oblique font comes back italic")
        << font(QFont::StyleOblique) << QByteArrayList {"fontstyle=true", "fontfamily=Courier New"}
        << font(QFont::StyleItalic);

    const StoredSettings everything = storedWith([](StoredSettings &s) {
        s.pos = QPoint(-40, 30);
        s.size = QSize(780, 560);
        s.toolbarHidden = true;
        s.functionKeys[0] = {QStringLiteral("a, b"), true, false};
        s.functionKeys[3] = {QStringLiteral("x=y; z"), false, true};
        s.delay = 37;
        s.functionDialogShown = true;
        s.hexamode = true;
    });
    const StoredSettings laterKeys = storedWith([](StoredSettings &s) {
        s.logFolder = QStringLiteral("/var/tmp/logs");
        s.linePause = 250;
        s.timeStamps = true;
    });
    QTest::newRow("keys that came later")
        << laterKeys
        << QByteArrayList {"logfolder=/var/tmp/logs", "linepause=250", "timestamps=true"}
        << laterKeys;
    QTest::newRow("everything else") << everything
                                     << QByteArrayList {"pos=@Point(-40 30)", "size=@Size(780 560)",
                                            "viewtoolbar=true", "F1=\"a, b\"", "C1=true", "L4=true",
                                            "delay=37", "ShowFunctionDlg=true", "isHexamode=true"}
                                     << everything;
}

void tst_StoredSettings::saveAndLoadAgain()
{
    QFETCH(StoredSettings, saved);
    QFETCH(QByteArrayList, lines);
    QFETCH(StoredSettings, loaded);

    {
        QSettings settings(storePath(), QSettings::IniFormat);
        saved.save(settings);
    }
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> written = file.readAll().split('\n');
    for (const QByteArray &line : qAsConst(lines))
        QVERIFY2(written.contains(line), line.constData());
    // Keys that came later are written only while in use, so a store of the older kind keeps
    // the keys it had.
    for (const QByteArray &line : written) {
        QVERIFY2(!saved.logFolder.isEmpty() || !line.startsWith("logfolder="), line.constData());
        QVERIFY2(saved.linePause != 0 || !line.startsWith("linepause="), line.constData());
        QVERIFY2(saved.timeStamps || !line.startsWith("timestamps="), line.constData());
    }

    compare(StoredSettings::load(QSettings(storePath(), QSettings::IniFormat)), loaded);
}

QTEST_MAIN(tst_StoredSettings)
#include "tst_storedsettings.moc"

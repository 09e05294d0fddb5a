// SPDX-License-Identifier: GPL-3.0-or-later
#include "functionkeys/functionkeytable.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// The function key table without a window: the line ends a key's string gets, and the table as
// the store holds it.
class tst_FunctionKeyTable : public QObject
{
    Q_OBJECT

private slots:
    void withLineEnds_data();
    void withLineEnds();
    void storeRoundTrip();
};

void tst_FunctionKeyTable::withLineEnds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("cr");
    QTest::addColumn<bool>("lf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("LF already at the end")
        << QStringLiteral("AB\n") << false << true << QStringLiteral("AB\n");
    QTest::newRow("LF in the middle")
        << QStringLiteral("A\nB") << false << true << QStringLiteral("A\nB");
    QTest::newRow("CR in the middle, LF appended")
        << QStringLiteral("A\rB") << true << true << QStringLiteral("A\rB\n");
    QTest::newRow("empty string with both flags")
        << QString() << true << true << QStringLiteral("\r\n");
    QTest::newRow("no flags") << QStringLiteral("xy") << false << false << QStringLiteral("xy");
    QTest::newRow("CR goes after an LF already there")
        << QStringLiteral("A\n") << true << true << QStringLiteral("A\n\r");
    QTest::newRow("LF flag alone") << QStringLiteral("A") << false << true << QStringLiteral("A\n");
    QTest::newRow("CR flag alone") << QStringLiteral("A") << true << false << QStringLiteral("A\r");
}

void tst_FunctionKeyTable::withLineEnds()
{
    QFETCH(QString, text);
    QFETCH(bool, cr);
    QFETCH(bool, lf);
    QFETCH(QString, expected);

    QCOMPARE(::withLineEnds(text, cr, lf), expected);
}

void tst_FunctionKeyTable::storeRoundTrip()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString path = directory.filePath(QStringLiteral("keys.conf"));

    FunctionKeyTable table;
    for (int i = 0; i < FunctionKeyTable::size; ++i)
        table[i] = {QStringLiteral("key %1").arg(i + 1), i % 2 == 0, i % 3 == 0};
    {
        QSettings settings(path, QSettings::IniFormat);
        table.write(settings);
    }

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const char *line : {"F1=key 1", "C1=true", "L1=true", "F2=key 2", "C2=false", "L2=false",
             "F12=key 12", "C12=false", "L12=false", "L10=true"})
        QVERIFY2(lines.contains(line), line);

    const FunctionKeyTable back = FunctionKeyTable::read(QSettings(path, QSettings::IniFormat));
    QList<QPair<int, QString>> strings;
    QList<QPair<int, bool>> crFlags;
    QList<QPair<int, bool>> lfFlags;
    for (int i = 0; i < FunctionKeyTable::size; ++i) {
        strings.append({Qt::Key_F1 + i, QStringLiteral("key %1").arg(i + 1)});
        crFlags.append({Qt::Key_F1 + i, i % 2 == 0});
        lfFlags.append({Qt::Key_F1 + i, i % 3 == 0});
    }
    QCOMPARE(back.strings(), strings);
    QCOMPARE(back.crFlags(), crFlags);
    QCOMPARE(back.lfFlags(), lfFlags);

    const FunctionKeyTable fromLists = FunctionKeyTable::fromLists(strings, crFlags, lfFlags);
    QCOMPARE(fromLists.strings(), strings);
    QCOMPARE(fromLists.lfFlags(), lfFlags);

    // Nothing stored: twelve empty keys with neither line end.
    const FunctionKeyTable empty = FunctionKeyTable::read(
        QSettings(directory.filePath(QStringLiteral("none.conf")), QSettings::IniFormat));
    for (int i = 0; i < FunctionKeyTable::size; ++i) {
        QCOMPARE(empty.strings().at(i), qMakePair(int(Qt::Key_F1) + i, QString()));
        QCOMPARE(empty.crFlags().at(i).second, false);
        QCOMPARE(empty.lfFlags().at(i).second, false);
    }
}

QTEST_GUILESS_MAIN(tst_FunctionKeyTable)
#include "tst_functionkeytable.moc"

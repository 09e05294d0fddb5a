// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/receivedblock.h"

#include <QTest>

// How one received block turns into characters taken back from the display and text to add.
class tst_ReceivedBlock : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
};

void tst_ReceivedBlock::decode_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("deletions");
    QTest::addColumn<QString>("text");

    const QChar replacement(0xFFFD);

    QTest::newRow("empty") << QByteArray() << 0 << QString();
    QTest::newRow("plain text") << QByteArray("AB") << 0 << QStringLiteral("AB");
    QTest::newRow("BS eats the pending byte") << QByteArray("AB\bC") << 0 << QStringLiteral("AC");
    QTest::newRow("BS alone takes back one shown") << QByteArray("\b") << 1 << QString();
    QTest::newRow("BS BS then text") << QByteArray("\b\bx") << 2 << QStringLiteral("x");
    QTest::newRow("pending emptied, then one shown")
        << QByteArray("a\b\bb") << 1 << QStringLiteral("b");
    QTest::newRow("deletions whenever nothing is pending")
        << QByteArray("\ba\b\bc\b") << 2 << QString();
    QTest::newRow("NUL dropped") << QByteArrayLiteral("A\0B") << 0 << QStringLiteral("AB");
    QTest::newRow("NUL is not pending") << QByteArrayLiteral("\0\b") << 1 << QString();
    QTest::newRow("line ends kept as they came")
        << QByteArray("a\r\nb\r") << 0 << QStringLiteral("a\r\nb\r");
    QTest::newRow("e acute") << QByteArray("\xC3\xA9") << 0 << QStringLiteral("\u00e9");
    QTest::newRow("BS takes one byte of e acute")
        << QByteArray("\xC3\xA9\b") << 0 << QString(replacement);
    QTest::newRow("lone continuation byte")
        << QByteArray("\xA9z") << 0 << QString(replacement) + QLatin1Char('z');
    QTest::newRow("outside the basic plane")
        << QByteArray("\xF0\x9F\x98\x80") << 0 << QStringLiteral("\U0001F600");
    QTest::newRow("controls pass through")
        << QByteArray("a\tb\x1b[31mc\x07") << 0 << QStringLiteral("a\tb\x1b[31mc\x07");
}

void tst_ReceivedBlock::decode()
{
    QFETCH(QByteArray, block);
    QFETCH(int, deletions);
    QFETCH(QString, text);

    const ReceivedBlock decoded = decodeReceivedBlock(block);
    QCOMPARE(decoded.deletions, deletions);
    QCOMPARE(decoded.text, text);
}

QTEST_GUILESS_MAIN(tst_ReceivedBlock)
#include "tst_receivedblock.moc"

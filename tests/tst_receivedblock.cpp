// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/receivedblock.h"

#include <QTest>

namespace {

const QChar replacement(0xFFFD);

// What the text layer makes of the texts inserted one after another: a CR LF within one text is
// one line break, and so is a CR or an LF on its own.
QString displayed(const QList<ReceivedBlock> &blocks)
{
    QString shown;
    for (const ReceivedBlock &block : blocks) {
        shown.chop(block.deletions);
        shown += QString(block.text)
                     .replace(QLatin1String("\r\n"), QLatin1String("\n"))
                     .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    return shown;
}

// The stream in blocks cut where the bits of `cuts` say, then an LF that makes the decoder give
// up whatever it held back, as the same LF would at the end of the stream in one block.
QString displayedInBlocks(const QByteArray &stream, quint32 cuts)
{
    ReceivedTextDecoder decoder;
    QList<ReceivedBlock> blocks;
    int from = 0;
    for (int i = 1; i <= stream.size(); ++i) {
        if (i == stream.size() || cuts & (1u << i)) {
            blocks.append(decoder.decode(stream.mid(from, i - from)));
            from = i;
        }
    }
    blocks.append(decoder.decode("\n"));
    return displayed(blocks);
}

QString displayedWhole(const QByteArray &stream)
{
    return displayed({decodeReceivedBlock(stream + '\n')});
}

} // namespace

// How received blocks turn into characters taken back from the display and text to add: one
// block alone, and a stream of blocks cut anywhere.
class tst_ReceivedBlock : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void stream_data();
    void stream();
    void resetForgetsHeldBytesAndCr();
    void everyShortStreamSplitAnywhere();
};

void tst_ReceivedBlock::decode_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("deletions");
    QTest::addColumn<QString>("text");

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
    QTest::newRow("byte order marks are characters")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF") + 'a' << 0 << QStringLiteral("\uFEFF\uFEFFa");
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

void tst_ReceivedBlock::stream_data()
{
    QTest::addColumn<QByteArrayList>("blocks");
    QTest::addColumn<QList<int>>("deletions");
    QTest::addColumn<QStringList>("texts");

    const QString eAcute = QStringLiteral("\u00e9");
    QTest::newRow("e acute split") << QByteArrayList {"caf\xC3", "\xA9\n"} << QList<int> {0, 0}
                                   << QStringList {"caf", eAcute + "\n"};

    QTest::newRow("CR | LF") << QByteArrayList {"a\r", "\nb"} << QList<int> {0, 0}
                             << QStringList {"a\r", "b"};
    QTest::newRow("CR | nothing shown | LF")
        << QByteArrayList {"a\r", QByteArrayLiteral("\0"), "x\b", "\n"} << QList<int> {0, 0, 0, 0}
        << QStringList {"a\r", "", "", ""};
    QTest::newRow("CR | BS takes the break back, LF")
        << QByteArrayList {"a\r", "\b\n"} << QList<int> {0, 1} << QStringList {"a\r", "\n"};
    QTest::newRow("CR | BS eats a pending byte, LF")
        << QByteArrayList {"a\r", "x\b\n"} << QList<int> {0, 0} << QStringList {"a\r", ""};
    QTest::newRow("CR, held byte | BS eats it, LF")
        << QByteArrayList {"a\r\xC3", "\b\n"} << QList<int> {0, 0} << QStringList {"a\r", ""};

    QTest::newRow("BS eats held bytes before shown ones") << QByteArrayList {"ab\xF0\x9F\x98",
        "\b\b\b\bz"} << QList<int> {0, 1} << QStringList {"ab", "z"};
    QTest::newRow("BS leaves a shorter prefix held")
        << QByteArrayList {"ab\xE2\x82", "\b", "x"} << QList<int> {0, 0, 0}
        << QStringList {"ab", "", QString(replacement) + QLatin1Char('x')};

    QTest::newRow("held, then proven invalid")
        << QByteArrayList {"\xE2\x82", "x", "\xC3", "\xC3\xA9"} << QList<int> {0, 0, 0, 0}
        << QStringList {
               "", QString(2, replacement) + QLatin1Char('x'), "", QString(replacement) + eAcute};
    QTest::newRow("never completable, not held")
        << QByteArrayList {"\xE0\x80", "\xED\xA0", "\xF0\x8F", "\xF4\x90", "\xC1", "\xF5",
               "\xC3\xA9\xA9"}
        << QList<int> {0, 0, 0, 0, 0, 0, 0}
        << QStringList {QString(2, replacement), QString(2, replacement), QString(2, replacement),
               QString(2, replacement), QString(replacement), QString(replacement),
               eAcute + replacement};
}

void tst_ReceivedBlock::stream()
{
    QFETCH(QByteArrayList, blocks);
    QFETCH(QList<int>, deletions);
    QFETCH(QStringList, texts);
    QCOMPARE(deletions.size(), blocks.size());
    QCOMPARE(texts.size(), blocks.size());

    ReceivedTextDecoder decoder;
    for (int i = 0; i < blocks.size(); ++i) {
        const ReceivedBlock decoded = decoder.decode(blocks.at(i));
        QCOMPARE(decoded.deletions, deletions.at(i));
        QCOMPARE(decoded.text, texts.at(i));
    }
}

void tst_ReceivedBlock::resetForgetsHeldBytesAndCr()
{
    ReceivedTextDecoder decoder;
    QCOMPARE(decoder.decode("a\r\xC3").text, QStringLiteral("a\r"));
    decoder.reset();
    QCOMPARE(decoder.decode("\n\xA9").text, QStringLiteral("\n") + replacement);
}

// Every stream of up to four bytes from those where UTF-8 draws its lines, in blocks cut at any
// of the places between them.
void tst_ReceivedBlock::everyShortStreamSplitAnywhere()
{
    const QByteArray alphabet
        = QByteArrayLiteral("a\0\r\n\x80\x8F\x90\x9F\xA0\xBB\xBF\xC1\xC2\xE0\xED\xEF\xF0\xF4\xF5");
    int streams = 0;
    for (int length = 1; length <= 4; ++length) {
        QByteArray stream(length, 'a');
        for (int number = 0;; ++number) {
            int rest = number;
            for (int i = 0; i < length; ++i, rest /= alphabet.size())
                stream[i] = alphabet.at(rest % alphabet.size());
            if (rest > 0)
                break;
            const QString whole = displayedWhole(stream);
            for (quint32 cuts = 0; cuts < (1u << length); cuts += 2) {
                if (displayedInBlocks(stream, cuts) != whole)
                    QFAIL(qPrintable(QStringLiteral("%1 cut at %2")
                                         .arg(QString::fromLatin1(stream.toHex(' ')))
                                         .arg(cuts, 0, 2)));
            }
            ++streams;
        }
    }
    QCOMPARE(streams, 19 + 19 * 19 + 19 * 19 * 19 + 19 * 19 * 19 * 19);
}

QTEST_GUILESS_MAIN(tst_ReceivedBlock)
#include "tst_receivedblock.moc"

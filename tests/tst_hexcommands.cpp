// SPDX-License-Identifier: GPL-3.0-or-later
#include <QUndoStack>
#include <QtTest>

#include "hexview/commands.h"
#include "hexview/xbytearray.h"

class tst_HexCommands : public QObject
{
    Q_OBJECT

private slots:
    void charMerging_data();
    void charMerging();
    void arrayCommandsNeverMerge();
    void undoRestoresBytesAndFlags_data();
    void undoRestoresBytesAndFlags();
};

// Bytes 00..07 with byte 1 already edited, so that undo has a set flag to bring back.
static void prepare(XByteArray &buffer)
{
    buffer.setData(QByteArray::fromHex("0011223344556677"));
    buffer.setDataChanged(1, true);
}

void tst_HexCommands::charMerging_data()
{
    QTest::addColumn<int>("firstKind");
    QTest::addColumn<int>("firstPos");
    QTest::addColumn<int>("secondKind");
    QTest::addColumn<int>("secondPos");
    QTest::addColumn<bool>("merges");

    const int ins = CharCommand::insert;
    const int rem = CharCommand::remove;
    const int rep = CharCommand::replace;
    QTest::newRow("replace into replace") << rep << 3 << rep << 3 << true;
    QTest::newRow("replace into insert") << ins << 3 << rep << 3 << true;
    QTest::newRow("replace at another byte") << rep << 3 << rep << 4 << false;
    QTest::newRow("replace after remove") << rem << 3 << rep << 3 << false;
    QTest::newRow("insert after insert") << ins << 3 << ins << 3 << false;
    QTest::newRow("remove after replace") << rep << 3 << rem << 3 << false;
    QTest::newRow("insert after replace") << rep << 3 << ins << 3 << false;
}

void tst_HexCommands::charMerging()
{
    QFETCH(int, firstKind);
    QFETCH(int, firstPos);
    QFETCH(int, secondKind);
    QFETCH(int, secondPos);
    QFETCH(bool, merges);

    XByteArray buffer;
    prepare(buffer);
    QUndoStack stack;
    stack.push(new CharCommand(&buffer, CharCommand::Cmd(firstKind), firstPos, '\x5a'));
    stack.push(new CharCommand(&buffer, CharCommand::Cmd(secondKind), secondPos, '\x6b'));
    QCOMPARE(stack.count(), merges ? 1 : 2);

    // Whether merged or not, stepping back over everything restores the start exactly.
    while (stack.canUndo())
        stack.undo();
    QCOMPARE(buffer.data(), QByteArray::fromHex("0011223344556677"));
    QCOMPARE(buffer.dataChanged(0, 100), QByteArray::fromHex("0001000000000000"));
}

void tst_HexCommands::arrayCommandsNeverMerge()
{
    XByteArray buffer;
    prepare(buffer);
    QUndoStack stack;
    stack.push(new ArrayCommand(&buffer, ArrayCommand::replace, 3, QByteArray("\x01\x02"), 2));
    stack.push(new CharCommand(&buffer, CharCommand::replace, 3, 'x'));
    QCOMPARE(stack.count(), 2);

    stack.push(new CharCommand(&buffer, CharCommand::replace, 5, 'y'));
    stack.push(new ArrayCommand(&buffer, ArrayCommand::replace, 5, QByteArray("z"), 1));
    QCOMPARE(stack.count(), 4);
}

void tst_HexCommands::undoRestoresBytesAndFlags_data()
{
    QTest::addColumn<bool>("single");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("len");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QByteArray>("flagsAfter");

    QTest::newRow("char insert") << true << int(CharCommand::insert) << 2 << QByteArray("\xab") << 0
                                 << QByteArray::fromHex("0011ab223344556677")
                                 << QByteArray::fromHex("000101000000000000");
    QTest::newRow("char remove of a clean byte")
        << true << int(CharCommand::remove) << 2 << QByteArray(1, 0) << 0
        << QByteArray::fromHex("00113344556677") << QByteArray::fromHex("00010000000000");
    QTest::newRow("char remove of an edited byte")
        << true << int(CharCommand::remove) << 1 << QByteArray(1, 0) << 0
        << QByteArray::fromHex("00223344556677") << QByteArray::fromHex("00000000000000");
    QTest::newRow("char replace") << true << int(CharCommand::replace) << 7 << QByteArray("\xee")
                                  << 0 << QByteArray::fromHex("00112233445566ee")
                                  << QByteArray::fromHex("0001000000000001");
    QTest::newRow("char replace one past the end")
        << true << int(CharCommand::replace) << 8 << QByteArray("\xee") << 0
        << QByteArray::fromHex("0011223344556677ee") << QByteArray::fromHex("000100000000000001");
    QTest::newRow("array insert") << false << int(ArrayCommand::insert) << 8
                                  << QByteArray("\xaa\xbb") << 0
                                  << QByteArray::fromHex("0011223344556677aabb")
                                  << QByteArray::fromHex("00010000000000000101");
    QTest::newRow("array remove clipped at the end")
        << false << int(ArrayCommand::remove) << 5 << QByteArray(10, 0) << 10
        << QByteArray::fromHex("0011223344") << QByteArray::fromHex("0001000000");
    QTest::newRow("array remove over an edited byte")
        << false << int(ArrayCommand::remove) << 0 << QByteArray(3, 0) << 3
        << QByteArray::fromHex("3344556677") << QByteArray::fromHex("0000000000");
    QTest::newRow("array replace clipped at the end")
        << false << int(ArrayCommand::replace) << 6 << QByteArray::fromHex("a1a2a3a4") << 4
        << QByteArray::fromHex("001122334455a1a2") << QByteArray::fromHex("0001000000000101");
    QTest::newRow("array replace longer than its length")
        << false << int(ArrayCommand::replace) << 0 << QByteArray::fromHex("a1a2a3") << 1
        << QByteArray::fromHex("a1a2a33344556677") << QByteArray::fromHex("0101010000000000");
}

void tst_HexCommands::undoRestoresBytesAndFlags()
{
    QFETCH(bool, single);
    QFETCH(int, kind);
    QFETCH(int, pos);
    QFETCH(QByteArray, bytes);
    QFETCH(int, len);
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, flagsAfter);

    XByteArray buffer;
    prepare(buffer);
    const QByteArray before = buffer.data();
    const QByteArray flagsBefore = buffer.dataChanged(0, 100);

    QUndoStack stack;
    if (single)
        stack.push(new CharCommand(&buffer, CharCommand::Cmd(kind), pos, bytes.at(0)));
    else
        stack.push(new ArrayCommand(&buffer, ArrayCommand::Cmd(kind), pos, bytes, len));
    QCOMPARE(buffer.data(), after);
    QCOMPARE(buffer.dataChanged(0, 100), flagsAfter);

    stack.undo();
    QCOMPARE(buffer.data(), before);
    QCOMPARE(buffer.dataChanged(0, 100), flagsBefore);

    stack.redo();
    QCOMPARE(buffer.data(), after);
    QCOMPARE(buffer.dataChanged(0, 100), flagsAfter);
}

QTEST_APPLESS_MAIN(tst_HexCommands)
#include "tst_hexcommands.moc"

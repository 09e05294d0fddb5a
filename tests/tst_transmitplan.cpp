// SPDX-License-Identifier: GPL-3.0-or-later
#include "functionkeys/functionkeytable.h"
#include "transmitplan.h"

#include <QKeySequence>
#include <QTest>

Q_DECLARE_METATYPE(TransmitPlan::Kind)

namespace {

// F1 "ATZ" with both line ends, F2 "A\rB" with both, F3 "€" with neither; the rest empty.
FunctionKeyTable programmedKeys()
{
    FunctionKeyTable table;
    table[0] = {QStringLiteral("ATZ"), true, true};
    table[1] = {QStringLiteral("A\rB"), true, true};
    table[2] = {QStringLiteral("\u20ac"), false, false};
    return table;
}

void addRow(const char *tag, int key, const QString &text, bool enterWithCR,
    TransmitPlan::Kind kind, const QString &sent, const QByteArray &bytes)
{
    QTest::newRow(tag) << key << text << enterWithCR << kind << sent << bytes;
}

} // namespace

// Which keys send what, in one write or paced, without a window or a port.
class tst_TransmitPlan : public QObject
{
    Q_OBJECT

private slots:
    void plan_data();
    void plan();
};

void tst_TransmitPlan::plan_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enterWithCR");
    QTest::addColumn<TransmitPlan::Kind>("kind");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QByteArray>("bytes");

    const auto write = TransmitPlan::Write;
    const auto paste = TransmitPlan::PacedPaste;
    const auto function = TransmitPlan::PacedFunctionKey;
    const QString nothing;
    const QByteArray none;

    // Tab and Escape produce text; it is still not sent.
    const int dropped[] = {Qt::Key_Escape, Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Insert,
        Qt::Key_Delete, Qt::Key_Pause, Qt::Key_Print, Qt::Key_SysReq, Qt::Key_Clear, Qt::Key_Home,
        Qt::Key_End, Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_PageUp,
        Qt::Key_PageDown, Qt::Key_Shift, Qt::Key_Control, Qt::Key_Meta, Qt::Key_Alt,
        Qt::Key_CapsLock, Qt::Key_NumLock, Qt::Key_ScrollLock};
    for (const int key : dropped) {
        const QByteArray tag = "dropped: " + QKeySequence(key).toString().toLatin1();
        addRow(
            tag.constData(), key, QStringLiteral("\t"), true, TransmitPlan::Nothing, nothing, none);
    }

    // Between and next to the dropped ranges.
    addRow("Backspace", Qt::Key_Backspace, QStringLiteral("\b"), true, write, QStringLiteral("\b"),
        "\b");
    addRow("Return, CR LF on", Qt::Key_Return, QStringLiteral("\r"), true, write,
        QStringLiteral("\r\n"), "\r\n");
    addRow("keypad Enter, CR LF on", Qt::Key_Enter, QStringLiteral("\r"), true, write,
        QStringLiteral("\r\n"), "\r\n");
    addRow("Return, CR LF off", Qt::Key_Return, QStringLiteral("\r"), false, write,
        QStringLiteral("\r"), "\r");
    addRow("Menu key without text", Qt::Key_Menu, nothing, true, write, nothing, none);
    addRow("Space", Qt::Key_Space, QStringLiteral(" "), true, write, QStringLiteral(" "), " ");

    addRow("e acute typed", Qt::Key_Eacute, QStringLiteral("\u00e9"), true, write,
        QStringLiteral("\u00e9"), "\xe9");
    addRow("euro sign typed is not Latin-1", Qt::Key_unknown, QStringLiteral("\u20ac"), true, write,
        QStringLiteral("\u20ac"), "?");
    addRow("composed text in one write", Qt::Key_unknown, QStringLiteral("ab"), true, write,
        QStringLiteral("ab"), "ab");

    addRow("e acute pasted", Qt::Key_F35, QStringLiteral("\u00e9"), true, paste,
        QStringLiteral("\u00e9"), "\xe9");
    addRow("euro sign pasted becomes NUL", Qt::Key_F35, QStringLiteral("\u20ac"), true, paste,
        QStringLiteral("\u20ac"), QByteArray(1, '\0'));
    addRow("character outside the basic plane pasted", Qt::Key_F35, QStringLiteral("a\U0001F600"),
        true, paste, QStringLiteral("a\U0001F600"), QByteArray("a\0\0", 3));
    addRow("pasted line break keeps its LF", Qt::Key_F35, QStringLiteral("ls\r\n"), true, paste,
        QStringLiteral("ls\r\n"), "ls\r\n");
    addRow("empty paste", Qt::Key_F35, nothing, true, paste, nothing, none);

    addRow("F1 with both line ends", Qt::Key_F1, nothing, true, function, QStringLiteral("ATZ\r\n"),
        "ATZ\r\n");
    addRow("F2 keeps its CR, gets an LF", Qt::Key_F2, nothing, false, function,
        QStringLiteral("A\rB\n"), "A\rB\n");
    addRow("F3 euro sign becomes NUL", Qt::Key_F3, nothing, true, function,
        QStringLiteral("\u20ac"), QByteArray(1, '\0'));
    addRow("F12 empty", Qt::Key_F12, QStringLiteral("x"), true, function, nothing, none);
    addRow("F13 is typed text", Qt::Key_F13, QStringLiteral("x"), true, write, QStringLiteral("x"),
        "x");
}

void tst_TransmitPlan::plan()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(bool, enterWithCR);
    QFETCH(TransmitPlan::Kind, kind);
    QFETCH(QString, sent);
    QFETCH(QByteArray, bytes);

    const FunctionKeyTable keys = programmedKeys();
    const TransmitPlan plan
        = planTransmit(key, text, enterWithCR, keys.strings(), keys.crFlags(), keys.lfFlags());
    QCOMPARE(plan.kind, kind);
    QCOMPARE(plan.text, sent);
    QCOMPARE(plan.bytes, bytes);
}

QTEST_GUILESS_MAIN(tst_TransmitPlan)
#include "tst_transmitplan.moc"

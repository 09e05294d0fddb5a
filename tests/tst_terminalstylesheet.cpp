// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/terminalstylesheet.h"

#include <QTest>

// The terminal view's style sheet from its font and colours, without a view.
class tst_TerminalStyleSheet : public QObject
{
    Q_OBJECT

private slots:
    void sheet_data();
    void sheet();
};

void tst_TerminalStyleSheet::sheet_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QColor>("backColor");
    QTest::addColumn<QString>("expected");

    const QFont courier(QStringLiteral("Courier New"), 10);
    QFont oblique = courier;
    oblique.setStyle(QFont::StyleOblique);
    QFont pixels = courier;
    pixels.setPixelSize(14);
    const QColor white(Qt::white);
    const QColor green(43, 88, 65);

    QTest::newRow("italic bold 12 pt")
        << QFont(QStringLiteral("Courier New"), 12, QFont::Bold, true) << white << green
        << "QTextEdit { font:italic 75 12pt \"Courier New\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("oblique is not italic")
        << oblique << white << green
        << "QTextEdit { font:50 10pt \"Courier New\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("pixel-sized font")
        << pixels << white << green
        << "QTextEdit { font:50 -1pt \"Courier New\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("invalid colours are black")
        << courier << QColor() << QColor()
        << "QTextEdit { font:50 10pt \"Courier New\";color:rgb(0,0,0);"
           "background-color:rgb(0,0,0); }";
    QTest::newRow("quote and backslash escaped")
        << QFont(QStringLiteral("a\"b\\c"), 10) << white << green
        << "QTextEdit { font:50 10pt \"a\\\"b\\\\c\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("line breaks left out")
        << QFont(QStringLiteral("a\nb\rc\fd"), 10) << white << green
        << "QTextEdit { font:50 10pt \"abcd\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("a rule in the family stays inside the string")
        << QFont(QStringLiteral("M\";} QTextEdit { color:red; } x {"), 10) << white << green
        << "QTextEdit { font:50 10pt \"M\\\";} QTextEdit { color:red; } x {\";"
           "color:rgb(255,255,255);background-color:rgb(43,88,65); }";
    QTest::newRow("alpha left out") << QFont(QStringLiteral("Monospace"), 9, QFont::Light)
                                    << QColor(1, 2, 3, 4) << QColor(250, 128, 0, 10)
                                    << "QTextEdit { font:25 9pt \"Monospace\";color:rgb(1,2,3);"
                                       "background-color:rgb(250,128,0); }";
}

void tst_TerminalStyleSheet::sheet()
{
    QFETCH(QFont, font);
    QFETCH(QColor, color);
    QFETCH(QColor, backColor);
    QFETCH(QString, expected);

    QCOMPARE(terminalStyleSheet(font, color, backColor), expected);
}

QTEST_MAIN(tst_TerminalStyleSheet)
#include "tst_terminalstylesheet.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/terminalstylesheet.h"

#include <QFontInfo>
#include <QTest>
#include <QTextEdit>

#include <tuple>

// The terminal view's style sheet from its font and colours, without a view.
class tst_TerminalStyleSheet : public QObject
{
    Q_OBJECT

private slots:
    void sheet_data();
    void sheet();
    void weightShownIsWeightChosen_data();
    void weightShownIsWeightChosen();
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
        << "QTextEdit { font:italic bold 12pt \"Courier New\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("oblique is not italic")
        << oblique << white << green
        << "QTextEdit { font:400 10pt \"Courier New\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("pixel-sized font")
        << pixels << white << green
        << "QTextEdit { font:400 -1pt \"Courier New\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("invalid colours are black")
        << courier << QColor() << QColor()
        << "QTextEdit { font:400 10pt \"Courier New\";color:rgb(0,0,0);"
           "background-color:rgb(0,0,0); }";
    QTest::newRow("quote and backslash escaped")
        << QFont(QStringLiteral("a\"b\\c"), 10) << white << green
        << "QTextEdit { font:400 10pt \"a\\\"b\\\\c\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("line breaks left out")
        << QFont(QStringLiteral("a\nb\rc\fd"), 10) << white << green
        << "QTextEdit { font:400 10pt \"abcd\";color:rgb(255,255,255);"
           "background-color:rgb(43,88,65); }";
    QTest::newRow("a rule in the family stays inside the string")
        << QFont(QStringLiteral("M\";} QTextEdit { color:red; } x {"), 10) << white << green
        << "QTextEdit { font:400 10pt \"M\\\";} QTextEdit { color:red; } x {\";"
           "color:rgb(255,255,255);background-color:rgb(43,88,65); }";
    QTest::newRow("alpha left out")
        << QFont(QStringLiteral("Monospace"), 9) << QColor(1, 2, 3, 4) << QColor(250, 128, 0, 10)
        << "QTextEdit { font:400 9pt \"Monospace\";color:rgb(1,2,3);"
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

void tst_TerminalStyleSheet::weightShownIsWeightChosen_data()
{
    QTest::addColumn<int>("weight");
    // The face a family with several weights is drawn in; empty where any will do.
    QTest::addColumn<QString>("face");

    const QList<std::tuple<const char *, QFont::Weight, const char *>> rows = {
        {"thin", QFont::Thin, ""},
        {"extra light", QFont::ExtraLight, "ExtraLight"},
        {"light", QFont::Light, ""},
        {"normal", QFont::Normal, "Book"},
        {"medium", QFont::Medium, ""},
        {"demibold", QFont::DemiBold, ""},
        {"bold", QFont::Bold, "Bold"},
        {"extra bold", QFont::ExtraBold, ""},
        {"black", QFont::Black, ""},
    };
    for (const auto &[name, weight, face] : rows)
        QTest::newRow(name) << int(weight) << QString::fromLatin1(face);
}

// The sheet asks for the weight chosen, whatever scale the toolkit keeps weights on.
void tst_TerminalStyleSheet::weightShownIsWeightChosen()
{
    QFETCH(int, weight);
    QFETCH(QString, face);

    QFont chosen(QStringLiteral("DejaVu Sans"), 11);
    chosen.setWeight(QFont::Weight(weight));
    QTextEdit edit;
    edit.setStyleSheet(terminalStyleSheet(chosen, Qt::white, Qt::black));
    edit.ensurePolished();
    QCOMPARE(edit.font().weight(), chosen.weight());
    if (!face.isEmpty())
        QCOMPARE(QFontInfo(edit.font()).styleName(), face);
}

QTEST_MAIN(tst_TerminalStyleSheet)
#include "tst_terminalstylesheet.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/findbar.h"
#include "find/textfinder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A finder driven through its bar, over a text edit holding `text`.
struct Fixture
{
    explicit Fixture(const QString &text)
    {
        edit.setPlainText(text);
        bar.setTextEdit(&edit);
        // Shown, so that all of these short texts are in view and highlighted.
        edit.resize(400, 300);
        edit.show();
    }

    QLineEdit *field() const { return bar.findChild<QLineEdit *>(QStringLiteral("findField")); }
    QString label() const { return bar.findChild<QLabel *>(QStringLiteral("findCount"))->text(); }
    QString selected() const { return edit.textCursor().selectedText(); }
    int selectedAt() const { return edit.textCursor().selectionStart(); }
    bool waitForCount() const
    {
        return QTest::qWaitFor([this] { return bar.finder()->countingDone(); });
    }

    void append(const QString &text)
    {
        QTextCursor cursor(edit.document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text);
    }
    void trimLines(int lines)
    {
        QTextCursor cursor(edit.document());
        cursor.setPosition(
            edit.document()->findBlockByNumber(lines).position(), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }

    QTextEdit edit;
    FindBar bar;
};

// Every start of `needle` in `text`, overlaps included, none across a line break.
int occurrences(const QString &text, const QString &needle, Qt::CaseSensitivity sensitivity)
{
    int found = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        for (int at = line.indexOf(needle, 0, sensitivity); at >= 0;
             at = line.indexOf(needle, at + 1, sensitivity))
            ++found;
    return found;
}

class KeyRecorder : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys.append(event->key()); }
};

} // namespace

class tst_FindBar : public QObject
{
    Q_OBJECT

private slots:
    void matchesAndCount_data();
    void matchesAndCount();
    void stepping_data();
    void stepping();
    void incrementalTyping_data();
    void incrementalTyping();
    void followsAppendAndTrim_data();
    void followsAppendAndTrim();
    void changesBetweenCountingSlices();
    void highlightsFollowTheVisibleArea();
    void hexField_data();
    void hexField();
    void hexResult_data();
    void hexResult();
    void closingKeepsOnlyTheUsersSelection_data();
    void closingKeepsOnlyTheUsersSelection();
    void keysStayInTheBar_data();
    void keysStayInTheBar();
};

void tst_FindBar::matchesAndCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("selectedAt");

    const QString mixed = QStringLiteral("Error one\nno fault\nerror two ERROR\n");
    QTest::newRow("any case") << mixed << "error" << false << "1 of 3" << 0;
    QTest::newRow("matching case") << mixed << "error" << true << "1 of 1" << 19;
    QTest::newRow("upper only") << mixed << "ERROR" << true << "1 of 1" << 29;
    QTest::newRow("overlapping") << QStringLiteral("aaaa") << "aa" << true << "1 of 3" << 0;
    QTest::newRow("not across lines")
        << QStringLiteral("ab\ncd") << "bc" << false << "No matches" << -1;
    QTest::newRow("none") << mixed << "warning" << false << "No matches" << -1;
    QTest::newRow("empty document") << QString() << "x" << false << "No matches" << -1;
}

void tst_FindBar::matchesAndCount()
{
    QFETCH(QString, text);
    QFETCH(QString, typed);
    QFETCH(bool, matchCase);
    QFETCH(QString, label);
    QFETCH(int, selectedAt);

    Fixture f(text);
    f.bar.findChild<QCheckBox *>(QStringLiteral("findMatchCase"))->setChecked(matchCase);
    QTest::keyClicks(f.field(), typed);
    QVERIFY(f.waitForCount());
    QCOMPARE(f.label(), label);
    QCOMPARE(f.bar.finder()->count(),
        occurrences(text, typed, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive));
    if (selectedAt >= 0) {
        QCOMPARE(f.selectedAt(), selectedAt);
        QCOMPARE(f.selected().compare(typed, Qt::CaseInsensitive), 0);
    }
    QTRY_COMPARE(f.edit.extraSelections().size(), f.bar.finder()->count());

    f.field()->selectAll();
    QTest::keyClick(f.field(), Qt::Key_Backspace);
    QCOMPARE(f.label(), QString());
    QVERIFY(f.edit.extraSelections().isEmpty());
}

void tst_FindBar::stepping_data()
{
    QTest::addColumn<QList<QKeySequence>>("keys");
    QTest::addColumn<bool>("afterCounting");
    QTest::addColumn<int>("selectedAt");
    QTest::addColumn<QString>("label");

    const QKeySequence enter(Qt::Key_Return);
    const QKeySequence shiftEnter(Qt::SHIFT | Qt::Key_Return);
    const QKeySequence f3(Qt::Key_F3);
    const QKeySequence shiftF3(Qt::SHIFT | Qt::Key_F3);
    // Matches at 0, 3 and 6 (the text is "x1\nx2 x3\n").
    for (const bool counted : {true, false}) {
        const char *when = counted ? "counted" : "counting";
        QTest::addRow("%s: Enter", when) << QList<QKeySequence> {enter} << counted << 3 << "2 of 3";
        QTest::addRow("%s: Enter wraps", when)
            << QList<QKeySequence> {enter, enter, enter} << counted << 0 << "1 of 3";
        QTest::addRow("%s: Shift+Enter wraps", when)
            << QList<QKeySequence> {shiftEnter} << counted << 6 << "3 of 3";
        QTest::addRow("%s: F3 then Shift+F3", when)
            << QList<QKeySequence> {f3, f3, shiftF3} << counted << 3 << "2 of 3";
        QTest::addRow("%s: Shift+F3 twice", when)
            << QList<QKeySequence> {shiftF3, shiftF3} << counted << 3 << "2 of 3";
    }
}

void tst_FindBar::stepping()
{
    QFETCH(QList<QKeySequence>, keys);
    QFETCH(bool, afterCounting);
    QFETCH(int, selectedAt);
    QFETCH(QString, label);

    Fixture f(QStringLiteral("x1\nx2 x3\n"));
    QTest::keyClick(f.field(), Qt::Key_X);
    if (afterCounting)
        QVERIFY(f.waitForCount());
    for (const QKeySequence &key : keys)
        QTest::keySequence(f.field(), key);
    QCOMPARE(f.selectedAt(), selectedAt);
    QCOMPARE(f.selected(), QStringLiteral("x"));
    QVERIFY(f.waitForCount());
    QCOMPARE(f.label(), label);
}

void tst_FindBar::incrementalTyping_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("selectedAt");
    QTest::addColumn<QString>("label");

    // "\b" is a backspace. The text is "xER ERR ER".
    QTest::newRow("first letter") << "E" << 1 << "1 of 3";
    QTest::newRow("still the first") << "ER" << 1 << "1 of 3";
    QTest::newRow("moves on to the first that fits") << "ERR" << 4 << "1 of 1";
    QTest::newRow("stays where it moved to") << "ERR\b" << 4 << "2 of 3";
    QTest::newRow("after stepping") << "E\r\rR" << 8 << "3 of 3";
    QTest::newRow("wraps when nothing fits after") << "E\r\rRR" << 4 << "1 of 1";
}

void tst_FindBar::incrementalTyping()
{
    QFETCH(QString, keys);
    QFETCH(int, selectedAt);
    QFETCH(QString, label);

    Fixture f(QStringLiteral("xER ERR ER"));
    f.bar.findChild<QCheckBox *>(QStringLiteral("findMatchCase"))->setChecked(true);
    for (const QChar key : keys) {
        if (key == QLatin1Char('\b'))
            QTest::keyClick(f.field(), Qt::Key_Backspace);
        else if (key == QLatin1Char('\r'))
            QTest::keyClick(f.field(), Qt::Key_Return);
        else
            QTest::keyClicks(f.field(), QString(key));
    }
    QCOMPARE(f.selectedAt(), selectedAt);
    QVERIFY(f.waitForCount());
    QCOMPARE(f.label(), label);
}

void tst_FindBar::followsAppendAndTrim_data()
{
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<bool>("afterCounting");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("currentLine");

    // Each change appends its text, or with "-N" trims the first N lines. The text is
    // "match 0\nnothing\nmatch 1\nmatch 2" with "match 1" current.
    const QList<std::tuple<const char *, QStringList, QString, QString>> rows = {
        {"append a match", {"\nmatch 3"}, "2 of 4", "match 1"},
        {"append no match", {"\nnothing"}, "2 of 3", "match 1"},
        {"append across the old end", {"\nma", "tch 4"}, "2 of 4", "match 1"},
        {"append onto the last line", {"match"}, "2 of 4", "match 1"},
        {"trim a match before", {"-1"}, "1 of 2", "match 1"},
        {"trim a line without match", {"-2", "\nmatch 3"}, "1 of 3", "match 1"},
        {"trim the current", {"-3"}, "1 of 1", "match 2"},
        {"trim, then append", {"-3", "\nmatch 3", "\nmatch 4"}, "1 of 3", "match 2"},
        // "leave" puts the cursor at the end, as a key pressed in the view does.
        {"leave the match, then trim it", {"leave", "-3"}, "1 of 1", "match 2"},
        // "layout" changes the document's margin, which Qt reports as all text replaced.
        {"a change of layout only", {"layout"}, "2 of 3", "match 1"},
    };
    for (const bool counted : {true, false}) {
        for (const auto &[name, changes, label, current] : rows) {
            QTest::addRow("%s: %s", counted ? "counted" : "counting", name)
                << changes << counted << label << current;
        }
    }
}

void tst_FindBar::followsAppendAndTrim()
{
    QFETCH(QStringList, changes);
    QFETCH(bool, afterCounting);
    QFETCH(QString, label);
    QFETCH(QString, currentLine);

    Fixture f(QStringLiteral("match 0\nnothing\nmatch 1\nmatch 2"));
    QTest::keyClicks(f.field(), QStringLiteral("match"));
    QTest::keyClick(f.field(), Qt::Key_Return);
    if (afterCounting)
        QVERIFY(f.waitForCount());
    for (const QString &change : changes) {
        if (change == QLatin1String("leave"))
            f.edit.moveCursor(QTextCursor::End);
        else if (change == QLatin1String("layout"))
            f.edit.document()->setDocumentMargin(f.edit.document()->documentMargin() + 20);
        else if (change.startsWith(QLatin1Char('-')))
            f.trimLines(change.mid(1).toInt());
        else
            f.append(change);
    }
    QVERIFY(f.waitForCount());
    QCOMPARE(f.label(), label);
    QCOMPARE(f.bar.finder()->count(),
        occurrences(f.edit.toPlainText(), QStringLiteral("match"), Qt::CaseInsensitive));
    const int current = f.bar.finder()->currentPosition();
    QCOMPARE(f.edit.document()->findBlock(current).text(), currentLine);
    QCOMPARE(f.edit.toPlainText().mid(current, 5), QStringLiteral("match"));
    // The view shows the match the label counts, also when the one it showed was trimmed,
    // unless the user had gone elsewhere.
    if (changes.contains(QStringLiteral("leave"))) {
        QTest::qWait(20);
        QVERIFY(!f.edit.textCursor().hasSelection());
        QVERIFY(f.edit.textCursor().atEnd());
    } else {
        QTRY_COMPARE(f.selected(), QStringLiteral("match"));
        QCOMPARE(f.selectedAt(), current);
    }

    // Stepping all the way round visits each match once and comes back.
    QList<int> visited {current};
    for (int i = 0; i < f.bar.finder()->count(); ++i) {
        QTest::keyClick(f.field(), Qt::Key_F3);
        visited.append(f.bar.finder()->currentPosition());
    }
    QCOMPARE(visited.last(), current);
    visited.removeLast();
    std::sort(visited.begin(), visited.end());
    QCOMPARE(std::unique(visited.begin(), visited.end()), visited.end());
    QCOMPARE(visited.size(), f.bar.finder()->count());
}

void tst_FindBar::changesBetweenCountingSlices()
{
    // Long enough to be counted in several slices, with text trimmed and appended between them.
    QStringList lines;
    for (int i = 0; i < 40000; ++i)
        lines.append(QStringLiteral("line %1 match").arg(i));
    Fixture f(lines.join(QLatin1Char('\n')));
    QTest::keyClicks(f.field(), QStringLiteral("match"));
    const int first = f.bar.finder()->currentPosition();
    QCOMPARE(f.edit.toPlainText().mid(first, 5), QStringLiteral("match"));
    int slices = 0;
    while (!f.bar.finder()->countingDone()) {
        QCoreApplication::processEvents();
        ++slices;
        f.trimLines(100);
        f.append(QStringLiteral("\nmat"));
        f.append(QStringLiteral("ch and match"));
    }
    QVERIFY2(slices > 1, "counted in one go: nothing was changed between slices");
    QCOMPARE(f.bar.finder()->count(),
        occurrences(f.edit.toPlainText(), QStringLiteral("match"), Qt::CaseInsensitive));
    const int current = f.bar.finder()->currentPosition();
    QCOMPARE(f.edit.toPlainText().mid(current, 5), QStringLiteral("match"));
    QCOMPARE(f.label(),
        QStringLiteral("%1 of %2")
            .arg(f.edit.toPlainText().left(current).count(QStringLiteral("match")) + 1)
            .arg(f.bar.finder()->count()));
}

void tst_FindBar::highlightsFollowTheVisibleArea()
{
    QStringList lines;
    for (int i = 0; i < 2000; ++i)
        lines.append(QStringLiteral("match %1").arg(i));
    Fixture f(lines.join(QLatin1Char('\n')));
    // All but the current match, which comes last.
    const auto allVisible = [&f] {
        const QList<QTextEdit::ExtraSelection> shown = f.edit.extraSelections();
        return shown.size() > 1 && shown.size() < 100
            && std::all_of(
                shown.begin(), shown.end() - 1, [&f](const QTextEdit::ExtraSelection &s) {
                    return f.edit.viewport()->rect().intersects(f.edit.cursorRect(s.cursor));
                });
    };
    QTest::keyClicks(f.field(), QStringLiteral("match"));
    QVERIFY(f.waitForCount());
    QTRY_VERIFY(allVisible());
    QCOMPARE(f.edit.extraSelections().last().cursor.selectionStart(), 0);

    f.edit.verticalScrollBar()->setValue(f.edit.verticalScrollBar()->maximum());
    QTRY_VERIFY(f.edit.extraSelections().first().cursor.selectionStart() > 10000 && allVisible());
    // The current match stays highlighted out of view, and strongest.
    const QTextEdit::ExtraSelection current = f.edit.extraSelections().last();
    QCOMPARE(current.cursor.selectionStart(), 0);
    QVERIFY(current.format.background() != f.edit.extraSelections().first().format.background());
}

void tst_FindBar::hexField_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("label");

    const QByteArray none;
    QTest::newRow("spaced") << "0d 0a" << Qt::KeyboardModifiers() << QByteArray("\r\n") << "";
    QTest::newRow("upper, packed, backward")
        << "0D0A" << Qt::KeyboardModifiers(Qt::ShiftModifier) << QByteArray("\r\n") << "";
    QTest::newRow("every digit") << " 01 23456789abcdefABCDEF " << Qt::KeyboardModifiers()
                                 << QByteArray::fromHex("0123456789abcdefabcdef") << "";
    QTest::newRow("half a byte") << "0d 0" << Qt::KeyboardModifiers() << none << "Not hex";
    QTest::newRow("not digits") << "zz" << Qt::KeyboardModifiers() << none << "Not hex";
    QTest::newRow("prefix") << "0x0d" << Qt::KeyboardModifiers() << none << "Not hex";
}

void tst_FindBar::hexField()
{
    QFETCH(QString, typed);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, label);

    Fixture f(QStringLiteral("0d 0a 0D0A zz"));
    f.bar.setHexMode(true);
    QVERIFY(f.bar.findChild<QCheckBox *>(QStringLiteral("findMatchCase"))->isHidden());
    QSignalSpy edited(&f.bar, &FindBar::hexSearchEdited);
    QSignalSpy requested(&f.bar, &FindBar::hexFindRequested);
    QTest::keyClicks(f.field(), typed);
    QTest::keyClick(f.field(), Qt::Key_Return, modifiers);

    QCOMPARE(f.label(), label);
    QCOMPARE(bytesFromHex(typed).value_or(QByteArray()), bytes);
    if (bytes.isEmpty()) {
        QCOMPARE(requested.count(), 0);
    } else {
        QCOMPARE(edited.last().at(0).toByteArray(), bytes);
        QCOMPARE(requested.count(), 1);
        QCOMPARE(requested.at(0).at(0).toByteArray(), bytes);
        QCOMPARE(requested.at(0).at(1).toBool(), modifiers == Qt::ShiftModifier);
    }
    // The hex field never searches the text itself.
    QCOMPARE(f.bar.finder()->count(), 0);
    QVERIFY(f.edit.textCursor().selectedText().isEmpty());
}

void tst_FindBar::hexResult_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("countingDone");
    QTest::addColumn<QString>("label");

    QTest::newRow("current") << "0d" << 1 << 3 << true << "2 of 3";
    QTest::newRow("counting") << "0d" << -1 << 7 << false << "Counting…";
    QTest::newRow("none") << "0d" << -1 << 0 << true << "No matches";
    QTest::newRow("no current one") << "0d" << -1 << 3 << true << "3 matches";
    // The last search's results go on arriving while the field holds no bytes.
    QTest::newRow("not hex") << "0d 0" << 1 << 3 << true << "Not hex";
    QTest::newRow("empty") << "" << 1 << 3 << true << "";
}

void tst_FindBar::hexResult()
{
    QFETCH(QString, typed);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(bool, countingDone);
    QFETCH(QString, label);

    Fixture f(QString {});
    f.bar.setHexMode(true);
    QTest::keyClicks(f.field(), typed);
    f.bar.showHexResult(index, count, countingDone);
    QCOMPARE(f.label(), label);
}

void tst_FindBar::closingKeepsOnlyTheUsersSelection_data()
{
    QTest::addColumn<bool>("ownSelection");

    QTest::newRow("the match") << false;
    QTest::newRow("the user's own") << true;
}

// A match left selected would hold the view still after the bar has gone.
void tst_FindBar::closingKeepsOnlyTheUsersSelection()
{
    QFETCH(bool, ownSelection);

    Fixture f(QStringLiteral("first line\nmatch\nlast"));
    QTest::keyClicks(f.field(), QStringLiteral("match"));
    QCOMPARE(f.selected(), QStringLiteral("match"));
    if (ownSelection) {
        QTextCursor own(f.edit.document());
        own.setPosition(6, QTextCursor::KeepAnchor);
        f.edit.setTextCursor(own);
    }
    QTest::keyClick(f.field(), Qt::Key_Escape);
    QCOMPARE(f.selected(), ownSelection ? QStringLiteral("first ") : QString());
    QCOMPARE(f.edit.textCursor().position(), ownSelection ? 6 : 16);
}

void tst_FindBar::keysStayInTheBar_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("closes");

    QTest::newRow("letter") << int(Qt::Key_A) << Qt::KeyboardModifiers() << false;
    QTest::newRow("Enter") << int(Qt::Key_Return) << Qt::KeyboardModifiers() << false;
    QTest::newRow("Shift+Enter") << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                                 << false;
    QTest::newRow("F3") << int(Qt::Key_F3) << Qt::KeyboardModifiers() << false;
    QTest::newRow("Shift+F3") << int(Qt::Key_F3) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                              << false;
    QTest::newRow("Up, which the field leaves")
        << int(Qt::Key_Up) << Qt::KeyboardModifiers() << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << Qt::KeyboardModifiers() << true;
}

void tst_FindBar::keysStayInTheBar()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, closes);

    KeyRecorder window;
    auto *layout = new QVBoxLayout(&window);
    auto *edit = new QTextEdit(QStringLiteral("a b a"), &window);
    auto *bar = new FindBar(&window);
    layout->addWidget(edit);
    layout->addWidget(bar);
    bar->setTextEdit(edit);
    // The window's own shortcuts on the same keys must not take them from the bar.
    auto *shortcut = new QAction(&window);
    shortcut->setShortcuts({QKeySequence(key | int(modifiers))});
    window.addAction(shortcut);
    QSignalSpy triggered(shortcut, &QAction::triggered);
    QSignalSpy closed(bar, &FindBar::closed);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    bar->open();
    QLineEdit *field = bar->findChild<QLineEdit *>(QStringLiteral("findField"));
    QTest::keyClicks(field, QStringLiteral("a"));
    QCOMPARE(edit->textCursor().selectionStart(), 0);
    QVERIFY(field->hasFocus());

    QTest::keyClick(field, Qt::Key(key), modifiers);
    QCOMPARE(window.keys, QList<int>());
    QCOMPARE(triggered.count(), 0);
    QCOMPARE(closed.count(), closes ? 1 : 0);
    QCOMPARE(bar->isHidden(), closes);
    if (closes)
        QVERIFY(edit->extraSelections().isEmpty());
    else if (key != Qt::Key_A && key != Qt::Key_Up)
        QCOMPARE(edit->textCursor().selectionStart(), 4);
}

QTEST_MAIN(tst_FindBar)
#include "tst_findbar.moc"

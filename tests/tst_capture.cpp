// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogscript.h"
#include "fatalfaults.h"
#include "logcapture.h"
#include "permissionchecks.h"
#include "simulateddevice.h"
#include "solvaneterm.h"
#include "solvanetermtestaccess.h"
#include "tempconfig.h"
#include "testfiles.h"
#include "testwindow.h"
#include "view/dovikview.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A capture's HTML is the view's, less the UTF-8 that Qt 6 declares: the bytes are Latin-1.
QString withoutCharset(QString html)
{
    return html.remove(QStringLiteral("<meta charset=\"utf-8\" />"));
}

const QString htmlFilter = QStringLiteral("html Files (*.html)");
const QString logFilter = QStringLiteral("log Files (*.log)");

} // namespace

// Saving the terminal's text through the real save dialog, the errors that can stop it, and the
// about box. Every save goes into one scratch directory, which is also the current directory.
class tst_Capture : public QObject
{
    Q_OBJECT

public:
    explicit tst_Capture(const TempConfig &config)
        : config(config)
    { }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void dialog();
    void format_data();
    void format();
    void timeStamps_data();
    void timeStamps();
    void emptyView_data();
    void emptyView();
    void outsideLatin1_data();
    void outsideLatin1();
    void cancelWritesNothing();
    void textArrivingWhileDialogIsOpen();
    void overwriteReplacesWholeFile();
    void missingDirectory();
    void placesAPlainWriteReaches_data();
    void placesAPlainWriteReaches();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void about();

private:
    QList<SeenDialog> saveCapture(const QList<Step> &steps);
    QStringList savedFiles() const;
    QString path(const QString &name) const;

    const TempConfig &config;
    QTemporaryDir workDirectory;
    QPointer<SolvaneTerm> window;
    DovikView *view = nullptr;
};

void tst_Capture::initTestCase()
{
    QVERIFY(config.isValid());
    QVERIFY(QFile::exists(SimulatedDevice::listFilePath()));
    QVERIFY(workDirectory.isValid());
    QVERIFY(QDir::setCurrent(workDirectory.path()));
}

void tst_Capture::init()
{
    QDir directory(workDirectory.path());
    for (const QFileInfo &entry : directory.entryInfoList(
             QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (entry.isDir())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
    QCOMPARE(savedFiles(), QStringList());

    window = new SolvaneTerm;
    view = SolvaneTermTestAccess(*window).termView();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void tst_Capture::cleanup()
{
    LogCapture quiet;
    delete window;
    view = nullptr;
}

QList<SeenDialog> tst_Capture::saveCapture(const QList<Step> &steps)
{
    DialogScript script(steps);
    SolvaneTermTestAccess(*window).ui().actionCa_pture->trigger();
    if (script.stuck())
        qWarning("a dialog was left open and had to be closed");
    return script.seen();
}

QStringList tst_Capture::savedFiles() const
{
    return QDir(workDirectory.path())
        .entryList(
            QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QString tst_Capture::path(const QString &name) const
{
    return QDir(workDirectory.path()).filePath(name);
}

void tst_Capture::dialog()
{
    const QList<SeenDialog> seen = saveCapture({cancel()});

    QCOMPARE(seen.size(), 1);
    const SeenDialog &files = seen.first();
    QVERIFY(files.className.contains(QLatin1String("QFileDialog")));
    QCOMPARE(files.title, QStringLiteral("Save Capture File"));
    QCOMPARE(files.nameFilters, QStringList({htmlFilter, logFilter}));
    QCOMPARE(files.selectedNameFilter, htmlFilter);
    QCOMPARE(files.acceptMode, QFileDialog::AcceptSave);
    QCOMPARE(files.defaultSuffix, QString());
    QCOMPARE(files.directory, QDir::currentPath());
    QCOMPARE(files.parent, window.data());
}

void tst_Capture::format_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("html");

    QTest::newRow("capture.html") << QStringLiteral("capture.html") << true;
    QTest::newRow("report.html.log") << QStringLiteral("report.html.log") << true;
    QTest::newRow(".html in the middle") << QStringLiteral("a.htmlx") << true;
    QTest::newRow("capture.HTML") << QStringLiteral("capture.HTML") << false;
    QTest::newRow("capture.htm") << QStringLiteral("capture.htm") << false;
    QTest::newRow("no extension") << QStringLiteral("capture") << false;
    QTest::newRow("x.log") << QStringLiteral("x.log") << false;
    QTest::newRow("notes.txt") << QStringLiteral("notes.txt") << false;
}

void tst_Capture::format()
{
    QFETCH(QString, name);
    QFETCH(bool, html);

    view->insertView(QByteArray("line one\r\nline <two> & \"three\"\tend"));
    const QString plain = QStringLiteral("line one\nline <two> & \"three\"\tend");
    QCOMPARE(view->toPlainText(), plain);

    const QList<SeenDialog> seen = saveCapture({saveAs(name)});

    QCOMPARE(seen.size(), 1);
    QCOMPARE(savedFiles(), QStringList(name));
    const QByteArray saved = contents(path(name));
    if (html) {
        QVERIFY(saved.startsWith("<!DOCTYPE HTML"));
        QVERIFY(saved.contains("line &lt;two&gt; &amp; &quot;three&quot;"));
        QCOMPARE(saved, withoutCharset(view->toHtml()).toLatin1());
    } else {
        QCOMPARE(saved, plain.toLatin1());
    }
    QCOMPARE(view->toPlainText(), plain);
}

void tst_Capture::timeStamps_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("html");

    QTest::newRow("capture.html") << QStringLiteral("capture.html") << true;
    QTest::newRow("x.log") << QStringLiteral("x.log") << false;
}

// A capture holds the stamps as the view shows them, the HTML one in their dimmer colour.
void tst_Capture::timeStamps()
{
    QFETCH(QString, name);
    QFETCH(bool, html);

    SolvaneTermTestAccess(*window).ui().actionTime_Stamps->setChecked(true);
    const QDateTime arrival(QDate(2026, 12, 8), QTime(7, 8, 9, 10));
    view->insertView(QByteArray("line one\r\n"), arrival);
    view->insertView(QByteArray("line two"), arrival.addMSecs(1));
    const QString stamped = QStringLiteral("07:08:09.010 line one\n07:08:09.011 line two");

    saveCapture({saveAs(name)});
    const QByteArray saved = contents(path(name));
    if (html) {
        QTextDocument captured;
        captured.setHtml(QString::fromLatin1(saved));
        QCOMPARE(captured.toPlainText(), stamped);
        QTextBlock::iterator run = captured.begin().begin();
        QCOMPARE(run.fragment().text(), QStringLiteral("07:08:09.010 "));
        QVERIFY(run.fragment().charFormat().hasProperty(QTextFormat::ForegroundBrush));
        ++run;
        QCOMPARE(run.fragment().text(), QStringLiteral("line one"));
        QVERIFY(!run.fragment().charFormat().hasProperty(QTextFormat::ForegroundBrush));
    } else {
        QCOMPARE(saved, stamped.toUtf8());
    }
    QCOMPARE(view->toPlainText(), QStringLiteral("line one\nline two"));
}

void tst_Capture::emptyView_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("plain") << QStringLiteral("empty.log");
    QTest::newRow("html") << QStringLiteral("empty.html");
}

void tst_Capture::emptyView()
{
    QFETCH(QString, name);

    QCOMPARE(view->toPlainText(), QString());
    QCOMPARE(saveCapture({saveAs(name)}).size(), 1);

    QCOMPARE(savedFiles(), QStringList(name));
    const QByteArray saved = contents(path(name));
    if (name.endsWith(QLatin1String(".html"))) {
        QVERIFY(saved.startsWith("<!DOCTYPE HTML"));
        QVERIFY(saved.trimmed().endsWith("</html>"));
        QCOMPARE(saved, withoutCharset(view->toHtml()).toLatin1());
    } else {
        QCOMPARE(saved, QByteArray());
    }
}

void tst_Capture::outsideLatin1_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("plain") << QStringLiteral("text.log");
    QTest::newRow("html") << QStringLiteral("text.html");
}

void tst_Capture::outsideLatin1()
{
    QFETCH(QString, name);

    // "café € 😀" as the device sends it, in UTF-8; the last one lies beyond 16 bits.
    const QByteArray utf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    view->insertView(utf8);
    const QString shown = QString::fromUtf8(utf8);
    QCOMPARE(view->toPlainText(), shown);
    QCOMPARE(saveCapture({saveAs(name)}).size(), 1);

    const QByteArray saved = contents(path(name));
    if (!name.endsWith(QLatin1String(".html"))) {
        QCOMPARE(saved, utf8);
        return;
    }
    // Read back the way a reader of HTML without a declared character set does: a declared one
    // would win over the Latin-1 the capture is written in.
    QVERIFY2(!saved.toLower().contains("charset"), saved.constData());
    QTextDocument parsed;
    parsed.setHtml(QString::fromLatin1(saved));
    QCOMPARE(parsed.toPlainText(), shown);
    // Everything else, "é" included, is the same Latin-1 byte as before.
    QString expected = withoutCharset(view->toHtml());
    expected.replace(QStringLiteral("\u20ac"), QStringLiteral("&#8364;"))
        .replace(QString::fromUtf8("\xf0\x9f\x98\x80"), QStringLiteral("&#128512;"));
    QCOMPARE(saved, expected.toLatin1());
    QVERIFY(saved.contains("caf\xe9 &#8364; &#128512;"));
}

void tst_Capture::cancelWritesNothing()
{
    view->insertView("keep me");

    const QList<SeenDialog> seen = saveCapture({cancel()});

    QCOMPARE(seen.size(), 1);
    QCOMPARE(savedFiles(), QStringList());
    QCOMPARE(view->toPlainText(), QStringLiteral("keep me"));
}

void tst_Capture::textArrivingWhileDialogIsOpen()
{
    view->insertView("before\n");
    const auto arrives = [this] { view->insertView("during"); };

    QCOMPARE(saveCapture({before(arrives, saveAs(QStringLiteral("live.log")))}).size(), 1);

    QCOMPARE(contents(path(QStringLiteral("live.log"))), QByteArray("before\nduring"));
}

void tst_Capture::overwriteReplacesWholeFile()
{
    const QString name = QStringLiteral("capture.log");
    QVERIFY(writeFile(path(name), QByteArray(5000, 'o')));
    view->insertView("short");

    const QList<SeenDialog> seen = saveCapture({saveAs(name), press(QMessageBox::Yes)});

    // The second dialog is the save dialog's own question about replacing the file.
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen.at(1).text.contains(name));
    QCOMPARE(contents(path(name)), QByteArray("short"));
    QCOMPARE(savedFiles(), QStringList(name));
}

void tst_Capture::missingDirectory()
{
    view->insertView("lost");
    const QString name = QStringLiteral("missing/capture.html");

    const QList<SeenDialog> seen = saveCapture({saveAs(name), press(QMessageBox::Ok)});

    QCOMPARE(seen.size(), 2);
    const SeenDialog &box = seen.at(1);
    QCOMPARE(box.title, QStringLiteral("save capture file Error!"));
    QCOMPARE(box.text, QStringLiteral("Can't Open File"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.parent, window->window());
    QCOMPARE(savedFiles(), QStringList());
    QCOMPARE(view->toPlainText(), QStringLiteral("lost"));
}

void tst_Capture::placesAPlainWriteReaches_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fifo");
    QTest::addColumn<bool>("reader");
    QTest::addColumn<bool>("readerQuits");

    QTest::newRow("writable file in a read-only folder")
        << QStringLiteral("locked/capture.log") << false << false << false;
    QTest::newRow("FIFO with a reader") << QStringLiteral("pipe.log") << true << true << false;
    QTest::newRow("FIFO without a reader") << QStringLiteral("pipe.log") << true << false << false;
    // The capture is larger than the pipe holds, so its writes meet the reader's departure.
    QTest::newRow("FIFO whose reader quits") << QStringLiteral("pipe.log") << true << true << true;
}

void tst_Capture::placesAPlainWriteReaches()
{
    QFETCH(QString, name);
    QFETCH(bool, fifo);
    QFETCH(bool, reader);
    QFETCH(bool, readerQuits);

    const QByteArray text = readerQuits ? QByteArray(63, 'q').append('\n').repeated(4096)
                                        : QByteArray("captured text");
    view->insertView(text);
    const QByteArray target = QFile::encodeName(path(name));
    int readEnd = -1;
    std::thread quitter;
    if (fifo) {
        QCOMPARE(mkfifo(target.constData(), 0600), 0);
        // Opened without waiting for a writer; the capture is far below the pipe's capacity.
        if (reader)
            QVERIFY((readEnd = open(target.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) >= 0);
        if (readerQuits) {
            // Takes a little of what arrives, then goes away while the capture still writes.
            quitter = std::thread([readEnd] {
                pollfd input {readEnd, POLLIN, 0};
                if (poll(&input, 1, 10000) == 1) {
                    char buffer[1024];
                    [[maybe_unused]] const ssize_t ignored = read(readEnd, buffer, sizeof buffer);
                }
                close(readEnd);
            });
            readEnd = -1;
        }
    } else {
        QVERIFY(QDir(workDirectory.path()).mkdir(QStringLiteral("locked")));
        QVERIFY(writeFile(path(name), "the previous capture"));
        QVERIFY(QFile::setPermissions(
            path(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }

    QList<SeenDialog> seen;
    {
        // Root writes into any folder; on this thread it now may not.
        PermissionChecks permissionChecks;
        QVERIFY(permissionChecks.isActive());
        seen = saveCapture({saveAs(name), press(QMessageBox::Yes), press(QMessageBox::Ok)});
    }
    QFile::setPermissions(path(QStringLiteral("locked")),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (quitter.joinable())
        quitter.join();

    const bool written = !fifo || (reader && !readerQuits);
    QCOMPARE(seen.size(), written ? 2 : 3);
    if (!written) {
        QCOMPARE(seen.at(2).text,
            readerQuits ? QStringLiteral("Can't Write File") : QStringLiteral("Can't Open File"));
    }
    QCOMPARE(QFileInfo(path(name)).isFile(), !fifo);
    QByteArray arrived;
    if (readEnd >= 0) {
        char buffer[256];
        const ssize_t size = read(readEnd, buffer, sizeof buffer);
        close(readEnd);
        arrived = QByteArray(buffer, int(qMax<ssize_t>(size, 0)));
    } else if (!fifo) {
        arrived = contents(path(name));
    }
    QCOMPARE(arrived, written ? QByteArray("captured text") : QByteArray());
}

void tst_Capture::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("buffered");

    // Qt keeps up to 16 KiB of writes in its buffer: a short capture meets the refusal only
    // when the buffer is flushed on commit, a long one already in write().
    QTest::newRow("short capture, plain") << QStringLiteral("capture.log") << 100 << true;
    QTest::newRow("short capture, html") << QStringLiteral("capture.html") << 10 << true;
    QTest::newRow("long capture, plain") << QStringLiteral("capture.log") << 3000 << false;
    QTest::newRow("long capture, html") << QStringLiteral("capture.html") << 300 << false;
}

void tst_Capture::failedWriteKeepsOldFile()
{
    QFETCH(QString, name);
    QFETCH(int, lines);
    QFETCH(bool, buffered);

    const int limit = 1024;
    const QByteArray previous("the previous capture\n");
    QVERIFY(writeFile(path(name), previous));
    for (int i = 0; i < lines; ++i)
        view->insertView("received line of text\n");
    const int size = (name.endsWith(QLatin1String(".html")) ? view->toHtml() : view->toPlainText())
                         .toUtf8()
                         .size();
    QVERIFY(size > limit);
    QCOMPARE(size < 16384, buffered);

    QList<SeenDialog> seen;
    {
        // Every file this process writes stops growing at a few bytes, as on a full disk.
        FatalFaults fullDisk(limit);
        QVERIFY(fullDisk.isActive());
        seen = saveCapture({saveAs(name), press(QMessageBox::Yes), press(QMessageBox::Ok)});
        QVERIFY(FatalFaults::hasDefaultAction(SIGXFSZ));
    }

    QCOMPARE(contents(path(name)), previous);
    QCOMPARE(savedFiles(), QStringList(name));
    QCOMPARE(seen.size(), 3);
    const SeenDialog &box = seen.at(2);
    QCOMPARE(box.title, QStringLiteral("save capture file Error!"));
    QCOMPARE(box.text, QStringLiteral("Can't Write File"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void tst_Capture::about()
{
    DialogScript script({press(QMessageBox::Ok)});
    SolvaneTermTestAccess(*window).ui().actionAbout_This_Program->trigger();

    const QList<SeenDialog> seen = script.seen();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().title, QStringLiteral("About "));
    QCOMPARE(seen.first().text, QStringLiteral("<p>Solvane's Terminal V3.07</p><p>by Ostrel</p>"));
    QCOMPARE(seen.first().parent, window.data());
    QCOMPARE(seen.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(savedFiles(), QStringList());
}

SOLVANETERM_WINDOW_TEST_MAIN(tst_Capture)

#include "tst_capture.moc"

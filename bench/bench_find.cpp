// SPDX-License-Identifier: GPL-3.0-or-later
// The find bar over a full terminal view: 20,000 lines of about 80 characters. For each search,
// the time from the keystroke that completes it to the first match selected, the slowest single
// return to the event loop while the rest are counted and highlighted (each includes the
// repaints it causes), how many returns that took and their total, and the count. Then lines
// received one at a time, without and with a search standing: the mean and the slowest, which is
// where the view drops its oldest lines. Then the hex view's search over a full history of
// 256 MiB: the keystroke (first match), the counting slices, Enter and Shift+Enter, the count
// the old way for comparison, and blocks arriving at the full history with a search standing.
//
//   QT_QPA_PLATFORM=offscreen bench_find

#include "find/bytefinder.h"
#include "find/findbar.h"
#include "find/textfinder.h"
#include "view/dovikview.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr int lines = 20000;

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) { }

QByteArray line(int n)
{
    // One rare word, on two lines only, for a search with few matches.
    const char *status = n == 500 || n == 19000 ? "FAILED" : "ok";
    return QStringLiteral("%1 12:%2:%3.%4 sensor=%5 temperature=%6.%7 humidity=%8% status=%9\r\n")
        .arg(n, 5, 10, QLatin1Char('0'))
        .arg(n / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(n % 60, 2, 10, QLatin1Char('0'))
        .arg(n % 1000, 3, 10, QLatin1Char('0'))
        .arg(n % 17)
        .arg(20 + n % 15)
        .arg(n % 10)
        .arg(40 + n % 50)
        .arg(QLatin1String(status))
        .toLatin1();
}

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

void benchBytes(const QByteArray &lines)
{
    constexpr int limit = 256 << 20;
    QByteArray history;
    history.reserve(limit);
    while (history.size() + lines.size() <= limit)
        history += lines;
    // A run of zeros a megabyte long near the end, for a search matching at every byte there.
    history.replace(history.size() - (2 << 20), 1 << 20, QByteArray(1 << 20, '\0'));
    qint64 dropped = 0;
    ByteFinder finder;
    finder.setHistory([&history] { return history; }, [&dropped] { return dropped; });
    std::printf("\nhex history %lld bytes\n%-20s %10s %10s %8s %12s %10s %10s %12s %9s\n",
        static_cast<long long>(history.size()), "bytes", "first ms", "slowest ms", "slices",
        "counted ms", "next ms", "prev ms", "old count ms", "count");
    const QByteArray searches[] = {QByteArray::fromHex("0d0a"), QByteArray::fromHex("0000"),
        QByteArray("FAILED"), QByteArray::fromHex("fffe")};
    for (const QByteArray &bytes : searches) {
        finder.clear();
        QElapsedTimer clock;
        clock.start();
        finder.setSearch(bytes);
        const double first = msSince(clock);
        double slowest = 0;
        int slices = 0;
        while (!finder.countingDone()) {
            QElapsedTimer one;
            one.start();
            QCoreApplication::processEvents();
            slowest = qMax(slowest, msSince(one));
            ++slices;
        }
        const double counted = msSince(clock);
        clock.restart();
        finder.next();
        finder.currentIndex();
        const double next = msSince(clock);
        clock.restart();
        finder.previous();
        finder.currentIndex();
        const double previous = msSince(clock);
        clock.restart();
        int oldCount = 0;
        for (int at = history.indexOf(bytes); at >= 0; at = history.indexOf(bytes, at + 1))
            ++oldCount;
        const double old = msSince(clock);
        std::printf("%-20s %10.2f %10.2f %8d %12.1f %10.2f %10.2f %12.1f %9d%s\n",
            bytes.toHex(' ').constData(), first, slowest, slices, counted, next, previous, old,
            finder.count(), finder.count() == oldCount ? "" : " (differs from the old count)");
        std::fflush(stdout);
    }

    // Blocks of 64 bytes as the history drops its oldest eighth whenever it is full; the time
    // the finder takes to follow each.
    finder.setSearch(QByteArray::fromHex("0d0a"));
    while (!finder.countingDone())
        QCoreApplication::processEvents();
    const QByteArray block = lines.left(64);
    qint64 slowestNs = 0;
    qint64 totalNs = 0;
    const int blocks = 300000;
    for (int n = 0; n < blocks; ++n) {
        if (history.size() + block.size() > limit) {
            const int drop = limit / 8;
            history.remove(0, drop);
            dropped += drop;
        }
        history += block;
        QElapsedTimer one;
        one.start();
        finder.historyChanged();
        finder.currentIndex();
        const qint64 took = one.nsecsElapsed();
        slowestNs = qMax(slowestNs, took);
        totalNs += took;
    }
    std::printf("%d blocks of 64 bytes with \"0d 0a\" found: %.4f ms each, slowest %.2f ms; "
                "count %d, %lld bytes dropped\n",
        blocks, double(totalNs) / blocks / 1e6, double(slowestNs) / 1e6, finder.count(),
        static_cast<long long>(dropped));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    qInstallMessageHandler(discardMessages);

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *view = new DovikView(&window);
    auto *bar = new FindBar(&window);
    layout->addWidget(view);
    layout->addWidget(bar);
    bar->setTextEdit(view);
    window.resize(900, 700);
    window.show();
    QCoreApplication::processEvents();

    QByteArray all;
    for (int n = 0; n < lines - 1; ++n)
        all += line(n);
    view->insertView(all);
    QCoreApplication::processEvents();
    std::printf("view holds %d lines, %d characters\n", view->document()->blockCount(),
        view->document()->characterCount());

    auto *field = bar->findChild<QLineEdit *>(QStringLiteral("findField"));
    auto *matchCase = bar->findChild<QCheckBox *>(QStringLiteral("findMatchCase"));
    TextFinder *finder = bar->finder();
    bar->open();

    struct Search
    {
        const char *text;
        bool matchCase;
    };
    const Search searches[] = {{"FAILED", true}, {"failed", false}, {"temperature", true},
        {"TEMPERATURE", false}, {"e", true}, {"E", false}, {"absent", true}, {"ABSENT", false}};
    std::printf("%-12s %-6s %14s %14s %8s %12s %8s\n", "search", "case", "first ms", "slowest ms",
        "returns", "counted ms", "count");
    for (const Search &search : searches) {
        matchCase->setChecked(search.matchCase);
        field->clear();
        QTest::keyClick(field, Qt::Key_Backspace);
        const QString text = QString::fromLatin1(search.text);
        QTest::keyClicks(field, text.chopped(1));
        while (!finder->countingDone())
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();

        QElapsedTimer clock;
        clock.start();
        QTest::keyClicks(field, text.right(1));
        const qint64 firstNs = clock.nsecsElapsed();
        qint64 slowestNs = 0;
        int returns = 0;
        // Two more after counting ends, for the highlights and the repaint they cause.
        for (int after = 0; after < 2; after += finder->countingDone() ? 1 : 0) {
            QElapsedTimer one;
            one.start();
            QCoreApplication::processEvents();
            slowestNs = qMax(slowestNs, one.nsecsElapsed());
            ++returns;
        }
        std::printf("%-12s %-6s %14.2f %14.2f %8d %12.1f %8d\n", search.text,
            search.matchCase ? "match" : "any", double(firstNs) / 1e6, double(slowestNs) / 1e6,
            returns, double(clock.nsecsElapsed()) / 1e6, finder->count());
        std::fflush(stdout);
    }

    // Lines arriving one at a time, first with no search and then with a search for a word on
    // every line standing; each run is long enough for the view to drop its oldest lines once.
    int next = lines;
    const auto receive = [&](const char *what) {
        qint64 slowestNs = 0;
        qint64 totalNs = 0;
        const int received = 3100;
        for (int n = 0; n < received; ++n) {
            QElapsedTimer one;
            one.start();
            view->insertView(line(next++));
            QCoreApplication::processEvents();
            const qint64 took = one.nsecsElapsed();
            slowestNs = qMax(slowestNs, took);
            totalNs += took;
        }
        std::printf("%d lines received one at a time, %s: %.2f ms each, slowest %.2f ms; "
                    "count %d, view holds %d lines\n",
            received, what, double(totalNs) / received / 1e6, double(slowestNs) / 1e6,
            finder->count(), view->document()->blockCount());
        std::fflush(stdout);
    };
    field->clear();
    QTest::keyClick(field, Qt::Key_Backspace);
    receive("no search");
    matchCase->setChecked(true);
    QTest::keyClicks(field, QStringLiteral("temperature"));
    while (!finder->countingDone())
        QCoreApplication::processEvents();
    receive("\"temperature\" found");
    benchBytes(all);
    qInstallMessageHandler(nullptr);
    return 0;
}

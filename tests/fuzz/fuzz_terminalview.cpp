// SPDX-License-Identifier: GPL-3.0-or-later
// Hands the terminal view received blocks of any bytes, split anywhere, and compares its document
// after every block with a plain model of what the view promises: NUL bytes dropped, a backspace
// taking back the last byte of its block not shown yet or else the last character shown, the rest
// decoded as UTF-8, and every line end starting a new paragraph.

#include "view/dovikview.h"

#include <QApplication>
#include <QByteArray>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

DovikView *view = nullptr;

const QChar paragraphBreak = QChar::ParagraphSeparator;

// As QTextDocument::toRawText() gives it: paragraphs separated by U+2029.
QString shownAfter(QString shown, const QByteArray &block)
{
    QByteArray pending;
    for (const char byte : block) {
        if (byte == '\0')
            continue;
        if (byte == '\b') {
            if (pending.isEmpty() && !shown.isEmpty()) {
                // A character outside the basic plane goes as a whole.
                const int size = shown.size();
                const bool pair = size >= 2 && shown.at(size - 1).isLowSurrogate()
                    && shown.at(size - 2).isHighSurrogate();
                shown.chop(pair ? 2 : 1);
            }
            pending.chop(1);
            continue;
        }
        pending.append(byte);
    }

    const QString text = QString::fromUtf8(pending);
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            continue;
        // The text layer also takes its two frame markers for paragraph breaks.
        const bool breaks = c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == paragraphBreak
            || c.unicode() == 0xfdd0 || c.unicode() == 0xfdd1;
        shown += breaks ? paragraphBreak : c;
    }
    return shown;
}

[[noreturn]] void fail(const QByteArray &block, const QString &expected, const QString &actual)
{
    const auto hex = [](const QString &text) {
        return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2).toHex();
    };
    std::fprintf(stderr, "terminal view: after block %s\n  expected %s\n  actual   %s\n",
        block.toHex().constData(), hex(expected).constData(), hex(actual).constData());
    std::abort();
}

} // namespace

// Fontconfig keeps what it allocates for each new font fallback until the process ends, and the
// offscreen platform its screen; neither is a leak of the view's.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig\nleak:libqoffscreen\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives for the whole run, as the fuzzer never returns from its loop.
    new QApplication(*argc, *argv);
    view = new DovikView;
    view->resize(800, 600);
    // Font look-ups and layout caches are set up once, here, rather than in the first input,
    // where the leak check would take them for leaks.
    view->insertView(QByteArrayLiteral("warm-up \xe2\x82\xac\r\n"));
    view->clear();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider input(bytes, size);
    view->clear();
    QString expected;
    while (input.remaining_bytes() > 0) {
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, 64);
        const std::string part = input.ConsumeBytesAsString(length);
        const QByteArray block(part.data(), int(part.size()));
        view->insertView(block);
        expected = shownAfter(expected, block);
        const QString actual = view->document()->toRawText();
        if (actual != expected)
            fail(block, expected, actual);
    }
    return 0;
}

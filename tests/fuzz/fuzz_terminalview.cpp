// SPDX-License-Identifier: GPL-3.0-or-later
// Hands the terminal view received blocks of any bytes, split anywhere, and compares its document
// after every block with a plain model of what the view promises: NUL bytes dropped, a backspace
// taking back the last byte not shown yet or else the last character shown, the rest decoded as
// UTF-8 except for a character that the next block may still complete, every line end starting a
// new paragraph, and a CR that ended the text shown making one line end with an LF that starts
// the next block's text. A stream without backspaces must also show the same in one block.
// With time stamps on, the text is the same, and every line that has a byte has a stamp.

#include "view/dovikview.h"

#include <QApplication>
#include <QByteArray>
#include <QTextBlock>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

DovikView *view = nullptr;

const QChar paragraphBreak = QChar::ParagraphSeparator;

struct Shown
{
    // As QTextDocument::toRawText() gives it: paragraphs separated by U+2029.
    QString text;
    // The start of a character that may yet be completed.
    QByteArray heldBack;
    // The last text inserted ended with a CR, and nothing was taken back since.
    bool endsWithCr = false;
};

// Whether some run of continuation bytes would make these bytes one character.
bool completable(const QByteArray &bytes)
{
    for (const char filler : {'\x80', '\xBF'}) {
        for (int more = 1; more <= 3; ++more) {
            // Behind an ASCII letter, so that a byte order mark is decoded, not dropped.
            const QVector<uint> decoded
                = QString::fromUtf8('a' + bytes + QByteArray(more, filler)).toUcs4();
            if (decoded.size() == 2 && decoded.at(1) != 0xFFFD)
                return true;
        }
    }
    return false;
}

void receive(Shown &shown, const QByteArray &block)
{
    QByteArray pending = shown.heldBack;
    for (const char byte : block) {
        if (byte == '\0')
            continue;
        if (byte == '\b') {
            if (pending.isEmpty() && !shown.text.isEmpty()) {
                // A character outside the basic plane goes as a whole.
                const int size = shown.text.size();
                const bool pair = size >= 2 && shown.text.at(size - 1).isLowSurrogate()
                    && shown.text.at(size - 2).isHighSurrogate();
                shown.text.chop(pair ? 2 : 1);
                shown.endsWithCr = false;
            }
            pending.chop(1);
            continue;
        }
        pending.append(byte);
    }

    shown.heldBack.clear();
    for (int length = 1; length <= 3 && length <= pending.size(); ++length) {
        if (completable(pending.right(length))) {
            shown.heldBack = pending.right(length);
            pending.chop(length);
            break;
        }
    }
    if (pending.isEmpty())
        return;
    if (shown.endsWithCr && pending.startsWith('\n'))
        pending.remove(0, 1);
    shown.endsWithCr = !pending.isEmpty() && pending.endsWith('\r');

    const QString text = QString::fromUtf8('a' + pending).mid(1);
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            continue;
        // The text layer also takes its two frame markers for paragraph breaks.
        const bool breaks = c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == paragraphBreak
            || c.unicode() == 0xfdd0 || c.unicode() == 0xfdd1;
        shown.text += breaks ? paragraphBreak : c;
    }
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
    const bool stamps = input.ConsumeBool();
    view->setTimeStamps(stamps);
    view->clear();
    Shown expected;
    QByteArray stream;
    while (input.remaining_bytes() > 0) {
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, 64);
        const std::string part = input.ConsumeBytesAsString(length);
        const QByteArray block(part.data(), int(part.size()));
        view->insertView(block);
        receive(expected, block);
        const QString actual = view->document()->toRawText();
        if (actual != expected.text)
            fail(block, expected.text, actual);
        if (stamps) {
            const QTextBlock last = view->document()->lastBlock();
            for (QTextBlock line = view->document()->begin(); line.isValid(); line = line.next()) {
                if (line.userState() < 0 && (line != last || !line.text().isEmpty()))
                    fail(block, QStringLiteral("a stamp on line %1").arg(line.blockNumber()),
                        line.text());
            }
        }
        stream += block;
    }

    if (!stream.contains('\b')) {
        const QString split = view->document()->toRawText();
        view->clear();
        view->insertView(stream);
        const QString whole = view->document()->toRawText();
        if (whole != split)
            fail(stream, split, whole);
    }
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the hex view's byte store through its undo commands the way the view does, one push,
// undo or redo at a time, and compares every step with a plain model: a vector of bytes, a vector
// of change flags and a history of whole states. Undoing everything must bring back the bytes
// and flags the edits started from, and redoing everything the ones they ended with.

#include "hexview/commands.h"
#include "hexview/xbytearray.h"

#include <QUndoStack>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

namespace {

struct State
{
    std::vector<uint8_t> data;
    std::vector<uint8_t> flags;

    int size() const { return int(data.size()); }
    bool operator==(const State &other) const { return data == other.data && flags == other.flags; }
};

enum Kind { Insert, Remove, Replace };

// One entry per command on the stack. Merging needs the kind and position of the command that
// stays on top.
struct Step
{
    State before;
    State after;
    bool single;
    Kind kind;
    int pos;
};

class Model
{
public:
    State state;
    std::vector<Step> history;
    size_t index = 0;

    void load(const std::vector<uint8_t> &bytes)
    {
        state.data = bytes;
        state.flags.assign(bytes.size(), 0);
        forget();
    }

    void append(const std::vector<uint8_t> &bytes)
    {
        state.data.insert(state.data.end(), bytes.begin(), bytes.end());
        state.flags.assign(state.data.size(), 0);
        forget();
    }

    void mark(int i, bool on) { state.flags.at(size_t(i)) = on ? 1 : 0; }

    void push(bool single, Kind kind, int pos, const State &before)
    {
        history.resize(index);
        if (index > 0) {
            Step &top = history[index - 1];
            if (single && top.single && top.kind != Remove && kind == Replace && top.pos == pos) {
                top.after = state;
                return;
            }
        }
        history.push_back(Step {before, state, single, kind, pos});
        ++index;
    }

    void undo() { state = history[--index].before; }
    void redo() { state = history[index++].after; }

    // What the single-byte edits do.
    void insertByte(int pos, uint8_t byte)
    {
        if (pos < 0 || pos > state.size())
            return;
        state.data.insert(state.data.begin() + pos, byte);
        state.flags.insert(state.flags.begin() + pos, 1);
    }

    void removeBytes(int pos, int len)
    {
        if (pos < 0 || pos >= state.size() || len <= 0)
            return;
        const int end = pos + std::min(len, state.size() - pos);
        state.data.erase(state.data.begin() + pos, state.data.begin() + end);
        state.flags.erase(state.flags.begin() + pos, state.flags.begin() + end);
    }

    void replaceByte(int pos, uint8_t byte)
    {
        if (pos == state.size()) {
            state.data.push_back(byte);
            state.flags.push_back(1);
        } else if (pos >= 0 && pos < state.size()) {
            state.data[size_t(pos)] = byte;
            state.flags[size_t(pos)] = 1;
        }
    }

    // What the run edits do. A replace writes its bytes, clipped at the end; its length only
    // says how much undo has to save.
    void insertBytes(int pos, const std::vector<uint8_t> &bytes)
    {
        if (pos < 0 || pos > state.size() || bytes.empty())
            return;
        state.data.insert(state.data.begin() + pos, bytes.begin(), bytes.end());
        state.flags.insert(state.flags.begin() + pos, bytes.size(), 1);
    }

    void replaceBytes(int pos, const std::vector<uint8_t> &bytes)
    {
        if (pos < 0 || pos >= state.size())
            return;
        const int n = std::min(int(bytes.size()), state.size() - pos);
        for (int i = 0; i < n; ++i) {
            state.data[size_t(pos + i)] = bytes[size_t(i)];
            state.flags[size_t(pos + i)] = 1;
        }
    }

private:
    void forget()
    {
        history.clear();
        index = 0;
    }
};

QByteArray toByteArray(const std::vector<uint8_t> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

[[noreturn]] void fail(const char *what, const State &expected, const XByteArray &buffer)
{
    std::fprintf(stderr, "hex edits: %s\n  expected data  %s\n  expected flags %s\n", what,
        toByteArray(expected.data).toHex().constData(),
        toByteArray(expected.flags).toHex().constData());
    std::fprintf(stderr, "  actual data    %s\n  actual flags   %s\n",
        buffer.data().toHex().constData(),
        buffer.dataChanged(0, buffer.size() + 8).toHex().constData());
    std::abort();
}

void compare(
    const char *what, const Model &model, const XByteArray &buffer, const QUndoStack &stack)
{
    const State &expected = model.state;
    if (buffer.data() != toByteArray(expected.data))
        fail(what, expected, buffer);
    // The flags are read back the way the view reads them, one at a time and as a run, and the
    // run must end where the data ends.
    if (buffer.dataChanged(0, buffer.size() + 8) != toByteArray(expected.flags))
        fail(what, expected, buffer);
    for (int i = 0; i <= expected.size(); ++i) {
        const bool flag = i < expected.size() && expected.flags[size_t(i)] != 0;
        if (buffer.dataChanged(i) != flag)
            fail(what, expected, buffer);
    }
    if (stack.count() != int(model.history.size()) || stack.index() != int(model.index)) {
        std::fprintf(stderr, "hex edits: %s: stack %d of %d, model %zu of %zu\n", what,
            stack.index(), stack.count(), model.index, model.history.size());
        std::abort();
    }
}

std::vector<uint8_t> bytesFrom(FuzzedDataProvider &input, size_t most)
{
    return input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, most));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider input(bytes, size);
    XByteArray buffer;
    QUndoStack stack;
    Model model;

    while (input.remaining_bytes() > 0) {
        const int size = model.state.size();
        switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0: {
            const std::vector<uint8_t> data = bytesFrom(input, 48);
            buffer.setData(toByteArray(data));
            stack.clear();
            model.load(data);
            // Flags already set when the edits begin, so that undo has some to bring back.
            for (int i = 0; i < model.state.size(); ++i) {
                if (input.ConsumeBool()) {
                    buffer.setDataChanged(i, true);
                    model.mark(i, true);
                }
            }
            compare("load", model, buffer, stack);
            break;
        }
        case 1: {
            const std::vector<uint8_t> data = bytesFrom(input, 16);
            buffer.appendData(toByteArray(data));
            stack.clear();
            model.append(data);
            compare("append", model, buffer, stack);
            break;
        }
        case 2:
        case 3: {
            const Kind kind = Kind(input.ConsumeIntegralInRange(0, 2));
            const int pos = input.ConsumeIntegralInRange(-2, size + 2);
            const uint8_t byte = input.ConsumeIntegral<uint8_t>();
            const State before = model.state;
            if (kind == Insert)
                model.insertByte(pos, byte);
            else if (kind == Remove)
                model.removeBytes(pos, 1);
            else
                model.replaceByte(pos, byte);
            model.push(true, kind, pos, before);
            stack.push(new CharCommand(
                &buffer, CharCommand::Cmd(kind), pos, kind == Remove ? char(0) : char(byte)));
            compare("single-byte edit", model, buffer, stack);
            break;
        }
        case 4: {
            const Kind kind = Kind(input.ConsumeIntegralInRange(0, 2));
            const int pos = input.ConsumeIntegralInRange(-2, size + 2);
            const int len = input.ConsumeIntegralInRange(-2, 40);
            const std::vector<uint8_t> data = bytesFrom(input, 24);
            const State before = model.state;
            if (kind == Insert)
                model.insertBytes(pos, data);
            else if (kind == Remove)
                model.removeBytes(pos, len);
            else
                model.replaceBytes(pos, data);
            model.push(false, kind, pos, before);
            stack.push(
                new ArrayCommand(&buffer, ArrayCommand::Cmd(kind), pos, toByteArray(data), len));
            compare("run edit", model, buffer, stack);
            break;
        }
        case 5:
            if (stack.canUndo()) {
                stack.undo();
                model.undo();
                compare("undo", model, buffer, stack);
            }
            break;
        case 6:
            if (stack.canRedo()) {
                stack.redo();
                model.redo();
                compare("redo", model, buffer, stack);
            }
            break;
        default:
            break;
        }
    }

    while (stack.canRedo()) {
        stack.redo();
        model.redo();
        compare("redo up to the last edit", model, buffer, stack);
    }
    const State end = model.state;
    while (stack.canUndo()) {
        stack.undo();
        model.undo();
        compare("undoing everything", model, buffer, stack);
    }
    while (stack.canRedo()) {
        stack.redo();
        model.redo();
        compare("redoing everything", model, buffer, stack);
    }
    if (!(model.state == end))
        fail("redo did not come back to the end", end, buffer);
    return 0;
}

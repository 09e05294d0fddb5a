// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef COMMANDS_H
#define COMMANDS_H

#include <QByteArray>
#include <QUndoCommand>

class XByteArray;

// Undoable edit of one byte. Consecutive edits of the same byte merge, so that typing both hex
// digits of a byte, or retyping it, is a single undo step.
class CharCommand : public QUndoCommand
{
public:
    enum Cmd { insert, remove, replace };

    CharCommand(
        XByteArray *xData, Cmd cmd, int charPos, char newChar, QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *command) override;

    static const int MergeId = 1234;

private:
    XByteArray *_xData;
    int _charPos;
    bool _wasChanged;
    char _newChar;
    char _oldChar;
    Cmd _cmd;
    // How redo found the position, so that undo takes back exactly what redo did even for a
    // position outside the data.
    enum Reach { Inside, AtEnd, Outside };
    Reach _reach;
};

// Undoable edit of a run of bytes. Never merges.
class ArrayCommand : public QUndoCommand
{
public:
    enum Cmd { insert, remove, replace };

    ArrayCommand(XByteArray *xData, Cmd cmd, int baPos, const QByteArray &newBa = QByteArray(),
        int len = 0, QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;

private:
    Cmd _cmd;
    XByteArray *_xData;
    int _baPos;
    int _len;
    QByteArray _wasChanged;
    QByteArray _newBa;
    QByteArray _oldBa;
};

#endif // COMMANDS_H

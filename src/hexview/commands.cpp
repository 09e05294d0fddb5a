// SPDX-License-Identifier: GPL-3.0-or-later
#include "hexview/commands.h"

#include "hexview/xbytearray.h"

CharCommand::CharCommand(
    XByteArray *xData, Cmd cmd, int charPos, char newChar, QUndoCommand *parent)
    : QUndoCommand(parent)
    , _xData(xData)
    , _charPos(charPos)
    , _wasChanged(false)
    , _newChar(newChar)
    , _oldChar(0)
    , _cmd(cmd)
    , _reach(Inside)
{ }

void CharCommand::undo()
{
    switch (_cmd) {
    case insert:
        _xData->remove(_charPos, 1);
        break;
    case remove:
        if (_reach != Inside)
            break;
        _xData->insert(_charPos, _oldChar);
        _xData->setDataChanged(_charPos, _wasChanged);
        break;
    case replace:
        if (_reach == AtEnd) {
            // redo appended the byte: taking it back means removing it, not zeroing it
            _xData->remove(_charPos, 1);
        } else if (_reach == Inside) {
            _xData->replace(_charPos, _oldChar);
            _xData->setDataChanged(_charPos, _wasChanged);
        }
        break;
    }
}

void CharCommand::redo()
{
    if (_cmd == insert) {
        _xData->insert(_charPos, _newChar);
        return;
    }

    const int size = _xData->size();
    if (_charPos >= 0 && _charPos < size)
        _reach = Inside;
    else if (_charPos == size)
        _reach = AtEnd;
    else
        _reach = Outside;
    _oldChar = _reach == Inside ? _xData->data().at(_charPos) : char(0);
    _wasChanged = _xData->dataChanged(_charPos);

    if (_cmd == remove)
        _xData->remove(_charPos, 1);
    else
        _xData->replace(_charPos, _newChar);
}

int CharCommand::id() const
{
    return MergeId;
}

bool CharCommand::mergeWith(const QUndoCommand *command)
{
    if (command->id() != MergeId)
        return false;
    const auto *next = static_cast<const CharCommand *>(command);
    if (_cmd == remove || next->_cmd != replace || next->_charPos != _charPos)
        return false;
    _newChar = next->_newChar;
    return true;
}

ArrayCommand::ArrayCommand(
    XByteArray *xData, Cmd cmd, int baPos, const QByteArray &newBa, int len, QUndoCommand *parent)
    : QUndoCommand(parent)
    , _cmd(cmd)
    , _xData(xData)
    , _baPos(baPos)
    , _len(len)
    , _newBa(newBa)
{ }

void ArrayCommand::undo()
{
    switch (_cmd) {
    case insert:
        _xData->remove(_baPos, _newBa.length());
        break;
    case remove:
        _xData->insert(_baPos, _oldBa);
        _xData->setDataChanged(_baPos, _wasChanged);
        break;
    case replace:
        _xData->replace(_baPos, _oldBa);
        _xData->setDataChanged(_baPos, _wasChanged);
        break;
    }
}

void ArrayCommand::redo()
{
    if (_cmd == insert) {
        _xData->insert(_baPos, _newBa);
        return;
    }

    // A replace writes as many bytes as it is given, whatever length says; saving the larger of
    // the two keeps undo complete when a caller passes a length shorter than the bytes.
    const int saved = _cmd == replace ? qMax(_len, _newBa.length()) : _len;
    if (_baPos >= 0 && _baPos < _xData->size() && saved > 0) {
        _oldBa = _xData->data().mid(_baPos, saved);
        _wasChanged = _xData->dataChanged(_baPos, saved);
    } else {
        _oldBa.clear();
        _wasChanged.clear();
    }

    if (_cmd == remove)
        _xData->remove(_baPos, _len);
    else
        _xData->replace(_baPos, _newBa);
}

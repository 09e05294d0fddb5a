// SPDX-License-Identifier: GPL-3.0-or-later
#include "functionkeys/functionkeytable.h"

#include <QSettings>

namespace {

QString settingKey(char column, int index)
{
    return QLatin1Char(column) + QString::number(index + 1);
}

} // namespace

FunctionKeyTable::FunctionKeyTable()
    : keys(size)
{ }

FunctionKeyTable FunctionKeyTable::fromLists(const QList<QPair<int, QString>> &strings,
    const QList<QPair<int, bool>> &crFlags, const QList<QPair<int, bool>> &lfFlags)
{
    FunctionKeyTable table;
    for (int i = 0; i < size; ++i) {
        if (i < strings.size())
            table.keys[i].text = strings.at(i).second;
        if (i < crFlags.size())
            table.keys[i].cr = crFlags.at(i).second;
        if (i < lfFlags.size())
            table.keys[i].lf = lfFlags.at(i).second;
    }
    return table;
}

FunctionKeyTable FunctionKeyTable::read(const QSettings &settings)
{
    FunctionKeyTable table;
    for (int i = 0; i < size; ++i) {
        FunctionKey &key = table.keys[i];
        key.text = settings.value(textSettingKey(i)).toString();
        key.cr = settings.value(crSettingKey(i), false).toBool();
        key.lf = settings.value(lfSettingKey(i), false).toBool();
    }
    return table;
}

void FunctionKeyTable::write(QSettings &settings) const
{
    for (int i = 0; i < size; ++i)
        settings.setValue(textSettingKey(i), keys.at(i).text);
    for (int i = 0; i < size; ++i)
        settings.setValue(crSettingKey(i), keys.at(i).cr);
    for (int i = 0; i < size; ++i)
        settings.setValue(lfSettingKey(i), keys.at(i).lf);
}

QList<QPair<int, QString>> FunctionKeyTable::strings() const
{
    QList<QPair<int, QString>> list;
    for (int i = 0; i < size; ++i)
        list.append(qMakePair(keyCode(i), keys.at(i).text));
    return list;
}

QList<QPair<int, bool>> FunctionKeyTable::crFlags() const
{
    QList<QPair<int, bool>> list;
    for (int i = 0; i < size; ++i)
        list.append(qMakePair(keyCode(i), keys.at(i).cr));
    return list;
}

QList<QPair<int, bool>> FunctionKeyTable::lfFlags() const
{
    QList<QPair<int, bool>> list;
    for (int i = 0; i < size; ++i)
        list.append(qMakePair(keyCode(i), keys.at(i).lf));
    return list;
}

int FunctionKeyTable::keyCode(int index)
{
    return Qt::Key_F1 + index;
}

QString FunctionKeyTable::textSettingKey(int index)
{
    return settingKey('F', index);
}

QString FunctionKeyTable::crSettingKey(int index)
{
    return settingKey('C', index);
}

QString FunctionKeyTable::lfSettingKey(int index)
{
    return settingKey('L', index);
}

QString withLineEnds(const QString &text, bool cr, bool lf)
{
    QString s = text;
    if (cr && !s.contains(QLatin1Char('\r')))
        s.append(QLatin1Char('\r'));
    if (lf && !s.contains(QLatin1Char('\n')))
        s.append(QLatin1Char('\n'));
    return s;
}

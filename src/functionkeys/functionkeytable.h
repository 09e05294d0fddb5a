// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FUNCTIONKEYTABLE_H
#define FUNCTIONKEYTABLE_H

#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

class QSettings;

// What one of F1 to F12 sends: its text, and whether a carriage return and a line feed go after
// it when it holds none.
struct FunctionKey
{
    QString text;
    bool cr = false;
    bool lf = false;
};

// The twelve programmable keys, F1 first, as they are stored and as the window keeps them: three
// lists of (key code, column value) pairs, all in key order.
class FunctionKeyTable
{
public:
    static constexpr int size = 12;

    // Every key empty, with neither line end: the table of a first start.
    FunctionKeyTable();

    static FunctionKeyTable fromLists(const QList<QPair<int, QString>> &strings,
        const QList<QPair<int, bool>> &crFlags, const QList<QPair<int, bool>> &lfFlags);
    // Keys missing from the store read as empty, with neither line end.
    static FunctionKeyTable read(const QSettings &settings);
    void write(QSettings &settings) const;

    FunctionKey &operator[](int index) { return keys[index]; }
    const FunctionKey &at(int index) const { return keys.at(index); }

    QList<QPair<int, QString>> strings() const;
    QList<QPair<int, bool>> crFlags() const;
    QList<QPair<int, bool>> lfFlags() const;

    static int keyCode(int index);
    // The setting keys of a row: "F1", "C1" and "L1" for the first.
    static QString textSettingKey(int index);
    static QString crSettingKey(int index);
    static QString lfSettingKey(int index);

private:
    QVector<FunctionKey> keys;
};

// The string a function key sends: a CR appended when cr is set and the text holds none anywhere,
// then likewise an LF.
QString withLineEnds(const QString &text, bool cr, bool lf);

#endif // FUNCTIONKEYTABLE_H

// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STOREDSETTINGS_H
#define STOREDSETTINGS_H

#include "functionkeys/functionkeytable.h"

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QSize>
#include <QString>

class QSettings;

// Everything the window keeps between runs, as the store gives it back once the replacement rules
// for missing and unusable values have run. The stored geometry still has to be placed on the
// screens (windowplacement.h) before the window takes it.
struct StoredSettings
{
    QPoint pos = QPoint(25, 25);
    QSize size = QSize(800, 600);
    bool toolbarHidden = false;
    QFont font = defaultFont();
    QColor color = QColor(0xff, 0xff, 0xff);
    QColor backColor = QColor(0x43, 0x88, 0x65);
    FunctionKeyTable functionKeys;
    int delay = 5;
    // After each line feed of a file being sent.
    int linePause = 0;
    bool timeStamps = false;
    bool functionDialogShown = false;
    bool hexamode = false;
    // Where every connection gets a session log of its own; empty while that is off.
    QString logFolder;

    static QFont defaultFont();
    static StoredSettings load(const QSettings &settings);
    void save(QSettings &settings) const;
};

#endif // STOREDSETTINGS_H

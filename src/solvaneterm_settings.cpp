// SPDX-License-Identifier: GPL-3.0-or-later
#include "solvaneterm.h"

#include "functionkeys/functiondlg.h"
#include "view/dovikview.h"

#include "storedsettings.h"
#include "windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStyle>

namespace {

QVector<QRect> availableScreenAreas()
{
    QVector<QRect> areas;
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (primary)
        areas.append(primary->availableGeometry());
    for (const QScreen *screen : QGuiApplication::screens()) {
        if (screen != primary)
            areas.append(screen->availableGeometry());
    }
    return areas;
}

} // namespace

void SolvaneTerm::readSettings()
{
    statusMsg(tr("getting previews settings..."));

    const StoredSettings stored
        = StoredSettings::load(QSettings(QStringLiteral("SolvaneTerm"), windtitle));

    // A damaged store must not put the window out of reach, or make it so large that drawing it
    // fails at every start.
    const WindowPlacement placement = placeStoredWindow(stored.pos, stored.size, minimumSize(),
        availableScreenAreas(), style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    // Where the window cannot be placed, the position stored by a session that could stays for the
    // next such session.
    storedPos = stored.pos;
    if (platformPlacesWindows(QGuiApplication::platformName()))
        move(placement.pos);
    resize(placement.size);

    ui.action_Toolbar->setChecked(stored.toolbarHidden);
    termView->setFont(stored.font);
    termView->setColor(stored.color);
    termView->setBackColor(stored.backColor);

    functionString = stored.functionKeys.strings();
    functionCheckCR = stored.functionKeys.crFlags();
    functionCheckLF = stored.functionKeys.lfFlags();
    delay = stored.delay;
    linePause = stored.linePause;

    // The dialog fills itself from the table and the delay just restored.
    if (stored.functionDialogShown)
        functionSetting();

    hexamode = stored.hexamode;
    ui.actionHexa_Mode->setChecked(hexamode);

    sessionLogFolder = stored.logFolder;
    ui.actionTime_Stamps->setChecked(stored.timeStamps);
    ui.actionSession_Log_Folder->setChecked(!sessionLogFolder.isEmpty());
}

void SolvaneTerm::writeSettings()
{
    statusMsg(tr("store current settings..."));

    StoredSettings current;
    current.pos = platformPlacesWindows(QGuiApplication::platformName()) ? pos() : storedPos;
    current.size = size();
    current.toolbarHidden = ui.action_Toolbar->isChecked();
    current.font = termView->getFont();
    current.color = termView->getColor();
    current.backColor = termView->getBackColor();
    current.functionKeys
        = FunctionKeyTable::fromLists(functionString, functionCheckCR, functionCheckLF);
    current.delay = delay;
    current.functionDialogShown = !functionDlg.isNull() && functionDlg->isVisible();
    current.hexamode = hexamode;
    current.logFolder = sessionLogFolder;
    current.linePause = linePause;
    current.timeStamps = ui.actionTime_Stamps->isChecked();

    QSettings settings(QStringLiteral("SolvaneTerm"), windtitle);
    current.save(settings);
}

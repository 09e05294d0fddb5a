#include "solvaneterm.h"

#include "functionkeys/functiondlg.h"
#include "view/dovikview.h"

#include "windowplacement.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStyle>

namespace {

QString functionKeyName(QChar prefix, int position)
{
    return prefix + QString::number(position + 1);
}

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

    QSettings settings(QStringLiteral("SolvaneTerm"), windtitle);

    QPoint pos = settings.value(QStringLiteral("pos")).toPoint();
    if (pos.x() == 0 && pos.y() == 0)
        pos = QPoint(25, 25);
    QSize size = settings.value(QStringLiteral("size")).toSize();
    if (size.width() < 1 || size.height() < 1)
        size = QSize(800, 600);
    // A damaged store must not put the window out of reach, or make it so large that drawing it
    // fails at every start.
    const WindowPlacement placement = placeStoredWindow(pos, size, minimumSize(),
        availableScreenAreas(), style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    move(placement.pos);
    resize(placement.size);

    ui.action_Toolbar->setChecked(settings.value(QStringLiteral("viewtoolbar"), false).toBool());

    QString family = settings.value(QStringLiteral("fontfamily")).toString();
    if (family.isEmpty())
        family = QStringLiteral("Courier New");
    int pointSize = settings.value(QStringLiteral("fontsize"), 0).toInt();
    if (pointSize == 0)
        pointSize = 10;
    int weight = settings.value(QStringLiteral("fontweight"), 0).toInt();
    if (weight == 0)
        weight = QFont::Normal;
    const bool italic = settings.value(QStringLiteral("fontstyle"), false).toBool();

    QFont font;
    font.setFamily(family);
    font.setWeight(weight);
    font.setPointSize(pointSize);
    font.setStyle(italic ? QFont::StyleItalic : QFont::StyleNormal);
    termView->setFont(font);

    QString fontColor = settings.value(QStringLiteral("fontcolor")).toString();
    if (fontColor.isEmpty())
        fontColor = QStringLiteral("#FFFFFF");
    termView->setColor(QColor(fontColor));

    QString backColor = settings.value(QStringLiteral("backcolor")).toString();
    if (backColor.isEmpty())
        backColor = QStringLiteral("#438865");
    termView->setBackColor(QColor(backColor));

    functionString.clear();
    functionCheckCR.clear();
    functionCheckLF.clear();
    for (int n = 0; n < 12; ++n) {
        const int key = Qt::Key_F1 + n;
        const QString text = settings.value(functionKeyName(QLatin1Char('F'), n)).toString();
        const bool cr = settings.value(functionKeyName(QLatin1Char('C'), n), false).toBool();
        const bool lf = settings.value(functionKeyName(QLatin1Char('L'), n), false).toBool();
        functionString.append(qMakePair(key, text));
        functionCheckCR.append(qMakePair(key, cr));
        functionCheckLF.append(qMakePair(key, lf));
    }

    delay = settings.value(QStringLiteral("delay"), 5).toInt();

    if (settings.value(QStringLiteral("ShowFunctionDlg"), false).toBool())
        functionSetting();

    hexamode = settings.value(QStringLiteral("isHexamode"), false).toBool();
    ui.actionHexa_Mode->setChecked(hexamode);
}

void SolvaneTerm::writeSettings()
{
    statusMsg(tr("store current settings..."));

    QSettings settings(QStringLiteral("SolvaneTerm"), windtitle);

    settings.setValue(QStringLiteral("pos"), pos());
    settings.setValue(QStringLiteral("size"), size());

    const QFont &font = termView->getFont();
    settings.setValue(QStringLiteral("fontfamily"), font.family());
    settings.setValue(QStringLiteral("fontsize"), font.pointSize());
    settings.setValue(QStringLiteral("fontweight"), font.weight());
    settings.setValue(QStringLiteral("fontstyle"), font.style() != QFont::StyleNormal);

    settings.setValue(QStringLiteral("fontcolor"), termView->getColor().name());
    settings.setValue(QStringLiteral("backcolor"), termView->getBackColor().name());

    settings.setValue(QStringLiteral("viewtoolbar"), ui.action_Toolbar->isChecked());
    settings.setValue(
        QStringLiteral("ShowFunctionDlg"), !functionDlg.isNull() && functionDlg->isVisible());

    for (int n = 0; n < functionString.size(); ++n)
        settings.setValue(functionKeyName(QLatin1Char('F'), n), functionString.at(n).second);
    for (int n = 0; n < functionCheckCR.size(); ++n)
        settings.setValue(functionKeyName(QLatin1Char('C'), n), functionCheckCR.at(n).second);
    for (int n = 0; n < functionCheckLF.size(); ++n)
        settings.setValue(functionKeyName(QLatin1Char('L'), n), functionCheckLF.at(n).second);

    settings.setValue(QStringLiteral("delay"), QString::number(delay));
    settings.setValue(QStringLiteral("isHexamode"), hexamode);
}

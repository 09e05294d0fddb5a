// SPDX-License-Identifier: GPL-3.0-or-later
#include "storedsettings.h"

#include <QSettings>
#include <QtGlobal>

#include <climits>

namespace {

// The settings keep font weights on Qt 5's scale (0-99), which every settings file written so far
// holds; Qt 6 counts them as OpenType does (1-1000). Either way goes to the nearest named weight,
// as Qt 6 itself converts the old scale.
constexpr bool openTypeWeights = QT_VERSION_MAJOR >= 6;
constexpr int namedWeights[][2] = {{0, 100}, {12, 200}, {25, 300}, {50, 400}, {57, 500}, {63, 600},
    {75, 700}, {81, 800}, {87, 900}};

int nearestNamedWeight(int weight, int from, int to)
{
    int nearest = namedWeights[0][to];
    int distance = INT_MAX;
    for (const auto &named : namedWeights) {
        if (qAbs(weight - named[from]) < distance) {
            distance = qAbs(weight - named[from]);
            nearest = named[to];
        }
    }
    return nearest;
}

int toolkitWeight(int storedWeight)
{
    return openTypeWeights ? nearestNamedWeight(storedWeight, 0, 1) : storedWeight;
}

int storedWeight(const QFont &font)
{
    const int weight = font.weight();
    return openTypeWeights ? nearestNamedWeight(weight, 1, 0) : weight;
}

QFont terminalFont(const QString &family, int pointSize, int weight, bool italic)
{
    QFont font;
    font.setFamily(family);
    // Qt 5 takes the weight as an int, Qt 6 as a QFont::Weight.
    font.setWeight(static_cast<decltype(font.weight())>(weight));
    font.setPointSize(pointSize);
    font.setStyle(italic ? QFont::StyleItalic : QFont::StyleNormal);
    return font;
}

} // namespace

QFont StoredSettings::defaultFont()
{
    return terminalFont(QStringLiteral("Courier New"), 10, QFont::Normal, false);
}

// A zero or empty value, which is also what a missing or unreadable one gives, means the default.
StoredSettings StoredSettings::load(const QSettings &settings)
{
    StoredSettings stored;

    const QPoint pos = settings.value(QStringLiteral("pos")).toPoint();
    if (pos.x() != 0 || pos.y() != 0)
        stored.pos = pos;
    const QSize size = settings.value(QStringLiteral("size")).toSize();
    if (size.width() >= 1 && size.height() >= 1)
        stored.size = size;

    stored.toolbarHidden = settings.value(QStringLiteral("viewtoolbar"), false).toBool();

    QString family = settings.value(QStringLiteral("fontfamily")).toString();
    if (family.isEmpty())
        family = QStringLiteral("Courier New");
    int pointSize = settings.value(QStringLiteral("fontsize"), 0).toInt();
    if (pointSize == 0)
        pointSize = 10;
    int weight = settings.value(QStringLiteral("fontweight"), 0).toInt();
    // Outside Qt 5's scale is as light or as heavy as it goes.
    weight = weight == 0 ? int(QFont::Normal) : toolkitWeight(qBound(0, weight, 99));
    const bool italic = settings.value(QStringLiteral("fontstyle"), false).toBool();
    stored.font = terminalFont(family, pointSize, weight, italic);

    // An unparsable text colour leaves the view's colour as it is (white); an unparsable
    // background is taken as it is, and drawn black.
    QString fontColor = settings.value(QStringLiteral("fontcolor")).toString();
    if (fontColor.isEmpty())
        fontColor = QStringLiteral("#FFFFFF");
    stored.color = QColor(fontColor);
    QString backColor = settings.value(QStringLiteral("backcolor")).toString();
    if (backColor.isEmpty())
        backColor = QStringLiteral("#438865");
    stored.backColor = QColor(backColor);

    stored.functionKeys = FunctionKeyTable::read(settings);
    stored.delay = settings.value(QStringLiteral("delay"), 5).toInt();
    stored.functionDialogShown = settings.value(QStringLiteral("ShowFunctionDlg"), false).toBool();
    stored.hexamode = settings.value(QStringLiteral("isHexamode"), false).toBool();
    stored.logFolder = settings.value(QStringLiteral("logfolder")).toString();
    stored.timeStamps = settings.value(QStringLiteral("timestamps"), false).toBool();
    // The dialog's range.
    stored.linePause = qBound(0, settings.value(QStringLiteral("linepause"), 0).toInt(), 10000);
    return stored;
}

void StoredSettings::save(QSettings &settings) const
{
    settings.setValue(QStringLiteral("pos"), pos);
    settings.setValue(QStringLiteral("size"), size);

    settings.setValue(QStringLiteral("fontfamily"), font.family());
    settings.setValue(QStringLiteral("fontsize"), font.pointSize());
    settings.setValue(QStringLiteral("fontweight"), storedWeight(font));
    settings.setValue(QStringLiteral("fontstyle"), font.style() != QFont::StyleNormal);

    settings.setValue(QStringLiteral("fontcolor"), color.name());
    settings.setValue(QStringLiteral("backcolor"), backColor.name());

    settings.setValue(QStringLiteral("viewtoolbar"), toolbarHidden);
    settings.setValue(QStringLiteral("ShowFunctionDlg"), functionDialogShown);

    functionKeys.write(settings);

    // As text, the way the store has always held it.
    settings.setValue(QStringLiteral("delay"), QString::number(delay));
    settings.setValue(QStringLiteral("isHexamode"), hexamode);
    // Written only while in use, so that a store that never had it keeps its old keys.
    if (logFolder.isEmpty())
        settings.remove(QStringLiteral("logfolder"));
    else
        settings.setValue(QStringLiteral("logfolder"), logFolder);
    if (timeStamps)
        settings.setValue(QStringLiteral("timestamps"), true);
    else
        settings.remove(QStringLiteral("timestamps"));
    if (linePause == 0)
        settings.remove(QStringLiteral("linepause"));
    else
        settings.setValue(QStringLiteral("linepause"), linePause);
}

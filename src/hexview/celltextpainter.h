// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CELLTEXTPAINTER_H
#define CELLTEXTPAINTER_H

#include <QColor>
#include <QFont>
#include <QLatin1String>
#include <QString>

class QPainter;

// Draws text laid out in cells of one fixed width, with one drawText call for each run of
// neighbouring cells that share their colours instead of one per cell: shaping and drawing a
// run costs little more than a single cell. Joining runs is exact only in a font that
// advances every character by exactly one cell; runFont() makes such a font out of a
// fixed-pitch one, and fitsCells() tells whether it succeeded. Where it did not, cells are
// drawn one by one.
class CellTextPainter
{
public:
    struct Colours
    {
        QColor text;
        QColor background; // invalid for none
    };

    static QFont runFont(const QFont &font, int cellWidth);
    static bool fitsCells(const QFont &font, int cellWidth);

    CellTextPainter(QPainter *painter, int cellWidth, bool joinRuns);
    ~CellTextPainter();

    // Text of one cell at (x, baseline), each character one cell wide.
    void draw(int x, int baseline, QLatin1String text, const Colours &colours);
    void flush();

private:
    QPainter *_painter;
    int _cellWidth;
    bool _joinRuns;
    QString _run;
    Colours _colours;
    int _x = 0;
    int _baseline = 0;
};

#endif // CELLTEXTPAINTER_H

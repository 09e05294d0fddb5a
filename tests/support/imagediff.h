// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef IMAGEDIFF_H
#define IMAGEDIFF_H

#include <QImage>
#include <QRect>

// The smallest rectangle that holds every pixel in which two images of the same size differ;
// empty when they are the same.
QRect differingPixels(const QImage &a, const QImage &b);

#endif // IMAGEDIFF_H

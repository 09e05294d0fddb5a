// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CAPTUREENCODING_H
#define CAPTUREENCODING_H

#include <QByteArray>
#include <QString>

// The bytes of an HTML capture. The export declares no character set, so it stays in Latin-1,
// which every reader assumes then; a character beyond Latin-1 becomes a numeric character
// reference, which reads the same whatever the character set.
QByteArray htmlCaptureBytes(const QString &html);

#endif // CAPTUREENCODING_H

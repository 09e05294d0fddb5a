// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QString>

// The whole file, or "<unreadable>" when it cannot be read.
QByteArray contents(const QString &path);
// Makes or replaces the file with these bytes; false when that failed.
bool writeFile(const QString &path, const QByteArray &bytes);

#endif // TESTFILES_H

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempconfig.h"

#include <QDir>

namespace {

void restore(const char *name, bool wasSet, const QByteArray &value)
{
    if (wasSet)
        qputenv(name, value);
    else
        qunsetenv(name);
}

} // namespace

TempConfig::TempConfig()
    : savedConfigHome(qgetenv("XDG_CONFIG_HOME"))
    , savedHome(qgetenv("HOME"))
    , hadConfigHome(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
    , hadHome(qEnvironmentVariableIsSet("HOME"))
{
    if (!directory.isValid())
        return;
    QDir(directory.path()).mkpath(QStringLiteral("config"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configPath()));
    qputenv("HOME", QFile::encodeName(directory.path()));
}

TempConfig::~TempConfig()
{
    restore("XDG_CONFIG_HOME", hadConfigHome, savedConfigHome);
    restore("HOME", hadHome, savedHome);
}

QString TempConfig::configPath() const
{
    return directory.filePath(QStringLiteral("config"));
}

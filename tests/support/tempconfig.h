// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Keeps tests away from the developer's own settings: points XDG_CONFIG_HOME and HOME at a
// temporary directory for as long as the object lives, and puts the old values back after.
//
// QSettings works out the user's configuration directory once, at its first use in the process,
// and keeps it. Make one TempConfig before anything constructs a QSettings (the main window does)
// and keep it for the whole run: in a custom main, or as a member created in initTestCase().
class TempConfig
{
    Q_DISABLE_COPY(TempConfig)

public:
    TempConfig();
    ~TempConfig();

    bool isValid() const { return directory.isValid(); }
    // The directory that now stands for XDG_CONFIG_HOME.
    QString configPath() const;

private:
    QTemporaryDir directory;
    QByteArray savedConfigHome;
    QByteArray savedHome;
    bool hadConfigHome;
    bool hadHome;
};

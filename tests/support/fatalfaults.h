// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FATALFAULTS_H
#define FATALFAULTS_H

#include <QtGlobal>

#include <sys/resource.h>

// Gives SIGXFSZ and SIGPIPE their default action, which ends the process, and lowers the
// file-size limit when asked, for as long as it lives, as in a shell where `ulimit -f` was
// lowered: code under test that let either signal through would end the test.
class FatalFaults
{
    Q_DISABLE_COPY(FatalFaults)

public:
    // RLIM_INFINITY leaves the limit as it is.
    explicit FatalFaults(rlim_t fileSizeLimit = RLIM_INFINITY);
    ~FatalFaults();

    bool isActive() const;
    static bool hasDefaultAction(int signalNumber);

private:
    rlimit previous {};
    void (*previousFileSize)(int) = nullptr;
    void (*previousPipe)(int) = nullptr;
    bool limited = false;
};

#endif // FATALFAULTS_H

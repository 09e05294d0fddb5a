// SPDX-License-Identifier: GPL-3.0-or-later
#include "fatalfaults.h"

#include <algorithm>
#include <csignal>

FatalFaults::FatalFaults(rlim_t fileSizeLimit)
{
    previousFileSize = std::signal(SIGXFSZ, SIG_DFL);
    previousPipe = std::signal(SIGPIPE, SIG_DFL);
    limited = getrlimit(RLIMIT_FSIZE, &previous) == 0;
    rlimit lowered = previous;
    lowered.rlim_cur = std::min(fileSizeLimit, previous.rlim_cur);
    limited = limited && setrlimit(RLIMIT_FSIZE, &lowered) == 0;
}

FatalFaults::~FatalFaults()
{
    if (limited)
        setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousFileSize);
    std::signal(SIGPIPE, previousPipe);
}

bool FatalFaults::isActive() const
{
    return limited && previousFileSize != SIG_ERR && previousPipe != SIG_ERR;
}

bool FatalFaults::hasDefaultAction(int signalNumber)
{
    struct sigaction current = {};
    return sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

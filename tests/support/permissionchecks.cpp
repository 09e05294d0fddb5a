// SPDX-License-Identifier: GPL-3.0-or-later
#include "permissionchecks.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace {

const int bypasses[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};

// Raw system calls: they act on the calling thread only, which is what is wanted here.
bool capget(__user_cap_header_struct *header, __user_cap_data_struct *data)
{
    return syscall(SYS_capget, header, data) == 0;
}

bool capset(__user_cap_header_struct *header, const __user_cap_data_struct *data)
{
    return syscall(SYS_capset, header, data) == 0;
}

} // namespace

PermissionChecks::PermissionChecks()
{
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;
    if (!capget(&header, saved))
        return;
    __user_cap_data_struct lowered[_LINUX_CAPABILITY_U32S_3];
    std::memcpy(lowered, saved, sizeof lowered);
    for (const int capability : bypasses)
        lowered[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
    active = capset(&header, lowered);
}

PermissionChecks::~PermissionChecks()
{
    if (active)
        capset(&header, saved);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PERMISSIONCHECKS_H
#define PERMISSIONCHECKS_H

#include <QtGlobal>

#include <linux/capability.h>

// Makes the file permission checks apply to the calling thread for as long as it lives, even
// when the tests run as root: the capabilities that bypass them (DAC override, read-search,
// owner override) are taken out of the thread's effective set, and put back afterwards. Without
// them root is refused what its file modes refuse, as any user is. Only this thread is
// affected, so whatever it must be refused has to happen on it, as the window's work does.
class PermissionChecks
{
    Q_DISABLE_COPY(PermissionChecks)

public:
    PermissionChecks();
    ~PermissionChecks();

    // False when the capabilities could not be read or lowered.
    bool isActive() const { return active; }

private:
    __user_cap_header_struct header {};
    __user_cap_data_struct saved[_LINUX_CAPABILITY_U32S_3] {};
    bool active = false;
};

#endif // PERMISSIONCHECKS_H

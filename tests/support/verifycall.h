// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef VERIFYCALL_H
#define VERIFYCALL_H

#include <QTest>

// Runs a helper that checks with QVERIFY or QCOMPARE. A failed check returns from the helper
// only; this ends the calling test as well.
#define VERIFY_CALL(call)                                                                          \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

#endif // VERIFYCALL_H

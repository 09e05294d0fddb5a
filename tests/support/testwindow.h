// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TESTWINDOW_H
#define TESTWINDOW_H

#include "simulateddevice.h"
#include "solvaneterm.h"
#include "tempconfig.h"

#include <QApplication>
#include <QTest>

#include <memory>
#include <type_traits>

// A main window as the tests drive it: shown and, unless asked otherwise, with its own
// once-a-second device check stopped, so that only the test's ticks run the check.
std::unique_ptr<SolvaneTerm> makeTestWindow(bool stopTimer = true);

// One tick of the window's device check; true when the window has this device open after it.
bool openedWithOneCheck(SolvaneTerm &window, const SimulatedDevice &device);

// The whole run of a test that builds windows. The temporary configuration comes before the
// application and any settings access, which fix the configuration directory for the whole
// process, and the device list exists, empty, before a window's first look for devices. A test
// object that takes the configuration is given it.
template<typename Test> int runWindowTest(int argc, char **argv)
{
    TempConfig config;
    if (!config.isValid())
        qFatal("cannot make a temporary configuration directory");
    SimulatedDevice::listFilePath();
    QApplication app(argc, argv);
    if constexpr (std::is_constructible_v<Test, const TempConfig &>) {
        Test test(config);
        return QTest::qExec(&test, argc, argv);
    } else {
        Test test;
        return QTest::qExec(&test, argc, argv);
    }
}

#define SOLVANETERM_WINDOW_TEST_MAIN(Test)                                                         \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        return runWindowTest<Test>(argc, argv);                                                    \
    }

#endif // TESTWINDOW_H

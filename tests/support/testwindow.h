#ifndef TESTWINDOW_H
#define TESTWINDOW_H

#include "solvaneterm.h"

#include <memory>

class SimulatedDevice;

// A main window as the tests drive it: shown and, unless asked otherwise, with its own
// once-a-second device check stopped, so that only the test's ticks run the check.
std::unique_ptr<SolvaneTerm> makeTestWindow(bool stopTimer = true);

// One tick of the window's device check; true when the window has this device open after it.
bool openedWithOneCheck(SolvaneTerm &window, const SimulatedDevice &device);

#endif // TESTWINDOW_H

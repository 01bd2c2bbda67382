// Statuses of the simulated link and its Russian error texts. sim/README.md lists the same
// table for the people who write configuration files; keep the two alike.
#pragma once

#include <cstdint>
#include <string>

enum TSimStatus : int32_t {
  SimOk = 0,
  SimNotConnected = 1,      // the unit is unplugged, or went away during a call
  SimNotInitialized = 2,    // Initialize has not succeeded since the last Reset/Close
  SimTimeout = 3,           // a wait ran out of time
  SimBadArgument = 4,       // a call with arguments the link cannot take
  SimUnexpectedAnswer = 5,  // the pending answer is of another kind than the wait expects
  SimUnitError = 6,         // the unit refused the request; the error text says why
  SimStorageError = 7,      // the unit could not read or write its storage
  SimShutDown = 8,          // a call after Shutdown
  SimConfigError = 9,       // the configuration file has an error; the text names it
  SimInternalError = 10,    // the component itself failed (out of memory, say)
};

// The text GetErrorText gives for a status when nothing more specific is known.
std::wstring SimStatusText(int32_t status);

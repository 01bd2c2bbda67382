// What the DLL's entry points share: the in-process server's plumbing (its module handle and
// count) and how its one class's objects are made.
#pragma once

#include "common/InprocServer.h"

struct TSimConfig;

// Creates a ComPort object (the class factory's one product).
HRESULT CreateComPort(REFIID iid, void** object);
// The ComPort that answers from the recording config.Replay names.
HRESULT CreateReplayPort(const TSimConfig& config, REFIID iid, void** object);

#include "UThreadComPort.h"

// Command 3: the update transfer. Built in its own step.
void TThreadComPort::UpdateComponents() {}

#include "UThreadComPort.h"

// Command 1: the component list. Built in its own step.
void TThreadComPort::ReadComponents() {}

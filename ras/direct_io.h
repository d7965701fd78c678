// The DirectIO method of the service as far as the reliability records serve it: commands
// 110 to 115 on an open service go to CVmRAS::ExecuteCommand, every other command is refused.
#pragma once

#include <windows.h>

#include <string>

#include "ras/vm_ras.h"

// Returns the method's result: 101 when the service is not open; for 110 to 115 the result
// of ExecuteCommand, with *resultCodeExtended (when given) set to the records' extended code;
// 106 for any other command, without touching the records. text is the DirectIO string
// argument; binaryConversion the service's BinaryConversion property.
LONG DirectIOFrame(CVmRAS& ras, bool opened, LONG command, LONG& data, std::string* text,
                   LONG binaryConversion, LONG* resultCodeExtended);

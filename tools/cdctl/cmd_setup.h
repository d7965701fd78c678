// "cdctl setup add|list|show|remove": the OPOS registry entry of a cash drawer. Main thread.
#pragma once

// argv[0] is "setup". Returns 0 when done, 2 on bad input (unknown setting, bad name, bad
// usage), 1 when the registry cannot be read or written or the device does not exist.
int RunSetupCommand(int argc, char** argv);

// "cdctl sim PORT COMMAND": shows or changes a simulated drawer controller of the port library.
// Runs on the tool's main thread only.
#pragma once

// argv[0] is the subcommand name ("sim"). Returns 0 when done, 2 on a usage error, 1 when the
// controller's state cannot be reached or an injection finds no port that has it open.
int RunSimCommand(int argc, char** argv);

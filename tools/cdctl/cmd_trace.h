// "cdctl trace FILE": prints a channel file written by XTRLOG32.DLL, one line per record.
// Runs on the tool's main thread only.
#pragma once

// argv[0] is the subcommand name ("trace"); argv[1..argc-1] are its arguments.
// Returns 0 when every record was printed, 2 on a usage error, 1 when the file cannot be read
// or is not a valid trace file (the whole records of a truncated file are printed first).
int RunTraceCommand(int argc, char** argv);

// "cdctl stats NAME [REQUEST]": opens the device on a session of its own, retrieves its
// statistics and prints the document. Main thread only.
#pragma once

// argv[0] is "stats". Returns 0, the OPOS result of a failed open or retrieval (see
// ExitCodeForResult), 1 when the object cannot be reached, 2 on a usage error.
int RunStatsCommand(int argc, char** argv);

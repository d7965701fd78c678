// The commands of cdctl, one file each; main.cpp dispatches to them. argv[0] is the command's
// name. Each returns its exit status: 0 done, 2 bad usage, otherwise as its --help says
// (session, stats and ras: the first unexpected OPOS result, or 1 when the object could not be
// reached; setup: 1 registry failure, 3 refused; sim and trace: 1 state or file not usable).
// Main thread only.
#pragma once

int RunSetupCommand(int argc, char** argv);
int RunSessionCommand(int argc, char** argv);
int RunStatsCommand(int argc, char** argv);
int RunRasCommand(int argc, char** argv);
int RunSimCommand(int argc, char** argv);
int RunTraceCommand(int argc, char** argv);

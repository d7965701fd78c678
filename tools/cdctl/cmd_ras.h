// "cdctl ras NAME level|counter|save|load ...": the reliability records of a device through
// DirectIO 110 to 115, on a session of its own, with readable output. Main thread only.
#pragma once

// argv[0] is "ras". Returns 0, the OPOS result of a refused command (see ExitCodeForResult),
// 1 when the object cannot be reached, 2 on a usage error.
int RunRasCommand(int argc, char** argv);

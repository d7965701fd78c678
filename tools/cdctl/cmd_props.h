// "cdctl props": creates the service object by its ProgID and prints every property.
#pragma once

// argv[0] is "props". Returns 0, 2 on a usage error, 1 when the object cannot be created.
int RunPropsCommand(int argc, char** argv);

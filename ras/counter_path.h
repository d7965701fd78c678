// Where the counter file lives: the rules that turn a configured name ("StatFileName" or the
// name given with DirectIO 112) into the full path kept in the shared block. Pure C++; the
// caller looks up the folder that holds the default file and relative names.
#pragma once

#include <string>

// True for a null or empty name, or one made only of ':' and '\' characters: such a name
// selects the default file "RAS" + device name + ".LOG".
bool CounterNameIsNone(const char* name);

// The counter file path for a configured name (at most 271 bytes):
//  - no name (see CounterNameIsNone): "RAS" + deviceName + ".LOG" in baseFolder;
//  - a name that starts with '\' or with a letter and ':' is a full path, used unchanged;
//  - any other name is placed in baseFolder.
// baseFolder is a folder path, with or without a trailing '\'; when it is empty, relative
// names are used as they are (relative to the current folder). An empty result means there
// is no path.
std::string ResolveCounterFilePath(const char* name, const std::string& deviceName,
                                   const std::string& baseFolder);

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

// The folder for the default counter file and relative names, without a trailing '\':
// "Bramwick" in the common application data folder (commonAppData, as the system names it;
// the 32- and 64-bit builds meet there, and a normal user may write there), or, when that is
// not known, the folder of the module file modulePath; empty when neither is known.
std::string CounterDataFolderOf(const std::string& commonAppData, const std::string& modulePath);

// Whether path names something inside folder (folder without a trailing '\'; ASCII letters
// compared without regard to case, as the file system does).
bool IsInFolder(const std::string& path, const std::string& folder);

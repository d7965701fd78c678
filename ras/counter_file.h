// Reading, writing and probing the counter file. Results are OPOS codes: 0, OPOS_E_ILLEGAL
// (106) for an empty file, OPOS_E_NOEXIST (109) when the file or its folder is missing or the
// device fails, OPOS_E_FAILURE (111) for anything else (see FileErrorToResult).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Reads the whole file, opened without text translation while others may not write it.
LONG ReadCounterFile(const std::string& path, std::string* contents);

// Reads at most limit + 1 bytes of a file to see what it is, opened while everyone else may go
// on reading, writing or deleting it. 109 when there is no such file.
LONG LookAtFile(const std::string& path, size_t limit, std::string* contents);

// Replaces the file's contents with text so that the file is never seen torn or empty: the
// text goes to a temporary file with a short name in the same folder (CounterTempName), is
// flushed to the disk, and only then takes the old file's place in one atomic rename (written
// through to the disk). When a reader holds the old file without letting it be deleted, the
// rename is refused; the text is then written over the old file in place and flushed. When any
// step fails the old file is left as it was and the temporary file is removed. Paths of any
// length up to the block's 271 bytes work.
LONG WriteCounterFile(const std::string& path, const std::string& text);

// Whether the file can be used: it exists and can be read, or it can be created (a file
// created only for this check is deleted again).
LONG CheckCounterFile(const std::string& path);

// Keeps the file under the first free SetAsideName of it; *aside receives that name.
LONG SetCounterFileAside(const std::string& path, std::string* aside);

// The folder for the default counter file and relative names (see CounterDataFolderOf), for
// the module file modulePath, or for the loaded module of that name (as GetModuleHandleA
// finds it).
std::string CounterDataFolderFor(const std::string& modulePath);
std::string CounterDataFolder(const char* moduleName);

// Makes dataFolder, and the folder above it, where they do not exist yet, when path lies in
// dataFolder. Nothing makes the folder beforehand: this runs before a counter file there is
// first written (or probed by making it).
void PrepareCounterFolder(const std::string& path, const std::string& dataFolder);

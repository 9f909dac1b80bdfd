// What a host program needs from the system to load the modules itself and to
// say which files it got: the analyzer's own loading (a bare name through
// LoadLibraryW, win32.h) is not enough for a host that takes module paths from
// its user, checks that the analyzer's later load by name finds the module it
// loaded, and prints where the modules came from. The handles given here work
// with GetProcAddress and FreeLibrary from win32.h.
//
// Implemented in posix/hostloader.cpp and windows/hostloader.cpp.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "orvplatform/win32.h"

namespace orvplatform {

// The platform's file name of a module that code names by its Windows file
// name: "NAME.dll" is "libNAME.so" on POSIX and stays as it is on Windows.
std::string moduleFileName(const std::string& windowsName);

// The folder of the running program; empty when the system cannot tell.
std::filesystem::path executableDirectory();

// Loads the module in file, made absolute so that the loader takes it as a
// file and does not search for it. On failure: null, and error says why in
// the loader's words.
win32::HMODULE loadModuleFile(const std::filesystem::path& file, std::string& error);

// Loads a module by its bare platform file name with the loader's search, as
// LoadLibraryW with that name would from the program itself. On failure:
// null, and error says why.
win32::HMODULE loadModuleByName(const std::string& fileName, std::string& error);

// The module already in the process that a load by the bare file name would
// hand back, or null. Loads nothing and takes no reference.
win32::HMODULE moduleAnsweringName(const std::string& fileName);

// The full path of the file the loader mapped for module, symbolic links
// resolved where the system has them; "?" when the loader cannot tell.
std::string moduleFilePath(win32::HMODULE module);

// The file of the module (program or library) whose code or data holds
// address; empty when the loader cannot tell. A library finds what it was
// installed with from there, wherever the program that loaded it lies.
std::filesystem::path moduleFileContaining(const void* address);

// How the loader resolves a bare module name, which a host that loads a
// module on behalf of another module's later load by name has to follow.
enum class BareNameRule {
    // POSIX (glibc): a module already in the process answers when its soname
    // is the name; otherwise LD_LIBRARY_PATH, the calling module's run path
    // and the system's folders are searched.
    Soname,
    // Windows: a module already in the process answers when its file name is
    // the name, whichever folder it came from; otherwise the program's
    // folder, the system's folders, the current folder and PATH are searched.
    FileName,
};
BareNameRule bareNameRule();

// The folders, in order, that LoadLibraryW searches for a bare name when it is
// called from the module in caller, before the system's own: POSIX the
// folders of LD_LIBRARY_PATH and then the caller's folder (its run path
// $ORIGIN); Windows the program's folder.
std::vector<std::filesystem::path> bareNameFolders(const std::filesystem::path& caller);

// Whether stream is a terminal (a console on Windows).
bool isTerminal(std::FILE* stream);

// Makes stream pass bytes through unchanged; Windows' C runtime otherwise
// turns "\n" into "\r\n" on output and stops reading at a 0x1A byte.
void setBinaryMode(std::FILE* stream);

}  // namespace orvplatform

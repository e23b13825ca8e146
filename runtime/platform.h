// The platform layer: every operating-system call the link makes goes through here, so that a
// port to another system replaces one implementation file and nothing else.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

namespace qlink::platform {

// Path separator of this platform.
inline constexpr char kPathSeparator = '/';

// The number of the last failed system call (errno on POSIX).
int LastErrorCode();

// The system's text for an error number, e.g. "No such file or directory".
std::string ErrorText(int code);

bool FileExists(const std::string& path);

// The process's current directory, ending without a separator; empty when it cannot be read.
std::string CurrentDirectory();

// The directory of the running executable, ending in a path separator; empty when unknown.
std::string ExecutableDirectory();

// Installs a console interrupt handler that only adds 1 to `counter` and lets the program go on.
// Other console events keep their default handling. Returns false when the handler could not
// be installed.
bool InstallInterruptHandler(std::atomic<int>* counter);

// Dynamic libraries.
using LibraryHandle = void*;

// The platform's file name of a library of the modeling system with base name `base`.
std::string SharedLibraryFileName(std::string_view base);

// Loads a shared library by path or bare file name. On failure returns null and sets `error` to
// the system's text.
LibraryHandle OpenLibrary(const std::string& path, std::string* error);

// Looks up an exported symbol; null when absent.
void* FindSymbol(LibraryHandle handle, const char* name);

// Unloads a library loaded by OpenLibrary.
void CloseLibrary(LibraryHandle handle);

// Looks up an exported symbol like FindSymbol; when absent, sets `error` to the system's reason.
void* FindSymbol(LibraryHandle handle, const char* name, std::string* error);

// Keeps the system from showing error dialogs while libraries are loaded (nothing to do on
// POSIX systems, which show none).
void SuppressErrorDialogs();

}  // namespace qlink::platform

#pragma once
// Temporary files that must not outlive an interrupted process. A file written beside its
// target is removed when the write is abandoned, but a process ended by Ctrl-C (SIGINT),
// SIGTERM or SIGHUP runs no destructors: every interrupted run left one more "NAME~N"
// beside its target. While any file is registered here, those signals first remove every
// registered file (and empty every registered folder of the files in it, then the folder),
// then do what they did before: call the handler that was installed, or end the process
// as the signal does by default. Signals that were ignored stay ignored.
//
// The handler is installed only while something is registered, and put back as it was
// when the last registration goes, so that a module holding its own copy of this code
// can be unloaded. A process killed outright (SIGKILL, power loss) still leaves its files.

#include <string>

namespace brix::platform {

// A file written to replace its target is first written beside it as "<target>~N": N is
// the first number from 1 whose name an exclusive create takes, and after
// kMostTemporaryNames names in use the write gives up.
constexpr unsigned int kMostTemporaryNames = 1000;
std::string TemporaryName(const char* target, unsigned int number);

// Registers a path; the number returned is given back to ForgetTemporaryFile, or -1 when
// every slot is taken (the file is then not removed on a signal, and nothing else
// changes). A folder's files are removed too, then the folder.
int RegisterTemporaryFile(const char* path, bool isFolder = false);
// Takes a registration back: the file was renamed over its target or removed.
void ForgetTemporaryFile(int registration);

}  // namespace brix::platform

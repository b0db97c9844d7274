#pragma once
// Many files through one command: the list of sources a command line names (files,
// folders, ZIP archives), the names their outputs get in one folder, and the runner that
// gives each file a child process of its own, so that a file that crashes or hangs the
// program costs that file alone.

#include <functional>
#include <string>
#include <vector>

namespace tessaline {

struct BatchSource {
    std::string path;      // as a single command takes it: a file, or "pack.zip/rigs/hero.tsl"
    std::string relative;  // its path under the output folder, before the extension changes
};

// The files that the arguments name: a folder gives every rig and scene file below it
// (by extension, and files without one, which Assimp may know by content; in name order), a ZIP archive every rig file
// inside it, anything else itself. False with the reason when a folder or an archive cannot be listed. Notes (what a
// folder or archive held that is left out) are appended to notes.
bool ExpandSources(const std::vector<std::string>& arguments, std::vector<BatchSource>& sources,
                   std::vector<std::string>& notes, std::string& error);

// "NAME.EXT" for each source under folder (NAME.SRCEXT.EXT with keepExtension). False with
// a message naming the sources when two of them would get the same target (compared
// without regard to case, as some file systems do).
bool NameTargets(const std::vector<BatchSource>& sources, const std::string& folder, const std::string& extension,
                 bool keepExtension, std::vector<std::string>& targets, std::string& error);

// The rig and scene file extensions a folder is searched for.
bool IsConvertibleFile(const std::string& path);

struct ChildResult {
    // Interrupted: the batch was interrupted (SIGINT, SIGTERM, SIGHUP) before the child
    // ended by itself, or before it started.
    enum class End { Exited, Signalled, TimedOut, NotStarted, Interrupted };
    End end = End::NotStarted;
    int code = 0;  // the exit status when it exited, the signal when signalled
    double seconds = 0;
    std::string out, err;  // what it wrote on standard output and standard error
};

// Runs "PROGRAM ARGUMENTS" for every entry of arguments (the program is this program,
// /proc/self/exe), at most jobs at a time, each stopped after timeout seconds (0: no
// limit; a child past it is asked to end with SIGTERM, and killed two seconds later).
// finished is called for each as it ends, in the order they end; tick is called
// every few milliseconds with the count finished and the count running. Standard output
// and error of the children go to files in workFolder, read back when they end.
void RunChildren(const std::vector<std::vector<std::string>>& arguments, int jobs, double timeout,
                 const std::string& workFolder, const std::function<void(size_t, ChildResult&)>& finished,
                 const std::function<void(size_t, size_t)>& tick);

// A new empty folder under the system's temporary folder, removed with all it holds when
// this goes out of scope.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    // Empty when the folder could not be made.
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The signal that interrupted the last RunChildren, 0 when none did.
int BatchInterruption();

// The signal's name ("SIGSEGV"), or its number.
std::string SignalName(int signal);

}  // namespace tessaline

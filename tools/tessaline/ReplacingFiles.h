#pragma once
// Files written the safe way: every file goes to a new temporary file beside its
// target, every write is checked, and only when all of them are complete are the
// temporary files renamed over their targets, all or nothing: a rename that fails puts
// back every target already replaced. Until then the targets are untouched; an abandoned
// set removes its temporary files. A target that is a symbolic link is written where the
// link points, and a replaced file keeps its permissions. A temporary file is removed
// too when the process is interrupted by a signal (brix/Platform/TemporaryFiles.h).

#include <cstdio>
#include <string>
#include <vector>

namespace tessaline {

class ReplacingFiles {
public:
    ReplacingFiles() = default;
    ReplacingFiles(const ReplacingFiles&) = delete;
    ReplacingFiles& operator=(const ReplacingFiles&) = delete;
    // Removes the temporary files of a set that was not committed.
    ~ReplacingFiles();

    // A new temporary file for target ("<target>~N", the first free N), open for
    // writing; nullptr with the reason recorded when it cannot be made.
    FILE* Open(const std::string& target);
    // Records a failed write on file (errno is the reason).
    void WriteFailed(FILE* file);
    // Flushes, syncs and closes file, recording any failure.
    void Close(FILE* file);
    bool Opened(const std::string& target) const;
    // The temporary file being written for target, empty when there is none: a file can
    // be mended there, once closed, before it replaces its target.
    std::string TemporaryOf(const std::string& target) const;
    // Closes every file still open.
    void CloseAll();
    // Takes a complete file that something else wrote (an exporter that writes around
    // the IO system) as the new content of target; it must be on target's file system.
    void Adopt(const std::string& target, const std::string& written);
    // The first failure as a message; empty while none.
    const std::string& Failure() const { return m_failure; }

    // Renames every temporary file over its target when every file was opened,
    // written and closed without a failure; otherwise removes them all. False with a
    // message naming the file and the system's reason.
    bool Commit(std::string& error);
    // Removes every temporary file; the targets stay as they were.
    void Abandon();

private:
    struct Entry {
        std::string target;
        std::string temporary;
        FILE* file = nullptr;
        std::string backup;     // the old target while the set is being committed
        int mode = -1;          // the old target's permissions, given to the new file at commit
        int registration = -1;  // the temporary file, removed on an interrupting signal
    };
    void Fail(const std::string& target, int error);
    void PutBack(size_t replaced);

    std::vector<Entry> m_entries;
    std::string m_failure;  // the first failure, empty while none
};

}  // namespace tessaline

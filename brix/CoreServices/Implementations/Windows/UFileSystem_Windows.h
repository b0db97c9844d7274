#pragma once
// The plug-in's file system, written against the Windows kernel's file calls (supplied
// over POSIX by Platform/WindowsKernel on other systems). Reading a path that does not
// open as a file falls back to an entry of a ZIP archive on the path (see
// OpenArchivePath).

#include <cstdint>

#include "CoreServices/Interfaces/IFileSystem.h"

namespace brix::platform_windows {

class UFileSystem_Windows : public IFileSystem {
public:
    // Sets the initialised flag and fills the working-directory cache.
    void Init() override;
    void Shutdown() override;
    // Opens for reading, sharing the file with other readers only: a file that a writer
    // holds open does not open. A pipe or a device is refused.
    InputStreamHandle CreateFileReader(const UString& path) override;
    // Opens for writing without sharing: created anew, or opened (created when missing)
    // and positioned at its end when appending.
    OutputStreamHandle CreateFileWriter(const UString& path, bool ignored, bool append) override;
    // The size; 0 when the file does not open.
    uint64_t GetFileSize(const UString& path) override;
    bool ExistsFile(const UString& path) override;
    bool Delete(const UString& path) override;
    // CopyFileExA, with the fraction copied passed to progress as it goes.
    bool Copy(const UString& destination, const UString& source, bool overwrite, ProgressCallback progress) override;
    // MoveFileExA with write-through; when that fails (another volume, for one), a copy
    // followed by Delete of the source, undone when the source cannot be deleted.
    bool Move(const UString& destination, const UString& source, bool overwrite, ProgressCallback progress) override;
    bool MakeDirectory(const UString& path) override;
    bool DeleteDirectory(const UString& path) override;
    // Changes the process's current directory; the cache becomes path + "/".
    bool SetWorkingDirectory(const UString& path) override;
    // The cached working directory, ending in "/"; queried on first use. Throws
    // "current path longer than 4096 bytes" when it does not fit 4095 characters.
    UString GetWorkingDirectory() override;
    // Writes "<path>~N" (the first free N) and moves it over path on Commit.
    OutputStreamHandle CreateReplacingFileWriter(const UString& path) override;
    // The system's text for the error of the last failed open; for a directory, and for
    // a pipe or a device refused by CreateFileReader, the file system's own.
    UString GetLastFailureReason() const override;

private:
    bool m_initialised = false;
    UString m_workingDirectory;
    UString m_lastFailure;
};

}  // namespace brix::platform_windows

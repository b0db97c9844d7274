#pragma once
// The file system of the bootstrap core services, on the standard C library's buffered
// files and its directory calls. Reading a path that does not open as a file falls back
// to an entry of a ZIP archive on the path (see OpenArchivePath).

#include "CoreServices/Interfaces/IFileSystem.h"

namespace brix {

class UFileSystem_ANSI : public IFileSystem {
public:
    // Sets the initialised flag and fills the working-directory cache.
    void Init() override;
    void Shutdown() override;
    // Reads files only: a pipe or a device is refused.
    InputStreamHandle CreateFileReader(const UString& path) override;
    OutputStreamHandle CreateFileWriter(const UString& path, bool ignored, bool append) override;
    uint64_t GetFileSize(const UString& path) override;
    bool ExistsFile(const UString& path) override;
    bool Delete(const UString& path) override;
    // Copies in chunks of at most 1024 bytes, reporting progress after each; fails on an
    // existing destination unless overwrite is set.
    bool Copy(const UString& destination, const UString& source, bool overwrite, ProgressCallback progress) override;
    // Copies, then deletes the source through Delete; when that fails the copy is
    // deleted again and the move fails.
    bool Move(const UString& destination, const UString& source, bool overwrite, ProgressCallback progress) override;
    bool MakeDirectory(const UString& path) override;
    bool DeleteDirectory(const UString& path) override;
    // Changes the process's current directory; the cache becomes path + "/".
    bool SetWorkingDirectory(const UString& path) override;
    // The cached working directory, ending in "/"; queried on first use. Throws
    // "current path longer than 4096 bytes" when the query fails.
    UString GetWorkingDirectory() override;
    // Writes "<path>~N" (the first free N) and renames it over path on Commit.
    OutputStreamHandle CreateReplacingFileWriter(const UString& path) override;
    // strerror of the errno of the last failed open; kDirectoryReason for a directory,
    // kNotAFileReason for a pipe or a device refused by CreateFileReader.
    UString GetLastFailureReason() const override;

private:
    bool m_initialised = false;
    UString m_workingDirectory;
    UString m_lastFailure;
};

}  // namespace brix

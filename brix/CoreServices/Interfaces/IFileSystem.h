#pragma once
// The core services' gateway to files and directories.

#include <cstdint>

#include "Core/UArray.h"
#include "Core/UBaseString.h"
#include "CoreServices/Interfaces/IStream.h"

namespace brix {

// The file systems' reason for refusing to read a path that opens as a pipe, a socket
// or a device rather than a file: such a stream has no size to read it by, and may
// never end.
inline constexpr const char kNotAFileReason[] = "It is a pipe or a device, not a file; only files are read.";
// The file systems' reason for a directory given as a file (Windows itself only says
// that access is denied).
inline constexpr const char kDirectoryReason[] = "It is a directory, not a file.";

// Called with the fraction done, from 0.0 to 1.0.
using ProgressCallback = void (*)(float fraction);

class IFileSystem {
public:
    virtual ~IFileSystem() noexcept(false) = default;
    virtual void Init() = 0;
    virtual void Shutdown() = 0;
    // Opens a file, or an entry of a ZIP archive on the path; empty on failure. A pipe or
    // a device is refused (see kNotAFileReason).
    virtual InputStreamHandle CreateFileReader(const UString& path) = 0;
    virtual OutputStreamHandle CreateFileWriter(const UString& path, bool ignored, bool append) = 0;
    virtual uint64_t GetFileSize(const UString& path) = 0;
    virtual bool ExistsFile(const UString& path) = 0;
    virtual bool Delete(const UString& path) = 0;
    virtual bool Copy(const UString& destination, const UString& source, bool overwrite, ProgressCallback progress) = 0;
    virtual bool Move(const UString& destination, const UString& source, bool overwrite, ProgressCallback progress) = 0;
    virtual bool MakeDirectory(const UString& path) = 0;
    virtual bool DeleteDirectory(const UString& path) = 0;
    virtual bool SetWorkingDirectory(const UString& path) = 0;
    virtual UString GetWorkingDirectory() = 0;
    // Writes a whole file safely: the bytes go to a new temporary file in the folder of
    // path, and the stream's Commit renames it over path once every write succeeded. A
    // stream closed or destroyed without a successful Commit removes the temporary file
    // and leaves path as it was. Empty when the temporary file cannot be made.
    virtual OutputStreamHandle CreateReplacingFileWriter(const UString& path) = 0;
    // The operating system's words for why the last CreateFileReader,
    // CreateFileWriter or CreateReplacingFileWriter call of this file system failed.
    virtual UString GetLastFailureReason() const = 0;
};

}  // namespace brix

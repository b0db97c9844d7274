#pragma once

#include "CoreServices/Interfaces/IFileSystem.h"

namespace brix {

// Not yet backed by files: every operation fails (empty handles, false, size 0) until
// the file work fills it in.
class UFileSystem_ANSI : public IFileSystem {
public:
    void Init() override;
    void Shutdown() override;
    InputStreamHandle CreateFileReader(const UString& path) override;
    OutputStreamHandle CreateFileWriter(const UString& path, bool ignored, bool append) override;
    uint64_t GetFileSize(const UString& path) override;
    bool ExistsFile(const UString& path) override;
    bool Delete(const UString& path) override;
    bool Copy(const UString& destination, const UString& source, bool overwrite, ProgressCallback progress) override;
    bool Move(const UString& destination, const UString& source, bool overwrite, ProgressCallback progress) override;
    bool MakeDirectory(const UString& path) override;
    bool DeleteDirectory(const UString& path) override;
    bool SetWorkingDirectory(const UString& path) override;
    UString GetWorkingDirectory() override;
    UArray<UString> FindFiles(const UString& pattern) override;

private:
    bool m_initialised = false;
    UString m_workingDirectory;
};

}  // namespace brix

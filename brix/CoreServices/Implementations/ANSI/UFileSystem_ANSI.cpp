#include "CoreServices/Implementations/ANSI/UFileSystem_ANSI.h"

namespace brix {

void UFileSystem_ANSI::Init() { m_initialised = true; }
void UFileSystem_ANSI::Shutdown() { m_initialised = false; }
InputStreamHandle UFileSystem_ANSI::CreateFileReader(const UString&) { return nullptr; }
OutputStreamHandle UFileSystem_ANSI::CreateFileWriter(const UString&, bool, bool) { return nullptr; }
uint64_t UFileSystem_ANSI::GetFileSize(const UString&) { return 0; }
bool UFileSystem_ANSI::ExistsFile(const UString&) { return false; }
bool UFileSystem_ANSI::Delete(const UString&) { return false; }
bool UFileSystem_ANSI::Copy(const UString&, const UString&, bool, ProgressCallback) { return false; }
bool UFileSystem_ANSI::Move(const UString&, const UString&, bool, ProgressCallback) { return false; }
bool UFileSystem_ANSI::MakeDirectory(const UString&) { return false; }
bool UFileSystem_ANSI::DeleteDirectory(const UString&) { return false; }
bool UFileSystem_ANSI::SetWorkingDirectory(const UString&) { return false; }
UString UFileSystem_ANSI::GetWorkingDirectory() { return m_workingDirectory; }
UArray<UString> UFileSystem_ANSI::FindFiles(const UString&) { return UArray<UString>(); }

}  // namespace brix

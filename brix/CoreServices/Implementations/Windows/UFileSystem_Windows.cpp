#include "CoreServices/Implementations/Windows/UFileSystem_Windows.h"

namespace brix::platform_windows {

void UFileSystem_Windows::Init() { m_initialised = true; }
void UFileSystem_Windows::Shutdown() { m_initialised = false; }
InputStreamHandle UFileSystem_Windows::CreateFileReader(const UString&) { return nullptr; }
OutputStreamHandle UFileSystem_Windows::CreateFileWriter(const UString&, bool, bool) { return nullptr; }
uint64_t UFileSystem_Windows::GetFileSize(const UString&) { return 0; }
bool UFileSystem_Windows::ExistsFile(const UString&) { return false; }
bool UFileSystem_Windows::Delete(const UString&) { return false; }
bool UFileSystem_Windows::Copy(const UString&, const UString&, bool, ProgressCallback) { return false; }
bool UFileSystem_Windows::Move(const UString&, const UString&, bool, ProgressCallback) { return false; }
bool UFileSystem_Windows::MakeDirectory(const UString&) { return false; }
bool UFileSystem_Windows::DeleteDirectory(const UString&) { return false; }
bool UFileSystem_Windows::SetWorkingDirectory(const UString&) { return false; }
UString UFileSystem_Windows::GetWorkingDirectory() { return m_workingDirectory; }
UArray<UString> UFileSystem_Windows::FindFiles(const UString&) { return UArray<UString>(); }

}  // namespace brix::platform_windows

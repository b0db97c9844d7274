#include "CoreServices/Implementations/ANSI/UFileANSI_SerializingPolicy.h"

#include "Platform/TemporaryFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <cerrno>
#include <cstring>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace brix {

namespace {
// 64-bit positions where the library offers them.
#if defined(_WIN32)
long long TellFile(FILE* file) { return _ftelli64(file); }
int SeekFile(FILE* file, long long offset, int origin) { return _fseeki64(file, offset, origin); }
#else
long long TellFile(FILE* file) { return ftello(file); }
int SeekFile(FILE* file, long long offset, int origin) { return fseeko(file, off_t(offset), origin); }
#endif
// Creates a file that must not exist yet and opens it for writing; nullptr with errno
// set otherwise. (fopen's "x" mode is missing from older Windows runtimes.)
FILE* OpenNewFile(const char* path) {
#if defined(_WIN32)
    const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && !file) _close(fd);
#else
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && !file) close(fd);
#endif
    return file;
}

}  // namespace

UFileANSI_SerializingPolicy_Input::UFileANSI_SerializingPolicy_Input(FILE* file, const UString& path)
    : m_file(file), m_path(path), m_failed(false), m_size(~uint64_t(0)) {}

UFileANSI_SerializingPolicy_Input::~UFileANSI_SerializingPolicy_Input() noexcept(false) { Close(); }

uint64_t UFileANSI_SerializingPolicy_Input::Serialize(void* buffer, uint64_t size) {
    if (!m_file) {
        m_failed = true;
        return 0;
    }
    if (size == 0) return 0;
    const size_t count = fread(buffer, 1, size_t(size), m_file);
    if (count < size) m_failed = true;
    return count;
}

void UFileANSI_SerializingPolicy_Input::Close() {
    if (m_file) fclose(m_file);
    m_file = nullptr;
}

bool UFileANSI_SerializingPolicy_Input::IsOpen() const { return m_file != nullptr; }
UString UFileANSI_SerializingPolicy_Input::GetName() const { return m_path; }

uint64_t UFileANSI_SerializingPolicy_Input::GetSize() {
    if (m_size != ~uint64_t(0) || !m_file) return m_file ? m_size : 0;
    const long long position = TellFile(m_file);
    if (position < 0 || SeekFile(m_file, 0, SEEK_END) != 0) {
        m_failed = true;
        return 0;
    }
    const long long end = TellFile(m_file);
    if (SeekFile(m_file, position, SEEK_SET) != 0 || end < 0) {
        m_failed = true;
        return 0;
    }
    m_size = uint64_t(end);
    return m_size;
}

uint64_t UFileANSI_SerializingPolicy_Input::Tell() {
    const long long position = m_file ? TellFile(m_file) : -1;
    if (position < 0) {
        m_failed = true;
        return 0;
    }
    return uint64_t(position);
}

void UFileANSI_SerializingPolicy_Input::Seek(long long offset, int origin) {
    if (!m_file || SeekFile(m_file, offset, origin) != 0) m_failed = true;
}

void UFileANSI_SerializingPolicy_Input::SeekToStart() { Seek(0, SEEK_SET); }
void UFileANSI_SerializingPolicy_Input::SeekToEnd() { Seek(0, SEEK_END); }
IInputStream& UFileANSI_SerializingPolicy_Input::SeekForward(int32_t distance) {
    Seek(distance, SEEK_CUR);
    return *this;
}
IInputStream& UFileANSI_SerializingPolicy_Input::SeekBackward(int32_t distance) {
    Seek(-(long long)distance, SEEK_CUR);
    return *this;
}
bool UFileANSI_SerializingPolicy_Input::IsEnd() { return Tell() >= GetSize(); }

UFileANSI_SerializingPolicy_Output::UFileANSI_SerializingPolicy_Output(FILE* file, const UString& path)
    : m_file(file), m_path(path), m_failed(false) {}

UFileANSI_SerializingPolicy_Output::~UFileANSI_SerializingPolicy_Output() noexcept(false) { Close(); }

void UFileANSI_SerializingPolicy_Output::Serialize(const void* data, uint64_t size) {
    if (!m_file) {
        errno = EBADF;
        Fail();
        return;
    }
    if (size == 0) return;
    if (fwrite(data, size_t(size), 1, m_file) != 1) Fail();
}

void UFileANSI_SerializingPolicy_Output::Fail() {
    if (!m_failed) m_error = errno;
    m_failed = true;
}

UString UFileANSI_SerializingPolicy_Output::GetFailureReason() const {
    if (!m_failed) return UString();
    return UString(m_error ? strerror(m_error) : "not every byte was written");
}

bool UFileANSI_SerializingPolicy_Output::Commit() {
    if (!m_file) return false;
    Flush();
    // This class's own Close: a replacing stream's Close would abandon the file.
    UFileANSI_SerializingPolicy_Output::Close();
    return !m_failed;
}

void UFileANSI_SerializingPolicy_Output::Close() {
    if (m_file && fclose(m_file) != 0) Fail();
    m_file = nullptr;
}

bool UFileANSI_SerializingPolicy_Output::IsOpen() const { return m_file != nullptr; }
UString UFileANSI_SerializingPolicy_Output::GetName() const { return m_path; }

void UFileANSI_SerializingPolicy_Output::Flush() {
    if (!m_file) errno = EBADF;
    if (!m_file || fflush(m_file) != 0) Fail();
}

// ---------------------------------------------------------------------------------------

UFileANSI_ReplacingOutput::UFileANSI_ReplacingOutput(FILE* file, const UString& target, const UString& temporary)
    : UFileANSI_SerializingPolicy_Output(file, target),
      m_temporary(temporary),
      m_registration(platform::RegisterTemporaryFile(temporary.c_str())) {}

std::unique_ptr<UFileANSI_ReplacingOutput> UFileANSI_ReplacingOutput::Create(const UString& target) {
    // Creating exclusively fails on a name in use, so the first free number is taken
    // without touching any other file.
    for (unsigned int number = 1; number <= platform::kMostTemporaryNames; ++number) {
        const UString temporary(platform::TemporaryName(target.c_str(), number).c_str());
        if (FILE* file = OpenNewFile(temporary.c_str()))
            return std::unique_ptr<UFileANSI_ReplacingOutput>(new UFileANSI_ReplacingOutput(file, target, temporary));
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

UFileANSI_ReplacingOutput::~UFileANSI_ReplacingOutput() noexcept(false) { Abandon(); }

void UFileANSI_ReplacingOutput::Abandon() {
    if (m_done) return;
    m_done = true;
    UFileANSI_SerializingPolicy_Output::Close();
    ::remove(m_temporary.c_str());
    platform::ForgetTemporaryFile(m_registration);
}

void UFileANSI_ReplacingOutput::Close() { Abandon(); }

bool UFileANSI_ReplacingOutput::Commit() {
    if (m_done) return false;
    if (!UFileANSI_SerializingPolicy_Output::Commit()) {
        Abandon();
        return false;
    }
    bool renamed = rename(m_temporary.c_str(), GetName().c_str()) == 0;
#if defined(_WIN32)
    // The Windows runtime's rename does not replace an existing file.
    if (!renamed && remove(GetName().c_str()) == 0) renamed = rename(m_temporary.c_str(), GetName().c_str()) == 0;
#endif
    if (!renamed) {
        Fail();
        Abandon();
        return false;
    }
    m_done = true;
    platform::ForgetTemporaryFile(m_registration);
    return true;
}

}  // namespace brix

#include "CoreServices/Implementations/ANSI/UFileANSI_SerializingPolicy.h"

#include <sys/types.h>

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
        m_failed = true;
        return;
    }
    if (size == 0) return;
    if (fwrite(data, size_t(size), 1, m_file) != 1) m_failed = true;
}

void UFileANSI_SerializingPolicy_Output::Close() {
    if (m_file && fclose(m_file) != 0) m_failed = true;
    m_file = nullptr;
}

bool UFileANSI_SerializingPolicy_Output::IsOpen() const { return m_file != nullptr; }
UString UFileANSI_SerializingPolicy_Output::GetName() const { return m_path; }

void UFileANSI_SerializingPolicy_Output::Flush() {
    if (!m_file || fflush(m_file) != 0) m_failed = true;
}

}  // namespace brix

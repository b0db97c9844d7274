#pragma once
// Byte streams over memory for tests: an output stream that records every write, and
// an input stream over a string.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "CoreServices/Interfaces/IStream.h"

namespace plugin_test {

class MemoryOutputStream : public brix::IOutputStream {
public:
    void Serialize(const void* data, uint64_t size) override {
        text.append(static_cast<const char*>(data), size_t(size));
        ++writes;
    }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    brix::UString GetName() const override { return brix::UString("memory"); }
    void Flush() override {}
    bool HasFailed() const override { return false; }
    brix::UString GetFailureReason() const override { return brix::UString(); }
    bool Commit() override {
        open = false;
        return true;
    }

    std::string text;
    int writes = 0;
    bool open = true;
};

class MemoryInputStream : public brix::IInputStream {
public:
    MemoryInputStream(std::string data, const char* name = "memory.tsl") : m_data(std::move(data)), m_name(name) {}
    uint64_t Serialize(void* buffer, uint64_t size) override {
        const uint64_t n = std::min<uint64_t>(size, m_data.size() - m_position);
        memcpy(buffer, m_data.data() + m_position, size_t(n));
        m_position += n;
        return n;
    }
    void Close() override {}
    bool IsOpen() const override { return true; }
    brix::UString GetName() const override { return brix::UString(m_name.c_str()); }
    uint64_t GetSize() override { return m_data.size(); }
    uint64_t Tell() override { return m_position; }
    void SeekToStart() override { m_position = 0; }
    void SeekToEnd() override { m_position = m_data.size(); }
    IInputStream& SeekForward(int32_t d) override {
        m_position = std::min<uint64_t>(m_data.size(), m_position + uint64_t(d));
        return *this;
    }
    IInputStream& SeekBackward(int32_t d) override {
        m_position = uint64_t(d) > m_position ? 0 : m_position - uint64_t(d);
        return *this;
    }
    bool IsEnd() override { return m_position >= m_data.size(); }

private:
    std::string m_data;
    std::string m_name;
    uint64_t m_position = 0;
};

}  // namespace plugin_test

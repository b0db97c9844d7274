#include "ReplacingFiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessaline {

ReplacingFiles::~ReplacingFiles() { Abandon(); }

void ReplacingFiles::Fail(const std::string& target, int error) {
    if (m_failure.empty())
        m_failure = "Can't write file \"" + target + "\".\n" + (error ? strerror(error) : "not every byte was written");
}

FILE* ReplacingFiles::Open(const std::string& target) {
    // The exclusive mode never opens a file that exists, so no other file is touched.
    for (unsigned int number = 1; number <= 1000; ++number) {
        const std::string temporary = target + "~" + std::to_string(number);
        if (FILE* file = fopen(temporary.c_str(), "wbx")) {
            m_entries.push_back({target, temporary, file});
            return file;
        }
        if (errno != EEXIST) break;
    }
    const int error = errno;
    if (m_failure.empty()) m_failure = "Can't open file \"" + target + "\" for writing.\n" + strerror(error);
    return nullptr;
}

void ReplacingFiles::WriteFailed(FILE* file) {
    const int error = errno;
    for (const Entry& entry : m_entries)
        if (entry.file == file) Fail(entry.target, error);
}

void ReplacingFiles::Close(FILE* file) {
    for (Entry& entry : m_entries) {
        if (entry.file != file) continue;
        if (fflush(file) != 0 || fsync(fileno(file)) != 0) Fail(entry.target, errno);
        if (fclose(file) != 0) Fail(entry.target, errno);
        entry.file = nullptr;
    }
}

bool ReplacingFiles::Opened(const std::string& target) const {
    for (const Entry& entry : m_entries)
        if (entry.target == target) return true;
    return false;
}

bool ReplacingFiles::Commit(std::string& error) {
    for (const Entry& entry : m_entries)
        if (entry.file) Close(entry.file);
    if (!m_failure.empty()) {
        error = m_failure;
        Abandon();
        return false;
    }
    for (Entry& entry : m_entries) {
        if (rename(entry.temporary.c_str(), entry.target.c_str()) != 0) {
            Fail(entry.target, errno);
            error = m_failure;
            Abandon();
            return false;
        }
        entry.temporary.clear();
    }
    m_entries.clear();
    return true;
}

void ReplacingFiles::Abandon() {
    for (Entry& entry : m_entries) {
        if (entry.file) fclose(entry.file);
        if (!entry.temporary.empty()) remove(entry.temporary.c_str());
    }
    m_entries.clear();
}

}  // namespace tessaline

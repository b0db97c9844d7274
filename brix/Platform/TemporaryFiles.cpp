#include "Platform/TemporaryFiles.h"

#include <fcntl.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <mutex>

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#else
#include <unistd.h>
#endif
#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace brix::platform {

std::string TemporaryName(const char* target, unsigned int number) {
    return std::string(target) + "~" + std::to_string(number);
}

namespace {

constexpr int kSlots = 32;
constexpr size_t kPathBytes = 4096;
constexpr int kSignals[] = {SIGINT, SIGTERM
#if !defined(_WIN32)
                            ,
                            SIGHUP
#endif
};
constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);

enum SlotState : int { Free, Writing, Ready };

struct Slot {
    std::atomic<int> state{Free};
    bool isFolder = false;
    char path[kPathBytes];
};

Slot g_slots[kSlots];
std::mutex g_installing;  // guards the count and the handlers, never taken in the handler
int g_registered = 0;

#if defined(_WIN32)
using Previous = void (*)(int);
Previous g_previous[kSignalCount];
#else
struct sigaction g_previous[kSignalCount];
#endif

void RemovePath(const char* path) {
#if defined(_WIN32)
    _unlink(path);
#else
    unlink(path);
#endif
}

// The folder's files, then the folder, with system calls alone: the handler may have
// interrupted the allocator, so nothing here may allocate.
void RemoveFolder(const char* folder) {
#if defined(__linux__)
    const int fd = open(folder, O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        alignas(8) char entries[4096];
        for (;;) {
            const long length = syscall(SYS_getdents64, fd, entries, sizeof entries);
            if (length <= 0) break;
            for (long at = 0; at < length;) {
                // struct linux_dirent64: ino (8), off (8), reclen (2), type (1), name
                unsigned short recordLength;
                std::memcpy(&recordLength, entries + at + 16, sizeof recordLength);
                const char* name = entries + at + 19;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) unlinkat(fd, name, 0);
                at += recordLength;
            }
        }
        close(fd);
    }
    rmdir(folder);
#elif defined(_WIN32)
    _rmdir(folder);
#else
    rmdir(folder);
#endif
}

void RemoveRegistered() {
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) != Ready) continue;
        if (slot.isFolder)
            RemoveFolder(slot.path);
        else
            RemovePath(slot.path);
    }
}

int SignalIndex(int signal) {
    for (int i = 0; i < kSignalCount; ++i)
        if (kSignals[i] == signal) return i;
    return -1;
}

#if defined(_WIN32)
void OnSignal(int signal) {
    RemoveRegistered();
    const int index = SignalIndex(signal);
    const Previous previous = index >= 0 ? g_previous[index] : SIG_DFL;
    if (previous != SIG_DFL && previous != SIG_IGN && previous != SIG_ERR) {
        previous(signal);
        return;
    }
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void Install() {
    for (int i = 0; i < kSignalCount; ++i) {
        g_previous[i] = ::signal(kSignals[i], OnSignal);
        if (g_previous[i] == SIG_IGN) ::signal(kSignals[i], SIG_IGN);
    }
}

void Restore() {
    for (int i = 0; i < kSignalCount; ++i) {
        const Previous current = ::signal(kSignals[i], g_previous[i]);
        if (current != OnSignal) ::signal(kSignals[i], current);  // someone else's now: left alone
    }
}
#else
void OnSignal(int signal, siginfo_t* info, void* context) {
    RemoveRegistered();
    const int index = SignalIndex(signal);
    if (index >= 0 && (g_previous[index].sa_flags & SA_SIGINFO) && g_previous[index].sa_sigaction) {
        g_previous[index].sa_sigaction(signal, info, context);
        return;
    }
    if (index >= 0 && !(g_previous[index].sa_flags & SA_SIGINFO) && g_previous[index].sa_handler != SIG_DFL &&
        g_previous[index].sa_handler != SIG_IGN) {
        g_previous[index].sa_handler(signal);
        return;
    }
    // Ends the process the way the signal does, so that its parent sees why.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigaction(signal, &standard, nullptr);
    raise(signal);
}

void Install() {
    struct sigaction ours {};
    ours.sa_sigaction = OnSignal;
    ours.sa_flags = SA_SIGINFO;
    sigemptyset(&ours.sa_mask);
    for (int i = 0; i < kSignalCount; ++i) {
        sigaction(kSignals[i], nullptr, &g_previous[i]);
        if (!(g_previous[i].sa_flags & SA_SIGINFO) && g_previous[i].sa_handler == SIG_IGN) continue;
        sigaction(kSignals[i], &ours, nullptr);
    }
}

void Restore() {
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction current {};
        sigaction(kSignals[i], nullptr, &current);
        // Put back only where ours is still the handler: a handler installed after ours
        // may chain to it, and keeps doing so.
        if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction == OnSignal)
            sigaction(kSignals[i], &g_previous[i], nullptr);
    }
}
#endif

}  // namespace

int RegisterTemporaryFile(const char* path, bool isFolder) {
    if (!path || std::strlen(path) >= kPathBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (!g_slots[i].state.compare_exchange_strong(expected, Writing)) continue;
        std::memcpy(g_slots[i].path, path, std::strlen(path) + 1);
        g_slots[i].isFolder = isFolder;
        {
            std::lock_guard<std::mutex> lock(g_installing);
            if (g_registered++ == 0) Install();
        }
        g_slots[i].state.store(Ready, std::memory_order_release);
        return i;
    }
    return -1;
}

void ForgetTemporaryFile(int registration) {
    if (registration < 0 || registration >= kSlots) return;
    if (g_slots[registration].state.exchange(Free) == Free) return;
    std::lock_guard<std::mutex> lock(g_installing);
    if (--g_registered == 0) Restore();
}

}  // namespace brix::platform

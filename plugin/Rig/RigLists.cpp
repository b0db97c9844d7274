#include "Rig/RigLists.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>

#include "Utils/UBlockScanner.h"
#include "Utils/UNumberText.h"

using brix::TVector2;
using brix::TVector3;
using brix::UArray;

namespace rig {

namespace {

// Reads the numbers of a list value one token at a time, with UTextParser's rules (a read
// past the last token gives 0) and without keeping a token table for the list. A plain
// number followed by white space or a closing brace is read where it lies, in one pass;
// any other token goes through the block scanner, and a word that is a whole number of
// the kind read through the general number readers. Any other token (a quoted string, a
// block, a word such as "7x") ends the list there: it reads as 0, and BadToken tells
// where it lies. Only tokens off the plain path are checked, so the plain path costs
// nothing more.
class NumberList {
public:
    NumberList(const char* text, TextRange range)
        : m_begin(text + range.start),
          m_end(m_begin + range.length),
          m_scanner(reinterpret_cast<const unsigned char*>(m_begin), reinterpret_cast<const unsigned char*>(m_end)) {
        FindToken(m_begin);
    }
    bool HasMoreTokens() const { return m_has; }
    NumberList& operator>>(int64_t& value) {
        return Read(value, brix::ReadPlainInteger, brix::ReadWideInteger, brix::IsDecimalInteger);
    }
    NumberList& operator>>(float& value) {
        return Read(value, brix::ReadPlainReal, brix::ReadReal, brix::IsDecimalReal);
    }
    NumberList& operator>>(TVector2<float>& value) { return *this >> value.x >> value.y; }
    NumberList& operator>>(TVector3<float>& value) { return *this >> value.x >> value.y >> value.z; }
    // The first byte of the number read last, for a caller that refuses its value. Found
    // by looking back from the current token (or the list's end) over the bytes that
    // separate tokens and then over the word: numbers are words, so nothing is kept per
    // number for the rare caller that asks.
    const char* LastRead() const {
        const char* p = m_has ? m_token : m_end;
        while (p > m_begin && (IsSpace(p[-1]) || p[-1] == '}')) --p;
        while (p > m_begin && IsWordByte(p[-1])) --p;
        return p;
    }
    // The token that is not a number and ended the list; null when none did.
    const char* BadToken() const { return m_bad; }

private:
    // The current token's value: its plain form where that ends the token, else the
    // general reader's when the token is a whole number; then on to the next token.
    template <typename Number, typename Plain, typename General, typename IsNumber>
    NumberList& Read(Number& value, Plain plain, General general, IsNumber isNumber) {
        if (!m_has) {
            value = Number(0);
        } else if (const char* after = Ended(plain(m_token, m_end, value))) {
            FindToken(after);
        } else if (const char* end = TokenEnd(); !m_scannerToken && isNumber(m_token, end)) {
            value = general(m_token);
            FindToken(end);
        } else {
            value = Number(0);
            m_bad = m_token;
            m_has = false;
        }
        return *this;
    }
    static bool IsSpace(char c) { return brix::UBlockScanner::IsSpace(static_cast<unsigned char>(c)); }
    static bool IsWordByte(char c) { return brix::UBlockScanner::IsWordByte(static_cast<unsigned char>(c)); }

    // Where a plain number ends when its token ends there too: a byte that ends tokens
    // follows it within the list. Null otherwise (the list's last byte included, so that
    // its token is read as the scanner reads it).
    const char* Ended(const char* after) const {
        return after && after < m_end && (IsSpace(*after) || *after == '}') ? after : nullptr;
    }
    // The end of the current token: the scanner's for one it found, else the run of
    // token bytes.
    const char* TokenEnd() const {
        if (m_scannerToken) return m_begin + m_scanned.matchStart + m_scanned.matchLength;
        const char* p = m_token;
        while (p < m_end && IsWordByte(*p)) ++p;
        return p;
    }
    // The next token at or after p: white space and closing braces are passed over as
    // the scanner passes them; quotes and blocks are left to the scanner.
    void FindToken(const char* p) {
        while (p < m_end && (IsSpace(*p) || *p == '}')) ++p;
        m_scannerToken = false;
        if (p == m_end) {
            m_has = false;
        } else if (IsWordByte(*p)) {
            m_has = true;
            m_token = p;
        } else {
            m_scanner.ResumeAt(int32_t(p - m_begin));
            m_has = m_scanner.Next(m_scanned);
            m_scannerToken = true;
            m_token = m_begin + m_scanned.matchStart;
        }
    }

    const char* m_begin;
    const char* m_end;
    brix::UBlockScanner m_scanner;
    brix::UBlockScanner::Token m_scanned{};
    const char* m_token = nullptr;  // the current token's first byte
    const char* m_bad = nullptr;
    bool m_has = false;
    bool m_scannerToken = false;  // the current token was found by the scanner
};

// Lists hold 32-bit integers: anything a 32-bit signed or unsigned integer can hold is
// taken (a negative one as its unsigned form, which no list can be indexed with); a
// value beyond that would otherwise be cut to its low bits, so the file is damaged.
bool FitsIn32Bits(int64_t value) { return value >= INT32_MIN && value <= int64_t(UINT32_MAX); }

RigDamage Fault(DamageRule rule, const char* text, const char* at) { return RigDamage{rule, at - text}; }

// What a list read ended on: no fault, or the token that is not a number.
RigDamage EndOf(const NumberList& list, const char* text) {
    return list.BadToken() ? Fault(DamageRule::NotANumber, text, list.BadToken()) : RigDamage{};
}

// Plain lists are read in one pass before any token machinery is set up: an element
// whose numbers are all in the plain forms below, each followed within the list by white
// space or a closing brace, is read where it lies; the first element that is not (a
// longer form, an exponent, a word, a quote, a block, or a list that ends inside the
// element or right after its last digit) and everything after it go to NumberList,
// which gives every token its full treatment. The plain forms give exactly the values
// NumberList's own plain readers give, so where the hand-over happens does not change
// what is read. The text ends with a zero byte at or after the list's end, so a run of
// digits always stops inside it.
bool IsSeparator(char c) { return brix::UBlockScanner::IsSpace(static_cast<unsigned char>(c)) || c == '}'; }

const char* SkipSeparators(const char* p, const char* end) {
    while (p < end && IsSeparator(*p)) ++p;
    return p;
}

bool IsDigit(char c) { return unsigned(c) - '0' < 10u; }

// [-]digits[.digits] with 1 to 15 digits in all: the mantissa and the power of ten are
// both exact doubles, so one division rounds as the general reader does.
const char* PlainReal(const char* p, const char* end, float& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const bool negative = *p == '-';
    p += negative;
    const char* first = p;
    uint64_t mantissa = 0;
    for (; IsDigit(*p); ++p) mantissa = mantissa * 10 + uint64_t(*p - '0');
    ptrdiff_t digits = p - first, fractionDigits = 0;
    if (*p == '.') {
        const char* fraction = ++p;
        for (; IsDigit(*p); ++p) mantissa = mantissa * 10 + uint64_t(*p - '0');
        fractionDigits = p - fraction;
        digits += fractionDigits;
    }
    if (digits == 0 || digits > 15 || p >= end || !IsSeparator(*p)) return nullptr;
    const double magnitude = double(mantissa) / kPowersOfTen[fractionDigits];
    value = float(negative ? -magnitude : magnitude);
    return p;
}

// 1 to 9 digits: every such value fits 32 bits.
const char* PlainUnsigned(const char* p, const char* end, uint32_t& value) {
    const char* first = p;
    uint32_t magnitude = 0;
    for (; IsDigit(*p) && p - first < 10; ++p) magnitude = magnitude * 10 + uint32_t(*p - '0');
    if (p == first || p - first > 9 || p >= end || !IsSeparator(*p)) return nullptr;
    value = magnitude;
    return p;
}

// Reads the plain elements at the front of the list into out; returns where the first
// element that is not plain starts (the list's end when all are).
template <int kComponents, typename Vector>
const char* ReadPlainVectors(const char* p, const char* end, UArray<Vector>& out) {
    p = SkipSeparators(p, end);
    while (p < end) {
        float components[kComponents];
        const char* q = p;
        for (int c = 0; c < kComponents; ++c) {
            if (c) q = SkipSeparators(q, end);
            if (!(q = PlainReal(q, end, components[c]))) return p;
        }
        Vector& element = out[out.Add()];
        element.x = components[0];
        element.y = components[1];
        if constexpr (kComponents == 3) element.z = components[2];
        p = SkipSeparators(q, end);
    }
    return p;
}

const char* ReadPlain(const char* p, const char* end, UArray<TVector3<float>>& out) {
    return ReadPlainVectors<3>(p, end, out);
}
const char* ReadPlain(const char* p, const char* end, UArray<TVector2<float>>& out) {
    return ReadPlainVectors<2>(p, end, out);
}

const char* ReadPlain(const char* p, const char* end, UArray<uint32_t>& out) {
    p = SkipSeparators(p, end);
    while (p < end) {
        uint32_t value;
        const char* q = PlainUnsigned(p, end, value);
        if (!q) return p;
        out.Append(value);
        p = SkipSeparators(q, end);
    }
    return p;
}

const char* ReadPlain(const char* p, const char* end, UArray<MeshData::Weight>& out) {
    p = SkipSeparators(p, end);
    while (p < end) {
        MeshData::Weight pair;
        const char* q = PlainUnsigned(p, end, pair.boneIndex);
        if (!q || !(q = PlainReal(SkipSeparators(q, end), end, pair.weight))) return p;
        out.Append(pair);
        p = SkipSeparators(q, end);
    }
    return p;
}

// The rest of a list from the first element that is not plain.
TextRange Rest(const char* text, TextRange range, const char* from) {
    const int32_t start = int32_t(from - text);
    return TextRange{start, range.start + range.length - start};
}

// One reader per list type, all of one name so that a job's reader follows from its
// target's type. Each stops at the first token that is not a number of its kind, and
// integers at the first that does not fit 32 bits; the fault found is returned.
template <typename Vector>
RigDamage ReadList(const char* text, TextRange range, UArray<Vector>& out) {
    const char* end = text + range.start + range.length;
    const char* rest = ReadPlain(text + range.start, end, out);
    if (rest == end) return RigDamage{};
    NumberList list(text, Rest(text, range, rest));
    while (list.HasMoreTokens()) list >> out[out.Add()];
    return EndOf(list, text);
}

RigDamage ReadList(const char* text, TextRange range, UArray<uint32_t>& out) {
    const char* end = text + range.start + range.length;
    const char* rest = ReadPlain(text + range.start, end, out);
    if (rest == end) return RigDamage{};
    NumberList list(text, Rest(text, range, rest));
    while (list.HasMoreTokens()) {
        int64_t value;
        list >> value;
        if (!FitsIn32Bits(value)) return Fault(DamageRule::Beyond32Bits, text, list.LastRead());
        out.Append(uint32_t(value));
    }
    return EndOf(list, text);
}

RigDamage ReadList(const char* text, TextRange range, UArray<MeshData::Weight>& out) {
    const char* end = text + range.start + range.length;
    const char* rest = ReadPlain(text + range.start, end, out);
    if (rest == end) return RigDamage{};
    NumberList list(text, Rest(text, range, rest));
    while (list.HasMoreTokens()) {
        int64_t bone;
        float weight;
        list >> bone;
        if (!FitsIn32Bits(bone)) return Fault(DamageRule::Beyond32Bits, text, list.LastRead());
        list >> weight;
        out.Append(MeshData::Weight{uint32_t(bone), weight});
    }
    return EndOf(list, text);
}

// The earlier of two faults in the file; a fault before none.
void KeepFirst(RigDamage& kept, const RigDamage& found) {
    if (found.Found() && (!kept.Found() || found.offset < kept.offset)) kept = found;
}

// The most elements a range can hold: each number takes a byte and a separator, and an
// element is numbersPerElement numbers (the last one possibly incomplete).
int64_t MostElements(TextRange range, int32_t numbersPerElement) {
    return (int64_t(range.length) + 1) / 2 / numbersPerElement + 1;
}

// A list shorter than the array's step of 64 elements gets a block of its own size (none
// when empty): a mesh may hold any number of UV sets, each with a list of its own, and
// the step would cost up to 64 elements for each.
template <typename T>
void FitSmallList(UArray<T>& list) {
    if (list.Max() > brix::UArrayBase::kGranularity || list.Max() == list.Num()) return;
    UArray<T> fitted;
    fitted.Empty(list.Num());
    fitted.Add(list.Num());
    if (list.Num()) memcpy(static_cast<void*>(fitted.Data()), list.Data(), size_t(list.Num()) * sizeof(T));
    list = std::move(fitted);
}

// Calls action with a job's target as the array it is.
template <typename Action>
auto WithTarget(ListQueue::Kind kind, void* target, Action action) {
    switch (kind) {
    case ListQueue::Kind::Vectors3: return action(*static_cast<UArray<TVector3<float>>*>(target));
    case ListQueue::Kind::Vectors2: return action(*static_cast<UArray<TVector2<float>>*>(target));
    case ListQueue::Kind::Unsigned: return action(*static_cast<UArray<uint32_t>*>(target));
    default: return action(*static_cast<UArray<MeshData::Weight>*>(target));
    }
}

// Below this much list text a mesh's lists are read on the calling thread: starting a
// thread costs more than it saves.
constexpr int64_t kBytesWorthAThread = int64_t(1) << 20;
constexpr unsigned kMostThreads = 4;
// A block that gives one list again and again (legal, if odd) would queue a record per
// entry; the queue is read whenever it holds this many, so it stays small.
constexpr int32_t kMostQueued = 4096;

}  // namespace

void ListQueue::Queue(Kind kind, TextRange range, void* target) {
    m_jobs.Append(Job{kind, range, target});
    if (m_jobs.Num() >= kMostQueued) ReadQueued();
}

bool ListQueue::ReadAll() {
    ReadQueued();
    return !m_fault.Found();
}

void ListQueue::Forget(const void* first, const void* end) {
    for (int32_t i = m_jobs.Num() - 1; i >= 0; --i) {
        const void* target = m_jobs[i].target;
        if (std::less_equal<const void*>()(first, target) && std::less<const void*>()(target, end)) m_jobs.Remove(i);
    }
}

namespace {

// The queued lists of one target array, in queue order, and the thread that reads them.
struct Group {
    int32_t firstJob = 0, jobCount = 0;  // in the target-sorted order
    int64_t bytes = 0;
    bool pinned = false;  // its room could not be made, so reading it may allocate
    unsigned thread = 0;
};

}  // namespace

void ListQueue::ReadQueued() {
    // Once a list is found damaged the file is refused: the rest need not be read.
    if (m_fault.Found()) {
        m_jobs.Empty(0);
        return;
    }
    // Jobs by target, each target's jobs kept in queue order.
    UArray<int32_t> order;
    order.Reserve(m_jobs.Num());
    for (int32_t i = 0; i < m_jobs.Num(); ++i) order.Append(i);
    std::stable_sort(order.begin(), order.end(), [this](int32_t a, int32_t b) {
        return std::less<const void*>()(m_jobs[a].target, m_jobs[b].target);
    });

    // Room for every element a target's ranges could hold, made here so that reading
    // never reallocates. Pages of the room a list does not fill are never touched, so this
    // costs address space, not memory. Beyond 1 GiB the room is not made and the target
    // grows as it reads, on the calling thread.
    UArray<Group> groups;
    int64_t totalBytes = 0;
    for (int32_t k = 0; k < order.Num();) {
        Group group;
        group.firstJob = k;
        int64_t elements = 0;
        const Job& first = m_jobs[order[k]];
        const int32_t numbersPerElement = first.kind == Kind::Vectors3                                  ? 3
                                          : first.kind == Kind::Vectors2 || first.kind == Kind::Weights ? 2
                                                                                                        : 1;
        for (; k < order.Num() && m_jobs[order[k]].target == first.target; ++k) {
            elements += MostElements(m_jobs[order[k]].range, numbersPerElement);
            group.bytes += m_jobs[order[k]].range.length;
        }
        group.jobCount = k - group.firstJob;
        constexpr int64_t kMostBytes = int64_t(1) << 30;
        // A target read again after an earlier batch at least doubles its room, so that
        // many batches grow it in few moves.
        auto reserve = [&](auto& out) {
            const int64_t needed = out.Num() + elements;
            if (needed <= out.Max()) return;
            const int64_t room = needed > int64_t(out.Num()) * 2 ? needed : int64_t(out.Num()) * 2;
            if (room * int64_t(sizeof(out[0])) < kMostBytes)
                out.Reserve(int32_t(room));
            else
                group.pinned = true;
        };
        WithTarget(first.kind, first.target, reserve);
        totalBytes += group.bytes;
        groups.Append(group);
    }

    // The largest groups first, each to the least loaded thread; pinned ones stay on the
    // calling thread (number 0).
    unsigned threads = 1;
    if (totalBytes >= kBytesWorthAThread)
        threads = std::min({std::max(1u, std::thread::hardware_concurrency()), kMostThreads, unsigned(groups.Num())});
    if (threads > 1) {
        UArray<int32_t> bySize;
        for (int32_t g = 0; g < groups.Num(); ++g) bySize.Append(g);
        std::stable_sort(bySize.begin(), bySize.end(), [&](int32_t a, int32_t b) {
            if (groups[a].pinned != groups[b].pinned) return groups[a].pinned;
            return groups[a].bytes > groups[b].bytes;
        });
        int64_t load[kMostThreads] = {};
        for (int32_t g : bySize) {
            unsigned least = 0;
            if (!groups[g].pinned)
                for (unsigned t = 1; t < threads; ++t)
                    if (load[t] < load[least]) least = t;
            groups[g].thread = least;
            load[least] += groups[g].bytes;
        }
    }

    // Each thread's groups, fixed before any thread starts.
    UArray<int32_t> groupsOf[kMostThreads];
    for (int32_t g = 0; g < groups.Num(); ++g) groupsOf[groups[g].thread].Append(g);
    auto readGroups = [&](const UArray<int32_t>& list) {
        for (int32_t g : list)
            for (int32_t k = groups[g].firstJob; k < groups[g].firstJob + groups[g].jobCount; ++k) {
                const Job& job = m_jobs[order[k]];
                const RigDamage fault =
                    WithTarget(job.kind, job.target, [&](auto& out) { return ReadList(m_text, job.range, out); });
                if (fault.Found()) return fault;
            }
        return RigDamage{};
    };

    RigDamage results[kMostThreads];
    std::thread helpers[kMostThreads];
    unsigned started = 1;
    for (; started < threads; ++started) {
        try {
            helpers[started] = std::thread([&, started] { results[started] = readGroups(groupsOf[started]); });
        } catch (...) {  // no thread to be had: what is left is read here
            break;
        }
    }
    results[0] = readGroups(groupsOf[0]);
    for (unsigned t = started; t < threads; ++t) results[t] = readGroups(groupsOf[t]);
    for (unsigned t = 1; t < started; ++t) helpers[t].join();

    for (const Group& group : groups) {
        void* target = m_jobs[order[group.firstJob]].target;
        WithTarget(m_jobs[order[group.firstJob]].kind, target, [](auto& out) { FitSmallList(out); });
    }
    m_jobs.Empty(0);
    for (const RigDamage& result : results) KeepFirst(m_fault, result);
}

}  // namespace rig

#pragma once
// The number lists of a mesh block (positions, normals, UVs, counts, indices, weights).
// A block's entries are gathered first and its lists read afterwards: each list is a
// range of the file text that no other list depends on, so a large mesh's lists are read
// on several threads at once. Reading a list only scans text and appends to room made
// beforehand, so the threads share nothing and allocate nothing. The text must have
// passed the whole-text structure check (every block closed, every quote paired): then
// no scan needs the regex engine, which allocates.

#include <cstdint>

#include "Core/UArray.h"
#include "Rig/RigDamage.h"
#include "Rig/RigModel.h"

namespace rig {

// A range of the file text: a block's value, without its braces.
struct TextRange {
    int32_t start = 0, length = 0;
};

class ListQueue {
public:
    explicit ListQueue(const char* text) : m_text(text) {}

    // Queues a list value to be appended to out, after every list queued for out before.
    void Vectors3(TextRange range, brix::UArray<brix::TVector3<float>>& out) { Queue(Kind::Vectors3, range, &out); }
    void Vectors2(TextRange range, brix::UArray<brix::TVector2<float>>& out) { Queue(Kind::Vectors2, range, &out); }
    void Unsigned(TextRange range, brix::UArray<uint32_t>& out) { Queue(Kind::Unsigned, range, &out); }
    void Weights(TextRange range, brix::UArray<MeshData::Weight>& out) { Queue(Kind::Weights, range, &out); }
    // Drops the queued lists whose target lies in [first, end): those arrays are about to
    // be released (a list of UV sets started over).
    void Forget(const void* first, const void* end);

    // Reads every queued list and empties the queue; false when a list read so far holds
    // a token that is not a number of its kind (an integer, or a real), or an integer
    // that does not fit 32 bits. A missing number at the end of a list reads as 0.
    bool ReadAll();
    // What ReadAll refused: the rule, and the offset in the text of the token that broke
    // it (of the first such token in the file among those the reads met).
    const RigDamage& Fault() const { return m_fault; }

    // What a queued list's target is.
    enum class Kind { Vectors3, Vectors2, Unsigned, Weights };

private:
    struct Job {
        Kind kind;
        TextRange range;
        void* target;
    };
    void Queue(Kind kind, TextRange range, void* target);
    void ReadQueued();

    const char* m_text;
    brix::UArray<Job> m_jobs;
    RigDamage m_fault;
};

}  // namespace rig

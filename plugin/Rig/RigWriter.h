#pragma once
// The rig file writer's three primitives. Each call is one write of one text to the
// output stream; nothing is buffered beyond the number being formatted.

#include <cstdint>

#include "CoreServices/Interfaces/IStream.h"
#include "Utils/UArray.h"
#include "Utils/UBaseString.h"

class RigWriter {
public:
    explicit RigWriter(brix::IOutputStream& stream) : m_stream(stream) {}

    void WriteText(const char* text);
    void WriteText(const brix::UString& text);
    // A name that goes between double quotes. The format has no escape for a double
    // quote, so each one in the name is written as '_', and the first time a name is
    // changed so a warning says what it became.
    void WriteName(const brix::UString& name);
    // The decimal digits of the value.
    void WriteUnsigned(uint32_t value);
    // One to four reals, each as printf's "%.4f" prints it widened to double, separated
    // by single spaces.
    void WriteReals(const float* values, int count);
    void WriteReals(float a) { WriteReals(&a, 1); }

    // Formats one real as "%.4f" into out (room for kMaxRealText bytes); returns the
    // length. Exact for every float: the longest takes 46 characters.
    static constexpr int kMaxRealText = 64;
    static int FormatReal(float value, char* out);

private:
    brix::IOutputStream& m_stream;
    brix::UArray<brix::UString> m_changedNames;
};

#include "Core/ErrorDescription.h"

#include <cstdio>
#include <cstring>

namespace brix {

namespace {

// Copies at most capacity - 1 bytes of text (none for nullptr) and terminates.
void CopyTruncated(char* field, size_t capacity, const char* text) {
    size_t length = text ? strlen(text) : 0;
    if (length > capacity - 1) length = capacity - 1;
    if (length) memcpy(field, text, length);
    field[length] = '\0';
}

// Appends as much of text as fits, keeping the field terminated inside itself.
void AppendTruncated(char* field, size_t capacity, const char* text) {
    size_t used = strlen(field);
    size_t length = strlen(text);
    if (length > capacity - 1 - used) length = capacity - 1 - used;
    memcpy(field + used, text, length);
    field[used + length] = '\0';
}

}  // namespace

ErrorDescription::ErrorDescription(const char* file, const char* function, const char* message, int line)
    : m_type(TYPE_UNKNOWN), m_line(line) {
    CopyTruncated(m_message, kMessageSize, message);

    const char* colon = file ? strchr(file, ':') : nullptr;
    CopyTruncated(m_file, kFileSize, colon ? colon + 1 : file);

    m_history[0] = '\0';
    if (function) {
        // A name too long to be followed by "()" is kept as far as it fits, without it.
        if (strlen(function) >= kHistorySize - 2) {
            CopyTruncated(m_history, kHistorySize, function);
        } else {
            CopyTruncated(m_history, kHistorySize, function);
            AppendTruncated(m_history, kHistorySize, "()");
        }
    }
}

ErrorDescription::ErrorDescription(const ErrorDescription& inner, const char* function) : ErrorDescription(inner) {
    if (function && function[0]) {
        if (m_history[0]) AppendTruncated(m_history, kHistorySize, " <- ");
        AppendTruncated(m_history, kHistorySize, function);
        AppendTruncated(m_history, kHistorySize, "()");
    } else {
        AppendTruncated(m_history, kHistorySize, " <- (unknown)");
    }
}

const char* ErrorDescription::TypeName(int type) { return type == TYPE_BAD_ALLOC ? "BAD_ALLOC" : "UNKNOWN"; }

const char* ErrorDescription::Format() const {
    // Labels, the longest type name and three full fields fit, so nothing is ever cut.
    snprintf(m_formatted, sizeof m_formatted, "Type:\r\n%s\r\n\r\nMessage:\r\n%s\r\n\r\nHistory:\r\n%s",
             TypeName(m_type), m_message[0] ? m_message : "(n/a)", m_history[0] ? m_history : "(n/a)");
    return m_formatted;
}

namespace {

bool IsIdentifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

struct Span {
    const char* begin;
    const char* end;
    size_t size() const { return size_t(end - begin); }
    bool Equals(const char* other, size_t length) const { return size() == length && !memcmp(begin, other, length); }
};

// One "Name = value" binding of the compiler's "[with ...]" list.
struct Binding {
    Span name;
    Span value;
};

class BoundedWriter {
public:
    BoundedWriter(char* out, size_t size) : m_out(out), m_size(size) {}
    void Put(const char* text, size_t length) {
        for (size_t i = 0; i < length && m_used + 1 < m_size; ++i) m_out[m_used++] = text[i];
    }
    void Finish() { m_out[m_used < m_size ? m_used : m_size - 1] = '\0'; }

private:
    char* m_out;
    size_t m_size;
    size_t m_used = 0;
};

// Splits "[with T = float; U = int]" into bindings, splitting on "; " only outside
// template brackets and parentheses.
size_t ParseBindings(const char* with, const char* end, Binding* bindings, size_t maxBindings) {
    size_t count = 0;
    const char* p = with;
    while (p < end && count < maxBindings) {
        const char* equals = strstr(p, " = ");
        if (!equals || equals >= end) break;
        const char* valueBegin = equals + 3;
        const char* q = valueBegin;
        int depth = 0;
        for (; q < end; ++q) {
            if (*q == '<' || *q == '(' || *q == '[')
                ++depth;
            else if (*q == '>' || *q == ')' || *q == ']')
                --depth;
            else if (*q == ';' && depth == 0)
                break;
        }
        bindings[count++] = Binding{{p, equals}, {valueBegin, q}};
        p = q < end ? q + 2 : end;
    }
    return count;
}

}  // namespace

const char* QualifiedFunctionName(const char* signature, char* out, size_t outSize) {
    if (!out || outSize == 0) return out;
    BoundedWriter writer(out, outSize);
    if (!signature) {
        writer.Finish();
        return out;
    }
    const char* end = signature + strlen(signature);

    Binding bindings[16];
    size_t bindingCount = 0;
    const char* with = strstr(signature, " [with ");
    if (with) {
        const char* withEnd = end;
        if (withEnd > with && withEnd[-1] == ']') --withEnd;
        bindingCount = ParseBindings(with + 7, withEnd, bindings, 16);
        end = with;
    }

    // The name ends at the '(' that opens the parameter list: the '(' matching the last
    // ')' of the signature (qualifiers such as " const" may follow it).
    const char* close = end;
    while (close > signature && close[-1] != ')') --close;
    const char* nameEnd = end;
    if (close > signature) {
        int depth = 0;
        for (const char* p = close - 1; p >= signature; --p) {
            if (*p == ')')
                ++depth;
            else if (*p == '(' && --depth == 0) {
                nameEnd = p;
                break;
            }
        }
    }
    // The name starts after the return type: the last space outside template brackets.
    const char* nameBegin = signature;
    int depth = 0;
    for (const char* p = signature; p < nameEnd; ++p) {
        if (*p == '<' || *p == '(')
            ++depth;
        else if (*p == '>' || *p == ')')
            --depth;
        else if (*p == ' ' && depth == 0)
            nameBegin = p + 1;
    }
    while (nameBegin < nameEnd && (*nameBegin == '*' || *nameBegin == '&')) ++nameBegin;

    // Copy the name, replacing template parameter names by their arguments.
    for (const char* p = nameBegin; p < nameEnd;) {
        if (IsIdentifierChar(*p) && (p == nameBegin || !IsIdentifierChar(p[-1]))) {
            const char* q = p;
            while (q < nameEnd && IsIdentifierChar(*q)) ++q;
            const Binding* bound = nullptr;
            for (size_t i = 0; i < bindingCount && !bound; ++i)
                if (bindings[i].name.Equals(p, size_t(q - p))) bound = &bindings[i];
            if (bound)
                writer.Put(bound->value.begin, bound->value.size());
            else
                writer.Put(p, size_t(q - p));
            p = q;
        } else {
            writer.Put(p, 1);
            ++p;
        }
    }
    writer.Finish();
    return out;
}

void ThrowAssureFailure(const char* file, const char* signature, const char* message, int line) {
    char name[ErrorDescription::kHistorySize];
    throw ErrorDescription(file, QualifiedFunctionName(signature, name, sizeof name), message, line);
}

void RethrowWithHistory(const ErrorDescription& inner, const char* signature) {
    char name[ErrorDescription::kHistorySize];
    throw ErrorDescription(inner, QualifiedFunctionName(signature, name, sizeof name));
}

void ThrowUnknownError(const char* file, const char* signature, int line) {
    char name[ErrorDescription::kHistorySize];
    throw ErrorDescription(file, QualifiedFunctionName(signature, name, sizeof name), "unknown error", line);
}

}  // namespace brix

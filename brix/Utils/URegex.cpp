#include "Utils/URegex.h"

#include <oniguruma.h>

#include <mutex>

#include "Core/ErrorDescription.h"
#include "Core/LegacyTexts.h"

namespace brix {

namespace {

// The engine's own default budget of backtracking steps for one match.
constexpr unsigned long kBaseRetryLimit = 10000000ul;
// Steps allowed per subject byte on top of it: matching one brace block takes about one
// step per byte, so this leaves a wide margin for valid text of any size while still
// ending pathological searches.
constexpr unsigned long kRetriesPerByte = 64;

// Ends the engine when this code is unloaded (a plug-in module closed by its host, or
// the program exiting). The engine keeps global tables from its initialisation; when
// the module goes, the engine library may go with it, and those tables would be lost.
struct EngineLifetime {
    bool initialised = false;
    ~EngineLifetime() {
        if (initialised) onig_end();
    }
} g_engine;

void InitialiseEngineOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        OnigEncoding encodings[] = {ONIG_ENCODING_ASCII};
        onig_initialize(encodings, 1);
        onig_set_subexp_call_max_nest_level(URegex<unsigned char>::kMaxCallNesting);
        g_engine.initialised = true;
    });
}

OnigRegex AsRegex(void* regex) { return static_cast<OnigRegex>(regex); }
OnigRegion* AsRegion(void* region) { return static_cast<OnigRegion*>(region); }
OnigMatchParam* AsMatchParam(void* param) { return static_cast<OnigMatchParam*>(param); }

static_assert(ONIG_MISMATCH == URegex<unsigned char>::kNoMatch);

}  // namespace

template <typename T>
URegex<T>::URegex(const UBaseString<T>& pattern) try : m_pattern(pattern) {
    CreateOnigRegex();
} catch (const ErrorDescription& error) {
    throw ErrorDescription(error, "brix::URegex<unsigned char>::URegex");
} catch (...) {
    throw ErrorDescription(legacy::kRegexConstructor.file, legacy::kRegexConstructor.function, "unknown error",
                           legacy::kRegexConstructor.line);
}

template <typename T>
URegex<T>::~URegex() {
    if (m_matchParam) onig_free_match_param(AsMatchParam(m_matchParam));
    if (m_region) onig_region_free(AsRegion(m_region), 1);
    if (m_regex) onig_free(AsRegex(m_regex));
}

template <typename T>
void URegex<T>::CreateOnigRegex() {
    InitialiseEngineOnce();
    const OnigUChar* start = reinterpret_cast<const OnigUChar*>(m_pattern.c_str());
    const OnigUChar* end = start + m_pattern.Length();
    OnigErrorInfo errorInfo;
    OnigRegex regex = nullptr;
    const int result = onig_new(&regex, start, end, m_options, ONIG_ENCODING_ASCII, ONIG_SYNTAX_RUBY, &errorInfo);
    if (result != ONIG_NORMAL) {
        OnigUChar message[ONIG_MAX_ERROR_MESSAGE_LEN];
        onig_error_code_to_str(message, result, &errorInfo);
        throw ErrorDescription(legacy::kRegexCompile.file, legacy::kRegexCompile.function,
                               reinterpret_cast<const char*>(message), legacy::kRegexCompile.line);
    }
    m_regex = regex;
    m_region = onig_region_new();
    OnigMatchParam* param = onig_new_match_param();
    onig_initialize_match_param(param);
    m_matchParam = param;
}

template <typename T>
int URegex<T>::Search(const T* subjectStart, const T* subjectEnd, const T* searchStart, const T* rangeEnd) {
    const unsigned long length = static_cast<unsigned long>(subjectEnd - subjectStart);
    onig_set_retry_limit_in_match_of_match_param(AsMatchParam(m_matchParam),
                                                 kBaseRetryLimit + kRetriesPerByte * length);
    return onig_search_with_param(
        AsRegex(m_regex), reinterpret_cast<const OnigUChar*>(subjectStart),
        reinterpret_cast<const OnigUChar*>(subjectEnd), reinterpret_cast<const OnigUChar*>(searchStart),
        reinterpret_cast<const OnigUChar*>(rangeEnd), AsRegion(m_region), m_options, AsMatchParam(m_matchParam));
}

template <typename T>
int URegex<T>::MatchBegin() const {
    return AsRegion(m_region)->beg[0];
}

template <typename T>
int URegex<T>::MatchEnd() const {
    return AsRegion(m_region)->end[0];
}

template class URegex<unsigned char>;

}  // namespace brix

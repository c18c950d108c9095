#include "wallpaper/uPagePattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <chrono>
#include <stdexcept>

namespace velmora {

struct TPagePattern::TImpl {
    pcre2_code* Code = nullptr;
    ~TImpl() { pcre2_code_free(Code); }
};

namespace {

// Match context and JIT stack of the calling thread; a JIT stack must not be
// shared between threads that match at the same time.
struct TMatchResources {
    pcre2_match_context* Context = nullptr;
    pcre2_jit_stack* Stack = nullptr;
    std::size_t StackBytes = 0;
    ~TMatchResources() {
        pcre2_jit_stack_free(Stack);
        pcre2_match_context_free(Context);
    }
};

pcre2_match_context* ContextFor(const TPatternLimits& limits) {
    thread_local TMatchResources res;
    if (!res.Context)
        res.Context = pcre2_match_context_create(nullptr);
    if (res.StackBytes != limits.JitStackBytes) {
        pcre2_jit_stack_free(res.Stack);
        res.Stack = pcre2_jit_stack_create(32 * 1024, limits.JitStackBytes, nullptr);
        res.StackBytes = limits.JitStackBytes;
        pcre2_jit_stack_assign(res.Context, nullptr, res.Stack);
    }
    pcre2_set_match_limit(res.Context, limits.MatchLimit);
    pcre2_set_depth_limit(res.Context, limits.DepthLimit);
    return res.Context;
}

using TClock = std::chrono::steady_clock;

// The callout at the head of an interpreted pattern runs at every start
// position; it ends the call once its time is up.
int DeadlineCallout(pcre2_callout_block*, void* data) {
    return TClock::now() > *static_cast<const TClock::time_point*>(data) ? PCRE2_ERROR_CALLOUT : 0;
}

// The "(*...)" settings that may only stand at the very start of a pattern.
std::string_view LeadingSettings(std::string_view pattern) {
    std::size_t at = 0;
    while (pattern.substr(at, 2) == "(*") {
        const std::size_t close = pattern.find(')', at);
        if (close == std::string_view::npos)
            break;
        // Upper-case names, digits and "=": (*UTF), (*LIMIT_MATCH=10), (*CRLF) …
        const std::string_view name = pattern.substr(at + 2, close - at - 2);
        if (name.empty() || name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789=") !=
                                std::string_view::npos)
            break;
        at = close + 1;
    }
    return pattern.substr(0, at);
}

struct TMatchData {
    pcre2_match_data* Data;
    explicit TMatchData(const pcre2_code* code)
        : Data(pcre2_match_data_create_from_pattern(code, nullptr)) {
        if (!Data)
            throw std::bad_alloc();
    }
    ~TMatchData() { pcre2_match_data_free(Data); }
};

} // namespace

TPagePattern::TPagePattern(std::string_view pattern, bool caselessMultiline, TPatternLimits limits)
    : FImpl(std::make_unique<TImpl>()), FLimits(limits) {
    const uint32_t options = caselessMultiline ? PCRE2_CASELESS | PCRE2_MULTILINE : 0;
    auto compile = [&](std::string_view text, int& error, PCRE2_SIZE& offset, uint32_t extra = 0) {
        pcre2_compile_context* cc = pcre2_compile_context_create(nullptr);
        pcre2_set_newline(cc, PCRE2_NEWLINE_ANY);
        pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                                         options | extra, &error, &offset, cc);
        pcre2_compile_context_free(cc);
        return code;
    };
    int error = 0;
    PCRE2_SIZE offset = 0;
    FImpl->Code = compile(pattern, error, offset);
    if (!FImpl->Code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(error, message, sizeof message);
        throw std::invalid_argument(std::string(reinterpret_cast<char*>(message)) + " at " +
                                    std::to_string(offset));
    }
    // With JIT the match limit bounds the whole call.
    if (FLimits.UseJit && pcre2_jit_compile(FImpl->Code, PCRE2_JIT_COMPLETE) == 0) {
        FJit = true;
        return;
    }
    // Interpreted: the whole pattern, every branch of a top-level alternation
    // included, behind a callout that keeps the deadline. Start-of-pattern
    // settings such as (*CRLF) must stay in front, and "\E" closes a \Q
    // quote left open at the end so that it cannot swallow the closing bracket.
    const std::string_view lead = LeadingSettings(pattern);
    const std::string guarded =
        std::string(lead) + "(?C1)(?:" + std::string(pattern.substr(lead.size())) + "\\E)";
    pcre2_code* code = compile(guarded, error, offset);
    // A pattern the wrapping cannot take (an extended-mode comment at its
    // end): a callout before every item keeps the deadline instead.
    if (!code)
        code = compile(pattern, error, offset, PCRE2_AUTO_CALLOUT);
    if (code) {
        pcre2_code_free(FImpl->Code);
        FImpl->Code = code;
        FCallout = true;
    }
}

TPagePattern::~TPagePattern() = default;

TPatternMatch TPagePattern::Match(std::string_view subject, std::size_t startOffset) const {
    TPatternMatch m;
    if (startOffset > subject.size())
        return m;
    TMatchData md(FImpl->Code);
    pcre2_match_context* context = ContextFor(FLimits);
    const TClock::time_point deadline =
        TClock::now() + std::chrono::milliseconds(FLimits.InterpreterBudgetMs);
    pcre2_set_callout(context, FCallout ? DeadlineCallout : nullptr,
                      const_cast<TClock::time_point*>(&deadline));
    int rc = pcre2_match(FImpl->Code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                         startOffset, PCRE2_NOTEMPTY, md.Data, context);
    if (rc < 0) {
        m.HitLimit = rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
                     rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT ||
                     rc == PCRE2_ERROR_NOMEMORY || rc == PCRE2_ERROR_CALLOUT;
        return m;
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.Data);
    const std::uint32_t pairs = pcre2_get_ovector_count(md.Data);
    m.Matched = true;
    m.Start = ov[0];
    m.End = ov[1];
    m.Groups.resize(pairs);
    for (std::uint32_t i = 0; i < pairs; ++i)
        if (ov[2 * i] != PCRE2_UNSET && ov[2 * i + 1] >= ov[2 * i])
            m.Groups[i] = std::string(subject.substr(ov[2 * i], ov[2 * i + 1] - ov[2 * i]));
    return m;
}

} // namespace velmora

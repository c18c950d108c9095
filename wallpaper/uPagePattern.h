#pragma once
// The regular expressions that cut results out of the search pages, on PCRE2.
// Patterns and subjects are code page 936 bytes (no UTF mode), newlines are
// "any", and an empty match is never accepted.
//
// Every match is bounded: the item patterns chain unbounded ".*" runs over
// text whose line feeds were removed, so a crafted page could otherwise keep
// the matcher busy for minutes. A match that hits the bound is no match.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct TPatternLimits {
    std::uint32_t MatchLimit = 1'000'000; // backtracking steps of one match call
    std::uint32_t DepthLimit = 10'000;    // nested backtracking points (interpreter)
    std::size_t JitStackBytes = 1 << 20;
    // Without JIT the match limit holds for each start position on its own,
    // so the interpreter also stops a call that runs longer than this.
    std::uint32_t InterpreterBudgetMs = 30;
    bool UseJit = true; // false: always the interpreter
};

struct TPatternMatch {
    bool Matched = false;
    bool HitLimit = false; // the bound stopped the match
    std::size_t Start = 0, End = 0;
    // Groups 0..n; an unset group is empty.
    std::vector<std::string> Groups;
    std::string Group(std::size_t i) const { return i < Groups.size() ? Groups[i] : std::string(); }
};

class TPagePattern {
public:
    // Throws std::invalid_argument with PCRE2's message when the pattern does
    // not compile. caselessMultiline: the options of the block and item patterns.
    TPagePattern(std::string_view pattern, bool caselessMultiline,
                 TPatternLimits limits = TPatternLimits());
    ~TPagePattern();
    TPagePattern(const TPagePattern&) = delete;
    TPagePattern& operator=(const TPagePattern&) = delete;

    TPatternMatch Match(std::string_view subject, std::size_t startOffset = 0) const;
    bool UsesJit() const { return FJit; }

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    TPatternLimits FLimits;
    bool FJit = false;
    bool FCallout = false;
};

} // namespace velmora

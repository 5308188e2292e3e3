// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/regex_pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <new>

namespace pixhaul {

namespace {

std::string EngineMessage(int code) {
  PCRE2_UCHAR buffer[256];
  const int length = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (length < 0) return "error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
}

// One owner per PCRE2 object, each freed by its own function.
struct CodeFree {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct MatchContextFree {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct JitStackFree {
  void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};

// One JIT stack per thread, shared by every expression it runs: a thread runs one match at a
// time, and a stack per expression would reserve its size for each of thousands of
// expressions a rules file may hold. Null when it cannot be had, which makes PCRE2 use its own
// small stack (an expression that needs more then fails at the engine's limits).
pcre2_jit_stack* ThreadJitStack(void* /*unused*/) {
  thread_local const std::unique_ptr<pcre2_jit_stack, JitStackFree> stack(
      pcre2_jit_stack_create(32 * 1024, RegexPattern::kJitStackBytes, nullptr));
  return stack.get();
}

}  // namespace

struct RegexPattern::Compiled {
  enum class Jit { kNotTried, kReady, kUnavailable };
  bool local = false;
  Jit jit = Jit::kNotTried;
  std::unique_ptr<pcre2_code, CodeFree> code;
  std::unique_ptr<pcre2_match_context, MatchContextFree> context;
  std::unique_ptr<pcre2_match_data, MatchDataFree> data;
};

std::optional<RegexPattern> RegexPattern::Compile(std::string_view expression, std::string& error) {
  std::unique_ptr<pcre2_compile_context, CompileContextFree> compileContext(
      pcre2_compile_context_create(nullptr));
  if (!compileContext) throw std::bad_alloc();
  pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_ANYCRLF);

  auto compiled = std::make_unique<Compiled>();
  // Anything that may look past a match's end, or make one search differ from another, in
  // text form; a false alarm only costs speed.
  compiled->local = true;
  for (const char* construct : {"(?=", "(?!", "(?*", "(*", "\\z", "\\Z", "\\G"}) {
    if (expression.find(construct) != std::string_view::npos) compiled->local = false;
  }
  int code = 0;
  PCRE2_SIZE offset = 0;
  // A null pointer with length 0 is not accepted by every PCRE2 version.
  const char* pattern = expression.empty() ? "" : expression.data();
  compiled->code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), expression.size(),
                                     PCRE2_NEVER_UTF | PCRE2_USE_OFFSET_LIMIT, &code, &offset,
                                     compileContext.get()));
  if (!compiled->code) {
    // Compiling reports its lack of memory as a compile error of its own.
    if (code == PCRE2_ERROR_HEAP_FAILED || code == PCRE2_ERROR_NOMEMORY) throw std::bad_alloc();
    error = EngineMessage(code) + " (at character " + std::to_string(offset + 1) + ")";
    return std::nullopt;
  }

  compiled->context.reset(pcre2_match_context_create(nullptr));
  compiled->data.reset(pcre2_match_data_create_from_pattern(compiled->code.get(), nullptr));
  if (!compiled->context || !compiled->data) throw std::bad_alloc();
  pcre2_set_match_limit(compiled->context.get(), kMatchLimit);
  pcre2_set_depth_limit(compiled->context.get(), kDepthLimit);
  pcre2_set_heap_limit(compiled->context.get(), kHeapLimitKiB);

  pcre2_jit_stack_assign(compiled->context.get(), ThreadJitStack, nullptr);
  return RegexPattern(std::move(compiled));
}

RegexPattern::RegexPattern(std::unique_ptr<Compiled> compiled) : compiled_(std::move(compiled)) {}
RegexPattern::RegexPattern(RegexPattern&&) noexcept = default;
RegexPattern& RegexPattern::operator=(RegexPattern&&) noexcept = default;
RegexPattern::~RegexPattern() = default;

size_t RegexPattern::CompiledBytes() const {
  size_t bytes = 0;
  pcre2_pattern_info(compiled_->code.get(), PCRE2_INFO_SIZE, &bytes);
  return bytes;
}

uint32_t RegexPattern::CaptureCount() const {
  uint32_t count = 0;
  pcre2_pattern_info(compiled_->code.get(), PCRE2_INFO_CAPTURECOUNT, &count);
  return count;
}

size_t RegexPattern::MaxLookbehind() const {
  uint32_t length = 0;
  pcre2_pattern_info(compiled_->code.get(), PCRE2_INFO_MAXLOOKBEHIND, &length);
  return length;
}

bool RegexPattern::MatchesAreLocal() const { return compiled_->local; }

RegexPattern::Result RegexPattern::Search(std::string_view subject, size_t startOffset,
                                          bool textContinues, bool startsText, size_t lastStart) {
  uint32_t options = 0;
  if (textContinues) options |= PCRE2_PARTIAL_HARD;
  if (!startsText) options |= PCRE2_NOTBOL;
  return Run(subject, startOffset, options, lastStart);
}

RegexPattern::Result RegexPattern::SearchAwayFromTheEnd(std::string_view subject,
                                                        size_t startOffset, bool startsText,
                                                        size_t lastStart) {
  return Run(subject, startOffset, PCRE2_NOTEOL | (startsText ? 0 : PCRE2_NOTBOL), lastStart);
}

RegexPattern::Result RegexPattern::Run(std::string_view subject, size_t startOffset,
                                       uint32_t options, size_t lastStart) {
  if (startOffset > subject.size()) return Result{};  // nothing starts beyond the end
  // Machine code is made at the first search, not at compiling: most expressions of a rules
  // file are never run, and making it costs more than compiling. Without it (an unsupported
  // machine, no executable memory) the interpreter runs the same expression more slowly; both
  // honour the limits.
  if (compiled_->jit == Compiled::Jit::kNotTried) {
    compiled_->jit =
        pcre2_jit_compile(compiled_->code.get(), PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD) == 0
            ? Compiled::Jit::kReady
            : Compiled::Jit::kUnavailable;
  }
  // The context keeps the limit from one search to the next.
  pcre2_set_offset_limit(compiled_->context.get(),
                         lastStart >= subject.size() ? PCRE2_UNSET : lastStart);
  const char* bytes = subject.empty() ? "" : subject.data();
  const int rc =
      pcre2_match(compiled_->code.get(), reinterpret_cast<PCRE2_SPTR>(bytes), subject.size(),
                  startOffset, options, compiled_->data.get(), compiled_->context.get());
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(compiled_->data.get());
  Result result;
  if (rc == PCRE2_ERROR_NOMATCH) return result;
  if (rc == PCRE2_ERROR_PARTIAL) {
    result.outcome = Outcome::kPartial;
    result.start = ovector[0];
    result.end = ovector[1];
    return result;
  }
  if (rc < 0) {  // lack of memory included: the search stops like one at the limits
    result.outcome = Outcome::kFailed;
    result.failure = EngineMessage(rc);
    return result;
  }
  result.outcome = Outcome::kMatch;
  result.start = ovector[0];
  result.end = ovector[1];
  // rc is 1 when no group took part; an unset group has both offsets PCRE2_UNSET.
  if (rc > 1 && ovector[2] != PCRE2_UNSET) {
    result.groupStart = ovector[2];
    result.groupEnd = ovector[3];
  }
  return result;
}

}  // namespace pixhaul

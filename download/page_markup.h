// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// PageMarkup: the markup of the result page a run works on, as its window hands it over. It is
// either a text held once in memory (the web view's capture, a page fetched over HTTP) or a
// file whose bytes are the markup (a saved page given to pixhaul-cli), which is copied when the
// run writes its page file and never read into memory. A file's markup is bounded
// (kMaxPageFileBytes): a pipe or a device that never ends must not fill the save folder's disk.
//
// The run writes it as its page file: the markup followed by CR LF, exactly as a line list
// holding the markup as its single entry saves it; every byte of the markup (NUL, CR and LF
// included) is written as it stands. The page file is replaced whole or not at all. Move-only;
// used on one thread at a time.
//
// Tests: tests/download/run_controller_test.cpp and tests/cli/pixhaul_cli_page_test.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "framework/file_target.h"
#include "framework/memory_stream.h"
#include "framework/posix_file.h"

namespace pixhaul {

// The largest page file taken: 1 GiB of markup.
inline constexpr uint64_t kMaxPageFileBytes = uint64_t{1} << 30;

// "Page too large: %s holds more than %d bytes": the page file `path` and the limit.
std::string PageTooLargeMessage(const std::string& path, uint64_t limit);

class PageMarkup {
 public:
  // A text held in memory. Not explicit: a capture hands over its text as it is, moved in.
  PageMarkup(std::string text);  // NOLINT(google-explicit-constructor)
  // A body as the HTTP client left it in a memory buffer.
  explicit PageMarkup(std::unique_ptr<TMemoryStream> body);
  // The bytes of the file at `path`, at most `limit` of them. The file is opened now, so one
  // that cannot be read is found at once, and read only by SaveToFile. Raises EFOpenError
  // "Cannot open file %s" when it cannot be opened or is a folder, EFOpenError with
  // PageTooLargeMessage when it is a regular file larger than `limit`.
  static PageMarkup FromFile(const std::string& path, uint64_t limit = kMaxPageFileBytes);

  PageMarkup(PageMarkup&&) noexcept = default;
  PageMarkup& operator=(PageMarkup&&) noexcept = default;

  // The markup when it is held in memory; nothing when it is a file's content.
  std::optional<std::string_view> HeldText() const;

  // Creates or replaces the file `path` with the markup followed by CR LF, through a file
  // beside it that takes its name only when complete (ReplacementFile): a failure leaves
  // `path` as it was, and a link planted under its name is replaced, not followed. A file's
  // bytes are copied from its start (once only, for a pipe); `path` may be that very file.
  // Raises EFCreateError "Cannot create file %s" when `path` cannot be created, EFOpenError
  // "Cannot open file %s" with the source's path when the source cannot be read, EFOpenError
  // with PageTooLargeMessage when the source holds more than its limit, EWriteError "Stream
  // write error" when the bytes cannot all be written. Returns a descriptor of the file written,
  // open for reading: it stays the file this call wrote whatever later takes the name `path`.
  FileDescriptor SaveToFile(const FileTarget& path);

 private:
  struct SourceFile {
    std::string path;
    FileDescriptor file;
    uint64_t limit;
  };
  explicit PageMarkup(SourceFile source);

  std::variant<std::string, std::unique_ptr<TMemoryStream>, SourceFile> content_;
};

}  // namespace pixhaul

// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/page_markup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/exception.h"
#include "framework/replacement_file.h"

namespace pixhaul {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::string PageTooLargeMessage(const std::string& path, uint64_t limit) {
  return "Page too large: " + path + " holds more than " + std::to_string(limit) + " bytes";
}

PageMarkup::PageMarkup(std::string text) : content_(std::move(text)) {}

PageMarkup::PageMarkup(std::unique_ptr<TMemoryStream> body) : content_(std::move(body)) {}

PageMarkup::PageMarkup(SourceFile source) : content_(std::move(source)) {}

PageMarkup PageMarkup::FromFile(const std::string& path, uint64_t limit) {
  FileDescriptor file(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  // A folder opens but cannot be read.
  if (file.Get() < 0 || (::fstat(file.Get(), &info) == 0 && S_ISDIR(info.st_mode))) {
    throw EFOpenError(CannotOpenFileMessage(path));
  }
  // A file that is too large already is refused before anything is written; a pipe or a
  // device tells no size and is held to the limit while it is copied.
  if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) > limit) {
    throw EFOpenError(PageTooLargeMessage(path, limit));
  }
  return PageMarkup(SourceFile{path, std::move(file), limit});
}

std::optional<std::string_view> PageMarkup::HeldText() const {
  if (const auto* text = std::get_if<std::string>(&content_)) return std::string_view(*text);
  if (const auto* body = std::get_if<std::unique_ptr<TMemoryStream>>(&content_)) {
    if (!*body) return std::string_view();
    return std::string_view((*body)->Memory() ? (*body)->Memory() : "",
                            static_cast<size_t>((*body)->Size()));
  }
  return std::nullopt;
}

FileDescriptor PageMarkup::SaveToFile(const FileTarget& path) {
  // The new file is a file of its own until it takes the name: a source that is `path` itself
  // is read whole from its own inode.
  ReplacementFile file(path);
  if (auto* source = std::get_if<SourceFile>(&content_)) {
    // From the start again, should the page be saved twice; a pipe has no start to go back to.
    ::lseek(source->file.Get(), 0, SEEK_SET);
    switch (CopyToEnd(source->file.Get(), file.Handle(), source->limit)) {
      case CopyResult::kDone:
        break;
      case CopyResult::kReadFailed:
        throw EFOpenError(CannotOpenFileMessage(source->path));
      case CopyResult::kWriteFailed:
        throw EWriteError(kStreamWriteError);
      case CopyResult::kLimitExceeded:
        throw EFOpenError(PageTooLargeMessage(source->path, source->limit));
    }
  } else {
    file.Write(*HeldText());
  }
  file.Write(kLineEnd);
  FileDescriptor written = file.Duplicate();
  file.Commit();
  return written;
}

}  // namespace pixhaul

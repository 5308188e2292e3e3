#include "download/page_markup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/exception.h"

namespace pixhaul {

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr size_t kLineEndBytes = 2;

// Whether `path` names the same file as the open descriptor `fd`.
bool SameFile(int fd, const std::string& path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

void FinishFile(FileDescriptor& file) {
  if (!WriteAll(file.Get(), kLineEnd, kLineEndBytes) || !file.Close()) {
    throw EWriteError(kStreamWriteError);
  }
}

FileDescriptor CreateTruncated(const std::string& path) {
  FileDescriptor file(OpenRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (file.Get() < 0) throw EFCreateError(CannotCreateFileMessage(path));
  return file;
}

}  // namespace

PageMarkup::PageMarkup(std::string text) : content_(std::move(text)) {}

PageMarkup::PageMarkup(std::unique_ptr<TMemoryStream> body) : content_(std::move(body)) {}

PageMarkup::PageMarkup(SourceFile source) : content_(std::move(source)) {}

PageMarkup PageMarkup::FromFile(const std::string& path) {
  FileDescriptor file(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  // A folder opens but cannot be read.
  if (file.Get() < 0 || (::fstat(file.Get(), &info) == 0 && S_ISDIR(info.st_mode))) {
    throw EFOpenError(CannotOpenFileMessage(path));
  }
  return PageMarkup(SourceFile{path, std::move(file)});
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

void PageMarkup::SaveToFile(const std::string& path) {
  if (auto* source = std::get_if<SourceFile>(&content_)) {
    if (SameFile(source->file.Get(), path)) {
      FileDescriptor file(OpenRetrying(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
      if (file.Get() < 0) throw EFCreateError(CannotCreateFileMessage(path));
      FinishFile(file);
      return;
    }
    FileDescriptor file = CreateTruncated(path);
    // From the start again, should the page be saved twice; a pipe has no start to go back to.
    ::lseek(source->file.Get(), 0, SEEK_SET);
    switch (CopyToEnd(source->file.Get(), file.Get())) {
      case CopyResult::kDone:
        break;
      case CopyResult::kReadFailed:
        throw EFOpenError(CannotOpenFileMessage(source->path));
      case CopyResult::kWriteFailed:
        throw EWriteError(kStreamWriteError);
    }
    FinishFile(file);
    return;
  }
  FileDescriptor file = CreateTruncated(path);
  const std::string_view text = *HeldText();
  if (!WriteAll(file.Get(), text.data(), text.size())) throw EWriteError(kStreamWriteError);
  FinishFile(file);
}

}  // namespace pixhaul

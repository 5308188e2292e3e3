// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/image_check.h"

#include <unistd.h>

#include <cerrno>

#include "download/image_signature.h"
#include "download/image_size.h"
#include "download/run_texts.h"
#include "framework/exception.h"
#include "framework/mapped_file.h"

namespace pixhaul {

namespace {

std::string ReadHead(int fd) {
  std::string head(kSignatureHeadBytes, '\0');
  size_t filled = 0;
  while (filled < head.size()) {
    const ssize_t got =
        ::pread(fd, head.data() + filled, head.size() - filled, static_cast<off_t>(filled));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw EFOpenError(CannotOpenFileMessage("(download)"));
    if (got == 0) break;
    filled += static_cast<size_t>(got);
  }
  head.resize(filled);
  return head;
}

}  // namespace

std::optional<Refusal> CheckBody(std::string_view contentType, int body,
                                 const DownloadFilters& filters) {
  const std::string head = ReadHead(body);
  if (IsDocument(contentType, head))
    return Refusal{WorkerResult::kNotImage, NotAnImageReason(MediaTypeOf(contentType))};
  if (!filters.FiltersBySize()) return std::nullopt;
  // A JPEG's frame header may stand behind large EXIF or colour-profile segments: the reader
  // gets the whole file, mapped, and touches only the pages up to that header.
  const MappedFile file(body, "(download)");
  const std::optional<ImageSize> size = ImageSizeOf(file.Bytes());
  if (!size || (size->width >= filters.minWidth && size->height >= filters.minHeight))
    return std::nullopt;
  return Refusal{
      WorkerResult::kFiltered,
      SmallerThanReason(SizeText({filters.minWidth, filters.minHeight}), SizeText(*size))};
}

}  // namespace pixhaul

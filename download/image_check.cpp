// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/image_check.h"

#include "download/image_signature.h"
#include "download/image_size.h"
#include "download/run_texts.h"
#include "framework/mapped_file.h"

namespace pixhaul {

std::optional<Refusal> CheckBody(std::string_view contentType, int body,
                                 const DownloadFilters& filters) {
  // Mapped, the checks touch only the pages they read: the head for the document check, and
  // for the size a JPEG's frame header, which may stand behind large EXIF or colour-profile
  // segments.
  const MappedFile file(body, "(download)");
  const std::string_view bytes = file.Bytes();
  if (IsDocument(contentType, bytes.substr(0, kSignatureHeadBytes)))
    return Refusal{WorkerResult::kNotImage, NotAnImageReason(MediaTypeOf(contentType))};
  if (!filters.FiltersBySize()) return std::nullopt;
  const std::optional<ImageSize> size = ImageSizeOf(bytes);
  if (!size || (size->width >= filters.minWidth && size->height >= filters.minHeight))
    return std::nullopt;
  return Refusal{
      WorkerResult::kFiltered,
      SmallerThanReason(SizeText({filters.minWidth, filters.minHeight}), SizeText(*size))};
}

}  // namespace pixhaul

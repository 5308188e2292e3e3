// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/address_list_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/exception.h"

namespace pixhaul {

namespace {

constexpr size_t kBufferBytes = 64 * 1024;

}  // namespace

AddressListFile::AddressListFile(const FileTarget& path)
    : file_(path), buffer_(std::make_unique_for_overwrite<char[]>(kBufferBytes)) {}

void AddressListFile::Add(std::string_view entry) {
  Put(entry);
  Put("\r\n");
}

// An entry is either wholly in the buffer or wholly in the file: Put never splits its bytes.
bool AddressListFile::EntryAtIs(uint64_t offset, std::string_view text) {
  if (offset >= flushed_) {
    return text.empty() ||
           std::memcmp(buffer_.get() + (offset - flushed_), text.data(), text.size()) == 0;
  }
  readBack_.resize(text.size());
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::pread(file_.Handle(), readBack_.data() + done, text.size() - done,
                              static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EWriteError(kStreamWriteError);
    done += static_cast<size_t>(n);
  }
  return readBack_ == text;
}

void AddressListFile::Put(std::string_view bytes) {
  if (bytes.empty()) return;  // an empty entry's view may have no data pointer at all
  if (bytes.size() > kBufferBytes - buffered_) {
    Flush();
    if (bytes.size() >= kBufferBytes) {
      file_.Write(bytes);
      flushed_ += bytes.size();
      return;
    }
  }
  std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
  buffered_ += bytes.size();
}

void AddressListFile::Flush() {
  file_.Write(std::string_view(buffer_.get(), buffered_));
  flushed_ += buffered_;
  buffered_ = 0;
}

void AddressListFile::Finish() {
  Flush();
  file_.Commit();
}

}  // namespace pixhaul

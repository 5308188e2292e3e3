// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/temporary_file.h"

#include <fcntl.h>

#include "framework/exception.h"
#include "framework/posix_file.h"

namespace pixhaul {

namespace {

ReplacementOptions WorkerOptions(int tag) {
  ReplacementOptions options;
  options.tag = tag;
  return options;
}

}  // namespace

TemporaryFile::TemporaryFile(FileTarget target, int tag)
    : file_(std::move(target), WorkerOptions(tag)) {
  FileDescriptor own(::fcntl(file_.Handle(), F_DUPFD_CLOEXEC, 0));
  if (own.Get() < 0) throw EFCreateError(CannotCreateFileMessage(file_.TargetPath()));
  stream_ = std::make_unique<TFileStream>(std::move(own));
}

void TemporaryFile::Finish() {
  if (finished_) return;
  finished_ = true;
  stream_->Close();
}

void TemporaryFile::Commit() {
  Finish();
  file_.Commit();
}

}  // namespace pixhaul

// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// The duplicate check over a save folder: what counts as the same image, what it reads to tell,
// and that workers finishing the same bytes at once keep exactly one of them.
#include "download/duplicate_index.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "framework/posix_file.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

class DuplicateIndexTest : public ::testing::Test {
 protected:
  std::string Folder() const { return dir.Path() + "/"; }
  // A body as a worker holds it: an open file outside the folder.
  FileDescriptor Body(const std::string& bytes) {
    const std::string path = bodies.File("body" + std::to_string(next++));
    WriteFileBytes(path, bytes);
    return FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  }
  // Keeps `bytes` under `name` unless the index has them: the name of the match, or "".
  std::string Offer(DuplicateIndex& index, const std::string& bytes, const std::string& name) {
    const FileDescriptor body = Body(bytes);
    const auto same = index.KeepUnlessDuplicate(body.Get(), name,
                                                [&] { WriteFileBytes(Folder() + name, bytes); });
    return same.value_or("");
  }

  TempDir dir;
  TempDir bodies;
  int next = 0;
};

TEST_F(DuplicateIndexTest, SameBytesAreFoundInTheFolderAndInTheRun) {
  WriteFileBytes(Folder() + "before.jpg", "photograph");
  WriteFileBytes(Folder() + "same-size.jpg", "photogrAph");
  WriteFileBytes(Folder() + "url_list.txt", "run file");
  WriteFileBytes(Folder() + ".pixhaul-1-0-0123abcd.part", "temporary");
  DuplicateIndex index(Folder());
  EXPECT_EQ(index.Count(), 2u);  // neither the run's own file nor a temporary one

  EXPECT_EQ(Offer(index, "photograph", "a.jpg"), "before.jpg");
  EXPECT_EQ(Offer(index, "run file", "b.jpg"), "");     // the list is no image
  EXPECT_EQ(Offer(index, "photogrAph!", "c.jpg"), "");  // another size
  EXPECT_EQ(Offer(index, "photogrAph!", "d.jpg"), "c.jpg");
  EXPECT_EQ(Offer(index, "", "e.jpg"), "");
  EXPECT_EQ(Offer(index, "", "f.jpg"), "e.jpg");
  EXPECT_FALSE(std::filesystem::exists(Folder() + "a.jpg"));
  EXPECT_FALSE(std::filesystem::exists(Folder() + "d.jpg"));

  // A name that took other bytes no longer stands for its old ones.
  EXPECT_EQ(Offer(index, "second image", "c.jpg"), "");
  EXPECT_EQ(Offer(index, "photogrAph!", "g.jpg"), "");
  // A file changed or gone since it was indexed is no match.
  WriteFileBytes(Folder() + "same-size.jpg", "changed!!!");
  EXPECT_EQ(Offer(index, "photogrAph", "h.jpg"), "");
  std::filesystem::remove(Folder() + "before.jpg");
  EXPECT_EQ(Offer(index, "photograph", "i.jpg"), "");
}

TEST_F(DuplicateIndexTest, WorkersFinishingTheSameBytesAtOnceKeepOne) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    const std::string bytes = "image " + std::to_string(round);
    DuplicateIndex index(Folder());
    std::vector<FileDescriptor> held;
    for (int i = 0; i < 4; ++i) held.push_back(Body(bytes));
    std::atomic<int> kept{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) {
      workers.emplace_back([&, i] {
        while (!go) std::this_thread::yield();
        const std::string name = "r" + std::to_string(round) + "-" + std::to_string(i);
        if (!index.KeepUnlessDuplicate(held[i].Get(), name,
                                       [&] { WriteFileBytes(Folder() + name, bytes); }))
          ++kept;
      });
    }
    go = true;
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(kept, 1);
  }
}

TEST_F(DuplicateIndexTest, AFolderOfOtherSizesCostsNoReading) {
  for (int i = 0; i < 200; ++i) WriteFileBytes(Folder() + std::to_string(i), std::string(i, 'x'));
  DuplicateIndex index(Folder());
  EXPECT_EQ(index.Count(), 200u);
  EXPECT_EQ(Offer(index, std::string(500, 'y'), "new"), "");
  EXPECT_EQ(index.FilesHashed(), 0u);
  // A size that matches costs the body and that one file, each once.
  EXPECT_EQ(Offer(index, std::string(150, 'y'), "new2"), "");
  EXPECT_EQ(index.FilesHashed(), 2u);
  EXPECT_EQ(Offer(index, std::string(150, 'x'), "new3"), "150");
  EXPECT_EQ(index.FilesHashed(), 3u);  // its body only: the hashes of 150 and new2 are known
}

}  // namespace
}  // namespace pixhaul::test

// Tests of BufferedFile: reads anywhere in the file, across window edges and
// beyond the end, compared with the file's bytes.

#include "disk_image/buffered_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "tools/d88_writer.h"

namespace fs = std::filesystem;

namespace {

class BufferedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path =
        (fs::temp_directory_path() /
         ("buffered_file_test_" +
          std::string(
              ::testing::UnitTest::GetInstance()->current_test_info()->name())))
            .string();
    content.resize(1000);
    for (std::size_t i = 0; i < content.size(); ++i) {
      content[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    ASSERT_TRUE(WriteFile(path, content));
  }
  void TearDown() override { fs::remove(path); }

  // The bytes a read of `length` at `at` must deliver.
  Bytes Expected(std::int64_t at, std::int32_t length) const {
    const std::int64_t size = static_cast<std::int64_t>(content.size());
    if (at >= size || length <= 0) return Bytes();
    const std::int64_t end = std::min<std::int64_t>(size, at + length);
    return Bytes(content.begin() + at, content.begin() + end);
  }

  std::string path;
  Bytes content;
};

TEST_F(BufferedFileTest, RandomSeeksAndReadsDeliverTheFilesBytes) {
  // A 64-byte window makes most reads cross its edges; lengths up to 200
  // include reads that bypass it, positions up to 1100 go past the end.
  // The same bytes through a FIFO, which cannot seek, read alike.
  const std::string fifo = path + ".fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { ASSERT_TRUE(WriteFile(fifo, content)); });
  BufferedFile fromFifo(64);
  ASSERT_TRUE(fromFifo.Open(fifo.c_str()));
  writer.join();
  fs::remove(fifo);
  BufferedFile fromFile(64);
  ASSERT_TRUE(fromFile.Open(path.c_str()));
  for (BufferedFile* source : {&fromFile, &fromFifo}) {
    BufferedFile& file = *source;
    std::mt19937 random(12345);
    for (int step = 0; step < 5000; ++step) {
      if (random() % 3 != 0) {
        ASSERT_TRUE(file.Seek(random() % 1100));
      }
      const std::int64_t at = file.Position();
      if (random() % 4 == 0) {  // a view instead of a read
        const std::int32_t length =
            1 + static_cast<std::int32_t>(random() % 64);
        // Within a walk that began up to 40 bytes before.
        const std::int64_t walkStart =
            std::max<std::int64_t>(0, at - static_cast<int>(random() % 40));
        std::int32_t held = -1;
        const std::uint8_t* view = file.View(at, length, walkStart, &held);
        const Bytes expected = Expected(at, length);
        if (expected.size() < static_cast<std::size_t>(length)) {
          EXPECT_EQ(view, nullptr) << "step " << step;
        } else {
          ASSERT_NE(view, nullptr) << "step " << step;
          ASSERT_GE(held, length) << "step " << step;
          // Every byte it says it holds is the file's.
          const Bytes all = Expected(at, held);
          ASSERT_EQ(all.size(), static_cast<std::size_t>(held));
          EXPECT_TRUE(std::equal(all.begin(), all.end(), view))
              << "step " << step;
        }
        continue;
      }
      const std::int32_t length = static_cast<std::int32_t>(random() % 200);
      Bytes buf(static_cast<std::size_t>(length) + 1, 0xEE);
      const int how = static_cast<int>(random() % 3);
      const std::int32_t got =
          how == 0   ? file.Read(buf.data(), length)
          : how == 1 ? file.ReadDirect(at, buf.data(), length)
                     : file.ReadAt(at, buf.data(), length,
                                   std::max<std::int64_t>(0, at - 30));
      if (how != 0) {
        ASSERT_TRUE(file.Seek(at + got));
      }
      const Bytes expected = Expected(at, length);
      ASSERT_EQ(got, static_cast<std::int32_t>(expected.size()))
          << "step " << step << " at " << at << " length " << length;
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buf.begin()));
      EXPECT_EQ(buf[static_cast<std::size_t>(length)], 0xEE);
      EXPECT_EQ(file.Position(), at + got);
    }
  }
}

TEST_F(BufferedFileTest, EndOfFileLeavesTheStreamUsable) {
  BufferedFile file(64);
  ASSERT_TRUE(file.Open(path.c_str()));
  std::uint8_t buf[16];
  ASSERT_TRUE(file.Seek(5000));
  EXPECT_EQ(file.Read(buf, 16), 0);
  ASSERT_TRUE(file.Seek(995));
  EXPECT_EQ(file.Read(buf, 16), 5);
  EXPECT_EQ(file.Read(buf, 16), 0);
  ASSERT_TRUE(file.Seek(1));
  EXPECT_EQ(file.Read(buf, 1), 1);
  EXPECT_EQ(buf[0], content[1]);
  EXPECT_FALSE(file.Seek(-1));
  EXPECT_EQ(file.Position(), 2);
  EXPECT_FALSE(file.HadError());
}

TEST_F(BufferedFileTest, DroppingTheWindowRereadsTheFile) {
  BufferedFile file;
  ASSERT_TRUE(file.Open(path.c_str()));
  std::uint8_t buf[4];
  ASSERT_EQ(file.Read(buf, 4), 4);
  content[1] = static_cast<std::uint8_t>(content[1] + 1);
  content.resize(3);
  ASSERT_TRUE(WriteFile(path, content));
  file.DropWindow();
  ASSERT_TRUE(file.Seek(0));
  EXPECT_EQ(file.Read(buf, 4), 3);  // the file shrank
  EXPECT_EQ(buf[1], content[1]);

  // Opening another file forgets the window over the first one's start.
  const std::string other = path + ".other";
  ASSERT_TRUE(WriteFile(other, Bytes{9, 8, 7, 6}));
  ASSERT_TRUE(file.Open(other.c_str()));
  EXPECT_EQ(file.Read(buf, 4), 4);
  EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{9, 8, 7, 6}));
  fs::remove(other);
}

TEST_F(BufferedFileTest, ClosedOrUnopenableFilesReadNothing) {
  BufferedFile file;
  std::uint8_t buf[4];
  EXPECT_EQ(file.Read(buf, 4), 0);
  EXPECT_FALSE(file.Open((path + ".absent").c_str()));
  EXPECT_FALSE(file.IsOpen());
  // A directory opens on some systems, but its reads fail with an error.
  if (file.Open(fs::temp_directory_path().string().c_str())) {
    EXPECT_EQ(file.Read(buf, 4), 0);
    EXPECT_TRUE(file.HadError());
  }
}

}  // namespace

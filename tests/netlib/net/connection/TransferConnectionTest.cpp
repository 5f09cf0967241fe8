// File upload into a socat sink that writes what it receives to a file,
// compared byte for byte afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "PeerProcess.h"
#include "SecureTestSupport.h"
#include "TestSupport.h"

using nettest::EventConnection;
using testsupport::PeerProcess;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long FileSize(const std::string& path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

struct Upload {
  std::vector<long> progress;
  std::string received;
  int status = -1;
};

// Uploads `content` with the given buffer size and returns what the sink wrote.
bool RunUpload(const std::string& content, int bufferSize, Upload& upload) {
  const std::string dir = ::testing::TempDir();
  const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string source = dir + name + "_source.bin";
  const std::string target = dir + name + "_target.bin";
  { std::ofstream(source, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size())); }
  std::remove(target.c_str());
  PeerProcess sink;
  if (!sink.Start({"socat", "-u", "TCP4-LISTEN:{port},bind=127.0.0.1,reuseaddr",
                   "OPEN:" + target + ",creat,trunc"})) {
    return false;
  }
  EventConnection connection;
  EXPECT_EQ(connection.SetTimeout(20, 1), 0);
  EXPECT_EQ(connection.ConnectTo("127.0.0.1", sink.port()), 0);
  tornell::FilePath path;
  EXPECT_EQ(path.Set(source.c_str()), 0);
  upload.status = connection.SendFile(path, bufferSize, 0);
  EXPECT_EQ(connection.IsUploading(), 0);
  upload.progress = connection.progress;
  EXPECT_EQ(connection.DisconnectAndWait(), 0);
  for (int i = 0; i < 200 && FileSize(target) < static_cast<long>(content.size()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  sink.Stop();
  upload.received = ReadFile(target);
  std::remove(source.c_str());
  std::remove(target.c_str());
  return true;
}

std::string RandomBytes(size_t n) {
  std::mt19937 random(5);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

}  // namespace

TEST(TransferConnection, FileGoesOutInChunksWithProgress) {
  const std::string content = RandomBytes(40000);
  Upload upload;
  REQUIRE_OR_SKIP(RunUpload(content, 0, upload), "socat is not installed");
  EXPECT_EQ(upload.status, 0);
  EXPECT_EQ(upload.progress, (std::vector<long>{16384, 32768, 40000}));
  EXPECT_TRUE(upload.received == content);
}

TEST(TransferConnection, SmallBufferSendsSmallChunks) {
  const std::string content = RandomBytes(4500);
  Upload upload;
  REQUIRE_OR_SKIP(RunUpload(content, 1000, upload), "socat is not installed");
  EXPECT_EQ(upload.status, 0);
  EXPECT_EQ(upload.progress, (std::vector<long>{1000, 2000, 3000, 4000, 4500}));
  EXPECT_TRUE(upload.received == content);
}

TEST(TransferConnection, EmptyFileReportsProgressOnce) {
  Upload upload;
  REQUIRE_OR_SKIP(RunUpload("", 0, upload), "socat is not installed");
  EXPECT_EQ(upload.status, 0);
  EXPECT_EQ(upload.progress, (std::vector<long>{0}));
  EXPECT_TRUE(upload.received.empty());
}

TEST(TransferConnection, MissingFileIs302) {
  EventConnection connection;
  tornell::FilePath path;
  ASSERT_EQ(path.Set((::testing::TempDir() + "no_such_upload.bin").c_str()), 0);
  EXPECT_EQ(connection.SendFile(path, 0, 0), tornell::kStatusCannotOpenFile);
  EXPECT_STREQ(connection.GetLastErrorText(), "Can't open file for reading.");
  EXPECT_EQ(connection.IsUploading(), 0);
  EXPECT_TRUE(connection.progress.empty());
}

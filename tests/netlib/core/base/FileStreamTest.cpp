#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "ToolRunner.h"
#include "core/base/FilePath.h"
#include "core/base/FileStream.h"

using tornell::ByteString;
using tornell::FilePath;
using tornell::FileStream;

namespace {

std::string Slurp(const std::string& path) { return testsupport::ReadFileText(path); }

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

class FileStreamTest : public ::testing::Test {
 protected:
  testsupport::TempFile file;
  std::string path = file.Path();
};

TEST_F(FileStreamTest, OpenModesAndStatusCodes) {
  FileStream f;
  std::remove(path.c_str());
  EXPECT_EQ(3, f.OpenRead(path.c_str()));
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(5, f.Write("x", 1));
  char buf[10];
  EXPECT_EQ(5, f.Read(buf, 1));

  // Append to a missing file creates it; to an existing one it goes after the end.
  ASSERT_EQ(0, f.OpenAppend(path.c_str()));
  ASSERT_EQ(0, f.Write("abcd", 4));
  f.Close();
  FilePath name;
  EXPECT_EQ(0, name.Set(path.c_str()));
  ASSERT_EQ(0, f.OpenAppend(name));
  ASSERT_EQ(0, f.Write("ef", 2));
  f.Close();
  EXPECT_EQ("abcdef", Slurp(path));
  EXPECT_EQ(4, f.CreateNew(path.c_str()));

  // A read past the end fails with 10 and closes the stream.
  ASSERT_EQ(0, f.OpenRead(name));
  EXPECT_EQ(6, f.Size());
  EXPECT_EQ(0, f.Read(buf, 2));
  EXPECT_EQ(10, f.Read(buf, 10));
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(5, f.Read(buf, 1));

  ASSERT_EQ(0, f.OpenWrite(path.c_str()));  // truncates
  f.Close();
  EXPECT_EQ("", Slurp(path));
  EXPECT_EQ(4, f.OpenWrite("/nonexistent-dir/x"));
}

// A pipe has no size to read: a sender must not take it for an empty file.
TEST_F(FileStreamTest, PipeSizeIsUnknown) {
  std::remove(path.c_str());
  ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
  const int writer = open(path.c_str(), O_RDWR);  // so that opening for reading does not wait
  ASSERT_NE(-1, writer);
  tornell::FileStream f;
  ASSERT_EQ(0, f.OpenRead(path.c_str()));
  EXPECT_EQ(-1, f.Size());
  f.Close();
  close(writer);
}

TEST_F(FileStreamTest, WholeFileRoundTrip) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{99}, size_t{100}, size_t{300000}}) {
    SCOPED_TRACE(size);
    const std::string data = Pattern(size);
    ASSERT_EQ(0, FileStream::WriteAll(path.c_str(), data.data(), static_cast<unsigned>(size)));
    EXPECT_EQ(data, Slurp(path));
    ByteString out;
    EXPECT_EQ(0, out.Set("stale"));
    ASSERT_EQ(0, FileStream::ReadAll(path.c_str(), out));
    EXPECT_EQ(data, std::string(out.Data(), out.Length()));
  }
  ByteString out;
  EXPECT_EQ(3, FileStream::ReadAll("/nonexistent-dir/x", out));
}

// A file-size limit makes write() take only part of the data: that must be
// reported, not taken for success.
TEST_F(FileStreamTest, ShortWriteIsAnError) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::string data = Pattern(5000);
    _exit(FileStream::WriteAll(path.c_str(), data.data(), 5000));
  }
  int wstatus = 0;
  ASSERT_EQ(child, waitpid(child, &wstatus, 0));
  ASSERT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(7, WEXITSTATUS(wstatus));
  EXPECT_EQ(Pattern(1000), Slurp(path));
}

void OnAlarm(int) {}

// Through a pipe, writes and reads come in pieces and are interrupted by
// signals; every byte must still arrive, in both directions.
TEST_F(FileStreamTest, PipeInPiecesAndInterrupted) {
  std::remove(path.c_str());
  ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
  const std::string data = Pattern(1 << 20);

  struct sigaction action = {};
  action.sa_handler = OnAlarm;  // no SA_RESTART: calls in progress see EINTR
  struct sigaction old;
  ASSERT_EQ(0, sigaction(SIGALRM, &action, &old));
  sigset_t alarm;
  sigemptyset(&alarm);
  sigaddset(&alarm, SIGALRM);
  pthread_sigmask(SIG_BLOCK, &alarm, nullptr);  // the helper thread inherits this

  std::string received;
  std::thread reader([&] {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
      received.append(chunk, n);
      if (received.size() % (64 * 1024) < sizeof chunk) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::fclose(in);
  });
  pthread_sigmask(SIG_UNBLOCK, &alarm, nullptr);
  FileStream out;
  int openStatus = out.OpenWrite(path.c_str());
  struct itimerval every = {{0, 500}, {0, 500}};
  setitimer(ITIMER_REAL, &every, nullptr);
  int writeStatus = out.Write(data.data(), static_cast<unsigned>(data.size()));
  out.Close();
  reader.join();

  // The other way: a writer that sends its bytes in four slow pieces.
  pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
  std::thread writer([&] {
    std::FILE* w = std::fopen(path.c_str(), "wb");
    if (w == nullptr) return;
    for (int i = 0; i < 4; ++i) {
      std::fwrite(data.data() + i * 1000, 1, 1000, w);
      std::fflush(w);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::fclose(w);
  });
  pthread_sigmask(SIG_UNBLOCK, &alarm, nullptr);
  struct itimerval off = {};
  setitimer(ITIMER_REAL, &off, nullptr);
  FileStream in;
  int inStatus = in.OpenRead(path.c_str());
  setitimer(ITIMER_REAL, &every, nullptr);
  std::string piece(4000, '\0');
  int readStatus = in.Read(piece.data(), 4000);
  writer.join();
  in.Close();
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_EQ(0, openStatus);
  EXPECT_EQ(0, writeStatus);
  EXPECT_TRUE(received == data) << received.size() << " of " << data.size() << " bytes";
  EXPECT_EQ(0, inStatus);
  EXPECT_EQ(0, readStatus);
  EXPECT_TRUE(piece == data.substr(0, 4000));
}

}  // namespace

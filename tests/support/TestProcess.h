#pragma once
// Scratch folders, and child programs run with a chosen environment whose
// standard output is read back, bounded in time.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "TestText.h"

namespace testsupport {

// A fresh folder under the temporary directory, removed with everything in
// it. Canonical, so it reads as the loader and /proc report it.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = std::filesystem::canonical(pattern);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct ChildRun {
  bool started = false;  // false when no pipe or no process could be made
  int status = 0;        // as waitpid reports it
  std::string output;    // standard output
};

// Runs argv[0] with exactly `env` ("NAME=value" entries), in `workingDir`
// when one is given. A child still running after `seconds` is killed.
inline ChildRun RunChild(std::vector<std::string> argv, std::vector<std::string> env,
                         const std::string& workingDir = "", int seconds = 60) {
  auto pointers = [](std::vector<std::string>& items) {
    std::vector<char*> out;
    for (std::string& item : items) out.push_back(item.data());
    out.push_back(nullptr);
    return out;
  };
  std::vector<char*> argp = pointers(argv);
  std::vector<char*> envp = pointers(env);
  ChildRun run;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return run;
  const pid_t pid = fork();
  if (pid < 0) {
    close(ends[0]);
    close(ends[1]);
    return run;
  }
  if (pid == 0) {
    dup2(ends[1], STDOUT_FILENO);
    if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) _exit(126);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  run.started = true;
  close(ends[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd waitFor{ends[0], POLLIN, 0};
    if (poll(&waitFor, 1, 1000) <= 0) continue;
    const ssize_t got = read(ends[0], buffer, sizeof buffer);
    if (got <= 0) break;
    run.output.append(buffer, static_cast<size_t>(got));
  }
  close(ends[0]);
  if (std::chrono::steady_clock::now() >= deadline) kill(pid, SIGKILL);
  waitpid(pid, &run.status, 0);
  return run;
}

}  // namespace testsupport

// Spawning the reader with pipes for its standard streams, one framed request and answer at a
// time under a deadline, its standard error drained so that it never blocks and never reaches
// the user's terminal.
#include "engine/readerprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/wire.h"
#include "schema/automation.h"

extern char** environ;

namespace zentab::engine {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kStderrTailBytes = 4096;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Writes everything or fails; a reader that has gone away must not raise SIGPIPE in this
// process, so the signal is blocked on this thread and a pending one is taken back.
bool WriteAll(int fd, const std::string& data) {
  sigset_t pipeSet, oldSet;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &oldSet);
  bool ok = true;
  std::size_t sent = 0;
  while (sent < data.size()) {
    ssize_t w = ::write(fd, data.data() + sent, data.size() - sent);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      ok = false;
      break;
    }
    sent += static_cast<std::size_t>(w);
  }
  if (!ok && errno == EPIPE && !sigismember(&oldSet, SIGPIPE)) {
    timespec zero{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &zero) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &oldSet, nullptr);
  return ok;
}

// The last few non-empty lines of the reader's standard error, joined by " | ".
std::string LastLines(const std::string& tail) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < tail.size()) {
    std::size_t end = tail.find('\n', start);
    if (end == std::string::npos) end = tail.size();
    std::string line = tail.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  std::string out;
  std::size_t first = lines.size() > 3 ? lines.size() - 3 : 0;
  for (std::size_t i = first; i < lines.size(); ++i) {
    if (!out.empty()) out += " | ";
    out += lines[i];
  }
  return out;
}

}  // namespace

ReaderProcess::ReaderProcess(std::string readerPath) : readerPath_(std::move(readerPath)) {}

ReaderProcess::~ReaderProcess() {
  if (pid_ < 0) return;
  CloseFd(toChild_);
  // The reader leaves when its input ends; give it a moment before killing it.
  for (int i = 0; i < 50; ++i) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno != EINTR)) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Stop(true);
}

void ReaderProcess::Start() {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0) {
    throw AutomationError("cannot start the database reader: " + std::string(std::strerror(errno)));
  }
  if (::pipe2(out, O_CLOEXEC) != 0) {
    int e = errno;
    ::close(in[0]);
    ::close(in[1]);
    throw AutomationError("cannot start the database reader: " + std::string(std::strerror(e)));
  }
  if (::pipe2(err, O_CLOEXEC) != 0) {
    int e = errno;
    for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
    throw AutomationError("cannot start the database reader: " + std::string(std::strerror(e)));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string serve = "--serve";
  char* argv[] = {readerPath_.data(), serve.data(), nullptr};
  pid_t pid = -1;
  int rc = posix_spawn(&pid, readerPath_.c_str(), &actions, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  if (rc != 0) {
    ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    throw AutomationError("cannot start the database reader '" + readerPath_ +
                          "': " + std::strerror(rc));
  }
  pid_ = pid;
  toChild_ = in[1];
  fromChild_ = out[0];
  errFromChild_ = err[0];
  stderrTail_.clear();
}

int ReaderProcess::Stop(bool kill) {
  int status = -1;
  if (pid_ > 0) {
    if (kill) ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  CloseFd(toChild_);
  CloseFd(fromChild_);
  CloseFd(errFromChild_);
  return status;
}

void ReaderProcess::DrainStderr() {
  char buffer[4096];
  ssize_t n = ::read(errFromChild_, buffer, sizeof buffer);
  if (n > 0) {
    stderrTail_.append(buffer, static_cast<std::size_t>(n));
    if (stderrTail_.size() > kStderrTailBytes) {
      stderrTail_.erase(0, stderrTail_.size() - kStderrTailBytes);
    }
  } else if (n == 0) {
    CloseFd(errFromChild_);
  }
}

void ReaderProcess::CollectLastWords() {
  auto until = Clock::now() + std::chrono::milliseconds(500);
  while (errFromChild_ >= 0 && Clock::now() < until) {
    pollfd e{errFromChild_, POLLIN, 0};
    if (::poll(&e, 1, 100) > 0) DrainStderr();
  }
}

std::string ReaderProcess::DeathMessage(int status, const std::string& path) const {
  std::string how;
  if (status >= 0 && WIFSIGNALED(status)) {
    how = "signal " + std::to_string(WTERMSIG(status));
  } else if (status >= 0 && WIFEXITED(status)) {
    how = "exit status " + std::to_string(WEXITSTATUS(status));
  } else {
    how = "status unknown";
  }
  std::string message = "the reader stopped unexpectedly (" + how + ") while reading " + path;
  std::string last = LastLines(stderrTail_);
  if (!last.empty()) message += " [its last output: " + last + "]";
  return message;
}

std::shared_ptr<const DatabaseSnapshot> ReaderProcess::Read(const std::string& path,
                                                            int timeoutSeconds) {
  if (pid_ < 0) Start();
  stderrTail_.clear();
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);

  std::string request = EncodeRequest(path);
  if (!WriteAll(toChild_, FramePrefix(request.size()) + request)) {
    CollectLastWords();
    int status = Stop(true);
    throw AutomationError(DeathMessage(status, path));
  }

  std::string answer;
  std::size_t expected = 0;
  bool haveLength = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      Stop(true);
      throw AutomationError("reading " + path + " timed out after " +
                            std::to_string(timeoutSeconds) + " s");
    }
    pollfd fds[2] = {{fromChild_, POLLIN, 0}, {errFromChild_, POLLIN, 0}};
    int n = ::poll(fds, errFromChild_ >= 0 ? 2 : 1,
                   static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (n < 0 && errno != EINTR) {
      Stop(true);
      throw AutomationError("waiting for the reader failed while reading " + path);
    }
    if (n <= 0) continue;
    if (errFromChild_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) DrainStderr();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buffer[65536];
      ssize_t r = ::read(fromChild_, buffer, sizeof buffer);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        // The answer stream ended: the process died.
        CollectLastWords();
        int status = Stop(false);
        throw AutomationError(DeathMessage(status, path));
      }
      answer.append(buffer, static_cast<std::size_t>(r));
    }
    try {
      if (!haveLength && answer.size() >= 4) {
        expected = FrameLength(reinterpret_cast<const unsigned char*>(answer.data()));
        haveLength = true;
      }
      if (haveLength && answer.size() > 4 + expected) {
        throw WireError("the reader sent more than one answer");
      }
      if (haveLength && answer.size() == 4 + expected) {
        ReadResponse response = DecodeResponse(std::string_view(answer).substr(4));
        if (!response.snapshot) throw AutomationError(response.error);
        return std::make_shared<const DatabaseSnapshot>(std::move(*response.snapshot));
      }
    } catch (const WireError& e) {
      Stop(true);
      throw AutomationError("the reader sent a malformed answer while reading " + path + ": " +
                            e.what());
    }
  }
}

}  // namespace zentab::engine

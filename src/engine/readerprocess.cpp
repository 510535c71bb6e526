// Spawning the reader with pipes for its standard streams, one framed request and answer at a
// time under a deadline, its standard error drained so that it never blocks and never reaches
// the user's terminal.
#include "engine/readerprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/wire.h"
#include "platform/translate.h"
#include "schema/automation.h"

extern char** environ;

namespace zentab::engine {
namespace {

constexpr int kAnswerPipeBytes = 1 << 20;

constexpr std::size_t kStderrTailBytes = 4096;
// Stop's answer for a reader that had closed its answers but did not end by the deadline.
constexpr int kStillRunning = -2;
// How often a reader that sends nothing is checked for having ended (a process it started may
// still hold the pipes open).
constexpr int kPollSliceMs = 100;

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

// The tables of one answer as they arrive: pulled from the process when the object model asks
// for them. A failure is kept and given again to every later ask.
class ReaderProcess::Stream final : public SnapshotFeed {
 public:
  Stream(ReaderProcess* process, std::shared_ptr<DatabaseSnapshot> snapshot, std::string path,
         int timeoutSeconds, Clock::time_point deadline)
      : process_(process),
        snapshot_(snapshot),
        path_(std::move(path)),
        timeoutSeconds_(timeoutSeconds),
        deadline_(deadline),
        since_(Clock::now()) {}

  void Through(std::size_t table) override {
    while (!done_ && arrived_ <= table) Pull();
    if (failure_) throw AutomationError(*failure_);
  }
  void All() override {
    while (!done_) Pull();
    if (failure_) throw AutomationError(*failure_);
  }
  bool Pulling() const { return pulling_; }
  // The process object goes away: nothing more can arrive.
  void Detach(const std::string& why) {
    process_ = nullptr;
    if (!done_) {
      done_ = true;
      failure_ = why;
    }
  }

 private:
  void Pull() {
    if (!process_) {
      Detach("the reader was stopped while reading " + path_);
      return;
    }
    // The time the caller spent between two asks is not the reader's: the deadline moves on.
    deadline_ += Clock::now() - since_;
    std::shared_ptr<DatabaseSnapshot> snapshot = snapshot_.lock();
    pulling_ = true;
    try {
      std::string frame = process_->NextFrame(path_, deadline_, timeoutSeconds_);
      StreamPart part;
      if (snapshot) {
        part = DecodeStreamPart(frame, *snapshot, arrived_, process_->lazyFields_);
      } else {
        // Nobody holds the snapshot any more: the parts are read only to reach the next answer.
        DatabaseSnapshot scratch;
        scratch.tables.resize(arrived_ + 1);
        part = DecodeStreamPart(frame, scratch, arrived_, false);
      }
      switch (part.kind) {
        case StreamPart::kTable:
          ++arrived_;
          break;
        case StreamPart::kTail:
          if (snapshot && arrived_ != snapshot->tables.size()) {
            throw WireError("the reader sent fewer tables than it announced");
          }
          Finish(std::nullopt);
          break;
        case StreamPart::kFailure:
          Finish(part.error);
          break;
      }
    } catch (const WireError& e) {
      process_->Stop(true, deadline_);
      Detach("the reader sent a malformed answer while reading " + path_ + ": " + e.what());
    } catch (const AutomationError& e) {
      // NextFrame stopped the process and said why.
      Detach(e.what());
    }
    pulling_ = false;
    since_ = Clock::now();
  }
  void Finish(std::optional<std::string> failure) {
    done_ = true;
    failure_ = std::move(failure);
    ReaderProcess* process = process_;
    process_ = nullptr;
    process->EndAnswer(path_, deadline_);
  }

  ReaderProcess* process_;
  std::weak_ptr<DatabaseSnapshot> snapshot_;
  std::string path_;
  int timeoutSeconds_;
  Clock::time_point deadline_;
  Clock::time_point since_;
  std::size_t arrived_ = 0;
  bool done_ = false;
  bool pulling_ = false;
  std::optional<std::string> failure_;
};

ReaderProcess::ReaderProcess(std::string readerPath, bool lazyFields, RequestScope scope)
    : readerPath_(std::move(readerPath)), lazyFields_(lazyFields), scope_(scope) {}

ReaderProcess::~ReaderProcess() {
  if (stream_) stream_->Detach("the reader was ended while reading");
  if (pid_ < 0) return;
  CloseFd(toChild_);
  // The reader leaves when its input ends; it gets a moment before it is killed.
  Stop(false, Clock::now() + std::chrono::milliseconds(100));
}

void ReaderProcess::Start() {
  // Only a path of its own: never a name looked up in the current folder or PATH.
  if (readerPath_.empty() || readerPath_.front() != '/') {
    throw AutomationError("cannot start the database reader '" + readerPath_ +
                          "': its location is unknown (the program's own path could not be read)");
  }
  int in[2], out[2], err[2], status[2];
  int* pipes[] = {in, out, err, status};
  for (std::size_t k = 0; k < 4; ++k) {
    if (::pipe2(pipes[k], O_CLOEXEC) != 0) {
      int e = errno;
      for (std::size_t j = 0; j < k; ++j) {
        ::close(pipes[j][0]);
        ::close(pipes[j][1]);
      }
      throw AutomationError("cannot start the database reader: " + std::string(std::strerror(e)));
    }
  }
  std::string serve = "--serve";
  char* argv[] = {readerPath_.data(), serve.data(), nullptr};
  const pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid == 0) {
    // The child of a threaded process: only async-signal-safe calls until exec. It dies with
    // the thread that started it (also when that thread died before the request was made),
    // and leads a process group of its own, so that killing the group reaches anything it
    // starts.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::setpgid(0, 0);
    // Moved out of the way first: a parent started with a standard stream closed may have
    // got one of these pipes as descriptor 0, 1 or 2.
    int stdinFd = ::fcntl(in[0], F_DUPFD_CLOEXEC, 10);
    int stdoutFd = ::fcntl(out[1], F_DUPFD_CLOEXEC, 10);
    int stderrFd = ::fcntl(err[1], F_DUPFD_CLOEXEC, 10);
    int statusFd = ::fcntl(status[1], F_DUPFD_CLOEXEC, 10);
    if (stdinFd < 0 || stdoutFd < 0 || stderrFd < 0 || statusFd < 0) ::_exit(127);
    if (::dup2(stdinFd, STDIN_FILENO) < 0 || ::dup2(stdoutFd, STDOUT_FILENO) < 0 ||
        ::dup2(stderrFd, STDERR_FILENO) < 0) {
      ::_exit(127);
    }
    if (statusFd > 3) ::close_range(3, static_cast<unsigned>(statusFd) - 1, 0);
    ::close_range(static_cast<unsigned>(statusFd) + 1, ~0u, 0);
    sigset_t none;
    sigemptyset(&none);
    ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
    for (int signal : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
    ::execve(readerPath_.c_str(), argv, environ);
    int e = errno;
    ssize_t ignored = ::write(statusFd, &e, sizeof e);
    (void)ignored;
    ::_exit(127);
  }
  int forkErrno = errno;
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::close(status[1]);
  int execErrno = 0;
  if (pid > 0) {
    ssize_t n;
    do {
      n = ::read(status[0], &execErrno, sizeof execErrno);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof execErrno)) execErrno = 0;
  }
  ::close(status[0]);
  if (pid < 0 || execErrno != 0) {
    if (pid > 0) {
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    throw AutomationError(
        platform::Format(platform::Tr("cannot start the database reader '{0}': {1}"),
                         {readerPath_, std::strerror(pid < 0 ? forkErrno : execErrno)}));
  }
  pid_ = pid;
  toChild_ = in[1];
  fromChild_ = out[0];
  // Room for a whole answer of a usual database, so that a reader working ahead is not held
  // up until it is asked for it (the system's limit applies; the default pipe works too).
  ::fcntl(fromChild_, F_SETPIPE_SZ, kAnswerPipeBytes);
  errFromChild_ = err[0];
  stderrTail_.clear();
}

int ReaderProcess::Stop(bool kill, Clock::time_point deadline) {
  int status = -1;
  if (pid_ > 0) {
    // A reader that has closed its answers may still run: it gets until the deadline to end.
    // It usually ends within a millisecond: the waits start short.
    auto pause = std::chrono::microseconds(100);
    while (!kill) {
      pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) break;
      if (r < 0 && errno != EINTR) break;
      if (Clock::now() >= deadline) {
        ::kill(-pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        status = kStillRunning;
        break;
      }
      std::this_thread::sleep_for(pause);
      pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(5));
    }
    // The whole group: a process the reader started must not keep its pipes open.
    ::kill(-pid_, SIGKILL);
    if (kill) {
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }
  pid_ = -1;
  ahead_.reset();
  buffer_.clear();
  bufferPos_ = 0;
  if (stream_) {
    // A stream that is pulling says itself why it ends.
    std::shared_ptr<Stream> stream = std::move(stream_);
    if (!stream->Pulling()) stream->Detach("the reader was stopped while reading");
  }
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
  if (status == kStillRunning) {
    std::string message =
        "the reader closed its answers but did not end; it was killed while "
        "reading " +
        path;
    std::string last = LastLines(stderrTail_);
    if (!last.empty()) message += " [its last output: " + last + "]";
    return message;
  }
  if (status >= 0 && WIFSIGNALED(status)) {
    how = "signal " + std::to_string(WTERMSIG(status));
  } else if (status >= 0 && WIFEXITED(status)) {
    how = "exit status " + std::to_string(WEXITSTATUS(status));
  } else {
    how = "status unknown";
  }
  std::string message = platform::Format(
      platform::Tr("the reader stopped unexpectedly ({0}) while reading {1}"), {how, path});
  std::string last = LastLines(stderrTail_);
  if (!last.empty()) message += " [its last output: " + last + "]";
  return message;
}

void ReaderProcess::EndAnswer(const std::string& path, Clock::time_point deadline) {
  stream_.reset();
  if (!ahead_ && bufferPos_ < buffer_.size()) {
    Stop(true, deadline);
    throw AutomationError("the reader sent a malformed answer while reading " + path +
                          ": the reader sent more than one answer");
  }
}

void ReaderProcess::ReadAhead(const std::string& path) {
  if (stream_ || ahead_) {
    next_ = path;
    return;
  }
  if (pid_ < 0) Start();
  stderrTail_.clear();
  // A request that cannot be sent means a dead reader: the Read finds it so and says why.
  if (Send(path)) ahead_ = path;
}

bool ReaderProcess::Send(const std::string& path) {
  std::string request = EncodeRequest(path, scope_);
  return WriteAll(toChild_, FramePrefix(request.size()) + request);
}

std::shared_ptr<const DatabaseSnapshot> ReaderProcess::Read(const std::string& path,
                                                            int timeoutSeconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  if (stream_) {
    // The previous answer was left unfinished: its rest is read (and dropped) first.
    std::shared_ptr<Stream> unfinished = stream_;
    try {
      unfinished->All();
    } catch (const AutomationError&) {
      // Its failure was that database's; this one starts afresh if need be.
    }
    stream_.reset();
  }
  if (ahead_ && *ahead_ != path) {
    // The answer on its way is for another database: that process is done with.
    Stop(true, deadline);
  }
  if (pid_ < 0) {
    ahead_.reset();
    Start();
  }
  if (ahead_) {
    // Sent ahead: its output on the error stream may have come in while the previous answer
    // was read, so what was kept stays (a death message quotes the last lines).
    ahead_.reset();
  } else {
    stderrTail_.clear();
    if (!Send(path)) {
      CollectLastWords();
      int status = Stop(true, deadline);
      throw AutomationError(DeathMessage(status, path));
    }
  }
  if (next_ && *next_ != path) {
    // A request that cannot be sent means a dead reader: the next Read finds it so and says why.
    if (Send(*next_)) ahead_ = std::move(next_);
  }
  next_.reset();

  std::string frame = NextFrame(path, deadline, timeoutSeconds);
  StreamHead head;
  try {
    head = DecodeStreamHead(frame);
  } catch (const WireError& e) {
    Stop(true, deadline);
    throw AutomationError("the reader sent a malformed answer while reading " + path + ": " +
                          e.what());
  }
  if (!head.snapshot) {
    EndAnswer(path, deadline);
    throw AutomationError(head.error);
  }
  auto snapshot = std::make_shared<DatabaseSnapshot>(std::move(*head.snapshot));
  snapshot->tables.resize(head.tables);
  auto stream = std::make_shared<Stream>(this, snapshot, path, timeoutSeconds, deadline);
  stream_ = stream;
  if (lazyFields_) {
    // The caller reads the tables as they come.
    snapshot->feed = stream;
  } else {
    stream->All();
  }
  return snapshot;
}

std::string ReaderProcess::NextFrame(const std::string& path, Clock::time_point deadline,
                                     int timeoutSeconds) {
  for (;;) {
    std::size_t available = buffer_.size() - bufferPos_;
    if (available >= 4) {
      std::uint32_t length = 0;
      try {
        length = FrameLength(reinterpret_cast<const unsigned char*>(buffer_.data() + bufferPos_));
      } catch (const WireError& e) {
        Stop(true, deadline);
        throw AutomationError("the reader sent a malformed answer while reading " + path + ": " +
                              e.what());
      }
      if (available >= 4 + std::size_t{length}) {
        std::string frame = buffer_.substr(bufferPos_ + 4, length);
        bufferPos_ += 4 + std::size_t{length};
        if (bufferPos_ == buffer_.size()) {
          buffer_.clear();
          bufferPos_ = 0;
        }
        return frame;
      }
      if (bufferPos_ > 0) {
        buffer_.erase(0, bufferPos_);
        bufferPos_ = 0;
      }
      buffer_.reserve(4 + std::size_t{length});
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      Stop(true, deadline);
      throw AutomationError(platform::Format(platform::Tr("reading {0} timed out after {1} s"),
                                             {path, std::to_string(timeoutSeconds)}));
    }
    pollfd fds[2] = {{fromChild_, POLLIN, 0}, {errFromChild_, POLLIN, 0}};
    int n = ::poll(fds, errFromChild_ >= 0 ? 2 : 1,
                   static_cast<int>(std::min<long long>(left.count(), kPollSliceMs)));
    if (n < 0 && errno != EINTR) {
      Stop(true, deadline);
      throw AutomationError("waiting for the reader failed while reading " + path);
    }
    if (n == 0) {
      // Silence: the reader may have ended while something it started holds the pipes.
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_t group = pid_;
        pid_ = -1;
        ::kill(-group, SIGKILL);
        Stop(true, deadline);
        throw AutomationError(DeathMessage(status, path));
      }
      continue;
    }
    if (n < 0) continue;
    if (errFromChild_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) DrainStderr();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char chunk[65536];
      ssize_t r = ::read(fromChild_, chunk, sizeof chunk);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        // The answer stream ended: the process died.
        CollectLastWords();
        int status = Stop(false, deadline);
        throw AutomationError(DeathMessage(status, path));
      }
      buffer_.append(chunk, static_cast<std::size_t>(r));
    }
  }
}

}  // namespace zentab::engine

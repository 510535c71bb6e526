// zentab-dbreader: the process that reads database files for the engine. With --serve it
// answers framed requests on standard input and output until its input ends; with --dump FILE
// it prints one file's snapshot as JSON.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>

#include "engine/reader/mdbreader.h"
#include "engine/wire.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZENTAB_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZENTAB_ASAN 1
#endif
#endif

namespace {

// A runaway allocation in libmdb ends this process, not the machine's memory. AddressSanitizer
// reserves terabytes of address space up front, so it gets no limit.
void LimitResources() {
#ifndef ZENTAB_ASAN
  rlimit as{1ull << 30, 1ull << 30};
  setrlimit(RLIMIT_AS, &as);
#endif
  rlimit core{0, 0};
  setrlimit(RLIMIT_CORE, &core);
}

zentab::engine::ReadResponse Answer(const std::string& request) {
  zentab::engine::ReadResponse response;
  std::string path;
  try {
    zentab::engine::Request decoded = zentab::engine::DecodeRequest(request);
    path = decoded.path;
    response.snapshot = zentab::engine::ReadDatabaseFile(path, decoded.scope);
  } catch (const std::bad_alloc&) {
    response.error = "Out of memory while reading '" + path + "'.";
  } catch (const std::exception& e) {
    response.error = e.what();
  }
  return response;
}

// The answers' descriptor is gone: the client has ended.
struct AnswersClosed {};

// Writes each part of a snapshot as its own frame the moment it is read, so that the client
// works on the first tables while the reader reads the next ones.
class FrameSink final : public zentab::engine::SnapshotSink {
 public:
  explicit FrameSink(int fd) : fd_(fd) {}
  void Head(const zentab::DatabaseSnapshot& head, std::size_t tables) override {
    Write(zentab::engine::EncodeStreamHead(zentab::engine::ReadResponse{head, ""}, tables));
    headSent_ = true;
  }
  void Table(zentab::TableSnapshot table) override {
    Write(zentab::engine::EncodeStreamTable(table));
  }
  void Tail(zentab::DatabaseSnapshot rest) override {
    Write(zentab::engine::EncodeStreamTail(rest));
  }
  // The reason the database cannot be read: as the whole answer before the head, as a failure
  // part after it.
  void Fail(const std::string& error) {
    if (headSent_) {
      Write(zentab::engine::EncodeStreamFailure(error));
    } else {
      Write(zentab::engine::EncodeStreamHead(zentab::engine::ReadResponse{std::nullopt, error}, 0));
    }
  }

 private:
  void Write(const std::string& payload) {
    try {
      zentab::engine::WriteFrame(fd_, payload);
    } catch (const zentab::engine::WireError&) {
      throw AnswersClosed{};
    }
  }
  int fd_;
  bool headSent_ = false;
};

int Serve() {
  // The answers get a descriptor of their own; anything libmdb prints to standard output joins
  // its warnings on standard error instead of corrupting a frame.
  int answers = dup(STDOUT_FILENO);
  if (answers < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 1;
  try {
    while (auto request = zentab::engine::ReadFrame(STDIN_FILENO)) {
      FrameSink sink(answers);
      std::string path;
      std::string error;
      try {
        zentab::engine::Request decoded = zentab::engine::DecodeRequest(*request);
        path = decoded.path;
        zentab::engine::ReadDatabaseFile(path, sink, decoded.scope);
        continue;
      } catch (const AnswersClosed&) {
        throw;
      } catch (const std::bad_alloc&) {
        error = "Out of memory while reading '" + path + "'.";
      } catch (const std::exception& e) {
        error = e.what();
      }
      sink.Fail(error);
    }
  } catch (const AnswersClosed&) {
    return 1;
  } catch (const zentab::engine::WireError& e) {
    std::fprintf(stderr, "zentab-dbreader: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  LimitResources();
  if (argc == 2 && std::strcmp(argv[1], "--serve") == 0) return Serve();
  if (argc == 3 && std::strcmp(argv[1], "--dump") == 0) {
    zentab::engine::ReadResponse response = Answer(zentab::engine::EncodeRequest(argv[2]));
    if (!response.snapshot) {
      std::cerr << "zentab-dbreader: " << response.error << "\n";
      return 1;
    }
    std::cout << zentab::engine::EncodeSnapshot(*response.snapshot) << "\n";
    return 0;
  }
  std::cerr << "usage: zentab-dbreader --serve | --dump FILE\n"
               "Reads Access database files for zentab; not meant to be run by hand.\n";
  return 2;
}

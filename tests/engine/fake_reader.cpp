// A stand-in for zentab-dbreader that misbehaves on demand, chosen by the requested file's
// name: "hang" never answers, "crash" dies of SIGABRT after a last word on standard error,
// "exit" leaves with status 3, "garbage" answers with a malformed frame, "orphan" starts a
// process that keeps the pipes open (its id written to the requested path + ".pid") and then
// leaves with status 3, "silent" closes its answers and waits for ever, "chatty" writes 3,000
// numbered warning lines (more than a pipe holds) to standard error before it answers,
// "chatty-crash" writes them and then dies; any other name is answered with one table named
// after this process's id.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/wire.h"

int main() {
  using namespace zentab;
  while (auto request = engine::ReadFrame(STDIN_FILENO)) {
    std::string path = engine::DecodeRequest(*request);
    std::string name = path.substr(path.rfind('/') + 1);
    if (name == "hang") {
      std::fprintf(stderr, "fake reader: hanging\n");
      for (;;) pause();
    }
    if (name == "crash") {
      std::fprintf(stderr, "fake reader: page 7 is odd\nfake reader: giving up\n");
      std::fflush(stderr);
      std::abort();
    }
    if (name == "exit") std::exit(3);
    if (name == "orphan") {
      pid_t child = fork();
      if (child == 0) {
        for (;;) pause();
      }
      if (FILE* f = std::fopen((path + ".pid").c_str(), "w")) {
        std::fprintf(f, "%d", static_cast<int>(child));
        std::fclose(f);
      }
      std::exit(3);
    }
    if (name == "silent") {
      close(STDOUT_FILENO);
      for (;;) pause();
    }
    if (name == "chatty" || name == "chatty-crash") {
      for (int i = 0; i < 3000; ++i) {
        std::fprintf(stderr, "fake reader: warning %04d about page %d of the file\n", i, i % 97);
      }
      std::fflush(stderr);
      if (name == "chatty-crash") std::abort();
    }
    if (name == "garbage") {
      engine::WriteFrame(STDOUT_FILENO, "{not json");
      continue;
    }
    engine::ReadResponse response;
    DatabaseSnapshot snapshot;
    TableSnapshot table;
    table.properties.Set("Name", std::to_string(getpid()));
    snapshot.tables.push_back(table);
    response.snapshot = snapshot;
    engine::WriteFrame(STDOUT_FILENO, engine::EncodeResponse(response));
  }
  return 0;
}

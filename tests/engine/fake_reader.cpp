// A stand-in for zentab-dbreader that misbehaves on demand, chosen by the requested file's
// name: "hang" never answers, "crash" dies of SIGABRT after a last word on standard error,
// "exit" leaves with status 3, "garbage" answers with a malformed frame, "orphan" starts a
// process that keeps the pipes open (its id written to the requested path + ".pid") and then
// leaves with status 3, "silent" closes its answers and waits for ever, "chatty" writes 3,000
// numbered warning lines (more than a pipe holds) to standard error before it answers,
// "chatty-crash" writes them and then dies, "together" waits for the next request and writes
// both answers at once, "crash-midway" sends the head and the first of two tables and dies;
// any other name is answered with one table named after this process's
// id whose SourceTableName is the requested path.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/wire.h"

int main() {
  using namespace zentab;
  while (auto request = engine::ReadFrame(STDIN_FILENO)) {
    std::string path = engine::DecodeRequest(*request).path;
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
    auto answer = [](const std::string& requested) {
      engine::ReadResponse response;
      DatabaseSnapshot snapshot;
      TableSnapshot table;
      table.properties.Set("Name", std::to_string(getpid()));
      table.properties.Set("SourceTableName", requested);
      snapshot.tables.push_back(table);
      response.snapshot = snapshot;
      return engine::EncodeStreamedResponse(response);
    };
    if (name == "crash-midway") {
      // The head and the first of two tables, then a last word and death.
      DatabaseSnapshot head;
      std::string parts[] = {
          engine::EncodeStreamHead(engine::ReadResponse{head, ""}, 2),
          engine::EncodeStreamTable(TableSnapshot{}),
      };
      for (const auto& part : parts) engine::WriteFrame(STDOUT_FILENO, part);
      std::fprintf(stderr, "fake reader: the second table is too much\n");
      std::fflush(stderr);
      std::abort();
    }
    if (name == "together") {
      // This answer and the next request's in one write: the client reads them as one piece.
      std::string both = answer(path);
      if (auto next = engine::ReadFrame(STDIN_FILENO))
        both += answer(engine::DecodeRequest(*next).path);
      if (write(STDOUT_FILENO, both.data(), both.size()) != static_cast<ssize_t>(both.size())) {
        return 1;
      }
      continue;
    }
    std::string framed = answer(path);
    if (write(STDOUT_FILENO, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size())) {
      return 1;
    }
  }
  return 0;
}

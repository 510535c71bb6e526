// The reader process's life cycle seen from the engine: timeouts, crashes, malformed answers,
// a fresh process afterwards, one process per thread; and opening failures of the real reader.
#include "engine/readerprocess.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "engine/mdbengine.h"
#include "platform/paths.h"
#include "schema/reader.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

using testing::MakeHeaderPage;
using testing::TempDir;

std::string FakeReader() {
  return ZENTAB_FAKE_READER;
}
std::string RealReader() {
  return platform::ExecutableDirectory() + "zentab-dbreader";
}

// The name the fake reader answers with: its process id.
std::string AnsweringPid(const DatabaseSnapshot& snapshot) {
  return snapshot.tables.at(0).properties.Find("Name")->value.AsString();
}

std::string ErrorOf(ReaderProcess& reader, const std::string& path, int timeout = 5) {
  try {
    reader.Read(path, timeout);
  } catch (const AutomationError& e) {
    return e.what();
  }
  return "(no error)";
}

bool ProcessExists(pid_t pid) {
  return ::kill(pid, 0) == 0;
}

// Alive and not merely a zombie that nobody has reaped.
bool ProcessRuns(pid_t pid) {
  std::string stat = fakes::ReadBytes("/proc/" + std::to_string(pid) + "/stat");
  std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// Waits up to two seconds for pid to stop running.
bool Ends(pid_t pid) {
  for (int i = 0; i < 200 && ProcessRuns(pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return !ProcessRuns(pid);
}

TEST(ReaderProcessLifecycle, ReusesOneProcessAcrossDatabases) {
  ReaderProcess reader(FakeReader());
  std::string first = AnsweringPid(*reader.Read("/x/a.mdb", 5));
  std::string second = AnsweringPid(*reader.Read("/x/b.mdb", 5));
  EXPECT_EQ(first, second);
  EXPECT_EQ(std::to_string(reader.pid()), first);
}

// The path the fake reader's answer was for.
std::string AnsweredPath(const DatabaseSnapshot& snapshot) {
  return snapshot.tables.at(0).properties.Find("SourceTableName")->value.AsString();
}

// A database named ahead is read while the previous answer is handled; each answer reaches the
// Read of its own path, also when both arrive in one piece, and a failure of the database read
// ahead is reported by its own Read, with its own last words. The first database named, with
// nothing asked for yet, is asked for at once.
TEST(ReaderProcessLifecycle, ReadsTheNamedDatabaseAhead) {
  struct Case {
    const char* first;
    const char* ahead;
    const char* second;
    const char* secondError;  // nullptr: the second Read answers for its path
    bool sameProcess;
  };
  const Case cases[] = {
      {"/x/a.mdb", "/x/b.mdb", "/x/b.mdb", nullptr, true},
      {"/x/together", "/x/b.mdb", "/x/b.mdb", nullptr, true},
      {"/x/a.mdb", "/x/b.mdb", "/x/c.mdb", nullptr, false},
      {"/x/a.mdb", "/data/crash", "/data/crash",
       "the reader stopped unexpectedly (signal 6) while reading /data/crash [its last output: "
       "fake reader: page 7 is odd | fake reader: giving up]",
       false},
      {"/x/a.mdb", "/data/hang", "/data/hang", "reading /data/hang timed out after 1 s", false},
  };
  for (const Case& c : cases) {
    ReaderProcess reader(FakeReader());
    reader.ReadAhead(c.first);
    EXPECT_GT(reader.pid(), 0) << "the reader starts on the first database named";
    reader.ReadAhead(c.ahead);
    auto first = reader.Read(c.first, 5);
    EXPECT_EQ(AnsweringPid(*first), std::to_string(reader.pid())) << c.first;
    EXPECT_EQ(AnsweredPath(*first), c.first);
    if (c.secondError) {
      EXPECT_EQ(ErrorOf(reader, c.second, 1), c.secondError);
    } else {
      auto second = reader.Read(c.second, 5);
      EXPECT_EQ(AnsweredPath(*second), c.second) << c.first;
      EXPECT_EQ(AnsweringPid(*second) == AnsweringPid(*first), c.sameProcess) << c.second;
    }
    // Whatever happened, the reader goes on with the next database.
    EXPECT_EQ(AnsweredPath(*reader.Read("/x/next.mdb", 5)), "/x/next.mdb") << c.second;
  }
  // A database named and then not read: the Read of another gets its own answer.
  ReaderProcess reader(FakeReader());
  reader.ReadAhead("/x/named.mdb");
  EXPECT_EQ(AnsweredPath(*reader.Read("/x/other.mdb", 5)), "/x/other.mdb");
  EXPECT_EQ(AnsweredPath(*reader.Read("/x/named.mdb", 5)), "/x/named.mdb");
}

// A reader that dies after the first of its tables: read as a whole the database fails with
// the death; read as the tables come, the first table is there, the second and everything after
// fail with the death and its last words, and the next database gets a fresh reader.
TEST(ReaderProcessLifecycle, ReportsADeathHalfwayThroughTheTables) {
  const std::string death =
      "the reader stopped unexpectedly (signal 6) while reading /x/crash-midway [its last "
      "output: fake reader: the second table is too much]";
  ReaderProcess whole(FakeReader());
  EXPECT_EQ(ErrorOf(whole, "/x/crash-midway"), death);
  EXPECT_EQ(AnsweredPath(*whole.Read("/x/a.mdb", 5)), "/x/a.mdb");

  ReaderProcess incremental(FakeReader(), true);
  auto snapshot = incremental.Read("/x/crash-midway", 5);
  ASSERT_NE(snapshot->feed, nullptr);
  ASSERT_EQ(snapshot->tables.size(), 2u);
  EXPECT_NO_THROW(snapshot->feed->Through(0));
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      snapshot->feed->Through(1);
      ADD_FAILURE() << "the second table arrived";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.what(), death);
    }
    EXPECT_THROW(snapshot->feed->All(), AutomationError);
  }
  auto next = incremental.Read("/x/b.mdb", 5);
  next->feed->All();
  EXPECT_EQ(AnsweredPath(*next), "/x/b.mdb");
}

TEST(ReaderProcessLifecycle, KillsAReaderThatDoesNotAnswerInTime) {
  ReaderProcess reader(FakeReader());
  std::string before = AnsweringPid(*reader.Read("/x/a.mdb", 5));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf(reader, "/data/hang", 1), "reading /data/hang timed out after 1 s");
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::seconds(4));
  EXPECT_FALSE(ProcessExists(std::stoi(before)));
  // The next database gets a fresh reader.
  std::string after = AnsweringPid(*reader.Read("/x/b.mdb", 5));
  EXPECT_NE(before, after);
}

TEST(ReaderProcessLifecycle, ReportsACrashWithTheSignalAndTheLastOutput) {
  ReaderProcess reader(FakeReader());
  std::string before = AnsweringPid(*reader.Read("/x/a.mdb", 5));
  std::string error = ErrorOf(reader, "/data/crash");
  EXPECT_EQ(error.rfind("the reader stopped unexpectedly (signal 6) while reading /data/crash", 0),
            0u)
      << error;
  EXPECT_NE(error.find("giving up"), std::string::npos) << error;
  EXPECT_EQ(reader.pid(), -1);
  EXPECT_NE(AnsweringPid(*reader.Read("/x/b.mdb", 5)), before);
}

// More warnings than a pipe holds: the reader must not block on them while the client waits,
// and a death message quotes the last of them.
TEST(ReaderProcessLifecycle, DrainsAChattyReaderAndQuotesItsLastWords) {
  ReaderProcess reader(FakeReader());
  auto snapshot = reader.Read("/data/chatty", 5);
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(AnsweringPid(*snapshot), std::to_string(reader.pid()));
  EXPECT_EQ(ErrorOf(reader, "/data/chatty-crash"),
            "the reader stopped unexpectedly (signal 6) while reading /data/chatty-crash [its "
            "last output: fake reader: warning 2997 about page 87 of the file | fake reader: "
            "warning 2998 about page 88 of the file | fake reader: warning 2999 about page 89 "
            "of the file]");
}

TEST(ReaderProcessLifecycle, ReportsAnExitAndAMalformedAnswer) {
  ReaderProcess reader(FakeReader());
  EXPECT_EQ(ErrorOf(reader, "/data/exit"),
            "the reader stopped unexpectedly (exit status 3) while reading /data/exit");
  std::string garbage = ErrorOf(reader, "/data/garbage");
  EXPECT_EQ(garbage.rfind("the reader sent a malformed answer while reading /data/garbage", 0), 0u)
      << garbage;
  EXPECT_NO_THROW(reader.Read("/x/ok.mdb", 5));
}

// A reader that ends while something it started holds the pipes, or that closes its answers
// and goes on running, is reported well within the read timeout, and nothing of it is left.
TEST(ReaderProcessLifecycle, EndsAReaderThatStopsAnsweringWithoutEnding) {
  struct Case {
    const char* name;
    const char* message;
  };
  const Case cases[] = {
      {"orphan", "the reader stopped unexpectedly (exit status 3) while reading "},
      {"silent", "the reader closed its answers but did not end; it was killed while reading "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ReaderProcess reader(FakeReader());
    pid_t first = std::stoi(AnsweringPid(*reader.Read("/x/a.mdb", 5)));
    auto start = std::chrono::steady_clock::now();
    std::string error = ErrorOf(reader, dir.File(c.name), 3);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(error.rfind(c.message + dir.File(c.name), 0), 0u) << error;
    EXPECT_LT(waited, std::chrono::milliseconds(3500));
    EXPECT_TRUE(Ends(first));
    std::string orphan = fakes::ReadBytes(dir.File(c.name) + ".pid");
    if (!orphan.empty()) {
      EXPECT_TRUE(Ends(std::stoi(orphan))) << "the reader's own child";
    }
  }
}

// The reader dies with the program that started it, even in the middle of a read.
TEST(ReaderProcessLifecycle, DiesWithItsParent) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  pid_t parent = ::fork();
  ASSERT_GE(parent, 0);
  if (parent == 0) {
    ::close(pipeFds[0]);
    auto* reader = new ReaderProcess(FakeReader());
    reader->Read("/x/a.mdb", 5);
    pid_t pid = reader->pid();
    ssize_t sent = ::write(pipeFds[1], &pid, sizeof pid);
    std::thread([reader] { ErrorOf(*reader, "/data/hang", 60); }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::_exit(sent == sizeof pid ? 0 : 1);  // no destructor ends the reader
  }
  ::close(pipeFds[1]);
  pid_t reader = -1;
  ASSERT_EQ(::read(pipeFds[0], &reader, sizeof reader), static_cast<ssize_t>(sizeof reader));
  ::close(pipeFds[0]);
  ::waitpid(parent, nullptr, 0);
  EXPECT_TRUE(Ends(reader));
  if (ProcessRuns(reader)) ::kill(reader, SIGKILL);
}

// Without a location of its own the engine never runs a reader from the current folder.
TEST(ReaderProcessLifecycle, NeverRunsAReaderFromTheCurrentFolder) {
  TempDir dir;
  std::string marker = dir.File("ran");
  std::string planted = dir.Write("zentab-dbreader", "#!/bin/sh\ntouch " + marker + "\n");
  ::chmod(planted.c_str(), 0755);
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
  ReaderProcess reader("zentab-dbreader");
  std::string error = ErrorOf(reader, "/x/a.mdb");
  ASSERT_EQ(::chdir(previous), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(std::filesystem::exists(marker));
  EXPECT_NE(error.find("its location is unknown"), std::string::npos) << error;
}

TEST(ReaderProcessLifecycle, ReportsAReaderThatCannotBeStarted) {
  ReaderProcess reader("/nonexistent/zentab-dbreader");
  std::string error = ErrorOf(reader, "/x/a.mdb");
  EXPECT_NE(error.find("cannot start the database reader '/nonexistent/zentab-dbreader'"),
            std::string::npos)
      << error;
}

TEST(ReaderProcessLifecycle, EndsTheReaderWhenDestroyed) {
  pid_t pid = -1;
  {
    ReaderProcess reader(FakeReader());
    reader.Read("/x/a.mdb", 5);
    pid = reader.pid();
    ASSERT_TRUE(ProcessExists(pid));
  }
  EXPECT_FALSE(ProcessExists(pid));
}

// Through the registered engine: each thread has its own reader, ended with the thread.
std::string PidThroughEngine(const std::string& path) {
  ObjectRef engine, database;
  OpenMdb(engine, database, path);
  Variant table = database->Invoke("TableDefs", Variant(std::int32_t{0}));
  std::string pid = InvokeOn(table, "Name").AsString();
  CloseMdb(engine, database);
  return pid;
}

TEST(RegisteredEngine, GivesEachThreadItsOwnReaderEndedWithTheThread) {
  RegisterMdbEngine({5, FakeReader()});
  std::string a1, a2, b1;
  std::thread first([&] {
    a1 = PidThroughEngine("/x/a.mdb");
    a2 = PidThroughEngine("/x/b.mdb");
  });
  std::thread second([&] { b1 = PidThroughEngine("/x/c.mdb"); });
  first.join();
  second.join();
  EXPECT_EQ(a1, a2);
  EXPECT_NE(a1, b1);
  EXPECT_FALSE(ProcessExists(std::stoi(a1)));
  EXPECT_FALSE(ProcessExists(std::stoi(b1)));
}

TEST(RegisteredEngine, FailsOpenDatabaseWithTheTimeoutMessage) {
  RegisterMdbEngine({1, FakeReader()});
  std::thread job([] {
    TMdb mdb;
    try {
      ReadMdb("/data/hang", mdb);
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_STREQ(e.what(), "reading /data/hang timed out after 1 s");
    }
    EXPECT_NO_THROW(PidThroughEngine("/x/a.mdb"));
  });
  job.join();
}

// zentab-cli runs the reader beside its own executable: a copy of it beside the fake reader
// must pass its --read-timeout on, and a reader that hangs ends the job with the timeout.
TEST(CommandLine, PassesItsReadTimeoutToTheReader) {
  TempDir dir;
  namespace fs = std::filesystem;
  fs::copy_file(ZENTAB_CLI_PATH, dir.File("zentab-cli"));
  fs::copy_file(FakeReader(), dir.File("zentab-dbreader"));
  std::string command = "timeout -s KILL 8 '" + dir.File("zentab-cli") +
                        "' --read-timeout 2 --output '" + dir.Path() +
                        "' /data/hang >/dev/null 2>'" + dir.File("stderr.txt") + "'";
  auto start = std::chrono::steady_clock::now();
  int status = std::system(command.c_str());
  auto waited = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(WIFEXITED(status)) << "killed after 8 s";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(testing::ReadBytes(dir.File("stderr.txt")),
            "zentab-cli: /data/hang: reading /data/hang timed out after 2 s\n");
  EXPECT_GE(waited, std::chrono::milliseconds(1900));
  EXPECT_LT(waited, std::chrono::seconds(6));
}

// Opening failures of the real reader name the file and the reason.
TEST(RealReaderOpening, NamesTheFileAndTheReason) {
  TempDir dir;
  std::string header(0x98, '\0');
  header.replace(0, 19, std::string("\0\1\0\0Standard Jet DB", 19));
  struct Case {
    std::string label;
    std::string path;
    std::string expected;
  };
  const std::string missing = dir.File("missing.mdb");
  const std::string folder = dir.Path().substr(0, dir.Path().size() - 1);
  const std::string text = dir.Write("notes.mdb", std::string(8192, 'x'));
  const std::string empty = dir.Write("empty.mdb", "");
  const std::string fifo = dir.File("pipe.mdb");
  ::mkfifo(fifo.c_str(), 0600);  // opening it must not wait for a writer
  const std::string shortFile = dir.Write("short.mdb", header + std::string(100, '\0'));
  const std::string jet3Password =
      dir.Write("locked3.mdb", MakeHeaderPage(0, 1252, "secret") + std::string(4096, '\0'));
  const std::string jet4Password =
      dir.Write("locked4.mdb", MakeHeaderPage(1, 1252, "pw", 40000.75) + std::string(8192, '\0'));
  const std::string encrypted = dir.Write(
      "crypt.accdb", MakeHeaderPage(3, 1252, "", 40000.0, 0x1234) + std::string(8192, '\0'));
  const Case cases[] = {
      {"not found", missing, "Could not find file '" + missing + "'."},
      {"folder", folder, "'" + folder + "' is a folder, not a database file."},
      {"FIFO", fifo, "'" + fifo + "' is not a regular file."},
      {"not a database", text,
       "Unrecognized database format '" + text +
           "': the file does not start with an Access database header."},
      {"empty", empty,
       "Unrecognized database format '" + empty + "': the file is too short to be a database."},
      {"truncated", shortFile,
       "Unrecognized database format '" + shortFile +
           "': the file is truncated (252 bytes is not a whole number of 2048-byte pages, or "
           "fewer than three)."},
      {"Jet 3 password", jet3Password, "Not a valid password."},
      {"Jet 4 password", jet4Password, "Not a valid password."},
      {"Office encryption", encrypted,
       "'" + encrypted + "' is encrypted; it cannot be read without its password."},
  };
  ReaderProcess reader(RealReader());
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(reader, c.path), c.expected) << c.label;
}

}  // namespace
}  // namespace zentab::engine

// The documentation job: reads every database of a list on a worker thread, posts progress
// lines to a sink, and writes each database's section of the report as soon as it is read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "report/htmlfile.h"
#include "schema/imdb.h"

namespace zentab {

// Receives one progress line (UTF-8). Called on the job's thread; the job goes on only when it
// returns, so a sink that hands the line to another thread must wait until it is taken.
using MessageSink = std::function<void(const std::string& line)>;

// A failure kept in a record while reading: the database's table list (table empty), a table
// (field empty) or a field. Names may be empty when the failure came before the name was read;
// the positions (from 1) always say which.
struct ReadFailure {
  std::string path;
  std::string table;
  std::size_t tablePosition = 0;  // 0 for the table list
  std::string field;
  std::size_t fieldPosition = 0;  // 0 for a table
  std::string message;
};

// How a job ended.
struct JobOutcome {
  bool finished = false;   // the job has ended
  bool succeeded = false;  // the report was written
  std::string reportPath;  // set when succeeded
  std::string failedPath;  // the database (or report) path the error belongs to
  std::string error;       // the error's message when it did not succeed
  // The read failures kept in the records of the databases read, in job order; the report
  // does not show them.
  std::vector<ReadFailure> readFailures;
};

// name, then full stops up to width CP932 bytes, then value; nothing is cut when too long.
std::string JoinWithDots(std::string_view name, std::string_view value, std::size_t width);

class TMdbSeek {
 public:
  // Copies the file names; output may be empty (lines are then dropped). Nothing runs until
  // Start.
  TMdbSeek(std::vector<std::string> fileNames, MessageSink output, ReportTarget target = {});
  ~TMdbSeek();
  TMdbSeek(const TMdbSeek&) = delete;
  TMdbSeek& operator=(const TMdbSeek&) = delete;

  // When set before Start, the job deletes itself once its thread ends; the caller must not
  // touch it after Start then. The job must have been made with new.
  bool FreeOnTerminate = false;
  // When set before Start, called on the job's thread with the outcome once the job has ended
  // (before a job that frees itself is deleted).
  std::function<void(const JobOutcome&)> OnTerminate;

  // When set, called on the job's thread with each database's records right after it is read
  // (before its section is written); the records are dropped once it returns. An exception it
  // throws fails the job with its message.
  std::function<void(const TMdb&)> DatabaseRead;

  // When false, the job reads the databases and writes no HTML report; a database that cannot
  // be opened is then kept with its reason in ErrorMessage and the job goes on. With
  // DatabaseRead set, the records hold the design beyond the fixed report too.
  bool WriteHtml = true;

  // Runs Execute on a new thread.
  void Start();
  // Waits for the thread to end (not for a job that frees itself) and returns its outcome.
  JobOutcome Wait();

  // The whole job, on the calling thread. Never throws: an error ends the job after an
  // "エラー:" line, and the outcome tells what happened.
  JobOutcome Execute();

 private:
  void AddMessage(const std::string& text);
  void Run();
  void Fail(JobOutcome& outcome, const std::string& path, const std::string& error);

  std::string Message;
  MessageSink Output;
  std::vector<std::string> FileNames;
  ReportTarget target_;
  std::thread thread_;
  JobOutcome outcome_;
};

}  // namespace zentab

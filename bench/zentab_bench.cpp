// zentab-bench: times reading database designs three ways (a bare libmdb pass, the schema
// reader through the engine, zentab-cli end to end) and a peer reader (the mdb-reader package
// under Node) over generated databases and the corpus, the rendering of their report sections
// and the schema reader's calls alone over designs already in memory, and prints medians,
// ratios and peak memory.
// glib first: mdbtools.h includes it inside extern "C", where its C++ parts cannot stand.
#include <glib.h>
#include <mdbtools.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/mdbengine.h"
#include "engine/wire.h"
#include "job/mdbseek.h"
#include "mkmdb/mkmdb.h"
#include "report/section.h"
#include "schema/reader.h"
#include "schema/snapshot.h"

namespace fs = std::filesystem;

namespace {

constexpr int kManyDatabases = 400;

using Clock = std::chrono::steady_clock;

double MedianSeconds(int repeat, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < repeat; ++i) {
    auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The least any libmdb-based reader must do: the catalog, then every table's definition,
// columns and column properties.
void RawLibmdbPass(const std::vector<std::string>& files) {
  for (const auto& file : files) {
    MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
    if (!mdb) continue;
    if (mdb_read_catalog(mdb, MDB_TABLE)) {
      for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE) continue;
        MdbTableDef* table = mdb_read_table(entry);
        if (!table) continue;
        mdb_read_columns(table);
        mdb_free_tabledef(table);
      }
    }
    mdb_close(mdb);
  }
}

// The schema reader over files: what the fixed report shows (as the report alone reads it,
// comparable to the bare pass), or with the design beyond it (keys, properties, queries).
void ZentabReadPass(const std::vector<std::string>& files, zentab::ReadScope scope) {
  for (const auto& file : files) {
    zentab::TMdb mdb;
    try {
      zentab::ReadMdb(file, mdb, scope);
    } catch (const std::exception&) {
      // Unreadable corpus files are timed like the others.
    }
  }
}

struct CliRun {
  double seconds = 0;
  long peakKb = 0;
};

// Where the peer reader lives: read-schema.mjs and its node_modules (make bench-peer).
struct Peer {
  std::string node;    // the Node executable, empty when there is none
  std::string script;  // read-schema.mjs
};

// Runs args to its end and returns its wait status and standard output (its standard error
// discarded when quiet).
int RunCapturing(std::vector<std::string> args, std::string& answer, bool quiet = false) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("no pipe for " + args.front());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[0]);
    if (quiet && !std::freopen("/dev/null", "w", stderr)) ::_exit(127);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  answer.clear();
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) answer.append(buffer, n);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

// Runs this benchmark again as "/proc/self/exe args…" (a small fresh process, so what it
// measures starts from its own size) and returns its wait status and standard output.
int RunSelf(std::vector<std::string> args, std::string& answer) {
  args.insert(args.begin(), "/proc/self/exe");
  return RunCapturing(std::move(args), answer);
}

// A run of mode over files: "/proc/self/exe mode outDir files…".
int RunSelf(const char* mode, const std::string& outDir, const std::vector<std::string>& files,
            std::string& answer) {
  std::vector<std::string> args = {mode, outDir};
  args.insert(args.end(), files.begin(), files.end());
  return RunSelf(std::move(args), answer);
}

// Runs the peer over files; its standard output (databases, tables, fields and failures read)
// goes to summary.
CliRun RunPeer(const Peer& peer, const std::vector<std::string>& files, std::string& summary) {
  auto start = Clock::now();
  // Through a small fresh process, for the reason given at LaunchCli.
  std::vector<std::string> args = {"--launch-peer", peer.node, peer.script};
  args.insert(args.end(), files.begin(), files.end());
  int status = RunSelf(std::move(args), summary);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("the peer reader failed (" + peer.script + ")");
  }
  CliRun run;
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  // The launcher's last line is the peer's peak.
  while (!summary.empty() && summary.back() == '\n') summary.pop_back();
  std::size_t last = summary.rfind('\n');
  run.peakKb = std::atol(summary.c_str() + (last == std::string::npos ? 0 : last + 1));
  summary.resize(last == std::string::npos ? 0 : last);
  while (!summary.empty() && summary.back() == '\n') summary.pop_back();
  return run;
}

// The median run of runs (by time) and the largest peak among them.
CliRun Median(std::vector<CliRun> runs) {
  std::sort(runs.begin(), runs.end(),
            [](const CliRun& a, const CliRun& b) { return a.seconds < b.seconds; });
  CliRun median = runs[runs.size() / 2];
  for (const auto& r : runs) median.peakKb = std::max(median.peakKb, r.peakKb);
  return median;
}

// Runs args to its end with standard error discarded, and standard output too unless
// keepOutput; returns its wait status and fills usage.
int RunChild(std::vector<std::string> args, bool keepOutput, rusage& usage) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::fflush(stdout);  // the child must not print what the parent has buffered
  pid_t pid = ::fork();
  if (pid == 0) {
    if ((!keepOutput && !std::freopen("/dev/null", "w", stdout)) ||
        !std::freopen("/dev/null", "w", stderr)) {
      ::_exit(127);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::wait4(pid, &status, 0, &usage);
  return status;
}

// --launch-cli OUTDIR FILE...: runs zentab-cli and prints its peak resident size in KiB. A
// process's peak starts at the size of the process it was forked from, so zentab-cli is
// started from this small fresh process, not from the benchmark that holds large databases.
int LaunchCli(int argc, char** argv) {
  std::vector<std::string> args = {ZENTAB_CLI_PATH, "--output", std::string(argv[2]) + "/"};
  args.insert(args.end(), argv + 3, argv + argc);
  rusage usage{};
  int status = RunChild(args, false, usage);
  std::printf("%ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// --launch-peer NODE SCRIPT FILE...: runs the peer with its standard output passed on, then
// prints the peer's peak resident size in KiB on a last line of its own.
int LaunchPeer(int argc, char** argv) {
  rusage usage{};
  int status = RunChild(std::vector<std::string>(argv + 2, argv + argc), true, usage);
  std::printf("\n%ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// A figure in KiB from /proc/self/status ("VmRSS", "VmHWM"); 0 when absent.
long StatusKb(const std::string& key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  }
  return 0;
}

// --job-memory OUTDIR FILE...: runs one job over the files on its own thread, as the window
// does, in this small fresh process, and prints the resident size before it, the peak during
// it, the size once it has ended, and the reader's peak (KiB).
int LaunchJob(int argc, char** argv) {
  zentab::engine::RegisterMdbEngine();
  std::vector<std::string> files(argv + 3, argv + argc);
  long idle = StatusKb("VmRSS");
  zentab::JobOutcome outcome;
  {
    zentab::TMdbSeek job(files, {}, zentab::ReportTarget{argv[2], ""});
    job.Start();
    outcome = job.Wait();
  }
  long after = StatusKb("VmRSS");
  rusage children{};
  ::getrusage(RUSAGE_CHILDREN, &children);
  std::printf("%ld %ld %ld %ld\n", idle, StatusKb("VmHWM"), after, children.ru_maxrss);
  return outcome.succeeded ? 0 : 1;
}

void RemoveReports(const std::string& outDir) {
  for (const auto& report : fs::directory_iterator(outDir)) fs::remove(report.path());
}

void MeasureJobMemory(const std::string& name, const std::vector<std::string>& files,
                      const std::string& outDir) {
  std::string answer;
  int status = RunSelf("--job-memory", outDir, files, answer);
  RemoveReports(outDir);
  long idle = 0, peak = 0, after = 0, reader = 0;
  if (std::sscanf(answer.c_str(), "%ld %ld %ld %ld", &idle, &peak, &after, &reader) != 4 ||
      !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::printf("%-24s job in the window's way failed\n", name.c_str());
    return;
  }
  std::printf(
      "%-24s job on a thread: front end %.1f MB idle, %.1f MB peak, %.1f MB after (kept %.1f "
      "MB); reader peak %.1f MB\n",
      "", idle / 1024.0, peak / 1024.0, after / 1024.0, (after - idle) / 1024.0, reader / 1024.0);
  std::fflush(stdout);
}

// Runs zentab-cli over files; the peak resident size covers the front end and its reader.
// Each run starts with nothing left to write to the disk and its report is removed after it,
// so that no run waits for an earlier run's report and the reports do not pile up.
CliRun RunCli(const std::vector<std::string>& files, const std::string& outDir) {
  ::sync();
  auto start = Clock::now();
  std::string answer;
  RunSelf("--launch-cli", outDir, files, answer);
  CliRun run;
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.peakKb = std::atol(answer.c_str());
  RemoveReports(outDir);
  return run;
}

std::string Description(int tables, int fields, long rows, int tablesWithRows) {
  std::ostringstream json;
  json << R"({"format":"jet4","tables":[)";
  for (int t = 0; t < tables; ++t) {
    if (t) json << ',';
    json << R"({"name":"Table)" << t << R"(","rows":)" << (t < tablesWithRows ? rows : 0)
         << R"(,"fields":[)";
    for (int f = 0; f < fields; ++f) {
      if (f) json << ',';
      static const char* kTypes[] = {"long", "text", "datetime", "double", "boolean", "memo"};
      json << R"({"name":"Field)" << f << R"(","type":")" << kTypes[f % 6] << '"';
      if (f % 3 == 0) json << R"(,"required":true,"default":"0")";
      json << '}';
    }
    json << "]}";
  }
  json << "]}";
  return json.str();
}

std::string Generate(const fs::path& work, const std::string& name, const std::string& json) {
  fs::path path = work / (name + ".mdb");
  if (!fs::exists(path)) {
    auto start = Clock::now();
    zentab::mkmdb::WriteMdbFromJson(json, path.string());
    std::printf("  generated %-22s %8.1f MB in %6.2f s\n", path.filename().c_str(),
                static_cast<double>(fs::file_size(path)) / 1048576.0,
                std::chrono::duration<double>(Clock::now() - start).count());
  }
  return path.string();
}

struct Row {
  std::string name;
  double raw = 0;
  double zentab = 0;
  double design = 0;
  CliRun cli;
  CliRun peer;
};

// The report sections of the databases in files rendered in CP932 as a job renders them, each
// database read once beforehand; prints the median time and the time per field row.
void MeasureRender(const std::vector<std::string>& files, int repeat) {
  std::vector<zentab::TMdb> mdbs;
  std::size_t fieldRows = 0;
  for (const auto& file : files) {
    zentab::TMdb mdb;
    try {
      zentab::ReadMdb(file, mdb, zentab::ReadScope::kReport);
    } catch (const std::exception&) {
      continue;  // an unreadable corpus file has no section
    }
    for (const auto& table : mdb.TableDefs) fieldRows += table.Fields.size();
    mdbs.push_back(std::move(mdb));
  }
  std::size_t bytes = 0;
  const zentab::SectionSink count = [&bytes](std::string_view piece) { bytes += piece.size(); };
  const double seconds = MedianSeconds(repeat, [&] {
    bytes = 0;
    for (const auto& mdb : mdbs) {
      zentab::RenderMdbSection(mdb, count, zentab::SectionEncoding::kCp932);
    }
  });
  std::printf("%-24s render %6.3f s   %zu field rows, %.0f ns per field row, %.1f MB\n", "",
              seconds, fieldRows, fieldRows == 0 ? 0.0 : seconds * 1e9 / fieldRows,
              static_cast<double>(bytes) / 1048576.0);
  std::fflush(stdout);
}

// What args prints on its standard output; empty when it fails.
std::string Capture(std::vector<std::string> args) {
  std::string out;
  int status = RunCapturing(std::move(args), out, /*quiet=*/true);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : std::string();
}

// The schema reader over each database's design already decoded in memory: the late-bound
// calls the fixed report makes and the records they fill, without the reader process, the
// wire or the report. Prints the median time and the time per field.
void MeasureCalls(const std::vector<std::string>& files, int repeat) {
  const std::string reader = (fs::path(ZENTAB_CLI_PATH).parent_path() / "zentab-dbreader").string();
  std::vector<std::shared_ptr<const zentab::DatabaseSnapshot>> snapshots;
  for (const auto& file : files) {
    std::string json = Capture({reader, "--dump", file});
    if (json.empty()) continue;  // an unreadable corpus file has no design
    snapshots.push_back(
        std::make_shared<const zentab::DatabaseSnapshot>(zentab::engine::DecodeSnapshot(json)));
  }
  std::size_t current = 0;
  zentab::RegisterEngineFactory(zentab::kEngineProgId, [&snapshots, &current] {
    return zentab::MakeSnapshotEngine(
        [&snapshots, &current](const std::string&) { return snapshots[current]; });
  });
  std::size_t fields = 0;
  const double seconds = MedianSeconds(repeat, [&] {
    fields = 0;
    for (current = 0; current < snapshots.size(); ++current) {
      zentab::TMdb mdb;
      zentab::ReadMdb("in-memory.mdb", mdb, zentab::ReadScope::kReport);
      for (const auto& table : mdb.TableDefs) fields += table.Fields.size();
    }
  });
  zentab::engine::RegisterMdbEngine();
  std::printf("%-24s calls  %6.3f s   ReadMdb over the design in memory, %.0f ns per field\n", "",
              seconds, fields == 0 ? 0.0 : seconds * 1e9 / static_cast<double>(fields));
  std::fflush(stdout);
}

double Megabytes(long kb) {
  return static_cast<double>(kb) / 1024.0;
}

Row Measure(const std::string& name, const std::vector<std::string>& files, int repeat,
            const std::string& outDir, const Peer& peer) {
  Row row;
  row.name = name;
  row.raw = MedianSeconds(repeat, [&] { RawLibmdbPass(files); });
  row.zentab = MedianSeconds(repeat, [&] { ZentabReadPass(files, zentab::ReadScope::kReport); });
  row.design = MedianSeconds(repeat, [&] { ZentabReadPass(files, zentab::ReadScope::kDesign); });
  std::vector<CliRun> runs;
  for (int i = 0; i < repeat; ++i) runs.push_back(RunCli(files, outDir));
  row.cli = Median(runs);
  std::printf(
      "%-24s raw %8.3f s   ReadMdb %8.3f s (%.2fx)   with design %8.3f s   cli %8.3f s "
      "(%.2fx raw)   cli peak %6.1f MB\n",
      name.c_str(), row.raw, row.zentab, row.zentab / row.raw, row.design, row.cli.seconds,
      row.cli.seconds / row.raw, Megabytes(row.cli.peakKb));
  if (!peer.node.empty()) {
    std::string summary;
    runs.clear();
    for (int i = 0; i < repeat; ++i) runs.push_back(RunPeer(peer, files, summary));
    row.peer = Median(runs);
    std::printf("%-24s peer %7.3f s   peak %6.1f MB   cli/peer %.2fx   (read: %s)\n", "",
                row.peer.seconds, Megabytes(row.peer.peakKb), row.cli.seconds / row.peer.seconds,
                summary.c_str());
  }
  std::fflush(stdout);
  MeasureRender(files, repeat);
  MeasureCalls(files, repeat);
  return row;
}

// The peer is Node running bench/peer/read-schema.mjs from dir, with mdb-reader installed
// beside it; without either the peer column is left out with a note.
Peer FindPeer(const fs::path& dir) {
  Peer peer;
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    fs::path node = fs::path(folder) / "node";
    if (!folder.empty() && ::access(node.c_str(), X_OK) == 0) {
      peer.node = node.string();
      break;
    }
  }
  if (peer.node.empty()) {
    std::printf("note: no Node on PATH; the peer column (mdb-reader) is left out\n");
    return peer;
  }
  if (!fs::exists(dir / "node_modules" / "mdb-reader" / "package.json")) {
    std::printf(
        "note: mdb-reader is not installed in %s (make bench-peer); the peer column is "
        "left out\n",
        dir.c_str());
    peer.node.clear();
    return peer;
  }
  peer.script = (dir / "read-schema.mjs").string();
  return peer;
}

}  // namespace

int Run(int argc, char** argv);

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zentab-bench: %s\n", e.what());
    return 1;
  }
}

int Run(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--launch-cli") return LaunchCli(argc, argv);
  if (argc >= 3 && std::string(argv[1]) == "--job-memory") return LaunchJob(argc, argv);
  if (argc >= 4 && std::string(argv[1]) == "--launch-peer") return LaunchPeer(argc, argv);
  std::string corpus;
  fs::path work = fs::temp_directory_path() / "zentab-bench";
  int repeat = 5;
  bool big = true;
  long bigRows = 4'500'000;  // about 1 GB with the benchmark's 20-field rows
  fs::path peerDir = ZENTAB_BENCH_PEER_DIR;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--corpus" && i + 1 < argc)
      corpus = argv[++i];
    else if (a == "--work" && i + 1 < argc)
      work = argv[++i];
    else if (a == "--repeat" && i + 1 < argc)
      repeat = std::max(1, std::atoi(argv[++i]));
    else if (a == "--big-rows" && i + 1 < argc)
      bigRows = std::atol(argv[++i]);
    else if (a == "--no-big")
      big = false;
    else if (a == "--peer" && i + 1 < argc)
      peerDir = argv[++i];
    else {
      std::fprintf(stderr,
                   "Usage: zentab-bench [--corpus DIR] [--work DIR] [--repeat N] [--no-big] "
                   "[--big-rows N] [--peer DIR]\n");
      return 2;
    }
  }
  fs::create_directories(work);
  fs::path out = work / "reports";
  fs::create_directories(out);
  zentab::engine::RegisterMdbEngine();
  std::printf("zentab-bench: medians of %d runs; work folder %s\n", repeat, work.c_str());
  Peer peer = FindPeer(peerDir);

  if (!corpus.empty() && fs::is_directory(corpus)) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(corpus)) {
      if (e.is_regular_file()) files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    Measure("corpus (" + std::to_string(files.size()) + " files)", files, repeat, out.string(),
            peer);
  }

  std::printf("generating databases\n");
  struct Shape {
    int tables, fields;
  };
  const Shape shapes[] = {{20, 20}, {500, 40}, {2000, 50}};
  std::vector<Row> rows;
  for (const auto& s : shapes) {
    std::string name = std::to_string(s.tables) + "x" + std::to_string(s.fields);
    std::string path = Generate(work, name, Description(s.tables, s.fields, 3, s.tables));
    rows.push_back(Measure(name, {path}, repeat, out.string(), peer));
    MeasureJobMemory(name, {path}, out.string());
  }
  // Many small databases in one job: what the job keeps must not grow with their number.
  std::vector<std::string> many;
  fs::create_directories(work / "many");
  for (int i = 1; i <= kManyDatabases; ++i) {
    fs::path link = work / "many" / ("db" + std::to_string(i) + ".mdb");
    if (!fs::is_symlink(link)) fs::create_symlink("../" + rows.front().name + ".mdb", link);
    many.push_back(link.string());
  }
  std::string manyName = std::to_string(kManyDatabases) + " x 20x20";
  rows.push_back(Measure(manyName, many, repeat, out.string(), peer));
  MeasureJobMemory(manyName, many, out.string());
  rows.pop_back();

  std::printf("\nlinearity (ReadMdb seconds per 1,000 fields):\n");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    double fieldCount = static_cast<double>(shapes[i].tables) * shapes[i].fields;
    std::printf("  %-10s %8.4f\n", rows[i].name.c_str(), rows[i].zentab / fieldCount * 1000.0);
  }

  if (big) {
    std::string schemaOnly = Generate(work, "10tables-empty", Description(10, 20, 0, 0));
    std::string withRows = Generate(work, "10tables-1GB", Description(10, 20, bigRows, 1));
    Row empty = Measure("10 tables, no rows", {schemaOnly}, repeat, out.string(), peer);
    Row full = Measure("10 tables, 1 GB rows", {withRows}, repeat, out.string(), peer);
    std::printf("\n1 GB of rows / no rows: ReadMdb %.2fx, raw %.2fx\n", full.zentab / empty.zentab,
                full.raw / empty.raw);
  }
  return 0;
}

// The program's own messages in both languages: English by default, Japanese under a ja
// language, in the reader process, the engine's client side and the report writer alike.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "engine/readerprocess.h"
#include "fakes/scoped_env.h"
#include "platform/paths.h"
#include "platform/translate.h"
#include "report/htmlfile.h"
#include "schema/automation.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

using testing::MakeHeaderPage;
using testing::TempDir;

using Env = fakes::ScopedEnv;

// The message of the error one read gives, in a reader started under the current environment.
std::string ReadError(const std::string& reader, const std::string& path, int timeout = 5) {
  ReaderProcess process(reader);
  try {
    process.Read(path, timeout);
  } catch (const AutomationError& e) {
    return e.what();
  }
  return "(no error)";
}

struct Message {
  const char* label;
  std::function<std::string(const TempDir&)> produce;
  std::function<std::string(const TempDir&)> english;
  std::function<std::string(const TempDir&)> japanese;
};

std::string RealReader() {
  return platform::ExecutableDirectory() + "zentab-dbreader";
}

const Message kMessages[] = {
    {"file not found", [](const TempDir& d) { return ReadError(RealReader(), d.File("none.mdb")); },
     [](const TempDir& d) { return "Could not find file '" + d.File("none.mdb") + "'."; },
     [](const TempDir& d) { return "ファイル '" + d.File("none.mdb") + "' が見つかりません。"; }},
    {"not a database",
     [](const TempDir& d) {
       return ReadError(RealReader(), d.Write("notes.mdb", std::string(8192, 'x')));
     },
     [](const TempDir& d) {
       return "Unrecognized database format '" + d.File("notes.mdb") +
              "': the file does not start with an Access database header.";
     },
     [](const TempDir& d) {
       return "データベースの形式を認識できません '" + d.File("notes.mdb") +
              "': ファイルの先頭に Access データベースのヘッダーがありません。";
     }},
    {"password",
     [](const TempDir& d) {
       return ReadError(RealReader(),
                        d.Write("locked.mdb",
                                MakeHeaderPage(1, 1252, "pw", 40000.75) + std::string(8192, '\0')));
     },
     [](const TempDir&) { return std::string("Not a valid password."); },
     [](const TempDir&) { return std::string("パスワードが正しくありません。"); }},
    {"timeout", [](const TempDir&) { return ReadError(ZENTAB_FAKE_READER, "/data/hang", 1); },
     [](const TempDir&) { return std::string("reading /data/hang timed out after 1 s"); },
     [](const TempDir&) {
       return std::string("/data/hang の読み込みが 1 秒で時間切れになりました");
     }},
    {"cannot create the report",
     [](const TempDir& d) {
       try {
         WriteHtmlFile("", ReportTarget{"", d.File("no/r.html")});
       } catch (const ReportWriteError& e) {
         return std::string(e.what());
       }
       return std::string("(no error)");
     },
     [](const TempDir& d) {
       return d.File("no/r.html") + ": cannot create: No such file or directory";
     },
     [](const TempDir& d) {
       // The system's reason is in its own language when its catalog is installed.
       return d.File("no/r.html") + ": 作成できません: " + std::strerror(ENOENT);
     }},
};

struct Language {
  const char* name;
  const char* language;  // LANGUAGE
  const char* lang;      // LANG
  bool japanese;
};

class Messages : public ::testing::TestWithParam<Language> {};

TEST_P(Messages, AreInTheUsersLanguage) {
  Env all("LC_ALL", nullptr);
  Env messages("LC_MESSAGES", nullptr);
  Env language("LANGUAGE", GetParam().language);
  Env lang("LANG", GetParam().lang);
  platform::ResetTranslations();
  for (const Message& m : kMessages) {
    TempDir dir;
    std::string expected = GetParam().japanese ? m.japanese(dir) : m.english(dir);
    EXPECT_EQ(m.produce(dir), expected) << m.label;
  }
  platform::ResetTranslations();
}

INSTANTIATE_TEST_SUITE_P(Languages, Messages,
                         ::testing::Values(Language{"C", nullptr, "C", false},
                                           Language{"English", nullptr, "en_US.UTF-8", false},
                                           Language{"Japanese", "ja", "C", true},
                                           Language{"LanguageList", "de:ja", "C.UTF-8", true}),
                         [](const ::testing::TestParamInfo<Language>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace zentab::engine

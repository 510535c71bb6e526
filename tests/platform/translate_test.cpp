// Message translation: the language the environment asks for, and placeholders.
#include "platform/translate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "fakes/scoped_env.h"

namespace zentab::platform {
namespace {

using Env = fakes::ScopedEnv;

// The catalog built from po/ja.po answers in the language the environment asks for; gettext's
// own rules decide which variable wins.
TEST(MessageLanguage, JapaneseWhenTheEnvironmentAsksForIt) {
  const struct {
    const char* language;
    bool japanese;
  } cases[] = {{"ja", true}, {"ja_JP", true}, {"en:ja", true}, {"de", false}, {"en", false}};
  const std::string msgid = "Not a valid password.";
  for (const auto& c : cases) {
    Env language("LANGUAGE", c.language);
    ResetTranslations();
    std::string text = Tr(msgid);
    EXPECT_EQ(text != msgid, c.japanese) << c.language << ": " << text;
    if (c.japanese) EXPECT_EQ(text.find("パスワード") != std::string::npos, true) << text;
  }
}

TEST(MessageFormat, ReplacesNumberedPlaceholdersInAnyOrder) {
  EXPECT_EQ(Format("{1} の読み込み ({0})", {"a", "b"}), "b の読み込み (a)");
  EXPECT_EQ(Format("{0}{0}", {"x"}), "xx");
  EXPECT_EQ(Format("{2} {x} {", {"a"}), "{2} {x} {");
  EXPECT_EQ(Format("no places", {}), "no places");
  EXPECT_EQ(Format("{0}", {"{1}"}), "{1}");  // arguments are not scanned again
}

}  // namespace
}  // namespace zentab::platform

// Message translation: the language the environment asks for, compiled catalogs read with
// their offsets checked, and placeholders.
#include "platform/translate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace zentab::platform {
namespace {

class Env {
 public:
  Env(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~Env() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct LanguageCase {
  const char* language;
  const char* all;
  const char* messages;
  const char* lang;
  bool japanese;
};

TEST(MessageLanguage, FollowsLanguageThenTheLocaleVariablesInOrder) {
  const LanguageCase cases[] = {
      {nullptr, nullptr, nullptr, nullptr, false},
      {nullptr, nullptr, nullptr, "ja_JP.UTF-8", true},
      {nullptr, nullptr, nullptr, "ja", true},
      {nullptr, nullptr, nullptr, "jam_JM", false},  // another language starting with "ja"
      {nullptr, nullptr, "ja_JP.eucJP", "en_US.UTF-8", true},
      {nullptr, "C", "ja_JP.UTF-8", "ja_JP.UTF-8", false},  // LC_ALL wins
      {nullptr, "", "ja_JP.UTF-8", "C", true},              // empty counts as unset
      {"ja", nullptr, nullptr, "en_US.UTF-8", true},
      {"en:ja_JP", nullptr, nullptr, "C", true},  // English has no catalog: the next one
      {"de:fr", nullptr, nullptr, "ja_JP.UTF-8", false},
      {"", nullptr, nullptr, "ja_JP.UTF-8", true},
  };
  for (const LanguageCase& c : cases) {
    Env language("LANGUAGE", c.language);
    Env all("LC_ALL", c.all);
    Env messages("LC_MESSAGES", c.messages);
    Env lang("LANG", c.lang);
    EXPECT_EQ(MessagesInJapanese(), c.japanese)
        << (c.language ? c.language : "-") << " " << (c.all ? c.all : "-") << " "
        << (c.messages ? c.messages : "-") << " " << (c.lang ? c.lang : "-");
  }
}

// A catalog laid out by hand as msgfmt lays it out: header, the two tables, then the strings.
std::string Catalog(const std::vector<std::pair<std::string, std::string>>& entries,
                    bool bigEndian) {
  std::string out;
  auto word = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      int shift = bigEndian ? 24 - 8 * i : 8 * i;
      out += static_cast<char>((v >> shift) & 0xFF);
    }
  };
  auto n = static_cast<std::uint32_t>(entries.size());
  std::uint32_t originals = 28, translations = 28 + 8 * n;
  word(0x950412DE);
  word(0);
  word(n);
  word(originals);
  word(translations);
  word(0);
  word(0);
  std::uint32_t at = translations + 8 * n;
  std::string strings;
  std::vector<std::uint32_t> idAt, textAt;
  for (const auto& [id, text] : entries) {
    idAt.push_back(at + static_cast<std::uint32_t>(strings.size()));
    strings += id + '\0';
  }
  for (const auto& [id, text] : entries) {
    textAt.push_back(at + static_cast<std::uint32_t>(strings.size()));
    strings += text + '\0';
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    word(static_cast<std::uint32_t>(entries[i].first.size()));
    word(idAt[i]);
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    word(static_cast<std::uint32_t>(entries[i].second.size()));
    word(textAt[i]);
  }
  return out + strings;
}

TEST(MessageCatalog, ReadsBothByteOrdersAndSkipsTheHeader) {
  for (bool bigEndian : {false, true}) {
    auto catalog = ParseMessageCatalog(Catalog({{"", "Content-Type: text/plain; charset=UTF-8\n"},
                                                {"Not a valid password.", "違う"},
                                                {"untranslated", ""}},
                                               bigEndian));
    ASSERT_TRUE(catalog.has_value()) << bigEndian;
    EXPECT_EQ(catalog->size(), 1u);
    EXPECT_EQ(catalog->at("Not a valid password."), "違う");
  }
}

TEST(MessageCatalog, RefusesDamagedCatalogs) {
  const std::string good = Catalog({{"a", "b"}}, false);
  auto patched = [&](std::size_t at, std::uint32_t value) {
    std::string bytes = good;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
  };
  struct Case {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"short header", good.substr(0, 12)},
      {"wrong magic", patched(0, 0x12345678)},
      {"count beyond the file", patched(8, 0x10000000)},
      {"table beyond the file", patched(12, 0xFFFFFFF0)},
      {"string offset beyond the file", patched(32, 0xFFFFFFFF)},
      {"string length beyond the file", patched(36, 1000)},
      {"cut in the strings", good.substr(0, good.size() - 2)},
  };
  ASSERT_TRUE(ParseMessageCatalog(good).has_value());
  for (const Case& c : cases) EXPECT_FALSE(ParseMessageCatalog(c.bytes).has_value()) << c.label;
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

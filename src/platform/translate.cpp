// Message translation: the language from the environment, the compiled catalog read with
// every offset checked, and the placeholders of translated patterns.
#include "platform/translate.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/paths.h"

namespace zentab::platform {
namespace {

using Catalog = std::map<std::string, std::string, std::less<>>;

constexpr std::uint32_t kMagic = 0x950412DE;
constexpr std::uint32_t kMagicSwapped = 0xDE120495;

std::optional<std::uint32_t> Word(std::string_view bytes, std::size_t at, bool bigEndian) {
  if (at > bytes.size() || bytes.size() - at < 4) return std::nullopt;
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    auto b = static_cast<std::uint8_t>(bytes[at + (bigEndian ? i : 3 - i)]);
    value = (value << 8) | b;
  }
  return value;
}

// The string of table entry i (length, then offset) at tableOffset.
std::optional<std::string_view> Entry(std::string_view bytes, std::uint32_t tableOffset,
                                      std::uint32_t i, bool bigEndian) {
  std::uint64_t at = std::uint64_t{tableOffset} + std::uint64_t{i} * 8;
  if (at + 8 > bytes.size()) return std::nullopt;
  auto length = Word(bytes, static_cast<std::size_t>(at), bigEndian);
  auto offset = Word(bytes, static_cast<std::size_t>(at + 4), bigEndian);
  if (!length || !offset) return std::nullopt;
  if (std::uint64_t{*offset} + *length > bytes.size()) return std::nullopt;
  return bytes.substr(*offset, *length);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct State {
  std::mutex mutex;
  bool loaded = false;
  bool japanese = false;
  Catalog catalog;
};

// Never destroyed: a job thread may still translate while the process ends.
State& Translations() {
  static State& state = *new State;
  return state;
}

void Load(State& state) {
  state.loaded = true;
  state.catalog.clear();
  state.japanese = MessagesInJapanese();
  if (!state.japanese) return;
  const std::string tail = "/ja/LC_MESSAGES/zentab.mo";
  // bin/ and lib/zentab/ sit beside share/ in the build folder and in every installation,
  // whatever its prefix; the configured folder is the last resort.
  const std::string exeDir = ExecutableDirectory();
  for (const std::string& folder : {exeDir + "../share/locale", exeDir + "../../share/locale",
                                    std::string(ZENTAB_LOCALE_DIR)}) {
    if (auto catalog = ParseMessageCatalog(ReadAll(folder + tail))) {
      state.catalog = std::move(*catalog);
      return;
    }
  }
}

bool IsJapanese(std::string_view name) {
  return name.starts_with("ja") &&
         (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@');
}

}  // namespace

bool MessagesInJapanese() {
  if (const char* language = std::getenv("LANGUAGE"); language && *language) {
    std::string_view list(language);
    // Only Japanese has a catalog: the first Japanese entry wins over earlier ones without.
    while (!list.empty()) {
      std::size_t colon = list.find(':');
      if (IsJapanese(list.substr(0, colon))) return true;
      if (colon == std::string_view::npos) break;
      list.remove_prefix(colon + 1);
    }
    return false;
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* value = std::getenv(name); value && *value) return IsJapanese(value);
  }
  return false;
}

std::optional<Catalog> ParseMessageCatalog(std::string_view bytes) {
  auto magic = Word(bytes, 0, false);
  if (!magic || (*magic != kMagic && *magic != kMagicSwapped)) return std::nullopt;
  bool bigEndian = *magic == kMagicSwapped;
  auto count = Word(bytes, 8, bigEndian);
  auto originals = Word(bytes, 12, bigEndian);
  auto translations = Word(bytes, 16, bigEndian);
  if (!count || !originals || !translations) return std::nullopt;
  // Each entry takes 8 bytes in both tables: a count the file cannot hold is damage.
  if (*count > bytes.size() / 16) return std::nullopt;
  Catalog catalog;
  for (std::uint32_t i = 0; i < *count; ++i) {
    auto id = Entry(bytes, *originals, i, bigEndian);
    auto text = Entry(bytes, *translations, i, bigEndian);
    if (!id || !text) return std::nullopt;
    // The header entry (empty msgid) and untranslated entries are not translations.
    if (id->empty() || text->empty()) continue;
    catalog.emplace(std::string(*id), std::string(*text));
  }
  return catalog;
}

std::string Tr(std::string_view msgid) {
  State& state = Translations();
  std::lock_guard lock(state.mutex);
  if (!state.loaded) Load(state);
  if (state.japanese) {
    if (auto it = state.catalog.find(msgid); it != state.catalog.end()) return it->second;
  }
  return std::string(msgid);
}

std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' &&
        pattern[i + 1] >= '0' && pattern[i + 1] <= '9' &&
        static_cast<std::size_t>(pattern[i + 1] - '0') < args.size()) {
      out += *(args.begin() + (pattern[i + 1] - '0'));
      i += 2;
      continue;
    }
    out += pattern[i];
  }
  return out;
}

void ResetTranslations() {
  State& state = Translations();
  std::lock_guard lock(state.mutex);
  state.loaded = false;
}

}  // namespace zentab::platform

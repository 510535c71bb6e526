// Message translation over glibc's gettext, and the placeholders of translated patterns.
#include "platform/translate.h"

#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <mutex>

#include "platform/paths.h"

// glibc's count of catalog changes; gettext answers again from the environment when it moves.
extern "C" int _nl_msg_cat_cntr;

namespace zentab::platform {
namespace {

constexpr const char* kDomain = "zentab";

void Bind() {
  // Messages follow the environment whichever program asks first (the command line, the
  // reader process, the window after Qt has set its locale). gettext passes LANGUAGE over
  // while the messages locale is "C", and the system's own messages (strerror) come out as
  // "?" in the "C" character set: "C.UTF-8" is the same locale in every other respect.
  for (int category : {LC_CTYPE, LC_MESSAGES}) {
    std::setlocale(category, "");
    const char* current = std::setlocale(category, nullptr);
    if (current && (std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0)) {
      std::setlocale(category, "C.UTF-8");
    }
  }
  // bin/ and lib/zentab/ sit beside share/ in the build folder and in every installation,
  // whatever its prefix; the configured folder is the last resort.
  const std::string exeDir = ExecutableDirectory();
  std::string folder = ZENTAB_LOCALE_DIR;
  for (const std::string& candidate : {exeDir + "../share/locale", exeDir + "../../share/locale"}) {
    if (::access((candidate + "/ja/LC_MESSAGES/zentab.mo").c_str(), R_OK) == 0) {
      folder = candidate;
      break;
    }
  }
  ::bindtextdomain(kDomain, folder.c_str());
  ::bind_textdomain_codeset(kDomain, "UTF-8");
}

std::once_flag bound;

}  // namespace

std::string Tr(std::string_view msgid) {
  std::call_once(bound, Bind);
  std::string key(msgid);
  return ::dgettext(kDomain, key.c_str());
}

void ResetTranslations() {
  std::call_once(bound, Bind);
  // The gettext manual's way of telling the library that LANGUAGE changed.
  ++_nl_msg_cat_cntr;
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

}  // namespace zentab::platform

// The program's own messages in the user's language: English texts are the keys of a gettext
// catalog (po/ja.po, compiled to zentab.mo at build time) whose Japanese texts are shown when
// the user's language is Japanese.
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zentab::platform {

// The language of messages as gettext's environment names it: the first entry of LANGUAGE
// (a colon-separated list; entries without a catalog are passed over), else the first of
// LC_ALL, LC_MESSAGES and LANG that is set. True when that is Japanese ("ja", "ja_JP", …).
bool MessagesInJapanese();

// The translations of a compiled gettext catalog (.mo, either byte order); nullopt when the
// bytes are no such catalog or any length or offset in them points outside the file.
std::optional<std::map<std::string, std::string, std::less<>>> ParseMessageCatalog(
    std::string_view bytes);

// msgid in the user's language: its Japanese text when MessagesInJapanese() and the catalog
// has one, msgid itself otherwise. The catalog is read once, from share/locale one or two
// folders above the executable's (bin/, lib/zentab/), else from the configured locale folder.
std::string Tr(std::string_view msgid);

// pattern with {0}, {1}, … replaced by the arguments in that order; an index without an
// argument stays as it is.
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

// Forgets the catalog, so the next Tr reads the environment and the catalog again (tests).
void ResetTranslations();

}  // namespace zentab::platform

// The program's own messages in the user's language, through gettext: English texts are the
// msgids of the "zentab" domain (po/ja.po, compiled to zentab.mo at build time), shown in
// Japanese when the environment asks for it (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace zentab::platform {

// msgid in the user's language (UTF-8): its translation when gettext has one, msgid itself
// otherwise. The catalog is looked up in share/locale one or two folders above the
// executable's (bin/, lib/zentab/), else in the configured locale folder. On first use the
// messages and character-set locales are set from the environment, and "C" becomes "C.UTF-8"
// (the system's own messages in UTF-8 too), so LANGUAGE is
// honoured as gettext honours it under any other locale; a language whose locale is not
// installed (LANG=ja_JP.UTF-8 alone on a system without it) stays English.
std::string Tr(std::string_view msgid);

// Makes the next Tr look at the environment again: gettext keeps its answers for the locale
// and sees a changed LANGUAGE only after the locale is set anew (tests change it).
void ResetTranslations();

// pattern with {0}, {1}, … replaced by the arguments in that order; an index without an
// argument stays as it is.
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace zentab::platform

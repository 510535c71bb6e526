// Path parts and the running executable's location. Paths are UTF-8 with "/" as separator.
#pragma once

#include <string>
#include <string_view>

namespace zentab::platform {

// The text after the last "/" (the whole path when it has none).
std::string FileNameOf(std::string_view path);

// The text up to and including the last "/" (empty when there is none).
std::string DirectoryOf(std::string_view path);

// The text from the last "." of the file name, dot included; empty when there is none.
std::string ExtensionOf(std::string_view path);

// Full path of the running executable. A test may install another with
// SetExecutablePath (empty restores the real one).
std::string ExecutablePath();
void SetExecutablePath(std::string path);

// DirectoryOf(ExecutablePath()): ends with "/".
std::string ExecutableDirectory();

}  // namespace zentab::platform

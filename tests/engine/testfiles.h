// Helpers for the engine tests: database header pages built by hand, the corpus folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "fakes/temp_dir.h"

namespace zentab::engine::testing {

using fakes::TempDir;

// A header page (2048 bytes for Jet 3, 4096 otherwise) as Access writes it: the magic, the
// version byte, and the masked area holding the code page and the password (Jet 4 masks the
// password once more with the creation date's whole days).
std::string MakeHeaderPage(std::uint8_t jetVersion, std::uint16_t codePage,
                           const std::string& password, double created = 37636.5,
                           std::uint32_t encodingKey = 0);

using fakes::ReadBytes;

// The shared corpus folder, or empty when it is not there.
std::string CorpusDir();

}  // namespace zentab::engine::testing

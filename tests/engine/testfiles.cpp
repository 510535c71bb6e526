// Hand-built header pages and the corpus folder for the engine tests.
#include "testfiles.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace zentab::engine::testing {
namespace fs = std::filesystem;

std::string MakeHeaderPage(std::uint8_t jetVersion, std::uint16_t codePage,
                           const std::string& password, double created, std::uint32_t encodingKey) {
  bool jet3 = jetVersion == 0;
  std::string page(jet3 ? 2048 : 4096, '\0');
  page.replace(0, 4, std::string("\0\1\0\0", 4));
  page.replace(4, 15, jetVersion >= 2 ? "Standard ACE DB" : "Standard Jet DB");
  page[0x14] = static_cast<char>(jetVersion);
  page[0x3C] = static_cast<char>(codePage & 0xFF);
  page[0x3D] = static_cast<char>(codePage >> 8);
  for (int i = 0; i < 4; ++i) page[0x3E + i] = static_cast<char>(encodingKey >> (8 * i));
  std::memcpy(page.data() + 0x72, &created, sizeof created);
  std::array<std::uint8_t, 4> mask{};
  if (!jet3) {
    auto days = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
    for (int i = 0; i < 4; ++i) mask[i] = static_cast<std::uint8_t>(days >> (8 * i));
  }
  std::vector<std::uint8_t> stored(jet3 ? 20 : 40, 0);
  for (std::size_t i = 0; i < password.size() && i < stored.size(); ++i) {
    stored[jet3 ? i : 2 * i] = static_cast<std::uint8_t>(password[i]);  // Jet 4: UTF-16LE
  }
  for (std::size_t i = 0; i < stored.size(); ++i) {
    page[0x42 + i] = static_cast<char>(stored[i] ^ mask[i % 4]);
  }
  // RC4 with the fixed key over 0x18.. (126 bytes in Jet 3, 128 otherwise).
  const std::uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
  std::array<std::uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  std::uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<std::uint8_t>(j + s[i] + key[i % 4]);
    std::swap(s[i], s[j]);
  }
  std::uint8_t a = 0, b = 0;
  for (std::size_t k = 0; k < (jet3 ? 126u : 128u); ++k) {
    a = static_cast<std::uint8_t>(a + 1);
    b = static_cast<std::uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    page[0x18 + k] = static_cast<char>(page[0x18 + k] ^ s[static_cast<std::uint8_t>(s[a] + s[b])]);
  }
  return page;
}

std::string CorpusDir() {
  const char* shared = std::getenv("ZENTAB_SHARED_DIR");
  if (!shared) return {};
  std::string dir = std::string(shared) + "/corpus";
  return fs::is_directory(dir) ? dir : std::string();
}

}  // namespace zentab::engine::testing

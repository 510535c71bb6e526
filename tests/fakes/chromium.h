// Headless Chromium for tests that look at a page the way a reader does: renders an HTML file
// to a PNG screenshot and reads its pixels back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zentab::fakes {

struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;  // width * height * 4 bytes, row by row

  // How many pixels are not (near) white.
  std::size_t InkedPixels() const;
};

// The Chromium executable on PATH ("chromium" or "chromium-browser"), empty when there is none.
std::string FindChromium();

// Renders the file at htmlPath in a window of width x height CSS pixels and returns the
// screenshot (kept as pngPath); nothing when Chromium fails or its picture cannot be read.
std::optional<Screenshot> RenderPage(const std::string& chromium, const std::string& htmlPath,
                                     const std::string& pngPath, int width, int height);

}  // namespace zentab::fakes

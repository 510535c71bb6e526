// Runs headless Chromium with a time limit and decodes its screenshot with libpng.
#include "fakes/chromium.h"

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace zentab::fakes {

std::size_t Screenshot::InkedPixels() const {
  std::size_t inked = 0;
  for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
    if (rgba[i] < 0xF0 || rgba[i + 1] < 0xF0 || rgba[i + 2] < 0xF0) ++inked;
  }
  return inked;
}

std::string FindChromium() {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    for (const char* name : {"chromium", "chromium-browser"}) {
      std::string candidate = folder + "/" + name;
      if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  return {};
}

std::optional<Screenshot> RenderPage(const std::string& chromium, const std::string& htmlPath,
                                     const std::string& pngPath, int width, int height) {
  std::filesystem::remove(pngPath);
  std::string profile = pngPath + ".profile";
  std::vector<std::string> args = {
      "timeout",
      "120",
      chromium,
      "--headless",
      "--no-sandbox",
      "--disable-gpu",
      "--hide-scrollbars",
      "--no-first-run",
      "--user-data-dir=" + profile,
      "--window-size=" + std::to_string(width) + "," + std::to_string(height),
      "--screenshot=" + pngPath,
      "file://" + std::filesystem::absolute(htmlPath).string()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    // Chromium talks a lot on both streams; none of it is the test's business.
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) {
      ::_exit(127);
    }
    ::execvp("timeout", argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::error_code ec;
  std::filesystem::remove_all(profile, ec);

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, pngPath.c_str())) return std::nullopt;
  image.format = PNG_FORMAT_RGBA;
  Screenshot shot;
  shot.width = static_cast<int>(image.width);
  shot.height = static_cast<int>(image.height);
  shot.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, shot.rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  return shot;
}

}  // namespace zentab::fakes

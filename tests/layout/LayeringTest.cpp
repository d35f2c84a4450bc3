// Guards the layers of the source tree: a folder never includes a header of
// a higher layer, and nothing below the screens sees Qt or a platform API.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace tavuno {
namespace {

namespace fs = std::filesystem;

const fs::path sourceDir = TAVUNO_SOURCE_DIR;

// What a layer may include with <>.
enum class Headers {
  portable,  // the standard library and the core's four libraries
  noQt,      // also the system's and the audio server's APIs
  any,
};

struct Layer {
  const char* folder;  // the longest matching folder names a file's layer
  int rank;            // a file may include its own rank and below
  Headers headers;
};

// Top to bottom. Subsystems of one row may use each other; the platform
// folders implement ports and may use everything below the service.
// clang-format off
constexpr Layer layers[] = {
    {"app", 90, Headers::any},
    {"ui", 80, Headers::any},
    {"control", 75, Headers::portable},
    {"ui/model", 70, Headers::portable},
    {"service", 60, Headers::portable},
    {"platform", 55, Headers::noQt},
    {"platform/qt", 55, Headers::any},
    {"platform/sim", 55, Headers::portable},
    {"platform/std", 55, Headers::noQt},
    {"engine", 50, Headers::portable},
    {"profiles", 50, Headers::portable},
    {"automations", 50, Headers::portable},
    {"system", 50, Headers::portable},
    {"engine/taps", 45, Headers::portable},
    {"engine/sessions", 40, Headers::portable},
    {"devices", 30, Headers::portable},
    {"hal", 20, Headers::portable},
    {"engine/rt", 10, Headers::portable},
    {"base", 10, Headers::portable},
};
// clang-format on

const Layer* layerOf(const std::string& path) {
  const Layer* best = nullptr;
  std::size_t bestLength = 0;
  for (const auto& layer : layers) {
    std::string folder = std::string(layer.folder) + "/";
    if (path.starts_with(folder) && folder.size() > bestLength) {
      best = &layer;
      bestLength = folder.size();
    }
  }
  return best;
}

// Headers a portable file may include with <>: the standard library (no
// folder in the name, compiler intrinsics included) and the four libraries
// the core is allowed.
bool allowedSystemHeader(Headers headers, const std::string& header) {
  if (headers == Headers::any) return true;
  if (header.starts_with("Q") || header.starts_with("qt")) return false;
  if (headers == Headers::noQt || header.find('/') == std::string::npos) return true;
  for (const char* allowed : {"nlohmann/", "uuid/", "date/", "unicode/"})
    if (header.starts_with(allowed)) return true;
  return false;
}

struct Violation {
  std::string file;
  std::string include;
  std::string why;
};

std::vector<Violation> violationsIn(const fs::path& root) {
  static const std::regex include(R"re(^\s*#\s*include\s*([<"])([^>"]+)[>"])re");
  std::vector<Violation> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const auto extension = entry.path().extension();
    if (extension != ".cpp" && extension != ".h" && extension != ".c") continue;
    const std::string file = entry.path().lexically_relative(root).generic_string();
    const Layer* own = layerOf(file);
    if (!own) continue;
    std::ifstream in(entry.path());
    std::string line;
    while (std::getline(in, line)) {
      std::smatch match;
      if (!std::regex_search(line, match, include)) continue;
      const std::string header = match[2].str();
      if (match[1].str() == "<") {
        if (!allowedSystemHeader(own->headers, header))
          found.push_back({file, header, "a header this layer may not see"});
        continue;
      }
      const Layer* target = layerOf(header);
      if (!target) continue;  // a header beside the file
      // The platforms sit below the service only for their own use of the
      // core: the core reaches any of them, the simulated one included, only
      // through its ports.
      const bool core = own->rank <= 60 && !std::string(own->folder).starts_with("platform");
      if (core && header.starts_with("platform/"))
        found.push_back({file, header, "the core includes a platform"});
      else if (target->rank > own->rank)
        found.push_back({file, header, std::string("includes the higher layer ") + target->folder});
      else if (target->headers > own->headers)
        found.push_back({file, header, std::string("sees what ") + target->folder + " may see"});
    }
  }
  return found;
}

TEST(Layering, NoFileIncludesAHigherLayerOrAPlatformApiBelowTheScreens) {
  for (const auto& v : violationsIn(sourceDir))
    ADD_FAILURE() << v.file << " includes " << v.include << ": " << v.why;
}

// The check itself: a tree with one fault of each kind is caught, and a
// tree that follows the rules passes.
TEST(Layering, TheCheckCatchesEachKindOfFault) {
  const fs::path root = fs::temp_directory_path() / ("tavuno-layers-" + std::to_string(getpid()));
  fs::remove_all(root);
  auto write = [&](const std::string& file, const std::string& text) {
    fs::create_directories((root / file).parent_path());
    std::ofstream(root / file) << text;
  };
  write("base/ok.h", "#include <vector>\n#include <nlohmann/json.hpp>\n");
  write("devices/ok.cpp", "#include \"hal/HalTypes.h\"\n#include \"base/ok.h\"\n");
  write("platform/linux/ok.cpp", "#include <pulse/pulseaudio.h>\n#include \"engine/X.h\"\n");
  write("ui/views/ok.cpp", "#include <QWidget>\n#include \"service/AudioService.h\"\n");
  write("hal/up.h", "#include \"devices/AudioDevice.h\"\n");
  write("ui/model/qt.h", "#include <QString>\n");
  write("service/platform.cpp", "#include \"platform/linux/LinuxHal.h\"\n");
  write("service/sim.cpp", "#include \"platform/sim/SimHal.h\"\n");
  write("engine/sessions/pulse.cpp", "#include <pulse/context.h>\n");
  write("platform/linux/qt.cpp", "#include <QtDBus/QDBusConnection>\n");
  write("platform/std/fs.cpp", "#include <sys/stat.h>\n#include \"platform/sim/SimHal.h\"\n");
  write("platform/sim/qt.cpp", "#include \"platform/qt/QtMainQueue.h\"\n");
  const auto found = violationsIn(root);
  fs::remove_all(root);
  std::vector<std::string> files;
  for (const auto& v : found)
    files.push_back(v.file);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files,
            (std::vector<std::string>{"engine/sessions/pulse.cpp", "hal/up.h",
                                      "platform/linux/qt.cpp", "platform/sim/qt.cpp",
                                      "service/platform.cpp", "service/sim.cpp", "ui/model/qt.h"}));
}

}  // namespace
}  // namespace tavuno

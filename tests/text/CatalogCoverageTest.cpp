#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "base/text/PoCatalog.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;

const fs::path sourceDir = TAVUNO_SOURCE_DIR;

// Unescapes a C++ string literal body (the escapes the code uses).
std::string unescape(const std::string& body) {
  std::string out;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\\' && i + 1 < body.size()) {
      char c = body[++i];
      out.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c);
    } else {
      out.push_back(body[i]);
    }
  }
  return out;
}

// Every text the program shows: the literal first argument of tr(), trf()
// and textKey() anywhere in the sources (tr() inside a QObject is
// QObject::tr, which reaches the same catalogue), and the text of Qt's
// translate("context", "text").
std::map<std::string, std::string> textsUsedInCode() {
  static const std::regex call(
      R"re(\b(?:(?:tr|trf|textKey)\(|translate\(\s*"[^"]*"\s*,)\s*"((?:[^"\\]|\\.)*)")re");
  std::map<std::string, std::string> found;  // text -> first file using it
  for (const char* folder : {"app", "base", "hal", "devices", "service", "engine", "profiles",
                             "automations", "system", "platform", "ui", "control"}) {
    if (!fs::exists(sourceDir / folder)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(sourceDir / folder)) {
      auto extension = entry.path().extension();
      if (extension != ".cpp" && extension != ".h") continue;
      std::ifstream in(entry.path());
      std::stringstream text;
      text << in.rdbuf();
      std::string content = text.str();
      for (std::sregex_iterator it(content.begin(), content.end(), call), end; it != end; ++it)
        found.emplace(unescape((*it)[1].str()), entry.path().lexically_relative(sourceDir));
    }
  }
  return found;
}

std::multiset<std::string> placeholders(const std::string& text) {
  static const std::regex conversion(R"(%(?:\d+\$)?(lld|d|@))");
  std::multiset<std::string> kinds;
  for (std::sregex_iterator it(text.begin(), text.end(), conversion), end; it != end; ++it)
    kinds.insert((*it)[1].str());
  return kinds;
}

TEST(Catalog, EveryTextInTheCodeHasAnEnglishEntry) {
  auto catalog = PoCatalog::load((sourceDir / "resources/lang/en.po").string());
  ASSERT_TRUE(catalog) << "resources/lang/en.po is missing or malformed";
  auto used = textsUsedInCode();
  for (const auto& [text, file] : used)
    EXPECT_TRUE(catalog->lookup(text)) << "no English for \"" << text << "\" (" << file << ")";
}

TEST(Catalog, TranslationsKeepTheirPlaceholders) {
  auto catalog = PoCatalog::load((sourceDir / "resources/lang/en.po").string());
  ASSERT_TRUE(catalog);
  for (const auto& [key, english] : catalog->entries())
    EXPECT_EQ(placeholders(key), placeholders(english)) << key << " -> " << english;
}

// Words that name another platform: macOS, a Mac, the menu bar, System
// Settings, the Command key.
bool namesAnotherPlatform(const std::string& text) {
  static const std::regex names(
      R"(macOS|\bMacs?\b|barra de menus|menu bar|Ajustes do Sistema|System Settings|⌘)");
  return std::regex_search(text, names);
}

// On Linux the Portuguese keys that name another platform are shown through
// pt.po, and nothing the program shows, in either language, names one.
TEST(Catalog, ShownTextsNameNoOtherPlatform) {
  auto portuguese = PoCatalog::load((sourceDir / "resources/lang/pt.po").string());
  auto english = PoCatalog::load((sourceDir / "resources/lang/en.po").string());
  ASSERT_TRUE(portuguese) << "resources/lang/pt.po is missing or malformed";
  ASSERT_TRUE(english);
  ASSERT_TRUE(namesAnotherPlatform("Your Mac. Your Sound.") &&
              namesAnotherPlatform("Com o Tavuno ativo, ⇧⌘M silencia") &&
              !namesAnotherPlatform("Machine") && !namesAnotherPlatform("Mixer"))
      << "the check itself";
  std::map<std::string, std::string> keys = textsUsedInCode();
  for (const auto& entry : english->entries())
    keys.emplace(entry.first, "resources/lang/en.po");
  for (const auto& [key, file] : keys) {
    const auto shownPt = portuguese->lookup(key);
    if (namesAnotherPlatform(key)) {
      EXPECT_TRUE(shownPt) << "no Linux wording in pt.po for \"" << key << "\" (" << file << ")";
    }
    EXPECT_FALSE(namesAnotherPlatform(shownPt.value_or(key))) << "pt: " << shownPt.value_or(key);
    EXPECT_FALSE(namesAnotherPlatform(english->lookup(key).value_or("")))
        << "en: " << *english->lookup(key);
  }
}

}  // namespace
}  // namespace tavuno

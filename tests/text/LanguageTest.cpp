#include <gtest/gtest.h>

#include "base/ports/DefaultsStore.h"
#include "base/text/PoCatalog.h"
#include "base/text/TavunoLanguage.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

struct ResolveRow {
  const char* proves;
  const char* preference;
  std::vector<std::string> preferred;
  const char* expected;
};

TEST(TavunoLanguage, Resolve) {
  const ResolveRow rows[] = {
      {"explicit pt", "pt", {"en-US"}, "pt"},
      {"explicit en", "en", {"pt-BR"}, "en"},
      {"system, Portuguese of Portugal with underscore", "system", {"pt_PT", "en"}, "pt"},
      {"system, bare pt", "system", {"PT"}, "pt"},
      {"system, only the first entry counts", "system", {"en-GB", "pt-BR"}, "en"},
      {"system, empty list", "system", {}, "en"},
      {"system, a language merely starting with pt", "system", {"ptx"}, "en"},
      {"unknown preference", "de", {"pt-BR"}, "en"},
      {"preference is case-sensitive", "PT", {"pt-BR"}, "en"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(TavunoLanguage::resolve(row.preference, row.preferred), row.expected) << row.proves;
}

TEST(TavunoLanguage, CurrentReadsThePreferenceAtEveryCall) {
  InMemoryDefaultsStore defaults;
  auto environment = std::make_shared<LanguageEnvironment>();
  environment->storedPreference = preferenceFrom(defaults);
  environment->preferredLanguages = [] { return std::vector<std::string>{"pt-BR"}; };
  environment->lookup = [](const std::string& code, std::string_view key) {
    return code == "en" && key == "Silenciar" ? std::optional<std::string>("Mute") : std::nullopt;
  };
  test::ScopedLanguage scoped(environment);

  EXPECT_EQ(TavunoLanguage::current(), "pt");  // absent = follow the system
  EXPECT_EQ(tr("Silenciar"), "Silenciar");
  defaults.set("languagePreference", std::string("en"));
  EXPECT_EQ(TavunoLanguage::current(), "en");
  EXPECT_EQ(tr("Silenciar"), "Mute");
  EXPECT_EQ(tr("Sem tradução"), "Sem tradução");
  defaults.set("languagePreference", true);  // wrong kind counts as absent
  EXPECT_EQ(TavunoLanguage::current(), "pt");
  defaults.set("languagePreference", std::string("fr"));
  EXPECT_EQ(TavunoLanguage::current(), "en");
}

TEST(TavunoLanguage, MissingTablesGiveTheKey) {
  auto environment = std::make_shared<LanguageEnvironment>();
  environment->storedPreference = [] { return std::optional<std::string>("en"); };
  environment->lookup = catalogDirectory("/nonexistent/folder");
  test::ScopedLanguage scoped(environment);
  EXPECT_EQ(tr("Perfil padrão"), "Perfil padrão");
  test::ScopedLanguage none(nullptr);
  EXPECT_EQ(tr("Perfil padrão"), "Perfil padrão");
  EXPECT_EQ(TavunoLanguage::current(), "en");
}

TEST(PoCatalog, ReadsEntriesEscapesAndContinuations) {
  auto catalog = PoCatalog::parse(R"(# comment
msgid ""
msgstr ""
"Content-Type: text/plain; charset=UTF-8\n"

msgid "Não foi possível alterar o silêncio (erro %d)."
msgstr "Could not change mute (error %d)."

msgid "Linha \"citada\"\n"
"continua"
msgstr "Quoted \"line\"\n"
"goes on"

#, fuzzy
msgid "Duvidoso"
msgstr "Doubtful"

msgid "Vazio"
msgstr ""

msgctxt "menu"
msgid "Arquivo"
msgstr "File"

msgid "Depois"
msgstr "After"
)");
  ASSERT_TRUE(catalog);
  EXPECT_EQ(catalog->lookup("Não foi possível alterar o silêncio (erro %d)."),
            "Could not change mute (error %d).");
  EXPECT_EQ(catalog->lookup("Linha \"citada\"\ncontinua"), "Quoted \"line\"\ngoes on");
  EXPECT_FALSE(catalog->lookup("Duvidoso"));
  EXPECT_FALSE(catalog->lookup("Vazio"));
  EXPECT_FALSE(catalog->lookup("Arquivo"));
  EXPECT_FALSE(catalog->lookup(""));
  EXPECT_EQ(catalog->lookup("Depois"), "After");
}

TEST(PoCatalog, RejectsMalformedText) {
  for (const char* bad :
       {"msgid \"open\nmsgstr \"x\"", "msgstr \"no id\"", "garbage line",
        "msgid \"a\" trailing\nmsgstr \"b\"", "msgid \"bad \\q escape\"\nmsgstr \"b\""})
    EXPECT_FALSE(PoCatalog::parse(bad)) << bad;
}

}  // namespace
}  // namespace tavuno

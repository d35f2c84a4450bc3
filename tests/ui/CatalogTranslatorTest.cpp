#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include "platform/qt/CatalogTranslator.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

// Both forms the screens use reach the catalogue: QCoreApplication's lookup
// and a QObject's unqualified tr(); a key the catalogue lacks stays the key.
TEST(CatalogTranslator, QtLookupsReachTheCatalogueInTheCurrentLanguage) {
  test::ScopedLanguage english(test::englishCatalog());
  CatalogTranslator translator;
  ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
  EXPECT_EQ(QCoreApplication::translate("Any", "Perfil padrão"), "Default profile");
  EXPECT_EQ(QObject::tr("Perfil padrão"), "Default profile");
  EXPECT_EQ(QObject::tr("Não existe no catálogo"), "Não existe no catálogo");
  QCoreApplication::removeTranslator(&translator);
}

}  // namespace
}  // namespace tavuno

#include <gtest/gtest.h>

#include "platform/sim/FakeLoginItem.h"
#include "support/SimPlatform.h"
#include "system/LoginItemController.h"

namespace tavuno {
namespace {

const char* const approvalKey = "Ative o Tavuno em Ajustes do Sistema > Geral > Itens de Início.";
const char* const notFoundKey =
    "O macOS ainda não identificou o item de início. Ative a opção para tentar registrá-lo.";

class LoginItemControllerTest : public ::testing::Test {
 protected:
  test::ScopedLanguage language{test::englishCatalog()};
  FakeLoginItem service;
};

TEST_F(LoginItemControllerTest, StatusDecidesTheSwitchAndItsUntranslatedMessage) {
  struct Row {
    const char* name;
    int status;
    bool enabled;
    const char* messageKey;  // nullptr: no message
  };
  const Row rows[] = {
      {"not registered", 0, false, nullptr},
      {"enabled", 1, true, nullptr},
      {"requires approval", 2, true, approvalKey},
      {"not found", 3, false, notFoundKey},
      {"a later value counts as not found", 7, false, notFoundKey},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    service.setStatus(static_cast<LoginItemStatus>(row.status));
    LoginItemController controller(service);
    EXPECT_EQ(controller.enabled(), row.enabled);
    EXPECT_EQ(controller.message(),
              row.messageKey ? std::optional<std::string>(row.messageKey) : std::nullopt);
    if (row.messageKey) {
      EXPECT_EQ(controller.shownMessage(), tr(row.messageKey));
    }
  }
}

TEST_F(LoginItemControllerTest, ChangesShowTheStatusReadAfterwardsAndAnyRefusal) {
  LoginItemController controller(service);
  service.statusAfterRegister = LoginItemStatus::requiresApproval;
  controller.setEnabled(true);
  EXPECT_TRUE(controller.enabled());
  EXPECT_EQ(controller.message(), approvalKey);

  service.unregisterFailure = SystemError{13, "permission denied"};
  controller.setEnabled(false);
  EXPECT_TRUE(controller.enabled()) << "still registered, as the service reports";
  EXPECT_EQ(controller.message(), "Could not change the start at login: permission denied");
  EXPECT_EQ(controller.shownMessage(), controller.message()) << "already translated";

  service.unregisterFailure.reset();
  controller.setEnabled(false);
  EXPECT_FALSE(controller.enabled());
  EXPECT_FALSE(controller.message());
}

}  // namespace
}  // namespace tavuno

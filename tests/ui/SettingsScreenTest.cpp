#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "platform/sim/FakeGlobalShortcut.h"
#include "platform/sim/FakeLoginItem.h"
#include "ui/AppFixture.h"
#include "ui/bridge/SettingsBridge.h"
#include "ui/views/MainWindow.h"
#include "ui/views/OnboardingView.h"
#include "ui/views/SettingsView.h"
#include "ui/views/Sidebar.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Switch.h"

namespace tavuno {
namespace {

class SettingsScreen : public test::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    app->window()->open();
    app->window()->selectSection(4);
    deliver();  // lays the section out
  }
  ui::SettingsView& settings() { return *app->window()->settings(); }
  FakeLoginItem& loginItem() { return *static_cast<FakeLoginItem*>(app->loginItemBackend()); }
  FakeGlobalShortcut& hotKeys() {
    return *static_cast<FakeGlobalShortcut*>(app->shortcutBackend());
  }
};

TEST_F(SettingsScreen, SwitchingTheLanguageRetranslatesTheOpenScreenWithQtsOwnTexts) {
  EXPECT_EQ(settings().startAtLogin()->text(), "Iniciar ao entrar na sessão");
  EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Undo"), "&Desfazer");
  emit settings().languagePicker()->activated(2);  // English
  deliver();
  EXPECT_EQ(app->window()->title()->text(), "Settings");
  EXPECT_EQ(app->window()->sidebar()->button(2)->accessibleName(), "Profiles");
  EXPECT_EQ(settings().startAtLogin()->text(), "Start at login");
  EXPECT_EQ(settings().shortcutCaption()->text(),
            "While Tavuno is focused, Ctrl+Shift+M mutes or unmutes the output.");
  EXPECT_EQ(settings().languagePicker()->currentText(), "English");
  EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Undo"), "&Undo") << "Qt's own texts too";
  EXPECT_EQ(app->settings().string("languagePreference"), "en");
}

TEST_F(SettingsScreen, SwitchesReachTheirControllersAndShowWhatTheyReport) {
  QTest::mouseClick(settings().automaticControl(), Qt::LeftButton);
  EXPECT_FALSE(service().state().controlPreferences.automatic);
  deliver();
  EXPECT_EQ(settings().automaticCaption()->text(), "Ative o controle de cada aplicativo no Mixer.");

  // Start at login: the switch shows the system's state, read again on show.
  loginItem().statusAfterRegister = LoginItemStatus::notFound;
  QTest::mouseClick(settings().startAtLogin(), Qt::LeftButton);
  EXPECT_EQ(loginItem().registerCalls, 1);
  EXPECT_FALSE(settings().startAtLogin()->isChecked());
  EXPECT_EQ(settings().loginMessage()->text(),
            "O sistema ainda não reconhece a entrada de início automático. Ative a opção para "
            "tentar criá-la.");
  loginItem().setStatus(LoginItemStatus::enabled);
  app->window()->selectSection(0);
  app->window()->selectSection(4);
  EXPECT_TRUE(settings().startAtLogin()->isChecked());
  EXPECT_TRUE(settings().loginMessage()->isHidden());

  // Notifications wait for the desktop's answer (the demo's says yes).
  QTest::mouseClick(settings().notifications(), Qt::LeftButton);
  ASSERT_TRUE(test::processEventsUntil([&] { return service().state().notificationsEnabled; }));
  deliver();
  EXPECT_TRUE(settings().notifications()->isChecked());

  // The shortcut, and a key another program holds.
  QTest::mouseClick(settings().shortcut(), Qt::LeftButton);
  EXPECT_EQ(hotKeys().registeredKey(), ShortcutKey::m);
  EXPECT_EQ(settings().shortcutKey()->currentText(), "Ctrl+Alt+Super+M");
  hotKeys().takeKey(ShortcutKey::v, 7);
  emit settings().shortcutKey()->activated(1);
  deliver();
  EXPECT_EQ(app->shortcut()->key(), ShortcutKey::m);
  EXPECT_EQ(settings().shortcutKey()->currentText(), "Ctrl+Alt+Super+M") << "the old key stays";
  EXPECT_FALSE(settings().shortcutMessage()->isHidden());
  emit settings().shortcutKey()->activated(2);
  deliver();
  EXPECT_EQ(hotKeys().registeredKey(), ShortcutKey::s);
  EXPECT_TRUE(settings().shortcutMessage()->isHidden());
}

class Onboarding : public test::AppFixture {
 protected:
  Onboarding() { onboardingDone = false; }
};

TEST_F(Onboarding, SixStepsWithTheKeyboardInsideAndBeginStoresItsDone) {
  app->window()->open();
  QApplication::setActiveWindow(app->window());
  auto* guide = app->window()->onboarding();
  ASSERT_TRUE(guide->isVisible()) << "first start";
  EXPECT_TRUE(guide->backButton()->isHidden()) << "no way back from the first step";
  EXPECT_EQ(guide->counter()->text(), "TAVUNO  /  1 DE 6");
  EXPECT_EQ(guide->forwardButton()->text(), "Continuar");

  // Tab never leaves the guide.
  for (int i = 0; i < 12; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(guide->isAncestorOf(QApplication::focusWidget()))
        << "focus went to " << QApplication::focusWidget()->metaObject()->className();
  }

  for (int step = 1; step < 6; ++step) {
    QTest::mouseClick(guide->forwardButton(), Qt::LeftButton);
    EXPECT_FALSE(guide->backButton()->isHidden());
    EXPECT_EQ(guide->forwardButton()->text(), step == 5 ? "Começar" : "Continuar") << step;
  }
  EXPECT_EQ(guide->title()->text(), "Tudo pronto");
  QTest::mouseClick(guide->backButton(), Qt::LeftButton);
  EXPECT_EQ(guide->step(), 4);
  QTest::mouseClick(guide->automatic(), Qt::LeftButton);
  EXPECT_TRUE(service().state().automatic) << "the guide's controls act at once";
  QTest::mouseClick(guide->forwardButton(), Qt::LeftButton);
  EXPECT_FALSE(app->settings().boolean("onboardingDone").value_or(false));
  QTest::mouseClick(guide->forwardButton(), Qt::LeftButton);
  EXPECT_TRUE(app->settings().boolean("onboardingDone").value_or(false));
  EXPECT_FALSE(guide->isVisible());
  EXPECT_TRUE(app->window()->sidebar()->isEnabled());

  app->settingsBridge()->setLanguagePreference("en");
  deliver();
  EXPECT_FALSE(guide->isVisible()) << "never again, whatever the language";
}

}  // namespace
}  // namespace tavuno

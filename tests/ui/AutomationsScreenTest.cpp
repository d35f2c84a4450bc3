#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>

#include "ui/AppFixture.h"
#include "ui/views/AutomationsView.h"
#include "ui/views/HistoryList.h"
#include "ui/views/MainWindow.h"
#include "ui/views/RuleList.h"
#include "ui/widgets/ConfirmDeleteButton.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Switch.h"
#include "ui/widgets/TimeField.h"

namespace tavuno {
namespace {

class AutomationsScreen : public test::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    app->window()->open();
    app->window()->selectSection(3);
    deliver();  // lays the section out
  }
  ui::AutomationsView& automations() { return *app->window()->automations(); }
  // Chooses the entry standing for `value` as the user would.
  static void choose(ui::PickerBox* box, const std::string& value) {
    const auto& entries = box->picker().entries;
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i].uid == value) {
        emit box->activated(static_cast<int>(i));
        return;
      }
    FAIL() << "no entry " << value;
  }
  std::string profileID(const std::string& name) {
    for (const auto& profile : service().state().profiles)
      if (profile.name == name) return profile.id.text();
    return {};
  }
};

TEST_F(AutomationsScreen, MovingARuleReordersItInPlace) {
  auto* list = automations().connectionRules();
  ASSERT_EQ(list->rowCount(), 3u);
  auto* first = list->rowAt(0);
  const Uuid id = first->rule().id;
  EXPECT_FALSE(first->upButton()->isEnabled()) << "the first rule cannot go up";
  EXPECT_FALSE(list->rowAt(2)->downButton()->isEnabled()) << "the last cannot go down";

  QTest::mouseClick(first->downButton(), Qt::LeftButton);
  EXPECT_EQ(service().state().rules[1].id, id);
  deliver();
  EXPECT_EQ(list->rowAt(1), first) << "the same row, moved";
  EXPECT_TRUE(first->upButton()->isEnabled());
  EXPECT_EQ(list->rowCount(), 3u);

  QTest::mouseClick(first->enabledSwitch(), Qt::LeftButton);
  EXPECT_FALSE(service().state().rules[1].enabled);
  deliver();
  EXPECT_FALSE(first->enabledSwitch()->isChecked());

  QTest::mouseClick(first->deleteButton(), Qt::LeftButton);
  first->deleteButton()->answer(false);
  EXPECT_EQ(service().state().rules.size(), 3u);
  QTest::mouseClick(first->deleteButton(), Qt::LeftButton);
  first->deleteButton()->answer(true);
  deliver();
  EXPECT_EQ(service().state().rules.size(), 2u);
  EXPECT_EQ(list->rowCount(), 2u);
}

TEST_F(AutomationsScreen, ThePanelsCreateRulesFromTheirPickers) {
  auto& view = automations();
  EXPECT_FALSE(view.createButton(0)->isEnabled()) << "nothing chosen yet";
  choose(view.devicePicker(), "demo.usbmic");
  choose(view.profilePicker(0), profileID("Reuniões"));
  ASSERT_TRUE(view.createButton(0)->isEnabled());
  QTest::mouseClick(view.createButton(0), Qt::LeftButton);
  ASSERT_EQ(service().state().rules.size(), 4u);
  EXPECT_EQ(service().state().rules.back().deviceUID, "demo.usbmic");

  // The running applications, each with its icon.
  const auto& apps = view.appPicker()->picker().entries;
  ASSERT_GE(apps.size(), 4u);
  EXPECT_EQ(apps[0].label, "Selecione");
  EXPECT_FALSE(view.appPicker()->itemIcon(1).isNull());
  choose(view.appPicker(), "org.tavuno.demo.Editor");
  choose(view.profilePicker(1), profileID("Estúdio"));
  QTest::mouseClick(view.createButton(1), Qt::LeftButton);
  EXPECT_EQ(service().state().launchRules.back().bundleID, "org.tavuno.demo.Editor");

  view.timeField()->setTime(QTime(6, 45));
  choose(view.profilePicker(2), profileID("Perfil padrão"));
  QTest::mouseClick(view.createButton(2), Qt::LeftButton);
  const auto& scheduled = service().state().scheduledRules.back();
  EXPECT_EQ(scheduled.hour, 6);
  EXPECT_EQ(scheduled.minute, 45);
  deliver();
  EXPECT_EQ(view.scheduledRules()->rowAt(2)->subject()->text(), "06:45");
}

TEST_F(AutomationsScreen, RecentActivityReadsHowLongAgoAndTicksOnlyWhileShown) {
  auto* history = automations().history();
  const auto& records = service().state().automationHistory;
  ASSERT_EQ(history->rowCount(), records.size());
  auto* newest = history->row(records[0].id);
  EXPECT_EQ(newest->time()->text(), "há 12 minutos");
  EXPECT_EQ(newest->status()->text(), "Dispositivo · Aplicado");
  auto* failed = history->row(records[2].id);
  EXPECT_EQ(failed->status()->text(), "Horário · Não aplicado por completo");
  EXPECT_FALSE(failed->detail()->isHidden());

  EXPECT_TRUE(history->ticking());
  history->setClock([&] { return records[0].date + std::chrono::hours(3); });
  history->renderTimes();
  EXPECT_EQ(newest->time()->text(), "há 3 horas");
  app->window()->selectSection(0);
  EXPECT_FALSE(history->ticking()) << "hidden: no timer";
}

}  // namespace
}  // namespace tavuno

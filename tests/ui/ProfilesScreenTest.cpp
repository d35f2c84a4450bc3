#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ui/AppFixture.h"
#include "ui/views/ErrorLine.h"
#include "ui/views/MainWindow.h"
#include "ui/views/MixerView.h"
#include "ui/views/ProfileRow.h"
#include "ui/views/ProfileSelector.h"
#include "ui/views/ProfilesView.h"
#include "ui/widgets/ConfirmDeleteButton.h"
#include "ui/widgets/ConfirmDialog.h"
#include "ui/widgets/PickerBox.h"

namespace tavuno {
namespace {

class ProfilesScreen : public test::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    app->window()->open();
    app->window()->selectSection(2);
    deliver();  // lays the section out
  }
  ui::ProfilesView& profiles() { return *app->window()->profiles(); }
  const AudioProfile& named(const std::string& name) {
    for (const auto& profile : service().state().profiles)
      if (profile.name == name) return profile;
    throw std::runtime_error("no profile " + name);
  }
  ui::ProfileRow& rowOf(const std::string& name) { return *profiles().row(named(name).id.text()); }
};

TEST_F(ProfilesScreen, SavingWithABlankNameKeepsTheFieldAndShowsTheServicesMessage) {
  const auto before = service().state().profiles.size();
  QTest::keyClicks(profiles().nameField(), "   ");
  QTest::mouseClick(profiles().saveButton(), Qt::LeftButton);
  deliver();
  EXPECT_EQ(profiles().nameField()->text(), "   ");
  EXPECT_EQ(service().state().profiles.size(), before);
  EXPECT_EQ(app->window()->errorLine()->message()->text(), "Informe um nome para o perfil.");

  profiles().nameField()->setText("  Noite ");
  QTest::keyClick(profiles().nameField(), Qt::Key_Return);
  deliver();
  EXPECT_TRUE(profiles().nameField()->text().isEmpty());
  auto& row = rowOf("Noite");
  EXPECT_FALSE(row.badge()->isHidden()) << "a new profile becomes the active one";
  EXPECT_EQ(profiles().rowCount(), before + 1);
}

TEST_F(ProfilesScreen, DeletingAsksFirstAndCancelDeletesNothing) {
  const Uuid studio = named("Estúdio").id;
  auto* remove = rowOf("Estúdio").deleteButton();
  QTest::mouseClick(remove, Qt::LeftButton);
  ASSERT_TRUE(remove->confirmation());
  EXPECT_EQ(remove->confirmation()->title()->text(), "Confirmar exclusão?");
  // The question and the button name the profile they delete.
  EXPECT_EQ(remove->confirmation()->detail()->text(),
            "“Estúdio”\nAs automações associadas também serão excluídas.");
  EXPECT_EQ(remove->accessibleName(), "Excluir perfil Estúdio");
  remove->answer(false);
  deliver();
  EXPECT_EQ(named("Estúdio").id, studio);
  auto usesStudio = [&] {
    int count = 0;
    for (const auto& rule : service().state().rules)
      count += rule.profileID == studio;
    for (const auto& rule : service().state().launchRules)
      count += rule.profileID == studio;
    return count;
  };
  EXPECT_EQ(usesStudio(), 2) << "its automations stay too";

  QTest::mouseClick(remove, Qt::LeftButton);
  remove->answer(true);
  deliver();
  EXPECT_FALSE(profiles().row(studio.text()));
  EXPECT_EQ(usesStudio(), 0);
}

TEST_F(ProfilesScreen, RenamingInPlaceAndApplyingMarksTheActiveProfileEverywhere) {
  auto& row = rowOf("Reuniões");
  QTest::mouseClick(row.renameButton(), Qt::LeftButton);
  ASSERT_TRUE(row.editing());
  EXPECT_EQ(row.nameField()->text(), "Reuniões");
  row.nameField()->setText(" ");
  QTest::mouseClick(row.saveButton(), Qt::LeftButton);
  EXPECT_TRUE(row.editing()) << "a blank name is not saved";
  row.nameField()->setText("Chamadas");
  QTest::keyClick(row.nameField(), Qt::Key_Return);
  deliver();
  EXPECT_FALSE(row.editing());
  EXPECT_EQ(row.name()->text(), "Chamadas");
  EXPECT_EQ(&rowOf("Chamadas"), &row) << "the row was kept";

  QTest::mouseClick(row.applyButton(), Qt::LeftButton);
  deliver();
  EXPECT_FALSE(row.badge()->isHidden());
  EXPECT_TRUE(rowOf("Perfil padrão").badge()->isHidden());
  EXPECT_EQ(app->window()->mixer()->profiles()->box()->currentText(), "Chamadas");
}

TEST_F(ProfilesScreen, AProfileOnAnUnpluggedDeviceSaysSo) {
  auto& row = rowOf("TV da sala");
  EXPECT_EQ(row.output()->text(), "Dispositivo indisponível");
  EXPECT_EQ(row.input()->text(), "Built-in Microphone");
}

}  // namespace
}  // namespace tavuno

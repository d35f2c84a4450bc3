#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ui/AppFixture.h"
#include "ui/views/DeviceList.h"
#include "ui/views/DevicePicker.h"
#include "ui/views/DevicesView.h"
#include "ui/views/MainWindow.h"
#include "ui/views/MixerView.h"
#include "ui/views/SettingsView.h"
#include "ui/views/Sidebar.h"
#include "ui/widgets/PickerBox.h"
#include "ui/widgets/Switch.h"

namespace tavuno {
namespace {

class DevicesScreen : public test::AppFixture {
 protected:
  ui::DevicesView& devices() { return *app->window()->devices(); }
};

TEST_F(DevicesScreen, RowsAndControlsReachTheService) {
  app->window()->open();
  app->window()->selectSection(1);
  auto* headset = devices().outputs()->row("demo.headset");
  ASSERT_TRUE(headset);
  EXPECT_EQ(headset->caption(), "Disponível");
  EXPECT_EQ(headset->accessibleName(), "Studio Headset Saída, selecionar como padrão");
  QTest::mouseClick(headset, Qt::LeftButton);
  deliver();
  EXPECT_EQ(service().state().defaultOutput, headset->device().id);
  EXPECT_TRUE(headset->isDefault());
  EXPECT_EQ(devices().outputs()->row("demo.headset"), headset) << "the row was reused";

  // Keyboard: Enter on a focused input row.
  auto* usbMic = devices().inputs()->row("demo.usbmic");
  usbMic->setFocus();
  QTest::keyClick(usbMic, Qt::Key_Return);
  EXPECT_EQ(service().state().defaultInput, usbMic->device().id);

  QTest::mouseClick(devices().automatic(), Qt::LeftButton);
  EXPECT_TRUE(service().state().automatic);

  // "Nenhum" clears the preferred output, and with it the "use both" button.
  EXPECT_FALSE(devices().useBothButton()->isHidden()) << "the demo prefers the headset";
  emit devices().preferredOutput()->box()->activated(0);
  deliver();
  EXPECT_EQ(service().state().preferredUID, "");
  EXPECT_TRUE(devices().useBothButton()->isHidden());
}

// The same picker chooses the default device on the mixer and the preferred one here: each
// shows, names and changes its own choice, and retitles itself in the other language.
TEST_F(DevicesScreen, ThePreferredPickersShowAndNameTheirOwnChoice) {
  app->window()->open();
  app->window()->selectSection(1);
  deliver();
  ui::DevicePicker* preferred[] = {devices().preferredOutput(), devices().preferredInput()};
  ui::DevicePicker* defaults[] = {app->window()->mixer()->output(),
                                  app->window()->mixer()->input()};
  EXPECT_EQ(preferred[0]->box()->accessibleName(), "Saída preferida");
  EXPECT_EQ(preferred[1]->box()->accessibleName(), "Entrada preferida");
  EXPECT_EQ(defaults[0]->box()->accessibleName(), "Saída");
  EXPECT_EQ(defaults[1]->box()->accessibleName(), "Entrada");
  EXPECT_EQ(preferred[0]->box()->itemText(0), "Nenhum");
  EXPECT_NE(defaults[0]->box()->itemText(0), "Nenhum") << "the default is always a device";

  // Choosing a preferred output by keyboard leaves the default output alone, and a new default
  // output moves the mixer's picker, not the preference.
  const auto defaultOutput = service().state().defaultOutput;
  auto* box = preferred[0]->box();
  box->setFocus(Qt::TabFocusReason);
  QTest::keyClick(box, Qt::Key_Home);
  deliver();
  EXPECT_EQ(service().state().preferredUID, "");
  EXPECT_EQ(service().state().defaultOutput, defaultOutput);
  const auto* headset = devices().outputs()->row("demo.headset");
  ASSERT_TRUE(headset);
  ASSERT_NE(headset->device().id, defaultOutput);
  service().setDefault(headset->device().id, false);
  deliver();
  EXPECT_EQ(defaults[0]->box()->currentText().toStdString(), headset->device().name);
  EXPECT_EQ(box->currentIndex(), 0) << "the default moved, the preference did not";
  EXPECT_EQ(service().state().preferredUID, "");

  emit app->window()->settings()->languagePicker()->activated(2);  // English
  deliver();
  EXPECT_EQ(preferred[0]->box()->accessibleName(), "Preferred output");
  EXPECT_EQ(preferred[1]->box()->accessibleName(), "Preferred input");
  EXPECT_EQ(defaults[0]->box()->accessibleName(), "Output");
  EXPECT_EQ(preferred[0]->box()->itemText(0), "None");
}

TEST_F(DevicesScreen, ArrowKeysMoveThroughTheSections) {
  app->window()->open();
  auto* sidebar = app->window()->sidebar();
  sidebar->button(0)->setFocus();
  QTest::keyClick(sidebar->button(0), Qt::Key_Down);
  EXPECT_EQ(app->window()->section(), 1);
  QTest::keyClick(sidebar->button(1), Qt::Key_Up);
  QTest::keyClick(sidebar->button(0), Qt::Key_Up);
  EXPECT_EQ(app->window()->section(), 4) << "wraps around";
  EXPECT_EQ(app->window()->title()->text(), "Configurações");
}

}  // namespace
}  // namespace tavuno

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ui/AppFixture.h"
#include "ui/views/DeviceList.h"
#include "ui/views/DevicesView.h"
#include "ui/views/MainWindow.h"
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

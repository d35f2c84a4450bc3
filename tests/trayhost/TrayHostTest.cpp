// The tray icon under a real tray host: a virtual X server of its own,
// trayer holding the system tray, the app's icon embedded in it (XEmbed, as
// on a desktop without a StatusNotifierWatcher), and real pointer clicks
// made with XTEST on the icon's spot.
#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <QApplication>
#include <QMenu>
#include <QWindow>

#include "app/TavunoApp.h"
#include "base/ports/DefaultsStore.h"
#include "support/ChildProcess.h"
#include "support/Deadline.h"
#include "ui/AppFixture.h"
#include "ui/QtWait.h"
#include "ui/tray/DesktopTrayIcon.h"
#include "ui/tray/QtTrayIcon.h"
#include "ui/tray/TrayController.h"
#include "ui/views/TrayPanel.h"

namespace tavuno {
namespace {

std::string display;

// Another client of the X server: the user's hand on the pointer.
class Pointer {
 public:
  Pointer() : connection_(xcb_connect(display.c_str(), nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  }
  ~Pointer() { xcb_disconnect(connection_); }

  void moveTo(QPoint at) {
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_,
                        static_cast<int16_t>(at.x()), static_cast<int16_t>(at.y()), 0);
    sync();
  }
  void press(xcb_button_t button) {
    xcb_test_fake_input(connection_, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, root_, 0, 0, 0);
    xcb_test_fake_input(connection_, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, root_, 0, 0, 0);
    sync();
  }

  // Whether the server has the pointer inside `window` now.
  bool pointerIn(xcb_window_t window) {
    auto* where =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, window), nullptr);
    auto* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    const bool inside = where && geometry && where->same_screen && where->win_x >= 0 &&
                        where->win_y >= 0 && where->win_x < geometry->width &&
                        where->win_y < geometry->height;
    free(where);
    free(geometry);
    return inside;
  }

  // A round trip: everything sent before has reached the server.
  void sync() {
    free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  // The middle of `window` on the screen once it sits, viewable, inside a
  // window other than the root (a tray host took it in); else nothing.
  std::optional<QPoint> embeddedCenter(xcb_window_t window) {
    auto* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr);
    const bool embedded = tree && tree->parent != root_ && tree->parent != XCB_NONE;
    free(tree);
    if (!embedded) return std::nullopt;
    auto* attributes = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    free(attributes);
    auto* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    if (!viewable || !geometry) {
      free(geometry);
      return std::nullopt;
    }
    auto* at = xcb_translate_coordinates_reply(
        connection_,
        xcb_translate_coordinates(connection_, window, root_,
                                  static_cast<int16_t>(geometry->width / 2),
                                  static_cast<int16_t>(geometry->height / 2)),
        nullptr);
    free(geometry);
    if (!at) return std::nullopt;
    const QPoint center(at->dst_x, at->dst_y);
    free(at);
    return center;
  }

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
};

class TrayHost : public testing::Test {
 protected:
  void SetUp() override {
    AppOptions options = test::demoOptions();
    options.background = true;
    // No tray port given: the one a desktop gets.
    app = std::make_unique<TavunoApp>(std::move(options));
    auto* desktop = dynamic_cast<ui::DesktopTrayIcon*>(app->trayPort());
    ASSERT_NE(desktop, nullptr);
    ASSERT_NE(desktop->embedded(), nullptr) << "no watcher on the bus: the embedded icon";
    // The icon's own window, once trayer has taken it in and shows it.
    ASSERT_TRUE(test::processEventsUntil(
        [&] {
          for (QWindow* window : QGuiApplication::allWindows())
            if (window->objectName() == QLatin1String("QSystemTrayIconSysWindow") &&
                pointer.embeddedCenter(static_cast<xcb_window_t>(window->winId())))
              iconWindow = window;
          return iconWindow != nullptr;
        },
        10.0))
        << "trayer never showed the icon";
  }
  void TearDown() override { app.reset(); }

  ui::TrayPanel& panel() { return *app->panel(); }

  // A click on the icon as a hand makes it: the pointer goes to where the
  // icon is now (trayer may still be placing it) until the server has it
  // inside the icon's window and the icon has seen it come in, then the
  // button goes down and up.
  void click(xcb_button_t button) {
    const auto window = static_cast<xcb_window_t>(iconWindow->winId());
    ASSERT_TRUE(test::processEventsUntil([&] {
      if (const auto at = pointer.embeddedCenter(window)) pointer.moveTo(clickedAt = *at);
      QCoreApplication::processEvents();
      const QWidget* icon = QWidget::find(iconWindow->winId());
      return icon && icon->underMouse() && pointer.pointerIn(window);
    })) << "the pointer never reached the icon";
    pointer.press(button);
  }

  // What a failed click left: whether it built the panel (the click reached
  // Tavuno), and where the icon and the pointer are.
  std::string report() {
    std::string text;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->inherits("tavuno::ui::TrayPanel"))
        text += std::string("panel built, visible ") + (w->isVisible() ? "yes" : "no") + "; ";
    const auto at = pointer.embeddedCenter(static_cast<xcb_window_t>(iconWindow->winId()));
    if (at) text += "icon at " + std::to_string(at->x()) + "," + std::to_string(at->y()) + "; ";
    text += "clicked at " + std::to_string(clickedAt.x()) + "," + std::to_string(clickedAt.y());
    return text;
  }

  std::unique_ptr<TavunoApp> app;
  QPoint clickedAt;
  Pointer pointer;
  QWindow* iconWindow = nullptr;
};

TEST_F(TrayHost, ClicksOnTheIconOpenAndCloseThePanelAndTheOtherButtonsDoTheirs) {
  click(1);
  ASSERT_TRUE(test::processEventsUntil([&] { return panel().isVisible(); }))
      << "a click opens the panel " << report();
  click(1);
  ASSERT_TRUE(test::processEventsUntil([&] { return !panel().isVisible(); }))
      << "a click on the icon closes the open panel, even one Qt calls a double click";
  EXPECT_FALSE(test::processEventsUntil([&] { return panel().isVisible(); }, 1.0))
      << "and the same click does not open it again";
  click(1);
  EXPECT_TRUE(test::processEventsUntil([&] { return panel().isVisible(); }))
      << "the next click opens it";
  click(1);
  ASSERT_TRUE(test::processEventsUntil([&] { return !panel().isVisible(); }));

  const bool muted = app->service()->state().muted;
  click(2);
  EXPECT_TRUE(test::processEventsUntil([&] { return app->service()->state().muted != muted; }))
      << "the middle button mutes";
  click(2);
  EXPECT_TRUE(test::processEventsUntil([&] { return app->service()->state().muted == muted; }));

  click(3);
  EXPECT_TRUE(test::processEventsUntil([&] { return app->tray()->menu()->isVisible(); }))
      << "the right button shows the menu";
  app->tray()->menu()->hide();
}

// Waits, under a deadline, for the tray host to hold the system tray.
bool trayHeld(double seconds) {
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  if (xcb_connection_has_error(connection)) return false;
  constexpr const char* name = "_NET_SYSTEM_TRAY_S0";
  auto* atom = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
  const bool held =
      atom && test::waitUntil(
                  [&] {
                    auto* owner = xcb_get_selection_owner_reply(
                        connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
                    const bool owned = owner && owner->owner != XCB_NONE;
                    free(owner);
                    return owned;
                  },
                  seconds, std::chrono::milliseconds(20));
  free(atom);
  xcb_disconnect(connection);
  return held;
}

}  // namespace
}  // namespace tavuno

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  using tavuno::test::ChildProcess;
  const auto xvfb = ChildProcess::find("Xvfb");
  const auto trayer = ChildProcess::find("trayer");
  if (!xvfb || !trayer) {
    std::fprintf(stderr, "Xvfb and trayer are needed (scripts/bootstrap installs them)\n");
    return 1;
  }
  ChildProcess server(
      {*xvfb, "-displayfd", "{fd}", "-nolisten", "tcp", "-noreset", "-screen", "0", "1024x600x24"},
      {.deathSignal = SIGTERM});
  const auto number = server.readLine(15.0);
  if (!number) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  tavuno::display = ":" + *number;
  setenv("DISPLAY", tavuno::display.c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
  // A session bus that is not there: no StatusNotifierWatcher, and nothing
  // started on demand.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tavuno-tray-host-bus", 1);
  // A row of a fixed width, so it does not grow (and move the icon) as the
  // icon comes in.
  ChildProcess host({*trayer, "--edge", "top", "--align", "right", "--widthtype", "pixel",
                     "--width", "96", "--height", "32", "--SetDockType", "true"},
                    {.deathSignal = SIGTERM});
  if (!tavuno::trayHeld(15.0)) {
    std::fprintf(stderr, "trayer did not take the system tray\n");
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  return RUN_ALL_TESTS();
}

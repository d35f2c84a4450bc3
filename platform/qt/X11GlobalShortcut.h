#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include "base/ports/MainQueue.h"
#include "system/GlobalShortcutRegistering.h"
#include "system/HotKeyDispatch.h"

class QSocketNotifier;

namespace tavuno {

// The global shortcuts on an X11 display: Control+Alt+Super and each
// shortcut's letter, grabbed on the root window over Tavuno's own X
// connection.
//
// The letter is found by its keysym in the server's keyboard map (so it is
// the M of whatever layout is active), and grabbed four times: also with
// Caps Lock and with Num Lock on, which would otherwise keep it from
// matching. A grab another client holds is refused by the server; the
// registration waits for the server's answer (a round trip), releases what it
// did take and fails with the X error code. Presses arrive on the
// connection's socket, watched by the Qt event loop, and go through
// HotKeyDispatch; a held key counts once (the server is asked to report
// auto-repeat without releases). When the keyboard map changes the letter is
// grabbed again; if that is refused, or the X server goes away, the
// combination is lost and the revoked handler is told. A letter another of
// Tavuno's shortcuts holds is refused as BadAccess.
//
// Main thread only; `main` must outlive it.
class X11GlobalShortcut final : public GlobalShortcutRegistering {
 public:
  // Control (Control), Alt (Mod1), Super (Mod4); Lock and Mod2 (Num Lock)
  // are the extra states also grabbed.
  static constexpr std::uint16_t modifiers = (1 << 2) | (1 << 3) | (1 << 6);

  // Connects to `display` (empty: $DISPLAY); nothing when no X server
  // accepts the connection.
  static std::unique_ptr<X11GlobalShortcut> connect(MainQueue& main, const std::string& display);
  ~X11GlobalShortcut() override;

  X11GlobalShortcut(const X11GlobalShortcut&) = delete;
  X11GlobalShortcut& operator=(const X11GlobalShortcut&) = delete;

  SystemResult registerKey(ShortcutId shortcut, ShortcutKey key,
                           std::function<void()> action) override;
  void unregister(ShortcutId shortcut) override;
  void setRevokedHandler(std::function<void(ShortcutId, SystemError)> handler) override {
    revoked_ = std::move(handler);
  }

  // The keysym grabbed for `key`: the lower-case Latin letter.
  static xcb_keysym_t keysym(ShortcutKey key);

 private:
  // One registered shortcut's grabs.
  struct Grab {
    ShortcutKey key;
    std::vector<xcb_keycode_t> keycodes;  // grabbed for key
    bool keyDown = false;                 // a press seen and its release not yet
  };

  X11GlobalShortcut(MainQueue& main, xcb_connection_t* connection, xcb_window_t root);

  // Grabs every keycode of the grab's key with the four modifier states; on
  // a refusal releases them all again.
  SystemResult grab(Grab& grab);
  void ungrab(Grab& grab);
  // Handles every press the server sent so far, with the grabs as they are.
  void settle();
  // Returns once the server has handled every request sent before.
  void roundTrip();
  // Handles the events xcb already read (and, from the socket, those waiting
  // there), then notices a lost connection.
  void readEvents(bool fromSocket);
  void handle(const xcb_generic_event_t& event);
  void lose(ShortcutId shortcut, const SystemError& error);

  HotKeyDispatch dispatch_;
  xcb_connection_t* connection_;
  xcb_window_t root_;
  xcb_key_symbols_t* symbols_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void(ShortcutId, SystemError)> revoked_;
  std::map<ShortcutId, Grab> grabs_;  // of the registered shortcuts
};

}  // namespace tavuno

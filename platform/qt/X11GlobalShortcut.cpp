#include "platform/qt/X11GlobalShortcut.h"

// xkb.h names a field `explicit`, a C++ keyword.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include <QObject>
#include <QSocketNotifier>

namespace tavuno {

namespace {

// The combination alone, with Caps Lock, with Num Lock, and with both: a
// passive grab matches its modifier state exactly.
constexpr std::array<std::uint16_t, 4> grabbedStates{
    X11GlobalShortcut::modifiers,
    X11GlobalShortcut::modifiers | XCB_MOD_MASK_LOCK,
    X11GlobalShortcut::modifiers | XCB_MOD_MASK_2,
    X11GlobalShortcut::modifiers | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2,
};

// Frees what xcb hands over with malloc.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

// Asks the server to send a held key's repeats as presses only, so a held
// shortcut is one press. Older servers without XKB keep the release/press
// pairs; the shortcut then repeats while held.
void askForDetectableAutoRepeat(xcb_connection_t* connection) {
  const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
  if (!xkb || !xkb->present) return;
  XcbPtr<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
      connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
      nullptr));
  if (!use || !use->supported) return;
  XcbPtr<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
      connection,
      xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD,
                               XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                               XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
      nullptr));
}

}  // namespace

std::unique_ptr<X11GlobalShortcut> X11GlobalShortcut::connect(MainQueue& main,
                                                              const std::string& display) {
  int screenNumber = 0;
  xcb_connection_t* connection =
      xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return nullptr;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
    xcb_screen_next(&screens);
  if (screens.rem == 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  askForDetectableAutoRepeat(connection);
  return std::unique_ptr<X11GlobalShortcut>(
      new X11GlobalShortcut(main, connection, screens.data->root));
}

X11GlobalShortcut::X11GlobalShortcut(MainQueue& main, xcb_connection_t* connection,
                                     xcb_window_t root)
    : dispatch_(main),
      connection_(connection),
      root_(root),
      symbols_(xcb_key_symbols_alloc(connection)),
      notifier_(std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection),
                                                  QSocketNotifier::Read)) {
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { readEvents(true); });
}

X11GlobalShortcut::~X11GlobalShortcut() {
  notifier_.reset();
  for (auto& [shortcut, held] : grabs_)
    ungrab(held);
  if (symbols_) xcb_key_symbols_free(symbols_);
  xcb_disconnect(connection_);  // the server drops whatever grab is left
}

xcb_keysym_t X11GlobalShortcut::keysym(ShortcutKey key) {
  // The keysyms of the Latin letters a-z are their ASCII codes.
  return static_cast<xcb_keysym_t>(rawValue(key)[0]);
}

SystemResult X11GlobalShortcut::registerKey(ShortcutId shortcut, ShortcutKey key,
                                            std::function<void()> action) {
  unregister(shortcut);
  // A second grab of the same keys would replace, and its release end, the
  // other shortcut's.
  const bool held = std::any_of(grabs_.begin(), grabs_.end(),
                                [&](const auto& entry) { return entry.second.key == key; });
  Grab wanted{.key = key};
  SystemResult result = held ? shortcutRegistrationError(XCB_ACCESS) : grab(wanted);
  if (result) {
    grabs_[shortcut] = std::move(wanted);
    dispatch_.arm(shortcut, std::move(action));
  }
  // The round trips may have read events the socket will not announce again.
  readEvents(false);
  return result;
}

void X11GlobalShortcut::unregister(ShortcutId shortcut) {
  if (grabs_.count(shortcut)) settle();
  dispatch_.disarm(shortcut);
  // Looked up again: settling may have lost it.
  if (auto found = grabs_.find(shortcut); found != grabs_.end()) {
    ungrab(found->second);
    grabs_.erase(found);
  }
}

void X11GlobalShortcut::settle() {
  // After the round trip every event the server sent before has been read,
  // so presses made before a change count for the combination they pressed.
  roundTrip();
  readEvents(false);
}

void X11GlobalShortcut::roundTrip() {
  if (!xcb_connection_has_error(connection_))
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

SystemResult X11GlobalShortcut::grab(Grab& grab) {
  if (xcb_connection_has_error(connection_) || !symbols_)
    return shortcutRegistrationError(xcb_connection_has_error(connection_));
  XcbPtr<xcb_keycode_t> found(xcb_key_symbols_get_keycode(symbols_, keysym(grab.key)));
  std::vector<xcb_keycode_t> keycodes;
  for (const xcb_keycode_t* code = found.get(); code && *code != XCB_NO_SYMBOL; ++code)
    if (std::find(keycodes.begin(), keycodes.end(), *code) == keycodes.end())
      keycodes.push_back(*code);
  // No key of this keyboard makes the letter: nothing can be grabbed.
  if (keycodes.empty()) return shortcutRegistrationError(XCB_VALUE);

  std::vector<xcb_void_cookie_t> requests;
  for (xcb_keycode_t code : keycodes)
    for (std::uint16_t state : grabbedStates)
      requests.push_back(xcb_grab_key_checked(connection_, 1, root_, state, code,
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
  // The first check waits for the server's answer to all of them.
  std::optional<std::int32_t> refused;
  for (xcb_void_cookie_t request : requests) {
    XcbPtr<xcb_generic_error_t> error(xcb_request_check(connection_, request));
    if (error && !refused) refused = error->error_code;
  }
  if (!refused && xcb_connection_has_error(connection_))
    refused = xcb_connection_has_error(connection_);
  grab.keycodes = std::move(keycodes);
  grab.keyDown = false;
  if (refused) {
    // Releases only our own grabs, never the other client's, and waits until
    // the server did: nothing is left registered once this returns.
    ungrab(grab);
    roundTrip();
    return shortcutRegistrationError(*refused);
  }
  return SystemResult::success();
}

void X11GlobalShortcut::ungrab(Grab& grab) {
  if (grab.keycodes.empty()) return;
  for (xcb_keycode_t code : grab.keycodes)
    for (std::uint16_t state : grabbedStates)
      xcb_ungrab_key(connection_, code, root_, state);
  xcb_flush(connection_);
  grab.keycodes.clear();
  grab.keyDown = false;
}

void X11GlobalShortcut::readEvents(bool fromSocket) {
  while (XcbPtr<xcb_generic_event_t> event{fromSocket ? xcb_poll_for_event(connection_)
                                                      : xcb_poll_for_queued_event(connection_)})
    handle(*event);
  if (const int error = xcb_connection_has_error(connection_)) {
    // The X server is gone: nothing arrives any more, and nothing is grabbed.
    notifier_->setEnabled(false);
    for (auto& [shortcut, held] : grabs_)
      held.keycodes.clear();
    while (!grabs_.empty())
      lose(grabs_.begin()->first, shortcutRegistrationError(error));
  }
}

void X11GlobalShortcut::handle(const xcb_generic_event_t& event) {
  const auto holding = [this](xcb_keycode_t code) {
    return std::find_if(grabs_.begin(), grabs_.end(), [code](const auto& entry) {
      const auto& codes = entry.second.keycodes;
      return std::find(codes.begin(), codes.end(), code) != codes.end();
    });
  };
  switch (event.response_type & 0x7F) {
    case XCB_KEY_PRESS: {
      const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
      auto held = holding(press.detail);
      if (held == grabs_.end()) return;
      if ((press.state & modifiers) != modifiers) return;
      if (held->second.keyDown) return;  // auto-repeat of a held key
      held->second.keyDown = true;
      dispatch_.handle(hotKeyIdentifier(held->first));
      return;
    }
    case XCB_KEY_RELEASE: {
      const auto& release = reinterpret_cast<const xcb_key_release_event_t&>(event);
      if (auto held = holding(release.detail); held != grabs_.end()) held->second.keyDown = false;
      return;
    }
    case XCB_MAPPING_NOTIFY: {
      xcb_mapping_notify_event_t mapping;
      std::memcpy(&mapping, &event, sizeof mapping);
      if (!xcb_refresh_keyboard_mapping(symbols_, &mapping) || grabs_.empty()) return;
      // The letters may sit on other keys now: take those instead. Every old
      // grab goes first, so one letter's new key may be another's old one.
      for (auto& [shortcut, held] : grabs_)
        ungrab(held);
      std::vector<std::pair<ShortcutId, SystemError>> lost;
      for (auto& [shortcut, held] : grabs_)
        if (SystemResult result = grab(held); !result) lost.emplace_back(shortcut, *result.error());
      for (const auto& [shortcut, error] : lost)
        lose(shortcut, error);
      return;
    }
    default:
      return;
  }
}

void X11GlobalShortcut::lose(ShortcutId shortcut, const SystemError& error) {
  dispatch_.disarm(shortcut);
  if (auto found = grabs_.find(shortcut); found != grabs_.end()) {
    ungrab(found->second);
    grabs_.erase(found);
  }
  if (revoked_) revoked_(shortcut, error);
}

}  // namespace tavuno

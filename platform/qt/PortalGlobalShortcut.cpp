#include "platform/qt/PortalGlobalShortcut.h"

#include <vector>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QList>
#include <QStringList>

#include "base/text/TavunoLanguage.h"

namespace tavuno::portal {

// One entry of the portal's a(sa{sv}) shortcut lists.
struct Shortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

}  // namespace tavuno::portal

Q_DECLARE_METATYPE(tavuno::portal::Shortcut)

namespace tavuno {

namespace {

constexpr const char* requestInterface = "org.freedesktop.portal.Request";
constexpr const char* sessionInterface = "org.freedesktop.portal.Session";

QString latin1(const char* text) {
  return QString::fromLatin1(text);
}

// The session handle of a CreateSession answer: documented as an object
// path, sent as a string by the portal.
QString sessionHandle(const QVariantMap& results) {
  const QVariant handle = results.value(QStringLiteral("session_handle"));
  if (handle.metaType() == QMetaType::fromType<QDBusObjectPath>())
    return handle.value<QDBusObjectPath>().path();
  return handle.toString();
}

QString nameOf(ShortcutId shortcut) {
  const std::string_view name = traitsOf(shortcut).name;
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// The names of the shortcuts a BindShortcuts answer says were bound.
QStringList boundNames(const QVariantMap& results) {
  const QVariant list = results.value(QStringLiteral("shortcuts"));
  if (!list.canConvert<QDBusArgument>()) return {};
  QList<portal::Shortcut> shortcuts;
  list.value<QDBusArgument>() >> shortcuts;
  QStringList names;
  for (const auto& shortcut : shortcuts)
    names.append(shortcut.id);
  return names;
}

}  // namespace

bool PortalGlobalShortcut::offered(QDBusConnection bus, int timeoutMs) {
  if (!bus.isConnected()) return false;
  QDBusMessage get = QDBusMessage::createMethodCall(
      latin1(service), latin1(path), QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  get << latin1(interfaceName) << QStringLiteral("version");
  return bus.call(get, QDBus::Block, timeoutMs).type() == QDBusMessage::ReplyMessage;
}

QString PortalGlobalShortcut::preferredTrigger(ShortcutKey key) {
  return QStringLiteral("CTRL+ALT+LOGO+") + QString::fromLatin1(rawValue(key).data(), 1);
}

PortalGlobalShortcut::PortalGlobalShortcut(MainQueue& main, QDBusConnection bus)
    : dispatch_(main), bus_(std::move(bus)) {
  qDBusRegisterMetaType<portal::Shortcut>();
  qDBusRegisterMetaType<QList<portal::Shortcut>>();
  bus_.connect(latin1(service), latin1(path), latin1(interfaceName), QStringLiteral("Activated"),
               this, SLOT(activated(QDBusMessage)));
}

PortalGlobalShortcut::~PortalGlobalShortcut() {
  shortcuts_.clear();
  renew();
  bus_.disconnect(latin1(service), latin1(path), latin1(interfaceName), QStringLiteral("Activated"),
                  this, SLOT(activated(QDBusMessage)));
  while (!requests_.empty())
    forgetRequest(requests_.begin()->first);
}

SystemResult PortalGlobalShortcut::registerKey(ShortcutId shortcut, ShortcutKey key,
                                               std::function<void()> action) {
  if (!bus_.isConnected()) {
    unregister(shortcut);
    return shortcutRegistrationError(otherError);
  }
  shortcuts_[shortcut] = key;
  dispatch_.arm(shortcut, std::move(action));
  renew();
  return SystemResult::success();
}

void PortalGlobalShortcut::unregister(ShortcutId shortcut) {
  dispatch_.disarm(shortcut);
  if (shortcuts_.erase(shortcut)) renew();
}

void PortalGlobalShortcut::renew() {
  ++generation_;
  if (!session_.isEmpty()) closeSession(session_);
  session_.clear();
  if (!shortcuts_.empty())
    request(Step::createSession, QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), nextToken()}});
}

QString PortalGlobalShortcut::nextToken() {
  return QStringLiteral("tavuno%1").arg(++tokens_);
}

void PortalGlobalShortcut::request(Step step, const QString& method, QList<QVariant> arguments,
                                   QVariantMap options) {
  // The request object is named after the caller and the token, so its
  // answer can be listened for before the call is made and never missed.
  const QString token = nextToken();
  options.insert(QStringLiteral("handle_token"), token);
  QString sender = bus_.baseService().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  const QString requestPath =
      QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
  requests_[requestPath] = Pending{generation_, step};
  bus_.connect(latin1(service), requestPath, latin1(requestInterface), QStringLiteral("Response"),
               this, SLOT(requestAnswered(QDBusMessage)));

  QDBusMessage call =
      QDBusMessage::createMethodCall(latin1(service), latin1(path), latin1(interfaceName), method);
  arguments.append(options);
  call.setArguments(arguments);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, requestPath](QDBusPendingCallWatcher* done) {
            done->deleteLater();
            if (!done->isError()) return;  // the answer follows as a Response
            auto pending = requests_.find(requestPath);
            if (pending == requests_.end()) return;
            const bool current = pending->second.generation == generation_;
            forgetRequest(requestPath);
            if (current) loseAll(otherError);
          });
}

void PortalGlobalShortcut::forgetRequest(const QString& requestPath) {
  bus_.disconnect(latin1(service), requestPath, latin1(requestInterface),
                  QStringLiteral("Response"), this, SLOT(requestAnswered(QDBusMessage)));
  requests_.erase(requestPath);
}

void PortalGlobalShortcut::requestAnswered(const QDBusMessage& response) {
  auto found = requests_.find(response.path());
  if (found == requests_.end()) return;
  const Pending pending = found->second;
  forgetRequest(response.path());
  const QList<QVariant> arguments = response.arguments();
  const std::int32_t code =
      arguments.size() >= 1 ? static_cast<std::int32_t>(arguments[0].toUInt()) : otherError;
  const QVariantMap results =
      arguments.size() >= 2 ? qdbus_cast<QVariantMap>(arguments[1]) : QVariantMap();

  if (pending.generation != generation_) {
    // A registration since replaced or released: its session is not wanted.
    if (pending.step == Step::createSession && code == 0) {
      const QString stale = sessionHandle(results);
      if (!stale.isEmpty()) closeSession(stale);
    }
    return;
  }
  if (code != 0) return loseAll(code);
  switch (pending.step) {
    case Step::createSession: {
      const QString session = sessionHandle(results);
      if (session.isEmpty()) return loseAll(otherError);
      session_ = session;
      bus_.connect(latin1(service), session_, latin1(sessionInterface), QStringLiteral("Closed"),
                   this, SLOT(sessionClosed(QDBusMessage)));
      bind(session_);
      return;
    }
    case Step::bindShortcuts: {
      // The user may bind a subset of what was asked, down to nothing.
      const QStringList bound = boundNames(results);
      std::vector<ShortcutId> left;
      for (const auto& [shortcut, key] : shortcuts_)
        if (!bound.contains(nameOf(shortcut))) left.push_back(shortcut);
      if (left.size() == shortcuts_.size()) return loseAll(1);
      for (ShortcutId shortcut : left)
        lose(shortcut, 1);
      return;
    }
  }
}

void PortalGlobalShortcut::bind(const QString& session) {
  QList<portal::Shortcut> shortcuts;
  for (const auto& [shortcut, key] : shortcuts_) {
    portal::Shortcut entry;
    entry.id = nameOf(shortcut);
    // tavuno::tr: inside a QObject a bare tr() is Qt's.
    entry.properties.insert(QStringLiteral("description"),
                            QString::fromStdString(tavuno::tr(traitsOf(shortcut).description)));
    entry.properties.insert(QStringLiteral("preferred_trigger"), preferredTrigger(key));
    shortcuts.append(entry);
  }
  request(Step::bindShortcuts, QStringLiteral("BindShortcuts"),
          {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(shortcuts),
           QString()},  // no parent window
          {});
}

void PortalGlobalShortcut::activated(const QDBusMessage& signal) {
  const QList<QVariant> arguments = signal.arguments();
  if (arguments.size() < 2 || session_.isEmpty()) return;
  if (arguments[0].value<QDBusObjectPath>().path() != session_) return;
  for (ShortcutId shortcut : allShortcutIds)
    if (arguments[1].toString() == nameOf(shortcut)) dispatch_.handle(hotKeyIdentifier(shortcut));
}

void PortalGlobalShortcut::sessionClosed(const QDBusMessage& signal) {
  if (signal.path() != session_ || session_.isEmpty()) return;
  bus_.disconnect(latin1(service), session_, latin1(sessionInterface), QStringLiteral("Closed"),
                  this, SLOT(sessionClosed(QDBusMessage)));
  session_.clear();  // already closed: nothing to close
  loseAll(otherError);
}

void PortalGlobalShortcut::closeSession(const QString& session) {
  bus_.disconnect(latin1(service), session, latin1(sessionInterface), QStringLiteral("Closed"),
                  this, SLOT(sessionClosed(QDBusMessage)));
  bus_.send(QDBusMessage::createMethodCall(latin1(service), session, latin1(sessionInterface),
                                           QStringLiteral("Close")));
}

void PortalGlobalShortcut::lose(ShortcutId shortcut, std::int32_t status) {
  dispatch_.disarm(shortcut);
  if (shortcuts_.erase(shortcut) && revoked_) revoked_(shortcut, shortcutRegistrationError(status));
}

void PortalGlobalShortcut::loseAll(std::int32_t status) {
  std::vector<ShortcutId> lost;
  for (const auto& [shortcut, key] : shortcuts_) {
    lost.push_back(shortcut);
    dispatch_.disarm(shortcut);
  }
  shortcuts_.clear();
  renew();
  if (revoked_)
    for (ShortcutId shortcut : lost)
      revoked_(shortcut, shortcutRegistrationError(status));
}

}  // namespace tavuno

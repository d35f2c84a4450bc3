#include "platform/qt/PortalGlobalShortcut.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QList>

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

bool listsShortcut(const QVariantMap& results, const QString& id) {
  const QVariant list = results.value(QStringLiteral("shortcuts"));
  if (!list.canConvert<QDBusArgument>()) return false;
  QList<portal::Shortcut> shortcuts;
  list.value<QDBusArgument>() >> shortcuts;
  for (const auto& shortcut : shortcuts)
    if (shortcut.id == id) return true;
  return false;
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
  unregister();
  bus_.disconnect(latin1(service), latin1(path), latin1(interfaceName), QStringLiteral("Activated"),
                  this, SLOT(activated(QDBusMessage)));
  while (!requests_.empty())
    forgetRequest(requests_.begin()->first);
}

SystemResult PortalGlobalShortcut::registerKey(ShortcutKey key, std::function<void()> action) {
  unregister();
  if (!bus_.isConnected()) return shortcutRegistrationError(otherError);
  key_ = key;
  dispatch_.arm(std::move(action));
  request(Step::createSession, QStringLiteral("CreateSession"), {},
          {{QStringLiteral("session_handle_token"), nextToken()}});
  return SystemResult::success();
}

void PortalGlobalShortcut::unregister() {
  ++generation_;
  dispatch_.disarm();
  key_.reset();
  if (!session_.isEmpty()) closeSession(session_);
  session_.clear();
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
            if (current) lose(otherError);
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
  if (code != 0) return lose(code);
  switch (pending.step) {
    case Step::createSession: {
      const QString session = sessionHandle(results);
      if (session.isEmpty()) return lose(otherError);
      session_ = session;
      bus_.connect(latin1(service), session_, latin1(sessionInterface), QStringLiteral("Closed"),
                   this, SLOT(sessionClosed(QDBusMessage)));
      bind(session_);
      return;
    }
    case Step::bindShortcuts:
      // The user may bind a subset of what was asked, down to nothing.
      if (!listsShortcut(results, latin1(shortcutId))) lose(1);
      return;
  }
}

void PortalGlobalShortcut::bind(const QString& session) {
  portal::Shortcut mute;
  mute.id = latin1(shortcutId);
  // tavuno::tr: inside a QObject a bare tr() is Qt's.
  mute.properties.insert(QStringLiteral("description"),
                         QString::fromStdString(tavuno::tr("Silenciar ou reativar a saída")));
  mute.properties.insert(QStringLiteral("preferred_trigger"), preferredTrigger(*key_));
  const QList<portal::Shortcut> shortcuts{mute};
  request(Step::bindShortcuts, QStringLiteral("BindShortcuts"),
          {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(shortcuts),
           QString()},  // no parent window
          {});
}

void PortalGlobalShortcut::activated(const QDBusMessage& signal) {
  const QList<QVariant> arguments = signal.arguments();
  if (arguments.size() < 2 || session_.isEmpty()) return;
  if (arguments[0].value<QDBusObjectPath>().path() != session_) return;
  if (arguments[1].toString() != latin1(shortcutId)) return;
  dispatch_.handle(HotKeyIdentifier{tavunoHotKeySignature, tavunoHotKeyID});
}

void PortalGlobalShortcut::sessionClosed(const QDBusMessage& signal) {
  if (signal.path() != session_ || session_.isEmpty()) return;
  bus_.disconnect(latin1(service), session_, latin1(sessionInterface), QStringLiteral("Closed"),
                  this, SLOT(sessionClosed(QDBusMessage)));
  session_.clear();  // already closed: nothing to close
  lose(otherError);
}

void PortalGlobalShortcut::closeSession(const QString& session) {
  bus_.disconnect(latin1(service), session, latin1(sessionInterface), QStringLiteral("Closed"),
                  this, SLOT(sessionClosed(QDBusMessage)));
  bus_.send(QDBusMessage::createMethodCall(latin1(service), session, latin1(sessionInterface),
                                           QStringLiteral("Close")));
}

void PortalGlobalShortcut::lose(std::int32_t status) {
  const bool wasRegistered = key_.has_value();
  unregister();
  if (wasRegistered && revoked_) revoked_(shortcutRegistrationError(status));
}

}  // namespace tavuno

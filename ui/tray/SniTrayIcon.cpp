#include "ui/tray/SniTrayIcon.h"

#include <algorithm>
#include <atomic>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QImage>
#include <QMenu>
#include <QtEndian>

#include <unistd.h>

namespace tavuno::ui {

// One picture of an icon as the protocol carries it: ARGB32 in network order.
struct SniPixmap {
  int width = 0;
  int height = 0;
  QByteArray bytes;
};
using SniPixmaps = QList<SniPixmap>;

struct SniToolTip {
  QString iconName;
  SniPixmaps pixmaps;
  QString title;
  QString text;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap) {
  argument.beginStructure();
  argument << pixmap.width << pixmap.height << pixmap.bytes;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap) {
  argument.beginStructure();
  argument >> pixmap.width >> pixmap.height >> pixmap.bytes;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip) {
  argument.beginStructure();
  argument << tip.iconName << tip.pixmaps << tip.title << tip.text;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip) {
  argument.beginStructure();
  argument >> tip.iconName >> tip.pixmaps >> tip.title >> tip.text;
  argument.endStructure();
  return argument;
}

namespace {

constexpr auto watcherName = "org.kde.StatusNotifierWatcher";
constexpr auto itemPath = "/StatusNotifierItem";

SniPixmaps pixmapsOf(const QIcon& icon) {
  SniPixmaps pixmaps;
  for (const QSize& size : icon.availableSizes()) {
    const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    SniPixmap pixmap{image.width(), image.height(), {}};
    pixmap.bytes.resize(qsizetype(image.width()) * image.height() * 4);
    auto* out = reinterpret_cast<quint32*>(pixmap.bytes.data());
    for (int y = 0; y < image.height(); ++y) {
      const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x)
        *out++ = qToBigEndian(line[x]);
    }
    pixmaps.append(pixmap);
  }
  return pixmaps;
}

}  // namespace

}  // namespace tavuno::ui

Q_DECLARE_METATYPE(tavuno::ui::SniPixmap)
Q_DECLARE_METATYPE(tavuno::ui::SniToolTip)

namespace tavuno::ui {

// org.kde.StatusNotifierItem on the item's object.
class SniItemAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_PROPERTY(QString Category READ category)
  Q_PROPERTY(QString Id READ id)
  Q_PROPERTY(QString Title READ title)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(QString IconName READ iconName)
  Q_PROPERTY(tavuno::ui::SniPixmaps IconPixmap READ iconPixmap)
  Q_PROPERTY(tavuno::ui::SniToolTip ToolTip READ toolTip)
  Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)

 public:
  SniItemAdaptor(QObject* object, SniTrayIcon& item) : QDBusAbstractAdaptor(object), item_(item) {}

  QString category() const { return QStringLiteral("ApplicationStatus"); }
  QString id() const { return QStringLiteral("tavuno"); }
  QString title() const { return QStringLiteral("Tavuno"); }
  QString status() const { return QStringLiteral("Active"); }
  QString iconName() const { return item_.iconName(); }
  SniPixmaps iconPixmap() const { return pixmapsOf(item_.icon()); }
  SniToolTip toolTip() const {
    return {item_.iconName(), {}, QStringLiteral("Tavuno"), item_.toolTip()};
  }
  bool itemIsMenu() const { return false; }

 public slots:
  void Activate(int x, int y) { item_.activate(x, y); }
  void SecondaryActivate(int, int) { item_.secondaryActivate(); }
  void Scroll(int delta, const QString& orientation) { item_.scroll(delta, orientation); }
  void ContextMenu(int x, int y) { item_.contextMenu(x, y); }

 signals:
  void NewIcon();
  void NewToolTip();
  void NewStatus(const QString& status);

 private:
  friend class SniTrayIcon;
  SniTrayIcon& item_;
};

SniTrayIcon::SniTrayIcon(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), adaptor_(new SniItemAdaptor(this, *this)) {
  qDBusRegisterMetaType<SniPixmap>();
  qDBusRegisterMetaType<SniPixmaps>();
  qDBusRegisterMetaType<SniToolTip>();
  static std::atomic<int> count{0};
  serviceName_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(::getpid()).arg(++count);
  watcher_.setConnection(bus_);
  watcher_.addWatchedService(QString::fromLatin1(watcherName));
  watcher_.setWatchMode(QDBusServiceWatcher::WatchForRegistration);
  // A watcher that starts (or restarts) forgets every item: tell it again.
  connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
    if (published_) registerWithWatcher();
  });
}

SniTrayIcon::~SniTrayIcon() {
  if (!published_) return;
  bus_.unregisterObject(QString::fromLatin1(itemPath));
  bus_.unregisterService(serviceName_);
}

bool SniTrayIcon::watcherPresent(const QDBusConnection& bus) {
  if (!bus.isConnected() || !bus.interface()) return false;
  const auto answer = bus.interface()->isServiceRegistered(QString::fromLatin1(watcherName));
  return answer.isValid() && answer.value();
}

bool SniTrayIcon::available() const {
  return watcherPresent(bus_);
}

void SniTrayIcon::setIcon(const QIcon& icon) {
  icon_ = icon;
  if (published_) emit adaptor_->NewIcon();
}

void SniTrayIcon::setIconName(const QString& name) {
  if (name == iconName_) return;
  iconName_ = name;
  if (published_) emit adaptor_->NewIcon();
}

void SniTrayIcon::setToolTip(const QString& text) {
  if (text == toolTip_) return;
  toolTip_ = text;
  if (published_) emit adaptor_->NewToolTip();
}

void SniTrayIcon::show() {
  if (published_ || !bus_.isConnected()) return;
  if (!bus_.registerObject(QString::fromLatin1(itemPath), this, QDBusConnection::ExportAdaptors))
    return;
  bus_.registerService(serviceName_);
  published_ = true;
  registerWithWatcher();
}

void SniTrayIcon::registerWithWatcher() {
  auto call = QDBusMessage::createMethodCall(
      QString::fromLatin1(watcherName), QStringLiteral("/StatusNotifierWatcher"),
      QString::fromLatin1(watcherName), QStringLiteral("RegisterStatusNotifierItem"));
  call.setArguments({serviceName_});
  bus_.call(call, QDBus::NoBlock);
}

void SniTrayIcon::activate(int x, int y) {
  if (handlers_.activated) handlers_.activated(QPoint(x, y));
}

void SniTrayIcon::secondaryActivate() {
  if (handlers_.middleClicked) handlers_.middleClicked();
}

void SniTrayIcon::scroll(int delta, const QString& orientation) {
  if (orientation.compare(QLatin1String("vertical"), Qt::CaseInsensitive) != 0) return;
  // Bounded before adding, so no host's number overflows the sum; what is
  // left of a notch waits for the rest of it (fine-grained touchpads).
  const int bounded = std::clamp(delta, -maxNotches * notch, maxNotches * notch);
  scrollRest_ = std::clamp(scrollRest_ + bounded, -maxNotches * notch, maxNotches * notch);
  const int notches = scrollRest_ / notch;
  scrollRest_ -= notches * notch;
  if (notches != 0 && handlers_.scrolled) handlers_.scrolled(notches);
}

void SniTrayIcon::contextMenu(int x, int y) {
  if (menu_) menu_->popup(QPoint(x, y));
}

}  // namespace tavuno::ui

#include "SniTrayIcon.moc"

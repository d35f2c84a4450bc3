#include "ui/views/FollowService.h"

#include <QEvent>
#include <QWidget>

#include "ui/bridge/ServiceBridge.h"

namespace tavuno::ui {

namespace {

// A child of the view: it watches the view's events for the language change,
// and as the context of the bridge's connection it ends that with the view.
class ServiceFollower : public QObject {
 public:
  ServiceFollower(QWidget& view, std::function<void()> render)
      : QObject(&view), render_(std::move(render)) {
    view.installEventFilter(this);
  }

  void render() { render_(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Before the view's own handling, as a changeEvent override would: the
    // view's children retranslate after it.
    if (event->type() == QEvent::LanguageChange) render_();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> render_;
};

}  // namespace

void followService(QWidget& view, ServiceBridge& bridge, quint64 fields,
                   std::function<void()> render) {
  auto* follower = new ServiceFollower(view, std::move(render));
  QObject::connect(&bridge, &ServiceBridge::changed, follower, [follower, fields](quint64 changed) {
    if (changed & fields) follower->render();
  });
  follower->render();
}

}  // namespace tavuno::ui

#include "ui/tray/TrayController.h"

#include <utility>

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QMenu>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/ViewTexts.h"
#include "ui/tray/TrayPort.h"
#include "ui/views/TrayPanel.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/BrandMark.h"

namespace tavuno::ui {

namespace {

QIcon trayIcon(bool muted) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64})
    icon.addPixmap(BrandMark::render(size, 1.0, muted));
  return icon;
}

}  // namespace

TrayController::TrayController(ServiceBridge& bridge, TrayPort& port,
                               std::function<TrayPanel&()> panel, QAction& muteAction,
                               std::function<void()> openWindow, std::function<void()> quit,
                               QObject* parent)
    : QObject(parent),
      bridge_(bridge),
      port_(port),
      panel_(std::move(panel)),
      menu_(new QMenu),
      profiles_(new QMenu(menu_)),
      open_(new QAction(menu_)),
      quit_(new QAction(menu_)) {
  menu_->addAction(open_);
  menu_->addAction(&muteAction);
  menu_->addMenu(profiles_);
  menu_->addSeparator();
  menu_->addAction(quit_);
  connect(open_, &QAction::triggered, this, openWindow);
  connect(quit_, &QAction::triggered, this, quit);
  menu_->installEventFilter(this);
  port_.setMenu(menu_);
  port_.setHandlers({
      .activated = [this](QPoint at) { panel_().toggle(at); },
      .middleClicked =
          [this] {
            auto service = bridge_.service();
            if (service && service->state().muteAvailable)
              service->setMute(!service->state().muted);
          },
      .scrolled =
          [this](int steps) {
            auto service = bridge_.service();
            if (service && service->state().volumeAvailable)
              service->setVolume(steppedVolume(service->state().volume, steps));
          },
  });
  connect(&bridge_, &ServiceBridge::changed, this, [this](quint64 fields) {
    if (fields & (fieldBit(ServiceField::profiles) | fieldBit(ServiceField::activeProfileID)))
      rebuildProfiles();
    render();
  });
  retranslate();
  render();
  port_.show();
}

TrayController::~TrayController() {
  port_.setMenu(nullptr);
  port_.setHandlers({});
  delete menu_;
}

bool TrayController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == menu_ && event->type() == QEvent::LanguageChange) retranslate();
  return QObject::eventFilter(watched, event);
}

void TrayController::retranslate() {
  open_->setText(tr("Abrir Tavuno"));
  quit_->setText(tr("Encerrar Tavuno"));
  profiles_->setTitle(tr("Perfis"));
  rebuildProfiles();
  render();
}

void TrayController::render() {
  const auto& state = bridge_.state();
  if (!iconSet_ || state.muted != lastMuted_) {
    port_.setIcon(trayIcon(state.muted));
    port_.setIconName(state.muted ? QStringLiteral("audio-volume-muted-symbolic")
                                  : QStringLiteral("audio-volume-high-symbolic"));
    lastMuted_ = state.muted;
    iconSet_ = true;
  }
  port_.setToolTip(qs(trayToolTip(state)));
}

void TrayController::rebuildProfiles() {
  qDeleteAll(profiles_->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
  profiles_->clear();
  const auto& state = bridge_.state();
  auto* group = new QActionGroup(profiles_);
  for (const auto& profile : state.profiles) {
    auto* action = profiles_->addAction(qs(profile.name));
    action->setCheckable(true);
    action->setChecked(state.activeProfileID && *state.activeProfileID == profile.id);
    group->addAction(action);
    const Uuid id = profile.id;
    connect(action, &QAction::triggered, this, [this, id] {
      auto service = bridge_.service();
      if (!service) return;
      for (const auto& candidate : service->state().profiles)
        if (candidate.id == id) {
          service->applyProfile(candidate);
          return;
        }
    });
  }
  profiles_->setEnabled(!state.profiles.empty());
}

}  // namespace tavuno::ui

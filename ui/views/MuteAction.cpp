#include "ui/views/MuteAction.h"

#include <QCoreApplication>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/ViewTexts.h"

namespace tavuno::ui {

MuteAction::MuteAction(ServiceBridge& bridge, QObject* parent) : QAction(parent), bridge_(bridge) {
  setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
  setShortcutContext(Qt::WindowShortcut);
  connect(this, &QAction::triggered, this, [this] {
    auto service = bridge_.service();
    if (service && service->state().muteAvailable) service->setMute(!service->state().muted);
  });
  connect(&bridge_, &ServiceBridge::changed, this, [this](quint64 fields) {
    if (fields & (fieldBit(ServiceField::muted) | fieldBit(ServiceField::muteAvailable))) render();
  });
  render();
}

void MuteAction::render() {
  const auto& state = bridge_.state();
  setText(QCoreApplication::translate("Tavuno", muteActionTitle(state.muted)));
  setEnabled(state.muteAvailable);
}

}  // namespace tavuno::ui

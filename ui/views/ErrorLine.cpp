#include "ui/views/ErrorLine.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

ErrorLine::ErrorLine(ServiceBridge& bridge, QWidget* parent)
    : QFrame(parent),
      bridge_(bridge),
      message_(makeLabel("warning", this)),
      dismiss_(new QPushButton(this)) {
  setObjectName(QStringLiteral("errorLine"));
  setAttribute(Qt::WA_StyledBackground);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(12, 8, 8, 8);
  layout->setSpacing(10);
  layout->addWidget(makeSymbol("warning", 16, colors::warning, this), 0, Qt::AlignVCenter);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  message_->setFont(pixelFont(13));
  layout->addWidget(message_, 1);
  layout->addWidget(dismiss_, 0, Qt::AlignVCenter);
  connect(dismiss_, &QPushButton::clicked, this, [this] {
    if (auto service = bridge_.service()) service->setError(std::nullopt);
  });
  followService(*this, bridge_, fieldBit(ServiceField::error), [this] { render(); });
}

void ErrorLine::render() {
  const auto& error = bridge_.state().error;
  dismiss_->setText(tr("Dispensar"));
  message_->setText(error ? qs(*error) : QString());
  message_->setAccessibleName(message_->text());
  setVisible(error.has_value());
}

}  // namespace tavuno::ui

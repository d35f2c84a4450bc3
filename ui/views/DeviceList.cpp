#include "ui/views/DeviceList.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/bridge/ServiceBridge.h"
#include "ui/model/DeviceCaptions.h"
#include "ui/model/ViewTexts.h"
#include "ui/views/FollowService.h"
#include "ui/views/ViewHelpers.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Theme.h"

namespace tavuno::ui {

DeviceRow::DeviceRow(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAttribute(Qt::WA_Hover);
}

void DeviceRow::render(const AudioDevice& device, bool input, bool isDefault) {
  device_ = device;
  default_ = isDefault;
  caption_ = tr(deviceCaption(device, isDefault));
  setText(qs(device.name));
  setAccessibleName(qs(deviceAccessibleText(device, input, isDefault)));
  update();
}

QSize DeviceRow::sizeHint() const {
  return {240, 52};
}

void DeviceRow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    click();
    return;
  }
  // Up and Down move between the rows of the list, as in any list.
  if ((event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) &&
      event->modifiers() == Qt::NoModifier) {
    const bool down = event->key() == Qt::Key_Down;
    DeviceRow* next = nullptr;
    for (auto* row : parentWidget()->findChildren<DeviceRow*>(Qt::FindDirectChildrenOnly)) {
      if (row == this || !row->isVisible()) continue;
      const int y = row->y();
      if (down ? (y > this->y() && (!next || y < next->y()))
               : (y < this->y() && (!next || y > next->y())))
        next = row;
    }
    if (next) next->setFocus(Qt::TabFocusReason);
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void DeviceRow::enterEvent(QEnterEvent* event) {
  hover_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void DeviceRow::leaveEvent(QEvent* event) {
  hover_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void DeviceRow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QColor fill(255, 255, 255, default_ ? 20 : (hover_ ? 14 : 0));
  if (default_) fill = QColor(59, 130, 245, 38);
  painter.setPen(hasFocus() ? QPen(QColor(141, 180, 250), 1.5)
                            : QPen(default_ ? QColor(59, 130, 245, 110) : Qt::transparent, 1));
  painter.setBrush(fill);
  painter.drawRoundedRect(box, 10, 10);

  const int mark = 20;
  const QPixmap check = symbol(default_ ? "check-circle" : "circle", mark,
                               default_ ? colors::accent : colors::secondary, devicePixelRatioF());
  painter.drawPixmap(12, (height() - mark) / 2, check);
  const int left = 12 + mark + 12;
  const QRect textArea(left, 0, width() - left - 12, height());
  QFont nameFont = pixelFont(14, default_ ? QFont::DemiBold : QFont::Normal);
  QFont captionFont = pixelFont(12);
  const QFontMetrics nameMetrics(nameFont), captionMetrics(captionFont);
  const int block = nameMetrics.height() + captionMetrics.height();
  const int top = (height() - block) / 2;
  painter.setFont(nameFont);
  painter.setPen(colors::text);
  painter.drawText(QRect(left, top, textArea.width(), nameMetrics.height()),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   nameMetrics.elidedText(text(), Qt::ElideRight, textArea.width()));
  painter.setFont(captionFont);
  painter.setPen(default_ ? QColor(141, 180, 250) : colors::secondary);
  painter.drawText(
      QRect(left, top + nameMetrics.height(), textArea.width(), captionMetrics.height()),
      Qt::AlignLeft | Qt::AlignVCenter, caption_);
}

DeviceList::DeviceList(ServiceBridge& bridge, bool input, QWidget* parent)
    : QWidget(parent),
      bridge_(bridge),
      input_(input),
      heading_(makeLabel("heading", this)),
      caption_(makeLabel("caption", this)),
      empty_(makeLabel("caption", this)),
      list_(new QVBoxLayout),
      rows_(list_) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  auto* head = new QHBoxLayout;
  head->setSpacing(8);
  head->addWidget(makeSymbol(input ? "mic" : "speaker", 18, colors::accent, this));
  head->addWidget(heading_, 1);
  layout->addLayout(head);
  layout->addWidget(caption_);
  layout->addSpacing(4);
  layout->addWidget(empty_);
  list_->setSpacing(4);
  layout->addLayout(list_);
  layout->addStretch(1);
  followService(*this, bridge_,
                fieldBit(ServiceField::devices) | fieldBit(ServiceField::defaultInput) |
                    fieldBit(ServiceField::defaultOutput),
                [this] { render(); });
}

void DeviceList::render() {
  const auto& state = bridge_.state();
  heading_->setText(input_ ? tr("Entradas") : tr("Saídas"));
  caption_->setText(input_ ? tr("Escolha o microfone padrão.")
                           : tr("Escolha onde o som será reproduzido."));
  empty_->setText(tr("Nenhum dispositivo disponível."));
  const AudioObjectID current = input_ ? state.defaultInput : state.defaultOutput;
  std::vector<std::string> keys;
  std::vector<const AudioDevice*> shown;
  for (const auto& device : state.devices) {
    if (!(input_ ? device.input : device.output)) continue;
    keys.push_back(device.uid);
    shown.push_back(&device);
  }
  empty_->setVisible(keys.empty());
  rows_.sync(keys, [this](const std::string&) {
    auto* row = new DeviceRow(this);
    connect(row, &DeviceRow::clicked, this, [this, row] {
      if (auto service = bridge_.service()) service->setDefault(row->device().id, input_);
    });
    return row;
  });
  for (const auto* device : shown)
    rows_.find(device->uid)->render(*device, input_, device->id == current);
}

}  // namespace tavuno::ui

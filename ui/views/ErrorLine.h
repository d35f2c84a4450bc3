#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace tavuno::ui {

class ServiceBridge;

// The service's one error message with "Dispensar", which clears it for
// every screen; hidden while there is none.
class ErrorLine : public QFrame {
  Q_OBJECT

 public:
  explicit ErrorLine(ServiceBridge& bridge, QWidget* parent = nullptr);
  QLabel* message() const { return message_; }
  QPushButton* dismissButton() const { return dismiss_; }

 private:
  void render();

  ServiceBridge& bridge_;
  QLabel* message_;
  QPushButton* dismiss_;
};

}  // namespace tavuno::ui

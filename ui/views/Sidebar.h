#pragma once

#include <vector>

#include <QWidget>

class QButtonGroup;
class QLabel;
class QPushButton;

namespace tavuno::ui {

// The brand, one button per section (arrow keys move between them), "Encerrar
// Tavuno" (the way out on a desktop without a tray) and the maker's credit.
class Sidebar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int width = 215;

  explicit Sidebar(QWidget* parent = nullptr);
  void select(int section);
  int selected() const;
  QPushButton* button(int section) const { return buttons_.at(section); }
  QPushButton* quitButton() const { return quit_; }

 signals:
  void sectionChosen(int section);
  void quitChosen();

 protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void retranslate();

  QLabel* tagline_;
  QLabel* credit_;
  QButtonGroup* group_;
  QPushButton* quit_;
  std::vector<QPushButton*> buttons_;
};

}  // namespace tavuno::ui

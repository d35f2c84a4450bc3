#include "ui/widgets/Theme.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleFactory>

namespace tavuno::ui {

namespace {

const char* styleSheet = R"(
QWidget { color: #e8ecf5; }
QToolTip { color: #e8ecf5; background: #1a2236; border: 1px solid #2c3650; padding: 4px 6px; }
QLabel[role="title"] { font-size: 34px; font-weight: 700; }
QLabel[role="subtitle"] { color: #94a0ba; font-size: 15px; }
QLabel[role="heading"] { font-size: 15px; font-weight: 600; }
QLabel[role="caption"] { color: #94a0ba; font-size: 12px; }
QLabel[role="warning"] { color: #f9a83c; font-size: 12px; }
QLabel[role="value"] { color: #c8d0e0; font-size: 13px; font-weight: 600; }
QLabel[role="name"] { font-size: 14px; font-weight: 600; }
QLabel[role="missing"] { color: #f9a83c; font-size: 14px; font-weight: 600; }
QLabel[role="detail"] { color: #c3cbdc; font-size: 12px; }
QLabel[role="counter"] { color: #8db4fa; font-size: 11px; font-weight: 600; }
QLabel[role="badge"] {
  color: #a9c6fb; background: rgba(59,130,245,46); border: 1px solid rgba(59,130,245,110);
  border-radius: 8px; padding: 0px 7px; font-size: 11px; font-weight: 600;
}
QFrame#card { background: rgba(255,255,255,14); border: 1px solid rgba(255,255,255,18); border-radius: 14px; }
QFrame#listRow { background: rgba(255,255,255,8); border: 1px solid rgba(255,255,255,14); border-radius: 10px; }
QFrame#listRow[active="true"] { background: rgba(59,130,245,24); border: 1px solid rgba(59,130,245,100); }
QFrame#onboardingCard { background: #121a30; border: 1px solid rgba(255,255,255,26); border-radius: 18px; }
QFrame#errorLine { background: rgba(249,168,60,24); border: 1px solid rgba(249,168,60,70); border-radius: 10px; }
QFrame#divider { background: rgba(255,255,255,20); max-height: 1px; min-height: 1px; border: none; }
QPushButton {
  background: rgba(255,255,255,20); border: 1px solid rgba(255,255,255,22); border-radius: 8px;
  padding: 5px 12px; min-height: 20px; font-size: 13px;
}
QPushButton:hover { background: rgba(255,255,255,34); }
QPushButton:pressed { background: rgba(255,255,255,12); }
QPushButton:focus { border: 1px solid #3b82f5; }
QPushButton:disabled { color: #5d6780; background: rgba(255,255,255,8); }
QPushButton[flat="true"] { background: transparent; border: 1px solid transparent; color: #94a0ba; }
QPushButton[flat="true"]:hover { background: rgba(255,255,255,16); color: #e8ecf5; }
QPushButton[flat="true"]:focus { border: 1px solid #3b82f5; }
QPushButton[danger="true"] { color: #fca5a5; }
QPushButton[danger="true"]:hover { background: rgba(248,113,113,36); border: 1px solid rgba(248,113,113,80); }
QPushButton[danger="true"]:focus { border: 1px solid #f87171; }
QPushButton#iconButton { padding: 4px; min-width: 24px; min-height: 24px; border-radius: 8px; }
QPushButton[primary="true"] { background: #3b82f5; border: 1px solid #3b82f5; color: white; }
QPushButton[primary="true"]:hover { background: #5592f7; }
QPushButton[primary="true"]:focus { border: 1px solid #e8f0ff; }
QPushButton[primary="true"]:disabled {
  background: rgba(59,130,245,38); border: 1px solid rgba(59,130,245,50); color: rgba(232,236,245,100);
}
QPushButton#sectionButton {
  text-align: left; padding: 8px 12px; border-radius: 9px; border: 1px solid transparent;
  background: transparent; color: #c3cbdc; font-size: 14px;
}
QPushButton#sectionButton:hover { background: rgba(255,255,255,16); }
QPushButton#sectionButton:checked { background: #3b82f5; color: white; font-weight: 600; }
QPushButton#sectionButton:focus { border: 1px solid #8db4fa; }
QPushButton#sectionButton:checked:focus { border: 1px solid #e8f0ff; }
QComboBox {
  background: rgba(255,255,255,18); border: 1px solid rgba(255,255,255,24); border-radius: 8px;
  padding: 4px 28px 4px 10px; min-height: 22px; font-size: 13px;
}
QComboBox:hover { background: rgba(255,255,255,28); }
QComboBox:focus { border: 1px solid #3b82f5; }
QComboBox::drop-down { border: none; width: 22px; }
QComboBox QAbstractItemView {
  background: #151c2e; border: 1px solid #2c3650; selection-background-color: #3b82f5; padding: 4px;
  outline: none;
}
QLineEdit, QTimeEdit {
  background: rgba(255,255,255,18); border: 1px solid rgba(255,255,255,24); border-radius: 8px;
  padding: 4px 10px; min-height: 22px; font-size: 13px; selection-background-color: #3b82f5;
}
QLineEdit:hover, QTimeEdit:hover { background: rgba(255,255,255,26); }
QLineEdit:focus, QTimeEdit:focus { border: 1px solid #3b82f5; }
QTimeEdit#timeField { padding-left: 32px; }
QTimeEdit::up-button, QTimeEdit::down-button { width: 20px; border: none; background: transparent; }
QTimeEdit::up-arrow, QTimeEdit::down-arrow { image: none; width: 0; height: 0; }
QDialog { background: #121a30; }
QPushButton[destructive="true"] { background: #dc4a4a; border: 1px solid #dc4a4a; color: white; }
QPushButton[destructive="true"]:hover { background: #e66060; }
QPushButton[destructive="true"]:focus { border: 1px solid #fca5a5; }
QSlider::groove:horizontal { height: 4px; background: rgba(255,255,255,36); border-radius: 2px; }
QSlider::sub-page:horizontal { background: #3b82f5; border-radius: 2px; }
QSlider::sub-page:horizontal:disabled { background: rgba(255,255,255,40); }
QSlider::handle:horizontal {
  background: #f2f5fb; width: 14px; height: 14px; margin: -6px 0; border-radius: 7px;
  border: 1px solid rgba(0,0,0,60);
}
QSlider::handle:horizontal:disabled { background: #5d6780; }
QSlider:focus { outline: none; }
QSlider::handle:horizontal:focus { border: 2px solid #3b82f5; }
QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; border: none; }
QScrollBar:vertical { background: transparent; width: 10px; margin: 2px; }
QScrollBar::handle:vertical { background: rgba(255,255,255,40); border-radius: 3px; min-height: 30px; }
QScrollBar::add-line, QScrollBar::sub-line { height: 0; }
QMenu { background: #151c2e; border: 1px solid #2c3650; padding: 4px; }
QMenu::item { padding: 6px 18px; border-radius: 6px; }
QMenu::item:selected { background: #3b82f5; }
QMenu::separator { height: 1px; background: #2c3650; margin: 4px 8px; }
)";

bool pending = false;

// Sizes are designed in pixels at 96 dpi and set in points, so they follow
// the desktop's text scale (which raises the logical dpi) as its own text does.
double pointsOf(double pixels) {
  return pixels * 72.0 / 96.0;
}

QString scaledWithText(QString sheet) {
  static const QRegularExpression size(QStringLiteral(R"(font-size:\s*(\d+)px)"));
  QString out;
  qsizetype last = 0;
  for (auto it = size.globalMatch(sheet); it.hasNext();) {
    const auto match = it.next();
    out += QStringView(sheet).mid(last, match.capturedStart() - last);
    out += QStringLiteral("font-size: %1pt").arg(pointsOf(match.captured(1).toDouble()));
    last = match.capturedEnd();
  }
  out += QStringView(sheet).mid(last);
  return out;
}

}  // namespace

void applyTheme(QApplication& app) {
  applyThemeLater(app);
  applyPendingStyleSheet();
}

bool styleSheetPending() {
  return pending;
}

void applyPendingStyleSheet() {
  if (!pending) return;
  pending = false;
  qApp->setStyleSheet(scaledWithText(QString::fromUtf8(styleSheet)));
}

void applyThemeLater(QApplication& app) {
  app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QPalette palette;
  palette.setColor(QPalette::Window, colors::navy);
  palette.setColor(QPalette::WindowText, colors::text);
  palette.setColor(QPalette::Base, QColor(20, 27, 44));
  palette.setColor(QPalette::AlternateBase, QColor(26, 34, 54));
  palette.setColor(QPalette::Text, colors::text);
  palette.setColor(QPalette::Button, QColor(30, 38, 58));
  palette.setColor(QPalette::ButtonText, colors::text);
  palette.setColor(QPalette::BrightText, Qt::white);
  palette.setColor(QPalette::Highlight, colors::accent);
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::ToolTipBase, QColor(26, 34, 54));
  palette.setColor(QPalette::ToolTipText, colors::text);
  palette.setColor(QPalette::PlaceholderText, colors::secondary);
  palette.setColor(QPalette::Link, colors::accent);
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(93, 103, 128));
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(93, 103, 128));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(93, 103, 128));
  app.setPalette(palette);
  // Inter when it is installed, else the desktop's own font: named as a list
  // of choices rather than looked up, since listing the installed fonts loads
  // the font database (0.7 MB) that a Tavuno left in the tray never uses.
  QFont font = app.font();
  font.setFamilies({QStringLiteral("Inter"), font.family()});
  font.setPointSizeF(pointsOf(13));
  app.setFont(font);
  pending = true;
}

QFont pixelFont(int pixels, QFont::Weight weight) {
  QFont font = QApplication::font();
  font.setPointSizeF(pointsOf(pixels));
  font.setWeight(weight);
  return font;
}

void setRole(QLabel* label, const char* role) {
  label->setProperty("role", QString::fromLatin1(role));
  restyle(label);
}

void restyle(QWidget* widget) {
  widget->style()->unpolish(widget);
  widget->style()->polish(widget);
}

}  // namespace tavuno::ui

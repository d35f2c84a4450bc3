#pragma once

#include <string>

#include <QLabel>
#include <QPushButton>
#include <QString>

namespace tavuno::ui {

inline QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

// A label with a text role of the style sheet.
QLabel* makeLabel(const char* role, QWidget* parent = nullptr);
// A symbol drawn at `size` in `color` as a label.
QLabel* makeSymbol(const char* name, int size, const QColor& color, QWidget* parent = nullptr);
void setSymbol(QLabel* label, const char* name, int size, const QColor& color);
// A square button showing only a symbol; its accessible name and tooltip
// must be set by the caller.
QPushButton* makeIconButton(QWidget* parent = nullptr);
// Shows a label only when it has text.
void setTextShown(QLabel* label, const QString& text);

}  // namespace tavuno::ui

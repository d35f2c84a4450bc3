#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace tavuno::ui {

// The symbols the screens draw, as small line drawings tinted at run time:
// "sliders", "headphones", "profile", "bolt", "gear", "speaker", "speaker-muted",
// "mic", "waveform", "check-circle", "circle", "app", "warning", "open", "power", "stack",
// "pencil", "trash", "arrow-up", "arrow-down", "clock", "alert-circle", "plug", "globe",
// "bell", "keyboard", "shield".
// An unknown name draws nothing.
QPixmap symbol(const char* name, int size, const QColor& color, qreal devicePixelRatio = 1.0);
QIcon symbolIcon(const char* name, const QColor& color, int size = 18);

}  // namespace tavuno::ui

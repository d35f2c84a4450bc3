#pragma once

#include <QColor>
#include <QFont>

class QApplication;
class QLabel;
class QWidget;

namespace tavuno::ui {

// The colours of the dark design.
namespace colors {
inline const QColor navy{9, 14, 31};              // window background
inline const QColor sidebar{6, 10, 22};           // the sidebar's darker backing
inline const QColor accent{59, 130, 245};         // selection and emphasis
inline const QColor text{232, 236, 245};          // primary text
inline const QColor secondary{148, 160, 186};     // captions
inline const QColor warning{249, 168, 60};        // warnings and the error line
inline const QColor cardFill{255, 255, 255, 14};  // white at 0.055
inline const QColor cardLine{255, 255, 255, 18};  // white at 0.07
inline const QColor danger{248, 113, 113};        // destructive actions
inline const QColor success{52, 211, 153};        // an automation that applied
inline const QColor meterLow{52, 211, 153};
inline const QColor meterHigh{251, 191, 36};
inline const QColor meterClip{248, 113, 113};
}  // namespace colors

// Fusion, a forced dark palette and the style sheet. Call after QApplication
// exists (a platform theme would override an earlier palette).
void applyTheme(QApplication& app);
// The same, the style sheet left for applyPendingStyleSheet(): parsing it and
// styling with it wakes much of the widget library (about 0.7 MB resident)
// that a Tavuno started in the tray needs only once it shows something.
void applyThemeLater(QApplication& app);
// Applies the style sheet applyThemeLater() left, once; else does nothing.
void applyPendingStyleSheet();
bool styleSheetPending();

// A font of the application's family at a size in logical pixels.
QFont pixelFont(int pixels, QFont::Weight weight = QFont::Normal);

// Text roles the style sheet knows: "title", "subtitle", "heading", "caption",
// "warning", "value", "detail", "counter", "badge", "name", "missing" (a name in the
// warning colour).
void setRole(QLabel* label, const char* role);
// Re-applies the style after a dynamic property changed.
void restyle(QWidget* widget);

}  // namespace tavuno::ui

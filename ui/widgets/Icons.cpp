#include "ui/widgets/Icons.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

namespace tavuno::ui {

namespace {

struct Drawing {
  const char* name;
  const char* body;  // SVG elements on a 24 x 24 grid; "C" is replaced by the colour
};

// Stroked outlines unless filled; drawn for Tavuno.
constexpr Drawing drawings[] = {
    {"sliders",
     R"(<g stroke="C" stroke-width="2" stroke-linecap="round" fill="none"><path d="M4 6h16M4 12h16M4 18h16"/></g>
        <g fill="C"><circle cx="9" cy="6" r="2.6"/><circle cx="16" cy="12" r="2.6"/><circle cx="7" cy="18" r="2.6"/></g>)"},
    {"headphones",
     R"(<path d="M4 15v-3a8 8 0 0 1 16 0v3" stroke="C" stroke-width="2" fill="none" stroke-linecap="round"/>
        <rect x="3" y="14" width="5" height="7" rx="2" fill="C"/><rect x="16" y="14" width="5" height="7" rx="2" fill="C"/>)"},
    {"profile",
     R"(<rect x="3" y="3" width="18" height="18" rx="5" stroke="C" stroke-width="2" fill="none"/>
        <circle cx="12" cy="10" r="3.2" fill="C"/><path d="M6.5 19c1-3 3-4.5 5.5-4.5s4.5 1.5 5.5 4.5" fill="C"/>)"},
    {"bolt", R"(<path d="M13.5 2 4.5 13.5h6L9.5 22l9-12h-6z" fill="C"/>)"},
    {"gear",
     R"(<g stroke="C" stroke-width="2.4" stroke-linecap="round"><path d="M12 2.5v3M12 18.5v3M2.5 12h3M18.5 12h3M5.3 5.3l2.1 2.1M16.6 16.6l2.1 2.1M5.3 18.7l2.1-2.1M16.6 7.4l2.1-2.1"/></g>
        <circle cx="12" cy="12" r="5.2" stroke="C" stroke-width="2.4" fill="none"/>)"},
    {"speaker",
     R"(<path d="M3 9.5h4l5-4.5v14l-5-4.5H3z" fill="C"/>
        <path d="M15.5 9a4 4 0 0 1 0 6M18 6.5a7.5 7.5 0 0 1 0 11" stroke="C" stroke-width="2" fill="none" stroke-linecap="round"/>)"},
    {"speaker-muted",
     R"(<path d="M3 9.5h4l5-4.5v14l-5-4.5H3z" fill="C"/>
        <path d="M16 9.5l5 5M21 9.5l-5 5" stroke="C" stroke-width="2" stroke-linecap="round"/>)"},
    {"mic",
     R"(<rect x="8.5" y="2.5" width="7" height="12" rx="3.5" fill="C"/>
        <path d="M5 11.5a7 7 0 0 0 14 0M12 18.5v3M8.5 21.5h7" stroke="C" stroke-width="2" fill="none" stroke-linecap="round"/>)"},
    {"mic-muted",
     R"(<rect x="8.5" y="2.5" width="7" height="12" rx="3.5" fill="C"/>
        <path d="M5 11.5a7 7 0 0 0 14 0M12 18.5v3M8.5 21.5h7" stroke="C" stroke-width="2" fill="none" stroke-linecap="round"/>
        <path d="M3.5 3.5l17 17" stroke="#0b1220" stroke-width="4.5" stroke-linecap="round"/>
        <path d="M3.5 3.5l17 17" stroke="C" stroke-width="2" stroke-linecap="round"/>)"},
    {"waveform",
     R"(<g stroke="C" stroke-width="2.2" stroke-linecap="round"><path d="M3 10.5v3M7 7v10M11 3.5v17M15 7.5v9M19 10v4"/></g>)"},
    {"check-circle",
     R"(<circle cx="12" cy="12" r="9.5" fill="C"/><path d="M7.5 12.3l3 3 6-6.3" stroke="#0b1220" stroke-width="2.2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>)"},
    {"circle", R"(<circle cx="12" cy="12" r="8.8" stroke="C" stroke-width="1.8" fill="none"/>)"},
    {"app",
     R"(<rect x="3" y="3" width="18" height="18" rx="5" fill="C" fill-opacity="0.9"/>
        <rect x="7" y="7" width="4.2" height="4.2" rx="1.2" fill="#0b1220"/><rect x="12.8" y="7" width="4.2" height="4.2" rx="1.2" fill="#0b1220"/>
        <rect x="7" y="12.8" width="4.2" height="4.2" rx="1.2" fill="#0b1220"/><rect x="12.8" y="12.8" width="4.2" height="4.2" rx="1.2" fill="#0b1220" fill-opacity="0.55"/>)"},
    {"warning",
     R"(<path d="M12 3 2.5 20h19z" fill="C"/><path d="M12 9.5v5" stroke="#0b1220" stroke-width="2" stroke-linecap="round"/><circle cx="12" cy="17.3" r="1.2" fill="#0b1220"/>)"},
    {"open",
     R"(<path d="M14 4h6v6M20 4l-8.5 8.5M18 14v5a1 1 0 0 1-1 1H5a1 1 0 0 1-1-1V7a1 1 0 0 1 1-1h5" stroke="C" stroke-width="2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>)"},
    {"power",
     R"(<path d="M12 3v8M7 6.3a7.5 7.5 0 1 0 10 0" stroke="C" stroke-width="2" fill="none" stroke-linecap="round"/>)"},
    {"stack",
     R"(<path d="M12 3 3 7.5l9 4.5 9-4.5z" fill="C"/>
        <path d="M3 12l9 4.5 9-4.5M3 16.5l9 4.5 9-4.5" stroke="C" stroke-width="2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>)"},
    {"pencil",
     R"(<path d="M4 20l1-4.5L15.5 5a2.1 2.1 0 0 1 3 3L8 18.5z" stroke="C" stroke-width="2" fill="none" stroke-linejoin="round"/><path d="M13.5 7l3 3" stroke="C" stroke-width="2"/>)"},
    {"trash",
     R"(<path d="M4 7h16M9.5 7V4.5h5V7M6.5 7l1 13h9l1-13" stroke="C" stroke-width="2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>
        <path d="M10 11v5.5M14 11v5.5" stroke="C" stroke-width="1.8" stroke-linecap="round"/>)"},
    {"arrow-up",
     R"(<path d="M12 19V5M6 11l6-6 6 6" stroke="C" stroke-width="2.2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>)"},
    {"arrow-down",
     R"(<path d="M12 5v14M6 13l6 6 6-6" stroke="C" stroke-width="2.2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>)"},
    {"clock",
     R"(<circle cx="12" cy="12" r="9" stroke="C" stroke-width="2" fill="none"/><path d="M12 7v5l3.5 2.5" stroke="C" stroke-width="2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>)"},
    {"alert-circle",
     R"(<circle cx="12" cy="12" r="9.5" fill="C"/><path d="M12 7v6" stroke="#0b1220" stroke-width="2.2" stroke-linecap="round"/><circle cx="12" cy="16.6" r="1.3" fill="#0b1220"/>)"},
    {"plug",
     R"(<path d="M9 3v5M15 3v5M12 17v4" stroke="C" stroke-width="2" stroke-linecap="round"/><path d="M6 8h12v3a6 6 0 0 1-12 0z" fill="C"/>)"},
    {"globe",
     R"(<circle cx="12" cy="12" r="9" stroke="C" stroke-width="2" fill="none"/>
        <path d="M3 12h18M12 3c2.5 2.5 3.8 5.5 3.8 9s-1.3 6.5-3.8 9c-2.5-2.5-3.8-5.5-3.8-9S9.5 5.5 12 3z" stroke="C" stroke-width="1.8" fill="none"/>)"},
    {"bell",
     R"(<path d="M6 16v-5a6 6 0 0 1 12 0v5l1.5 2h-15z" fill="C"/><path d="M10 20.5a2 2 0 0 0 4 0" stroke="C" stroke-width="2" fill="none" stroke-linecap="round"/>)"},
    {"keyboard",
     R"(<rect x="2.5" y="6" width="19" height="12" rx="2.5" stroke="C" stroke-width="2" fill="none"/>
        <path d="M6.5 10h1M10.5 10h1M14.5 10h1M8 14h8" stroke="C" stroke-width="2" stroke-linecap="round"/>)"},
    {"shield",
     R"(<path d="M12 3l7.5 3v5.5c0 4.6-3.2 8.2-7.5 9.5-4.3-1.3-7.5-4.9-7.5-9.5V6z" stroke="C" stroke-width="2" fill="none" stroke-linejoin="round"/>
        <path d="M8.5 12l2.5 2.5 4.5-5" stroke="C" stroke-width="2" fill="none" stroke-linecap="round" stroke-linejoin="round"/>)"},
};

}  // namespace

QPixmap symbol(const char* name, int size, const QColor& color, qreal devicePixelRatio) {
  const int pixels = qMax(1, qRound(size * devicePixelRatio));
  QPixmap pixmap(pixels, pixels);
  pixmap.fill(Qt::transparent);
  for (const auto& drawing : drawings) {
    if (std::strcmp(drawing.name, name) != 0) continue;
    QString body = QString::fromUtf8(drawing.body);
    body.replace(QStringLiteral("\"C\""), QStringLiteral("\"%1\"").arg(color.name(QColor::HexRgb)));
    const QString svg =
        QStringLiteral(R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">%1</svg>)")
            .arg(body);
    QSvgRenderer renderer(svg.toUtf8());
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(color.alphaF());
    renderer.render(&painter);
    break;
  }
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

namespace {

// Draws a symbol at whatever size and screen scale it is asked for, so an
// icon stays sharp on a 1.25 or 1.5 scaled screen and after the window moves
// to a screen of another scale. Disabled, it takes the disabled text colour.
class SymbolIconEngine : public QIconEngine {
 public:
  SymbolIconEngine(const char* name, QColor color, int size)
      : name_(name), color_(color), size_(size) {}

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  // `size` is in device pixels, as QIcon asks for it.
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
    const int side = size.isValid() ? qRound(std::min(size.width(), size.height()) / scale) : size_;
    return symbol(name_.c_str(), side, mode == QIcon::Disabled ? QColor(93, 103, 128) : color_,
                  scale);
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap drawn = scaledPixmap(rect.size() * scale, mode, state, scale);
    painter->drawPixmap(rect.topLeft(), drawn);
  }
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = size.isValid() ? std::min({size.width(), size.height(), size_}) : size_;
    return {side, side};
  }
  QIconEngine* clone() const override { return new SymbolIconEngine(*this); }

 private:
  std::string name_;
  QColor color_;
  int size_;
};

}  // namespace

QIcon symbolIcon(const char* name, const QColor& color, int size) {
  return QIcon(new SymbolIconEngine(name, color, size));
}

}  // namespace tavuno::ui

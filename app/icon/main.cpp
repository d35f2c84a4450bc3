// tavuno-icon: renders the scalable icon into the PNG sizes of the hicolor
// theme, at build time.
//   tavuno-icon ICON.svg OUTPUT_DIR SIZE...
// writes OUTPUT_DIR/SIZExSIZE/apps/<name of ICON>.png for every SIZE.
#include <cstdio>
#include <cstdlib>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: tavuno-icon ICON.svg OUTPUT_DIR SIZE...\n");
    return 2;
  }
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!renderer.isValid()) {
    std::fprintf(stderr, "tavuno-icon: cannot read %s\n", argv[1]);
    return 1;
  }
  const QString name = QFileInfo(QString::fromLocal8Bit(argv[1])).completeBaseName();
  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size <= 0 || size > 4096) {
      std::fprintf(stderr, "tavuno-icon: bad size %s\n", argv[i]);
      return 2;
    }
    const QString folder =
        QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    if (!QDir().mkpath(folder) || !image.save(folder + QLatin1Char('/') + name + ".png")) {
      std::fprintf(stderr, "tavuno-icon: cannot write into %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}

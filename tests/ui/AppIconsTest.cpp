#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <QImage>
#include <QLabel>

#include "ui/AppFixture.h"
#include "ui/views/AppRow.h"
#include "ui/views/AppsView.h"
#include "ui/views/MainWindow.h"
#include "ui/views/MixerView.h"
#include "ui/widgets/AppIcons.h"
#include "ui/widgets/Icons.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;

// An icon theme of one folder and a loose icon file, in a temporary folder.
class IconFolder {
 public:
  IconFolder() : root_(fs::temp_directory_path() / ("tavuno-icons-" + std::to_string(getpid()))) {
    fs::create_directories(root_ / "icons/hicolor/48x48/apps");
    std::ofstream(root_ / "icons/hicolor/index.theme")
        << "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
           "[48x48/apps]\nSize=48\nContext=Applications\nType=Threshold\n";
    image(Qt::red).save(QString::fromStdString((root_ / "icons/hicolor/48x48/apps/player.png")));
    image(Qt::green).save(
        QString::fromStdString((root_ / "icons/hicolor/48x48/apps/org.example.Named.png")));
    image(Qt::blue).save(QString::fromStdString(file()));
    QIcon::setThemeSearchPaths({QString::fromStdString((root_ / "icons").string())});
    QIcon::setThemeName(QStringLiteral("hicolor"));
  }
  ~IconFolder() {
    QIcon::setThemeName(QString());
    fs::remove_all(root_);
  }
  std::string file() const { return (root_ / "loose.png").string(); }
  static QImage image(Qt::GlobalColor color) {
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(color);
    return image;
  }
  static QRgb colorOf(const QIcon& icon) { return icon.pixmap(16).toImage().pixel(8, 8); }

 private:
  fs::path root_;
};

TEST(AppIcons, ThePlatformsIconElseTheThemeIconOfTheIdElseTheGenericOne) {
  IconFolder folder;
  ui::AppIcons icons([&](const std::string& id) -> std::optional<std::string> {
    if (id == "org.example.Player") return "player";
    if (id == "org.example.Loose") return folder.file();
    if (id == "org.example.Extension") return "player.png";
    if (id == "org.example.Missing") return "no-such-icon";
    return std::nullopt;
  });
  EXPECT_EQ(IconFolder::colorOf(icons.icon("org.example.Player")), QColor(Qt::red).rgb());
  EXPECT_EQ(IconFolder::colorOf(icons.icon("org.example.Loose")), QColor(Qt::blue).rgb());
  EXPECT_EQ(IconFolder::colorOf(icons.icon("org.example.Extension")), QColor(Qt::red).rgb());
  EXPECT_EQ(IconFolder::colorOf(icons.icon("org.example.Named")), QColor(Qt::green).rgb());
  const QIcon generic = icons.icon("pid:42");
  EXPECT_FALSE(generic.isNull());
  EXPECT_EQ(icons.icon("org.example.Missing").cacheKey(), generic.cacheKey());
  EXPECT_NE(IconFolder::colorOf(ui::AppIcons().icon("org.example.Player")), QColor(Qt::red).rgb())
      << "no platform: the generic icon";
}

// The mixer's row shows the platform's icon; an app without one the generic.
TEST(AppIcons, TheMixerRowShowsTheAppsOwnIcon) {
  IconFolder folder;
  AppOptions options;
  auto settings = std::make_unique<InMemoryDefaultsStore>();
  settings->set("onboardingDone", true);
  options.settings = std::move(settings);
  options.tray = [] { return std::make_unique<test::FakeTray>(); };
  options.desktop = TavunoApp::simulatedDesktop();
  options.platform = [&](DefaultsStore& defaults, MainQueue& main) {
    Platform platform = TavunoApp::demoPlatform()(defaults, main);
    platform.appIconName = [&](const std::string& id) -> std::optional<std::string> {
      if (id == "org.tavuno.demo.Player") return folder.file();
      return std::nullopt;
    };
    return platform;
  };
  TavunoApp app(std::move(options));
  auto* apps = app.window()->mixer()->apps();
  ASSERT_TRUE(test::processEventsUntil([&] { return apps->rowCount() == 3; }));
  const QImage player = apps->row("org.tavuno.demo.Player")->icon()->pixmap().toImage();
  const QImage browser = apps->row("org.tavuno.demo.Browser")->icon()->pixmap().toImage();
  EXPECT_EQ(player.pixel(14, 14), QColor(Qt::blue).rgb());
  EXPECT_NE(browser.pixel(14, 14), QColor(Qt::blue).rgb());
  EXPECT_FALSE(browser.isNull()) << "the generic icon is drawn";
}

// Symbols are drawn for the scale they are shown at (a 1.5 screen gets 27
// pixels for 18, not 36 scaled down), and a disabled one is greyed.
TEST(Symbols, AreDrawnAtTheScaleAndInTheStateAsked) {
  const QIcon icon = ui::symbolIcon("speaker", QColor(255, 255, 255), 18);
  EXPECT_EQ(icon.pixmap(QSize(18, 18), 1.5).size(), QSize(27, 27));
  EXPECT_EQ(icon.pixmap(QSize(18, 18), 2.0).size(), QSize(36, 36));
  auto brightest = [](const QImage& image) {
    int most = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (qAlpha(image.pixel(x, y)) > 200) most = std::max(most, qRed(image.pixel(x, y)));
    return most;
  };
  EXPECT_EQ(brightest(icon.pixmap(QSize(18, 18), 1.0, QIcon::Normal).toImage()), 255);
  EXPECT_LT(brightest(icon.pixmap(QSize(18, 18), 1.0, QIcon::Disabled).toImage()), 120);
}

}  // namespace
}  // namespace tavuno

#include "platform/qt/EmbeddedCatalog.h"

#include <map>
#include <mutex>

#include <QFile>

#include "base/text/PoCatalog.h"

namespace tavuno {

std::optional<std::string> embeddedCatalogLookup(const std::string& code, std::string_view key) {
  static std::mutex mutex;
  static std::map<std::string, std::optional<PoCatalog>> tables;
  std::lock_guard lock(mutex);
  auto it = tables.find(code);
  if (it == tables.end()) {
    std::optional<PoCatalog> table;
    QFile file(QString(":/lang/%1.po").arg(QString::fromStdString(code)));
    if (file.open(QIODevice::ReadOnly)) {
      const QByteArray bytes = file.readAll();
      table = PoCatalog::parse(std::string_view(bytes.constData(), bytes.size()));
    }
    it = tables.emplace(code, std::move(table)).first;
  }
  if (!it->second) return std::nullopt;
  return it->second->lookup(key);
}

}  // namespace tavuno

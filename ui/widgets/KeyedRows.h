#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QBoxLayout>
#include <QWidget>

namespace tavuno::ui {

// The rows of a list, one widget per key (app id, device UID, ...), kept
// across updates: a row whose key stays is reused and moved into place, never
// rebuilt, so a held slider, the keyboard focus and a screen reader's place
// survive every refresh. Rows live in `layout` from index `first` on.
template <class Row>
class KeyedRows {
 public:
  KeyedRows(QBoxLayout* layout, int first = 0) : layout_(layout), first_(first) {}

  // Makes the rows match `keys` in order: makes missing rows with `make`,
  // deletes rows whose key went, moves the others only when out of place. A
  // repeated key gets one row, at its first place.
  // Returns the rows in order.
  std::vector<Row*> sync(const std::vector<std::string>& keys,
                         const std::function<Row*(const std::string&)>& make) {
    std::map<std::string, Row*> kept;
    for (const auto& key : keys) {
      auto it = rows_.find(key);
      if (it != rows_.end()) {
        kept.emplace(key, it->second);
        rows_.erase(it);
      }
    }
    for (auto& [key, row] : rows_)
      delete row;  // removes it from the layout too
    rows_ = std::move(kept);
    std::vector<Row*> ordered;
    for (const auto& key : keys) {
      Row*& row = rows_[key];
      if (std::find(ordered.begin(), ordered.end(), row) != ordered.end() && row) continue;
      if (!row) row = make(key);
      const int wanted = first_ + static_cast<int>(ordered.size());
      if (layout_->indexOf(row) != wanted) {
        layout_->removeWidget(row);
        layout_->insertWidget(wanted, row);
      }
      ordered.push_back(row);
    }
    return ordered;
  }

  Row* find(const std::string& key) const {
    auto it = rows_.find(key);
    return it == rows_.end() ? nullptr : it->second;
  }
  std::size_t size() const { return rows_.size(); }

 private:
  QBoxLayout* layout_;
  int first_;
  std::map<std::string, Row*> rows_;
};

}  // namespace tavuno::ui

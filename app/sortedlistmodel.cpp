#include "app/sortedlistmodel.h"

#include <algorithm>

namespace vantel {

bool SortedListModel::lessThan(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) < 0;
}

int SortedListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(items_.size());
}

QVariant SortedListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= items_.size()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) return items_.at(index.row());
    return {};
}

int SortedListModel::add(const QString &text) {
    const auto it = std::upper_bound(items_.begin(), items_.end(), text, lessThan);
    const int row = int(it - items_.begin());
    beginInsertRows({}, row, row);
    items_.insert(row, text);
    chars_ += text.size();
    endInsertRows();
    return row;
}

void SortedListModel::addMany(const QStringList &texts) {
    if (texts.isEmpty()) return;
    beginResetModel();
    QStringList incoming = texts;
    // A list file as it was saved is in order already: then nothing is sorted or merged.
    if (!std::is_sorted(incoming.begin(), incoming.end(), lessThan))
        std::stable_sort(incoming.begin(), incoming.end(), lessThan);
    for (const QString &text : incoming)
        chars_ += text.size();
    if (items_.isEmpty() || !lessThan(incoming.constFirst(), items_.constLast())) {
        items_ += incoming;
    } else {
        QStringList merged;
        merged.reserve(items_.size() + incoming.size());
        std::merge(items_.begin(), items_.end(), incoming.begin(), incoming.end(),
                   std::back_inserter(merged), lessThan);
        items_ = std::move(merged);
    }
    endResetModel();
}

void SortedListModel::removeAt(int row) {
    if (row < 0 || row >= items_.size()) return;
    beginRemoveRows({}, row, row);
    chars_ -= items_.at(row).size();
    items_.removeAt(row);
    endRemoveRows();
}

void SortedListModel::clear() {
    beginResetModel();
    items_.clear();
    chars_ = 0;
    endResetModel();
}

int SortedListModel::indexOf(const QString &text) const {
    // Equal texts are equal case-insensitively too, so the search stays within that range.
    auto [lo, hi] = std::equal_range(items_.begin(), items_.end(), text, lessThan);
    for (auto it = lo; it != hi; ++it)
        if (*it == text) return int(it - items_.begin());
    return -1;
}

}  // namespace vantel

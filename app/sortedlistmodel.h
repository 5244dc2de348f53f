// A list of texts kept in ascending order, case ignored, as the program's sorted lists are
// (message list, send queue, address histories). Entries that compare equal keep the order in
// which they arrived. Row 0 is the entry that sorts first.
#pragma once

#include <QAbstractListModel>
#include <QStringList>

namespace vantel {

class SortedListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Inserts at the sorted place and returns the row.
    int add(const QString &text);
    // Inserts many at once (one reset), keeping the sorted order.
    void addMany(const QStringList &texts);
    void removeAt(int row);
    void clear();
    qsizetype count() const { return items_.size(); }
    const QString &at(int row) const { return items_.at(row); }
    const QStringList &items() const { return items_; }
    // Characters of all entries together.
    qsizetype totalChars() const { return chars_; }
    // Row of an entry equal to `text` (exact, case-sensitive), or -1.
    int indexOf(const QString &text) const;

    static bool lessThan(const QString &a, const QString &b);

private:
    QStringList items_;
    qsizetype chars_ = 0;
};

}  // namespace vantel

// The message list as the window shows it: while a search is typed, only the lines whose time,
// number, name or whole text hold every typed word, case and accents ignored; a part of a
// concatenated message with its place ("(1/3) ") in front of its text. The list's own lines,
// its file and what other programs read of it stay as they are.
#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <vector>

#include "app/listrecords.h"

namespace vantel {

class SortedListModel;

// A text as searches compare it, UTF-8: compatibility decomposition (NFKD), combining marks
// dropped, case folded. "Crème" and "CREME" both give "creme".
QByteArray SearchFold(QStringView text);
// The list line as shown: a part of a concatenated message gets its place in front of its
// text, which keeps its 50 columns (the end of the text gives way).
QString ShownLine(const QString &line);

class ListFilterModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ListFilterModel(const SortedListModel &source, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The blank-separated words a shown line must hold; "" shows every line. The first search
    // reads every line once; later ones, and lines added meanwhile, use what it kept.
    void setQuery(QStringView query);
    bool filtering() const { return !words_.isEmpty(); }
    // The names searches find numbers by; a new book reads the lines again at the next search.
    void setNames(NameBook names);
    const NameBook &names() const { return names_; }

    int mapToSource(int row) const;
    // The shown row of a list row, -1 when the search hides it.
    int mapFromSource(int sourceRow) const;
    // " 3 items" for the whole list, " 12 of 100000 items" while searching.
    QString countLabel() const;

private:
    // The folded time, number, name and own text of a line, kept in one buffer for all lines
    // (a search reads it from end to end), and the concatenated message it is a part of.
    struct Key {
        qsizetype at = 0;
        qsizetype size = 0;
        int series = -1;
    };
    Key keyOf(const QString &line);
    void buildKeys();
    void dropKeys();
    void forgetKeys(int first, int last);
    bool matches(int sourceRow) const;
    void refilter(const std::vector<int> *candidates);

    void sourceAboutToInsert(int first, int last);
    void sourceInserted(int first, int last);
    void sourceAboutToRemove(int first, int last);
    void sourceRemoved(int first, int last);
    void sourceAboutToReset();
    void sourceReset();

    const SortedListModel &source_;
    NameBook names_;
    QByteArrayList words_;
    std::vector<int> rows_;  // list rows shown while filtering, ascending
    // One key a list row once a search has asked for them; empty before.
    bool keysBuilt_ = false;
    std::vector<Key> keys_;
    QByteArray keyText_;
    qsizetype unusedKeyText_ = 0;  // of the keys of removed lines
    ConcatenatedTexts parts_;
    QHash<QString, int> seriesIds_;
    std::vector<QByteArray> seriesTexts_;   // folded whole text of each series, "" while partial
    std::pair<int, int> removing_{-1, -1};  // shown rows a removal in progress takes away
};

}  // namespace vantel

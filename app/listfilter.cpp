#include "app/listfilter.h"

#include <string.h>

#include <algorithm>
#include <utility>

#include "app/listline.h"
#include "app/sortedlistmodel.h"

namespace vantel {

QByteArray SearchFold(QStringView text) {
    // Most texts are plain ASCII, which has nothing to decompose: only the case to fold.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        QByteArray folded(text.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char c = char(text[i].unicode());
            folded[i] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        }
        return folded;
    }
    QString folded = text.toString().normalized(QString::NormalizationForm_KD);
    folded.removeIf([](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
               category == QChar::Mark_Enclosing;
    });
    return folded.toCaseFolded().toUtf8();
}

QString ShownLine(const QString &line) {
    constexpr qsizetype kText = kListColumns[0].width + 1 + kListColumns[1].width + 1;
    constexpr qsizetype kWidth = kListColumns[2].width;
    if (line.size() < kFrameColumn) return line;
    const QString place = PartPlace(PartOf(DecodeListLine(line)));
    if (place.isEmpty()) return line;
    QString shown = line.left(kText) + place;
    shown += QStringView(line).sliced(kText, kWidth - place.size());
    shown += QStringView(line).sliced(kText + kWidth);
    return shown;
}

ListFilterModel::ListFilterModel(const SortedListModel &source, QObject *parent)
    : QAbstractListModel(parent), source_(source) {
    connect(&source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex &, int first, int last) { sourceAboutToInsert(first, last); });
    connect(&source, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { sourceInserted(first, last); });
    connect(&source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { sourceAboutToRemove(first, last); });
    connect(&source, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex &, int first, int last) { sourceRemoved(first, last); });
    connect(&source, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { sourceAboutToReset(); });
    connect(&source, &QAbstractItemModel::modelReset, this, [this] { sourceReset(); });
}

int ListFilterModel::rowCount(const QModelIndex &parent) const {
    if (parent.isValid()) return 0;
    return filtering() ? int(rows_.size()) : int(source_.count());
}

QVariant ListFilterModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const QString &line = source_.at(mapToSource(index.row()));
    if (role == Qt::DisplayRole) return ShownLine(line);
    if (role == Qt::EditRole) return line;
    return {};
}

int ListFilterModel::mapToSource(int row) const {
    if (row < 0 || row >= rowCount()) return -1;
    return filtering() ? rows_[row] : row;
}

int ListFilterModel::mapFromSource(int sourceRow) const {
    if (sourceRow < 0 || sourceRow >= source_.count()) return -1;
    if (!filtering()) return sourceRow;
    const auto it = std::lower_bound(rows_.begin(), rows_.end(), sourceRow);
    return it != rows_.end() && *it == sourceRow ? int(it - rows_.begin()) : -1;
}

QString ListFilterModel::countLabel() const {
    const qsizetype total = source_.count();
    if (!filtering()) return CountLabelText(total);
    return QStringLiteral(" %1 of %2 %3")
        .arg(rows_.size())
        .arg(total)
        .arg(total == 1 ? QStringLiteral("item") : QStringLiteral("items"));
}

void ListFilterModel::setNames(NameBook names) {
    names_ = std::move(names);
    dropKeys();
    if (filtering()) refilter(nullptr);
}

void ListFilterModel::setQuery(QStringView query) {
    QByteArrayList words;
    for (const QStringView word : query.split(u' ', Qt::SkipEmptyParts))
        if (QByteArray folded = SearchFold(word.trimmed()); !folded.isEmpty()) words << folded;
    if (words == words_) return;
    if (words.isEmpty()) {
        beginResetModel();
        words_.clear();
        rows_ = {};
        endResetModel();
        return;
    }
    // Typing on narrows a search: each word it had is part of a word it has now, so only the
    // lines shown can stay.
    const bool narrows =
        filtering() && std::all_of(words_.begin(), words_.end(), [&](auto &old) {
            return std::any_of(words.begin(), words.end(),
                               [&](const QByteArray &word) { return word.contains(old); });
        });
    words_ = std::move(words);
    if (narrows) {
        const std::vector<int> shown = rows_;
        refilter(&shown);
    } else {
        refilter(nullptr);
    }
}

ListFilterModel::Key ListFilterModel::keyOf(const QString &line) {
    const MessageFields fields = DecodeListLine(line);
    Key key;
    QString text = fields.time + u'\n';
    if (fields.addressType.startsWith(u"International")) text += u'+';
    text += fields.address + u'\n' + names_.nameOf(fields.address, fields.addressType) + u'\n' +
            fields.text;
    const QByteArray folded = SearchFold(text);
    key.at = keyText_.size();
    key.size = folded.size();
    keyText_ += folded;
    // A part is found by the text of the whole message too, once every part is listed.
    if (const Concatenation part = PartOf(fields); part.valid()) {
        parts_.add(fields, part);
        const QString series = ConcatenatedTexts::Key(fields, part);
        auto id = seriesIds_.constFind(series);
        if (id == seriesIds_.cend()) {
            id = seriesIds_.insert(series, int(seriesTexts_.size()));
            seriesTexts_.emplace_back();
        }
        key.series = *id;
        if (seriesTexts_[key.series].isEmpty())
            seriesTexts_[key.series] = SearchFold(parts_.joined(fields, part));
    }
    return key;
}

void ListFilterModel::buildKeys() {
    if (keysBuilt_) return;
    keys_.clear();
    keys_.reserve(source_.count());
    keyText_.clear();
    unusedKeyText_ = 0;
    for (const QString &line : source_.items())
        keys_.push_back(keyOf(line));
    keysBuilt_ = true;
}

void ListFilterModel::dropKeys() {
    keysBuilt_ = false;
    keys_ = {};
    keyText_ = {};
    unusedKeyText_ = 0;
    parts_.clear();
    seriesIds_.clear();
    seriesTexts_ = {};
}

void ListFilterModel::forgetKeys(int first, int last) {
    for (int row = first; row <= last; ++row)
        unusedKeyText_ += keys_[row].size;
    keys_.erase(keys_.begin() + first, keys_.begin() + last + 1);
    // Once most of the buffer is of removed lines, the others move together again.
    if (unusedKeyText_ <= keyText_.size() / 2) return;
    QByteArray kept;
    kept.reserve(keyText_.size() - unusedKeyText_);
    for (Key &key : keys_) {
        const qsizetype at = kept.size();
        kept.append(keyText_.constData() + key.at, key.size);
        key.at = at;
    }
    keyText_ = std::move(kept);
    unusedKeyText_ = 0;
}

bool ListFilterModel::matches(int sourceRow) const {
    const Key &key = keys_[sourceRow];
    const QByteArray *whole = key.series >= 0 ? &seriesTexts_[key.series] : nullptr;
    const QByteArrayView text(keyText_.constData() + key.at, key.size);
    // Keys are short: finding the first byte with memchr and comparing the rest beats setting
    // up a general substring search for each of them.
    const auto holds = [](QByteArrayView text, const QByteArray &word) {
        if (word.size() > text.size()) return false;
        const char *at = text.data();
        const char *const last = at + text.size() - word.size();
        const char first = word.front();
        while (at <= last) {
            at = static_cast<const char *>(memchr(at, first, size_t(last - at + 1)));
            if (!at) return false;
            if (memcmp(at + 1, word.constData() + 1, size_t(word.size() - 1)) == 0) return true;
            ++at;
        }
        return false;
    };
    for (const QByteArray &word : words_)
        if (!holds(text, word) && !(whole && holds(*whole, word))) return false;
    return true;
}

void ListFilterModel::refilter(const std::vector<int> *candidates) {
    buildKeys();
    std::vector<int> rows;
    if (candidates) {
        for (const int row : *candidates)
            if (matches(row)) rows.push_back(row);
    } else {
        for (int row = 0; row < int(keys_.size()); ++row)
            if (matches(row)) rows.push_back(row);
    }
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void ListFilterModel::sourceAboutToInsert(int first, int last) {
    if (!filtering()) beginInsertRows({}, first, last);
}

void ListFilterModel::sourceInserted(int first, int last) {
    const int count = last - first + 1;
    bool completed = false;  // a new part made a series whole: its other parts may match now
    if (keysBuilt_) {
        std::vector<Key> added;
        for (int row = first; row <= last; ++row) {
            Key key = keyOf(source_.at(row));
            completed |= key.series >= 0 && !seriesTexts_[key.series].isEmpty();
            added.push_back(std::move(key));
        }
        keys_.insert(keys_.begin() + first, std::make_move_iterator(added.begin()),
                     std::make_move_iterator(added.end()));
    }
    if (!filtering()) {
        endInsertRows();
        return;
    }
    const auto at = std::lower_bound(rows_.begin(), rows_.end(), first);
    for (auto it = at; it != rows_.end(); ++it)
        *it += count;
    if (completed) {
        refilter(nullptr);
        return;
    }
    std::vector<int> shown;
    for (int row = first; row <= last; ++row)
        if (matches(row)) shown.push_back(row);
    if (shown.empty()) return;
    const int pos = int(at - rows_.begin());
    beginInsertRows({}, pos, pos + int(shown.size()) - 1);
    rows_.insert(rows_.begin() + pos, shown.begin(), shown.end());
    endInsertRows();
}

void ListFilterModel::sourceAboutToRemove(int first, int last) {
    if (!filtering()) {
        beginRemoveRows({}, first, last);
        return;
    }
    const int lo = int(std::lower_bound(rows_.begin(), rows_.end(), first) - rows_.begin());
    const int hi = int(std::upper_bound(rows_.begin(), rows_.end(), last) - rows_.begin());
    removing_ = {lo, hi};
    if (lo < hi) beginRemoveRows({}, lo, hi - 1);
}

void ListFilterModel::sourceRemoved(int first, int last) {
    const int count = last - first + 1;
    if (keysBuilt_) forgetKeys(first, last);
    if (!filtering()) {
        endRemoveRows();
        return;
    }
    const auto [lo, hi] = std::exchange(removing_, {-1, -1});
    if (lo < 0) return;
    rows_.erase(rows_.begin() + lo, rows_.begin() + hi);
    for (auto it = rows_.begin() + lo; it != rows_.end(); ++it)
        *it -= count;
    if (lo < hi) endRemoveRows();
}

void ListFilterModel::sourceAboutToReset() {
    beginResetModel();
}

void ListFilterModel::sourceReset() {
    dropKeys();
    if (filtering()) {
        buildKeys();
        rows_.clear();
        for (int row = 0; row < int(keys_.size()); ++row)
            if (matches(row)) rows_.push_back(row);
    }
    endResetModel();
}

}  // namespace vantel

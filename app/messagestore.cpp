#include "app/messagestore.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

#include "app/listline.h"
#include "app/wholefile.h"
#include "pdu/primitives.h"

namespace vantel {

namespace {

// Time column and its separator: lines that share them have the same time stamp.
constexpr qsizetype kTimeColumnWidth = kListColumns[0].width + 1;
// The trace window keeps 16000 characters, at most 593 of the shortest note ("Duplicate
// Message Ignored" and CR LF): more notes in a row than that change nothing on screen.
constexpr int kMaxRepeatedNotes = 600;
// Lines a batch add collects before it first shows them.
constexpr qsizetype kFirstMerge = 4096;

const QString kDuplicateMessage = QStringLiteral("Duplicate Message Ignored");
const QString kDuplicateTimestamp = QStringLiteral("Duplicate Timestamp - different message");

}  // namespace

QStringList ListFileLines::take(qsizetype count) {
    QStringList lines;
    const QByteArrayView data(data_);
    while (count-- > 0 && pos_ < data.size()) {
        qsizetype end = data.indexOf('\n', pos_);
        if (end < 0) end = data.size();
        qsizetype stop = end;
        if (loneCr_) {
            // The first CR before the LF ends the line; CR LF is one line end.
            const qsizetype cr = data.sliced(pos_, end - pos_).indexOf('\r');
            if (cr >= 0 && pos_ + cr + 1 < end) end = stop = pos_ + cr;
        }
        if (stop > pos_ && data.at(stop - 1) == '\r') --stop;
        const QByteArrayView line = data.sliced(pos_, stop - pos_);
        if (plain_) {
            plain_ = end < data.size() && stop == end - 1 && data.at(stop) == '\r';
            char high = 0;
            for (const char c : line)
                high |= c;
            plain_ = plain_ && !(high & 0x80);
        }
        lines.append(FromAnsi(line));
        pos_ = end + 1;
    }
    return lines;
}

QStringList SplitListFile(QByteArrayView data, bool loneCr) {
    return ListFileLines(data.toByteArray(), loneCr).take(data.size() + 1);
}

ListFileReader::ListFileReader(QByteArray data, QObject *parent)
    : QObject(parent), data_(std::move(data)) {
    // Batches of whole lines, small enough for the window's thread to index one between two
    // turns of its event loop.
    constexpr qsizetype kBatchOctets = 256 * 1024;
    std::vector<std::pair<qsizetype, qsizetype>> ranges;
    for (qsizetype from = 0; from < data_.size();) {
        qsizetype to = data_.indexOf('\n', std::min(from + kBatchOctets, data_.size() - 1));
        to = to < 0 ? data_.size() : to + 1;
        ranges.emplace_back(from, to);
        from = to;
    }
    batches_.resize(ranges.size());
    workers_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    for (size_t i = 0; i < ranges.size(); ++i) {
        workers_.start([this, i, range = ranges[i]] {
            ListFileLines lines(QByteArray::fromRawData(data_.constData() + range.first,
                                                        range.second - range.first));
            QList<ListLine> made;
            for (const QString &frame : lines.take(range.second - range.first + 1))
                made.append(MakeListLine(frame));
            {
                const QMutexLocker lock(&mutex_);
                batches_[i] = {std::move(made), lines.plain(), true};
            }
            QMetaObject::invokeMethod(
                this, [this] { Q_EMIT batchMade(); }, Qt::QueuedConnection);
        });
    }
}

ListFileReader::~ListFileReader() {
    workers_.clear();
    workers_.waitForDone();
}

std::optional<QList<ListLine>> ListFileReader::take() {
    const QMutexLocker lock(&mutex_);
    if (atEnd() || !batches_[next_].made) return std::nullopt;
    Batch &batch = batches_[next_++];
    plain_ = plain_ && batch.plain;
    return std::move(batch.lines);
}

QByteArray JoinListFile(const QStringList &lines) {
    QByteArray out;
    qsizetype size = 0;
    for (const QString &line : lines)
        size += line.size() + 2;
    out.reserve(size);
    for (const QString &line : lines) {
        out += ToAnsi(line);
        out += "\r\n";
    }
    return out;
}

MessageStore::MessageStore(TraceFn trace, QDir dir, QObject *parent)
    : QObject(parent), trace_(std::move(trace)), dir_(std::move(dir)) {
    for (auto signal : {&SortedListModel::rowsInserted, &SortedListModel::rowsRemoved})
        connect(&model_, signal, this, [this] { listFileCurrent_ = false; });
    connect(&model_, &SortedListModel::modelReset, this, [this] { listFileCurrent_ = false; });
}

bool MessageStore::IsNewMessage(const QString &line) const {
    return checkNew(line);
}

bool MessageStore::checkNew(const QString &line) const {
    const bool known = lines_.contains(line);
    // Every entry with the same time column but another text gets its own note.
    int notes = timeColumns_.value(line.left(kTimeColumnWidth)) - (known ? 1 : 0);
    notes = std::min(notes, kMaxRepeatedNotes);
    for (int i = 0; i < notes; ++i)
        if (trace_) trace_(kDuplicateTimestamp);
    return !known;
}

void MessageStore::indexLine(const QString &line) {
    lines_.insert(line);
    ++timeColumns_[line.left(kTimeColumnWidth)];
}

bool MessageStore::AddMessage(const QString &frame) {
    flushPending();
    const ListLine made = MakeListLine(frame);
    if (checkNew(made.line)) {
        indexLine(made.line);
        model_.add(made.line);
        Q_EMIT countChanged(countLabel());
        Q_EMIT messageAdded(int(model_.count()) - 1);
    } else if (trace_) {
        trace_(kDuplicateMessage);
    }
    return made.result;
}

void MessageStore::AddMessages(const QStringList &frames) {
    QList<ListLine> made;
    made.reserve(frames.size());
    for (const QString &frame : frames)
        made.append(MakeListLine(frame));
    AddListLines(std::move(made));
}

void MessageStore::AddListLines(QList<ListLine> made) {
    // The notes of a batch go to the trace together; only as many as the trace window keeps.
    QStringList notes;
    TraceFn trace = std::exchange(trace_, [&notes](const QString &t) {
        if (notes.size() >= 2 * kMaxRepeatedNotes) notes.remove(0, kMaxRepeatedNotes);
        notes.append(t);
    });
    pending_.reserve(pending_.size() + made.size());
    for (ListLine &listed : made) {
        if (checkNew(listed.line)) {
            indexLine(listed.line);
            if (loadedAsListed_ && SortedListModel::lessThan(listed.line, lastLoaded_))
                loadedAsListed_ = false;
            lastLoaded_ = listed.line;
            pending_.append(std::move(listed.line));
        } else {
            loadedAsListed_ = false;
            trace_(kDuplicateMessage);
        }
    }
    trace_ = std::move(trace);
    if (trace_)
        for (qsizetype i = std::max<qsizetype>(0, notes.size() - kMaxRepeatedNotes);
             i < notes.size(); ++i)
            trace_(notes.at(i));
    // Merging costs the whole list: merge when the waiting lines are as many as the listed
    // ones, so that a long load merges each line a few times, not once per batch.
    if (pending_.size() >= std::max<qsizetype>(model_.count(), kFirstMerge)) flushPending();
}

void MessageStore::flushPending() {
    if (pending_.isEmpty()) return;
    if (pending_.size() == 1)
        model_.add(pending_.constFirst());
    else
        model_.addMany(pending_);
    pending_.clear();
    Q_EMIT countChanged(countLabel());
    Q_EMIT messageAdded(int(model_.count()) - 1);
}

void MessageStore::finishLoad(bool plainFile) {
    flushPending();
    listFileCurrent_ = plainFile && loadedAsListed_;
    savedStamp_ = listFileStamp();
    loadedAsListed_ = true;
    lastLoaded_.clear();
}

std::optional<std::pair<qint64, QDateTime>> MessageStore::listFileStamp() const {
    const QFileInfo info(filePath(MessageListFile));
    if (!info.exists()) return std::nullopt;
    return std::pair(info.size(), info.lastModified());
}

void MessageStore::RemoveMessage(int row) {
    if (row < 0 || row >= model_.count()) return;
    const QString line = model_.at(row);
    lines_.remove(line);
    const QString time = line.left(kTimeColumnWidth);
    if (auto it = timeColumns_.find(time); it != timeColumns_.end() && --it.value() <= 0)
        timeColumns_.erase(it);
    model_.removeAt(row);
    Q_EMIT countChanged(countLabel());
}

void MessageStore::clear() {
    pending_.clear();
    lines_.clear();
    timeColumns_.clear();
    model_.clear();
    Q_EMIT countChanged(countLabel());
}

QString MessageStore::countLabel() const {
    return CountLabelText(model_.count());
}

QString FrameOfStoredLine(QStringView line) {
    // A damaged frame may hold spaces of its own; the columns before it are fixed.
    if (line.size() >= kFrameColumn && line.at(kFrameColumn - 1) == u' ')
        return line.sliced(kFrameColumn).toString();
    return FrameOfLine(line).toString();
}

QString MessageStore::frameAt(int row) const {
    if (row < 0 || row >= model_.count()) return {};
    return FrameOfStoredLine(model_.at(row));
}

QString MessageStore::filePath(QStringView name) const {
    return dir_.filePath(name.toString());
}

QString SaveErrorText(QStringView name, const QString &reason) {
    QString text = QStringLiteral("Error saving ") + name.toString();
    if (!reason.isEmpty()) text += QStringLiteral(": ") + reason;
    return text;
}

bool MessageStore::AppendListFile(const QString &frame, QString *error) {
    return AppendLines(MessageListFile, {frame}, error);
}

bool MessageStore::AppendLines(QStringView name, const QStringList &lines, QString *error) {
    if (name == MessageListFile) listFileCurrent_ = false;
    QFile file(filePath(name));
    auto fail = [&](const QString &reason) {
        if (error) *error = reason;
        return false;
    };
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return fail(file.errorString());
    const qint64 size = file.size();
    QByteArray data = JoinListFile(lines);
    // A last line without its line end (cut short, or edited by hand) keeps its own line.
    if (size > 0 && file.seek(size - 1)) {
        char last = 0;
        if (file.getChar(&last) && last != '\n') data.prepend("\r\n");
    }
    if (file.write(data) != data.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.resize(size);  // no half line stays behind
        return fail(reason);
    }
    return true;
}

std::optional<QByteArray> MessageStore::ReadFile(QStringView name, QString *error) const {
    const QString path = filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(path);
        if (error && (info.exists() || info.isSymLink())) *error = file.errorString();
        return std::nullopt;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    return data;
}

std::optional<QStringList> MessageStore::ReadListFile(QStringView name, QString *error,
                                                      bool loneCr) const {
    std::optional<QByteArray> data = ReadFile(name, error);
    if (!data) return std::nullopt;
    return SplitListFile(*data, loneCr);
}

std::optional<QByteArray> MessageStore::LoadFile(QStringView name) {
    QString error;
    std::optional<QByteArray> data = ReadFile(name, &error);
    if (!data && !error.isEmpty()) {
        held_.insert(name.toString());
        if (trace_)
            trace_(QStringLiteral("Cannot read ") + name.toString() + QStringLiteral(": ") + error);
    }
    return data;
}

std::optional<QStringList> MessageStore::LoadListFile(QStringView name, bool loneCr) {
    std::optional<QByteArray> data = LoadFile(name);
    if (!data) return std::nullopt;
    return SplitListFile(*data, loneCr);
}

bool MessageStore::WriteListFile(QStringView name, const QStringList &lines, QString *error) {
    if (isHeld(name)) return true;
    QString reason;
    const bool ok = SaveWholeFile(filePath(name), JoinListFile(lines), &reason);
    if (!ok) {
        if (error) *error = reason;
        if (trace_) trace_(SaveErrorText(name, reason));
    }
    return ok;
}

bool MessageStore::SaveListFile(QString *error) {
    flushPending();
    // Nothing changed since the file was loaded or written, there or here: it stays.
    if (listFileCurrent_ && savedStamp_ && listFileStamp() == savedStamp_) return true;
    QStringList frames;
    frames.reserve(model_.count());
    for (int row = 0; row < model_.count(); ++row)
        frames.append(frameAt(row));
    const bool saved = WriteListFile(MessageListFile, frames, error);
    listFileCurrent_ = saved && !isHeld(MessageListFile);
    savedStamp_ = listFileStamp();
    return saved;
}

}  // namespace vantel

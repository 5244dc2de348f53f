#include "app/sendqueuefile.h"

#include <algorithm>
#include <utility>

#include "app/messagestore.h"
#include "app/sortedlistmodel.h"
#include "compose/queueentry.h"
#include "link/trace.h"

namespace vantel {

QVariant SendQueueModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    if (role == Qt::DisplayRole) return QueueEntryDisplay(at(index.row()));
    if (role == Qt::ToolTipRole) return at(index.row());
    return SortedListModel::data(index, role);
}

SendQueueFile::SendQueueFile(SortedListModel &queue, MessageStore &store, TraceFn trace,
                             QObject *parent)
    : QObject(parent), queue_(queue), store_(store), trace_(std::move(trace)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &SendQueueFile::write);
}

void SendQueueFile::load() {
    if (std::optional<QStringList> lines = store_.LoadListFile(SendQueueFileName, true)) {
        QStringList entries;
        entries.reserve(lines->size());
        bool moved = false;
        for (const QString &line : *lines) {
            // An entry queued in either link mode waits for its mode; a blank line is nothing.
            QString pduWhy, blockWhy;
            if (line.trimmed().isEmpty()) {
                moved = true;
                continue;
            }
            if (ReadQueueEntry(line, true, &pduWhy) || ReadQueueEntry(line, false, &blockWhy)) {
                entries << line;
                continue;
            }
            const QString why = pduWhy == blockWhy
                                    ? pduWhy
                                    : QStringLiteral("PDU mode: ") + pduWhy +
                                          QStringLiteral("; Block mode: ") + blockWhy;
            if (reject(line, why))
                moved = true;
            else
                entries << line;  // never lost: it stays, and no link mode sends it
        }
        queue_.addMany(entries);
        if (moved) write();
    }
    for (auto signal : {&SortedListModel::rowsInserted, &SortedListModel::rowsRemoved})
        connect(&queue_, signal, this, &SendQueueFile::changed);
    connect(&queue_, &SortedListModel::modelReset, this, &SendQueueFile::changed);
}

bool SendQueueFile::reject(const QString &entry, const QString &why) {
    QString error;
    const bool moved = store_.AppendLines(RejectedQueueFileName, {entry}, &error);
    const QString reason = why.isEmpty() ? QString() : QStringLiteral(" (") + why + u')';
    if (trace_) {
        if (moved)
            trace_(QStringLiteral("Unreadable send-queue entry moved to ") +
                       RejectedQueueFileName.toString() + QStringLiteral(": ") + Visible(entry) +
                       reason,
                   true);
        else
            trace_(QStringLiteral("Unreadable send-queue entry kept (") +
                       RejectedQueueFileName.toString() + QStringLiteral(" cannot be written: ") +
                       error + QStringLiteral("): ") + Visible(entry) + reason,
                   true);
    }
    return moved;
}

void SendQueueFile::changed() {
    dirty_ = true;
    if (timer_.isActive()) return;
    // The file grows with the queue: waiting twice as long as the last write took keeps the
    // writing to a third of the time however long a burst of changes lasts.
    timer_.start(int(std::min<qint64>(2 * lastWriteMs_, 250)));
}

void SendQueueFile::whenSaved(Done done) {
    if (!dirty_ && !timer_.isActive()) {
        done(!failed_, lastError_);
        return;
    }
    waiting_.push_back(std::move(done));
}

void SendQueueFile::write() {
    timer_.stop();
    dirty_ = false;
    QElapsedTimer clock;
    clock.start();
    QString error;
    failed_ = !store_.WriteListFile(SendQueueFileName, queue_.items(), &error);
    if (store_.isHeld(SendQueueFileName)) {
        failed_ = true;
        error = QStringLiteral("the file could not be read at start-up and is left as it is");
    }
    lastError_ = error;
    proven_ = !failed_;
    lastWriteMs_ = clock.elapsed();
    // A caller told "saved" may change the queue again; that change waits for the next write.
    for (Done &done : std::exchange(waiting_, {}))
        done(!failed_, error);
}

bool SendQueueFile::writable(QString *error) {
    if (!proven_ || failed_) write();
    return flush(error);
}

bool SendQueueFile::flush(QString *error) {
    if (dirty_ || timer_.isActive()) write();
    if (failed_ && error) *error = lastError_;
    return !failed_;
}

}  // namespace vantel

#include "app/sendqueuefile.h"

#include <algorithm>
#include <utility>

#include "app/messagestore.h"
#include "app/sortedlistmodel.h"

namespace vantel {

SendQueueFile::SendQueueFile(SortedListModel &queue, MessageStore &store, QObject *parent)
    : QObject(parent), queue_(queue), store_(store) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &SendQueueFile::write);
}

void SendQueueFile::load() {
    if (std::optional<QStringList> entries = store_.LoadListFile(SendQueueFileName))
        queue_.addMany(*entries);
    for (auto signal : {&SortedListModel::rowsInserted, &SortedListModel::rowsRemoved})
        connect(&queue_, signal, this, &SendQueueFile::changed);
    connect(&queue_, &SortedListModel::modelReset, this, &SendQueueFile::changed);
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
    lastWriteMs_ = clock.elapsed();
    // A caller told "saved" may change the queue again; that change waits for the next write.
    for (Done &done : std::exchange(waiting_, {}))
        done(!failed_, error);
}

bool SendQueueFile::flush(QString *error) {
    if (dirty_ || timer_.isActive()) write();
    if (failed_ && error) *error = lastError_;
    return !failed_;
}

}  // namespace vantel

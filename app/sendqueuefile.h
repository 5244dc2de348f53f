// The send queue on disk: "vantelsq.dat", one entry per line, rewritten whole (atomically) after
// every change of the queue, so that nothing queued is lost when the program is killed. Changes
// that come close together share one write: a burst of n entries costs a few writes, not n.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringView>
#include <QTimer>
#include <functional>
#include <vector>

namespace vantel {

class MessageStore;
class SortedListModel;

inline constexpr QStringView SendQueueFileName = u"vantelsq.dat";

class SendQueueFile : public QObject {
    Q_OBJECT
public:
    // Told once the queue as it stood when asked is on disk (saved), or why it is not.
    using Done = std::function<void(bool saved, const QString &error)>;

    SendQueueFile(SortedListModel &queue, MessageStore &store, QObject *parent = nullptr);

    // Adds the entries of the file to the queue (none when it is missing or unreadable), then
    // follows every change of the queue.
    void load();
    void whenSaved(Done done);
    // Writes now when a change waits; false with *error when the file does not hold the queue.
    bool flush(QString *error = nullptr);

private:
    void changed();
    void write();

    SortedListModel &queue_;
    MessageStore &store_;
    QTimer timer_;
    std::vector<Done> waiting_;
    bool dirty_ = false;
    bool failed_ = false;
    QString lastError_;
    qint64 lastWriteMs_ = 0;
};

}  // namespace vantel

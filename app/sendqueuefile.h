// The send queue on disk: "vantelsq.dat", one entry per line, rewritten whole (atomically) after
// every change of the queue, so that nothing queued is lost when the program is killed. Changes
// that come close together share one write: a burst of n entries costs a few writes, not n.
// A line that no link mode can send is never deleted: it goes, as it was, to
// "vantelsq.rejected" beside the queue.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringView>
#include <QTimer>
#include <functional>
#include <vector>

#include "app/sortedlistmodel.h"

namespace vantel {

class MessageStore;

// The send queue's entries in their sorted order, shown as messages: recipient, the start of
// the text and "part i/n" (QueueEntryDisplay). Every other role, items() and at() give the
// entries as they stand; the tooltip shows the whole entry.
class SendQueueModel : public SortedListModel {
public:
    using SortedListModel::SortedListModel;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};

inline constexpr QStringView SendQueueFileName = u"vantelsq.dat";
inline constexpr QStringView RejectedQueueFileName = u"vantelsq.rejected";

class SendQueueFile : public QObject {
    Q_OBJECT
public:
    // Told once the queue as it stood when asked is on disk (saved), or why it is not.
    using Done = std::function<void(bool saved, const QString &error)>;
    // A line for the trace window and, with toLog, for the log.
    using TraceFn = std::function<void(const QString &text, bool toLog)>;

    SendQueueFile(SortedListModel &queue, MessageStore &store, TraceFn trace = {},
                  QObject *parent = nullptr);

    // Adds the entries of the file to the queue (none when it is missing or unreadable; lines
    // end at CR LF, LF or CR), moves the lines that neither link mode can send to
    // "vantelsq.rejected", then follows every change of the queue.
    void load();
    // Appends `entry` to "vantelsq.rejected" and traces and logs that it was moved and why.
    // False when the file cannot be written (the caller keeps the entry).
    bool reject(const QString &entry, const QString &why);
    void whenSaved(Done done);
    // Writes now when a change waits; false with *error when the file does not hold the queue.
    bool flush(QString *error = nullptr);
    // Whether the file holds the queue and can be written: until a write has worked since the
    // start, or after one failed, it is written now to find out.
    bool writable(QString *error = nullptr);

private:
    void changed();
    void write();

    SortedListModel &queue_;
    MessageStore &store_;
    TraceFn trace_;
    QTimer timer_;
    std::vector<Done> waiting_;
    bool dirty_ = false;
    bool failed_ = false;
    bool proven_ = false;  // a write has worked since the start
    QString lastError_;
    qint64 lastWriteMs_ = 0;
};

}  // namespace vantel

// The message list: every stored frame as a list line, kept sorted, with its duplicate index and
// the message list file "vantelq.dat". No widgets: the main window shows model() in a view.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/listline.h"
#include "app/sortedlistmodel.h"

namespace vantel {

inline constexpr QStringView MessageListFile = u"vantelq.dat";
inline constexpr QStringView AddressListFile = u"smsaddr.dat";
inline constexpr QStringView SCAddressListFile = u"smscaddr.dat";

// The lines of a list file (CR LF or LF ends, Windows-1252), taken a few at a time. A missing
// final line end still gives its line; no line is ever dropped except the empty text after
// the last line end.
// "Error saving vantelq.dat: No space left on device"
QString SaveErrorText(QStringView name, const QString &reason);

// With loneCr a CR alone ends a line too (files edited by hand on other systems); without, it
// stays in its line.
class ListFileLines {
public:
    explicit ListFileLines(QByteArray data, bool loneCr = false)
        : data_(std::move(data)), loneCr_(loneCr) {}
    bool atEnd() const { return pos_ >= data_.size(); }
    QStringList take(qsizetype count);
    // Every line taken so far ended in CR LF and held ASCII only: written back line by line,
    // they give the same octets.
    bool plain() const { return plain_; }

private:
    QByteArray data_;
    qsizetype pos_ = 0;
    bool loneCr_ = false;
    bool plain_ = true;
};
QStringList SplitListFile(QByteArrayView data, bool loneCr = false);

// The message list file made into list lines by a few worker threads (decoding is most of a
// load) while the window's thread takes the batches, in the file's order, as they are done.
// The workers are done with before it goes.
class ListFileReader : public QObject {
    Q_OBJECT
public:
    explicit ListFileReader(QByteArray data, QObject *parent = nullptr);
    ~ListFileReader() override;
    bool atEnd() const { return next_ >= batches_.size(); }
    // The next batch when it is made (batchMade() tells), else nullopt.
    std::optional<QList<ListLine>> take();
    // Every line ended in CR LF and held ASCII only (see ListFileLines), once all are taken.
    bool plain() const { return plain_; }

Q_SIGNALS:
    void batchMade();

private:
    struct Batch {
        QList<ListLine> lines;
        bool plain = true;
        bool made = false;
    };
    QByteArray data_;
    QThreadPool workers_;
    QMutex mutex_;
    std::vector<Batch> batches_;
    size_t next_ = 0;
    bool plain_ = true;
};
// The whole file as written: every line followed by CR LF, Windows-1252.
QByteArray JoinListFile(const QStringList &lines);
// The stored frame of a message-list line (from column 91 on). Safe on any thread.
QString FrameOfStoredLine(QStringView line);

class MessageStore : public QObject {
    Q_OBJECT
public:
    using TraceFn = std::function<void(const QString &text)>;

    // Files are read and written in `dir` (the working directory in the program).
    explicit MessageStore(TraceFn trace, QDir dir = QDir(), QObject *parent = nullptr);

    SortedListModel &model() { return model_; }
    const SortedListModel &model() const { return model_; }

    // Builds the list line of a frame and adds it unless the same line is there already.
    // False when the frame fails its check or is not an SMS message (duplicates included).
    bool AddMessage(const QString &frame);
    // AddMessage of every frame in order. The new lines reach the model in bulk, when enough
    // have gathered; flushPending() hands over the rest.
    void AddMessages(const QStringList &frames);
    // The same for lines made already (MakeListLine) in the file's order.
    void AddListLines(QList<ListLine> made);
    void flushPending();
    // The load through AddMessages is over. When every frame of a plain file was listed, in the
    // file's order, the file holds what SaveListFile would write: it is not rewritten until the
    // list or the file changes.
    void finishLoad(bool plainFile);
    bool IsNewMessage(const QString &line) const;
    // Appends one frame line to "vantelq.dat" and tells whether the whole line reached the
    // file; on failure the file is left as it was and *error says why.
    bool AppendListFile(const QString &frame, QString *error = nullptr);
    // The same for lines appended to any file of the store's folder.
    bool AppendLines(QStringView name, const QStringList &lines, QString *error = nullptr);
    void RemoveMessage(int row);
    void clear();
    // " 3 items"
    QString countLabel() const;
    // The frame stored in the list line of `row` (column 91 on).
    QString frameAt(int row) const;

    // A file in the store's folder, whole or as lines; nullopt when it cannot be read. *error
    // says why when the file is there but unreadable, and stays empty when it is missing.
    std::optional<QByteArray> ReadFile(QStringView name, QString *error = nullptr) const;
    std::optional<QStringList> ReadListFile(QStringView name, QString *error = nullptr,
                                            bool loneCr = false) const;
    // The same for loading at start-up: a file that is there but cannot be read is traced as
    // "Cannot read <name>: <reason>" and held, so that no save replaces what it may still hold.
    std::optional<QByteArray> LoadFile(QStringView name);
    std::optional<QStringList> LoadListFile(QStringView name, bool loneCr = false);
    bool isHeld(QStringView name) const { return held_.contains(name.toString()); }
    // Replaces a file in the store's folder atomically. A failure leaves the old file whole,
    // writes "Error saving <name>: <reason>" to the trace and returns false. A held file is
    // left as it is.
    bool WriteListFile(QStringView name, const QStringList &lines, QString *error = nullptr);
    // Rewrites "vantelq.dat" from the list, in its sorted order.
    bool SaveListFile(QString *error = nullptr);
    QString filePath(QStringView name) const;

Q_SIGNALS:
    void countChanged(const QString &label);
    // A line was added at `row`; the list selects the last entry after every addition.
    void messageAdded(int row);

private:
    bool checkNew(const QString &line) const;
    void indexLine(const QString &line);
    // The size and time of "vantelq.dat" as it was last loaded or written, or nullopt.
    std::optional<std::pair<qint64, QDateTime>> listFileStamp() const;

    TraceFn trace_;
    QDir dir_;
    SortedListModel model_;
    QStringList pending_;  // added by AddMessages, not yet in the model
    QSet<QString> lines_;
    QHash<QString, int> timeColumns_;  // first 18 characters of each line -> entries with them
    QSet<QString> held_;               // files that could not be read: never rewritten
    bool loadedAsListed_ = true;       // every frame loaded so far was listed, in sorted order
    QString lastLoaded_;
    // "vantelq.dat" holds what SaveListFile would write, as long as it keeps this stamp.
    bool listFileCurrent_ = false;
    std::optional<std::pair<qint64, QDateTime>> savedStamp_;
};

}  // namespace vantel

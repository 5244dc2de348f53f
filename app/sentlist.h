// The sent messages: every send-queue entry that went out, with the time it went, the message
// reference the phone gave and its state, kept in "vantelsent.dat" (one line each, oldest
// first) and shown by the main window. A status report retrieved later sets the state of the
// message it reports on.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

namespace vantel {

class MessageStore;
struct MessageFields;

inline constexpr QStringView SentListFile = u"vantelsent.dat";

// One line of "vantelsent.dat": the time (ISO 8601 with the UTC offset), the reference (0-255,
// or "none"), the queue entry as it was queued (four fields) and the state, split at commas:
// "2026-12-07T01:02:03+01:00,5,14,12345,0123,0702...,Awaiting report". The state is last, as
// it may hold commas.
struct SentMessage {
    QString time;
    int reference = -1;
    QString entry;
    QString state;
};
QString SentLine(const SentMessage &m);
std::optional<SentMessage> ReadSentLine(QStringView line);

// The state a status report gives (GSM 03.40 9.2.3.15 TP-ST): "Delivered 24/03/15 10:31" (the
// discharge time), "Still trying: <status name>" or "Failed: <status name>".
QString ReportState(int status, QStringView dischargeTime);

// Whether two numbers are the same after the number rules: blanks and a leading "+" go, a
// national number's "0" becomes the country code, an international "00" goes.
bool SameNumber(QStringView a, QStringView b, QStringView countryCode);

class SentMessages : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Recipient, Text, Part, State, ColumnCount };

    explicit SentMessages(MessageStore &store, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The file's lines, read at start-up. A line that cannot be read is kept as it stands.
    void load();
    // Keeps a message that went out: listed, and its line appended to the file. False (with
    // *error) when the line is not on disk: it is written with the whole file at the next save.
    bool add(const QString &entry, int reference, QString *error = nullptr);
    // The row of the most recent sent message that asked for a report and has the report's
    // reference and recipient; -1 when none.
    int reportedRow(const MessageFields &report, QStringView countryCode) const;
    // Sets the state of the message a retrieved status report (content of its frame) reports
    // on and saves the file; the row, or -1 when it reports on none.
    int applyReport(QStringView content, QStringView countryCode);
    // "The message sent 26/12/07 01:02:03 to +4912345: Hello" for the viewer.
    QString describe(int row) const;
    // Writes the whole file.
    bool save(QString *error = nullptr);
    // Whether the file holds every sent message: after a failed write it is written again now.
    bool writable(QString *error = nullptr);
    const SentMessage &at(int row) const { return sent_.at(std::size_t(row)); }
    int count() const { return int(sent_.size()); }

private:
    MessageStore &store_;
    std::vector<SentMessage> sent_;
    QStringList unread_;  // lines that could not be read: written back as they were
    bool dirty_ = false;  // a line is not on disk
};

}  // namespace vantel

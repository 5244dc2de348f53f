// The message list: every stored frame as a list line, kept sorted, with its duplicate index and
// the message list file "vantelq.dat". No widgets: the main window shows model() in a view.
#pragma once

#include <QDir>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

#include "app/sortedlistmodel.h"

namespace vantel {

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
    bool IsNewMessage(const QString &line) const;
    // Appends one frame line to "vantelq.dat".
    void AppendListFile(const QString &frame);
    void RemoveMessage(int row);
    // " 3 items"
    QString countLabel() const;

Q_SIGNALS:
    void countChanged(const QString &label);
    // A line was added at `row`; the list selects the last entry after every addition.
    void messageAdded(int row);

private:
    TraceFn trace_;
    QDir dir_;
    SortedListModel model_;
    QSet<QString> lines_;
};

}  // namespace vantel

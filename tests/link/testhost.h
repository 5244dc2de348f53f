// A LinkHost without a screen: records every trace and log line, the busy flag and the alerts,
// and keeps the messages in a real MessageStore.
#pragma once

#include <QDir>
#include <QStringList>

#include "app/messagestore.h"
#include "link/host.h"

namespace vantel::test {

class TestHost : public LinkHost {
public:
    explicit TestHost(QDir dir);

    void WriteTrace(const QString &text, bool toLog) override;
    void DisableButtons() override;
    void EnableButtons() override;
    bool busy() const override { return busy_; }
    bool AppendListFile(const QString &frame) override;
    bool AddMessage(const QString &frame) override;
    QCoro::Task<> PlayAlert() override;

    QStringList trace;     // every line, in order
    QStringList log;       // the lines written with toLog
    QStringList appended;  // frames appended to the list file
    QStringList offered;   // frames given to AddMessage
    int disables = 0;
    int enables = 0;
    int alerts = 0;
    MessageStore store;

    int count(const QString &line) const { return int(trace.count(line)); }

private:
    bool busy_ = false;
};

}  // namespace vantel::test

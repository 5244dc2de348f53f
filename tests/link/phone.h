// The simulated phone as a child process, linked as "com7" in the test's working directory.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vantel::test {

class PhoneSim {
public:
    PhoneSim(const QString &dir, const QStringList &args);
    ~PhoneSim();

    bool ready() const { return ready_; }
    // Everything the program wrote to the phone, as hex, in order.
    QString received() const;
    // The --sent lines: accepted submissions.
    QStringList sent() const;
    bool running() const { return process_.state() != QProcess::NotRunning; }

private:
    QString dir_;
    QProcess process_;
    bool ready_ = false;
};

}  // namespace vantel::test

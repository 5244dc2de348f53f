// SIGTERM, SIGHUP and SIGINT end the program in order: the handler only writes to a pipe, and
// the event loop, woken by it, runs what the program does at its end.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace vantel {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;
    // False when the pipe or a handler could not be set up.
    bool install();

Q_SIGNALS:
    void received(int signal);

private:
    QSocketNotifier *notifier_ = nullptr;
};

}  // namespace vantel

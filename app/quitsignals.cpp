#include "app/quitsignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace vantel {

namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int signal) {
    const int saved = errno;
    const char code = char(signal);
    (void)!::write(g_pipe[1], &code, 1);
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(QObject *parent) : QObject(parent) {}

QuitSignals::~QuitSignals() {
    if (!notifier_) return;
    for (int s : {SIGTERM, SIGHUP, SIGINT})
        ::signal(s, SIG_DFL);
}

bool QuitSignals::install() {
    if (notifier_) return true;
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char code = 0;
        while (::read(g_pipe[0], &code, 1) == 1)
            Q_EMIT received(code);
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (int s : {SIGTERM, SIGHUP, SIGINT})
        ok = ::sigaction(s, &action, nullptr) == 0 && ok;
    return ok;
}

}  // namespace vantel

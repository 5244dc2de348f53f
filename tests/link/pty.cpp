#include "pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace vantel::test {

Pty::Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        closeMaster();
        return;
    }
    slave_ = QString::fromLocal8Bit(ptsname(master_));
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
    closeMaster();
}

void Pty::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool Pty::write(const QByteArray &octets) {
    qsizetype done = 0;
    while (done < octets.size()) {
        const ssize_t n = ::write(master_, octets.constData() + done, octets.size() - done);
        if (n < 0) return false;
        done += n;
    }
    return true;
}

QByteArray Pty::read(int ms) {
    QByteArray out;
    pollfd p{master_, POLLIN, 0};
    if (ms > 0 && ::poll(&p, 1, ms) <= 0) return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, n);
    }
    return out;
}

}  // namespace vantel::test

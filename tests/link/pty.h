// A pseudo-terminal pair: the slave side is a real serial device for the program, the master
// side plays the phone.
#pragma once

#include <QByteArray>
#include <QString>

namespace vantel::test {

class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slave_; }
    int masterFd() const { return master_; }
    // Writes to the program's side.
    bool write(const QByteArray &octets);
    // Everything the program wrote so far, waiting up to `ms` for the first octet.
    QByteArray read(int ms = 0);
    void closeMaster();

private:
    int master_ = -1;
    QString slave_;
};

}  // namespace vantel::test

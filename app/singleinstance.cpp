#include "app/singleinstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace vantel {

namespace {

QString DefaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) return QDir::temp().filePath(QStringLiteral("vantel-%1.lock").arg(getuid()));
    return QDir(dir).filePath(QStringLiteral("vantel.lock"));
}

}  // namespace

SingleInstance::SingleInstance()
    : path_(DefaultLockPath()),
      fallback_(QDir::current().filePath(QStringLiteral("vantel.lock"))) {}
SingleInstance::SingleInstance(QString lockPath, QString fallbackPath)
    : path_(std::move(lockPath)), fallback_(std::move(fallbackPath)) {}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) ::close(fd_);
}

// The open lock file, -1 when it cannot be made, -2 when another copy holds it.
int SingleInstance::lock(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -2;
    }
    return fd;
}

bool SingleInstance::acquire() {
    if (fd_ >= 0) return true;
    int fd = lock(path_);
    if (fd == -1 && !fallback_.isEmpty()) fd = lock(fallback_);
    if (fd == -2) return false;
    fd_ = fd;
    return true;
}

}  // namespace vantel

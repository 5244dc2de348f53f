#include "app/singleinstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace vantel {

namespace {

QString RuntimeLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) return QDir::temp().filePath(QStringLiteral("vantel-%1.lock").arg(getuid()));
    return QDir(dir).filePath(QStringLiteral("vantel.lock"));
}

// The open lock file, -1 when it cannot be made, -2 when another copy holds it. A lock file
// that another user made may be readable only, which is enough for flock().
int Lock(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -2;
    }
    return fd;
}

}  // namespace

SingleInstance::SingleInstance()
    : SingleInstance(RuntimeLockPath(), QDir::current().filePath(QStringLiteral("vantel.lock"))) {}

SingleInstance::SingleInstance(QString lockPath, QString workingFolderLock) {
    // A runtime folder that is the working folder has one lock file: locked twice, it would
    // refuse its own copy.
    QStringList seen;
    for (QString *path : {&lockPath, &workingFolderLock}) {
        if (path->isEmpty()) continue;
        const QFileInfo info(*path);
        QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        const QString same =
            (folder.isEmpty() ? info.absolutePath() : folder) + u'/' + info.fileName();
        if (seen.contains(same)) continue;
        seen << same;
        paths_ << std::move(*path);
    }
}

SingleInstance::~SingleInstance() {
    for (const int fd : fds_)
        ::close(fd);
}

bool SingleInstance::acquire() {
    if (held_) return true;
    std::vector<int> fds;
    for (const QString &path : paths_) {
        const int fd = Lock(path);
        if (fd == -2) {
            for (const int taken : fds)
                ::close(taken);
            return false;
        }
        if (fd >= 0) fds.push_back(fd);
    }
    fds_ = std::move(fds);
    held_ = true;
    return true;
}

}  // namespace vantel

// One running copy per user and per working folder: an exclusive lock on a file in the user's
// runtime folder and on "vantel.lock" in the working folder, so that two copies never share the
// list files or send one queue twice, whoever started them and whatever their runtime folder.
// The kernel drops the locks with the process, so a copy that crashed or was killed never
// leaves one held.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace vantel {

class SingleInstance {
public:
    // Lock files: $XDG_RUNTIME_DIR/vantel.lock (vantel-<uid>.lock in the temporary folder
    // without one) and vantel.lock in the working folder.
    SingleInstance();
    explicit SingleInstance(QString lockPath, QString workingFolderLock = QString());
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this process holds every lock that can be made (taking them on the first
    // call). False when another running copy holds one. A lock file that cannot be made tells
    // nothing, and running is better than refusing.
    bool acquire();
    const QStringList &lockPaths() const { return paths_; }

private:
    QStringList paths_;
    std::vector<int> fds_;
    bool held_ = false;
};

}  // namespace vantel

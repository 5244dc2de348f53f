// One running copy per user: an exclusive lock on a file in the user's runtime folder, or, when
// that folder is missing or not writable, on "vantel.lock" in the working folder, so that two
// copies never share the list files. The kernel drops the lock with the process, so a copy that
// crashed or was killed never leaves it held.
#pragma once

#include <QString>

namespace vantel {

class SingleInstance {
public:
    // Lock file: $XDG_RUNTIME_DIR/vantel.lock, or vantel-<uid>.lock in the temporary folder.
    SingleInstance();
    explicit SingleInstance(QString lockPath, QString fallbackPath = QString());
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this process holds the lock (taking it on the first call). False when
    // another running copy holds it. When neither lock file can be made there is no way to
    // tell, and running is better than refusing.
    bool acquire();
    const QString &lockPath() const { return path_; }

private:
    int lock(const QString &path);

    QString path_;
    QString fallback_;
    int fd_ = -1;
};

}  // namespace vantel

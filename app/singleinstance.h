// One running copy per user: an exclusive lock on a file in the user's runtime folder. The
// kernel drops the lock with the process, so a copy that crashed or was killed never leaves
// it held.
#pragma once

#include <QString>

namespace vantel {

class SingleInstance {
public:
    // Lock file: $XDG_RUNTIME_DIR/vantel.lock, or vantel-<uid>.lock in the temporary folder.
    SingleInstance();
    explicit SingleInstance(QString lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this process holds the lock (taking it on the first call). False when
    // another running copy holds it.
    bool acquire();
    const QString &lockPath() const { return path_; }

private:
    QString path_;
    int fd_ = -1;
};

}  // namespace vantel

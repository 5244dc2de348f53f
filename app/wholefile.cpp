#include "app/wholefile.h"

#include <QSaveFile>

namespace vantel {

bool SaveWholeFile(const QString &path, const QByteArray &data) {
    QSaveFile file(path);
    // Unbuffered: a short write (a full disk) shows in write(), before commit() renames.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

}  // namespace vantel

#include "app/wholefile.h"

#include <cerrno>

#include <QSaveFile>

namespace vantel {

bool SaveWholeFile(const QString &path, const QByteArray &data, QString *error) {
    QSaveFile file(path);
    auto fail = [&](const QString &reason) {
        if (error) *error = reason;
        return false;
    };
    // Unbuffered: a short write (a full disk) shows in write(), before commit() renames.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return fail(file.errorString());
    if (file.write(data) != data.size()) {
        // A short write (a full disk, a size limit) leaves no error of its own: errno has it.
        const int code = errno;
        const QString reason =
            file.error() != QFileDevice::NoError ? file.errorString() : qt_error_string(code);
        file.cancelWriting();
        file.commit();
        return fail(reason);
    }
    if (!file.commit()) return fail(file.errorString());
    return true;
}

}  // namespace vantel

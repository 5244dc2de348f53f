// Rewriting a whole file so that a crash or a full disk never leaves it half written.
#pragma once

#include <QByteArray>
#include <QString>

namespace vantel {

// Writes `data` to a new file and renames it over `path`. False, with the old file left
// whole, when anything fails; *error (when given) then says why.
bool SaveWholeFile(const QString &path, const QByteArray &data, QString *error = nullptr);

}  // namespace vantel

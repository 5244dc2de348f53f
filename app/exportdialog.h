// The file dialog of the main window's Export: where the list goes and in which format. It is
// shown window-modal and awaited; the window holds the function that shows it, so that tests
// can answer it.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

#include "app/messageexport.h"

class QWidget;

namespace vantel {

struct ExportTarget {
    QString path;
    ExportFormat format = ExportFormat::Csv;
};

using AskExportFn = std::function<QCoro::Task<std::optional<ExportTarget>>(QWidget *parent)>;

// The file chosen (its extension decides the format, else the chosen filter), or nullopt when
// the dialog was cancelled or went away.
QCoro::Task<std::optional<ExportTarget>> AskExportFile(QWidget *parent);

}  // namespace vantel

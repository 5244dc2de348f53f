#include "app/exportdialog.h"

#include <QFileDialog>
#include <QPointer>

#include "link/wait.h"

namespace vantel {

QCoro::Task<std::optional<ExportTarget>> AskExportFile(QWidget *parent) {
    const QString csv = QStringLiteral("CSV (*.csv)");
    const QString jsonLines = QStringLiteral("JSON Lines (*.jsonl)");
    QPointer<QFileDialog> dialog = new QFileDialog(parent, QStringLiteral("Vantel - Export"));
    dialog->setObjectName(QStringLiteral("ExportDialog"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({csv, jsonLines});
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->selectFile(QStringLiteral("messages.csv"));
    QObject::connect(dialog.data(), &QFileDialog::filterSelected, dialog.data(),
                     [dialog = dialog.data(), jsonLines](const QString &filter) {
                         dialog->setDefaultSuffix(filter == jsonLines ? QStringLiteral("jsonl")
                                                                      : QStringLiteral("csv"));
                     });
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    const auto result = co_await NextSignal(dialog.data(), &QFileDialog::finished);
    if (!dialog) co_return std::nullopt;
    dialog->deleteLater();
    if (!result || std::get<0>(*result) != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        co_return std::nullopt;
    ExportTarget target;
    target.path = dialog->selectedFiles().constFirst();
    target.format =
        ExportFormatOfName(target.path)
            .value_or(dialog->selectedNameFilter() == jsonLines ? ExportFormat::JsonLines
                                                                : ExportFormat::Csv);
    co_return target;
}

}  // namespace vantel

#include <QApplication>
#include <QMessageBox>

#include "app/mainwindow.h"
#include "app/singleinstance.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantel"));
    QApplication::setDesktopFileName(QStringLiteral("vantel"));

    vantel::SingleInstance instance;
    if (!instance.acquire()) {
        QMessageBox::critical(nullptr, QStringLiteral("Vantel"),
                              QStringLiteral("Vantel is already running"));
        return 0;
    }

    vantel::Vantel window;
    QObject::connect(&window, &vantel::Vantel::programEnded, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    window.Form_Load();
    return QApplication::exec();
}

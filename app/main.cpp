#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QMessageBox>

#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "app/singleinstance.h"

int main(int argc, char *argv[]) {
    // A write past a file-size limit fails with EFBIG and is reported, instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
    // --help and --version answer, and --folder is entered, before a display is needed.
    if (const std::optional<int> status = vantel::TakeCommandLine(argc, argv)) return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantel"));
    QApplication::setDesktopFileName(QStringLiteral("vantel"));

    vantel::SingleInstance instance;
    if (!instance.acquire()) {
        std::fputs("Vantel is already running\n", stderr);
        QMessageBox::critical(nullptr, QStringLiteral("Vantel"),
                              QStringLiteral("Vantel is already running"));
        return 0;
    }

    vantel::Vantel window;
    QObject::connect(&window, &vantel::Vantel::programEnded, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    // Someone asks the process to end, or the session ends: save and go, without a question
    // (the send queue is on disk already), once a message in the phone's hands is sent or not.
    vantel::QuitSignals quitSignals;
    quitSignals.install();
    QObject::connect(&quitSignals, &vantel::QuitSignals::received, &window,
                     &vantel::Vantel::RequestEnd);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] {
        window.SaveListFiles();
        if (window.exchangeRunning()) window.RequestEnd();
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &vantel::Vantel::EndNow);
    window.Form_Load();
    return QApplication::exec();
}

// Runs the D-Bus tests on a bus of their own. Started with --start-service-child, the binary
// instead tries to start the service on whatever session bus its environment names and prints
// the outcome, so that tests can watch a start without a bus from the outside.
#include "app/dbuslink.h"
#include "app/sortedlistmodel.h"
#include "privatebus.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QTextStream>
#include <cstring>

int main(int argc, char **argv) {
    if (argc > 1 && std::strcmp(argv[1], "--start-service-child") == 0) {
        QCoreApplication app(argc, argv);
        vantel::SortedListModel queue;
        QTextStream out(stdout);
        vantel::SendSmsService service(
            queue, [&out](const QString &line) { out << "trace: " << line << '\n'; });
        const bool started = service.start();
        queue.add(QStringLiteral("after"));  // the rest of the program carries on
        out << "started: " << (started ? "yes" : "no") << "\nqueued: " << queue.count() << '\n';
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    vantel::testing::PrivateBus bus;
    if (!testing::GTEST_FLAG(list_tests) && !bus.start()) {
        fprintf(stderr, "cannot start a private dbus-daemon\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}

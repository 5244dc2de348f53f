// Runs the D-Bus tests on a bus of their own. Started with --start-service-child, the binary
// instead starts the service on whatever session bus its environment names and prints the
// outcome, so that tests can watch a start without a bus from the outside.
#include "app/dbuslink.h"
#include "app/sortedlistmodel.h"
#include "privatebus.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char **argv) {
    if (argc > 1 && QByteArrayView(argv[1]) == "--start-service-child") {
        QCoreApplication app(argc, argv);
        vantel::SortedListModel queue;
        QTextStream out(stdout);
        vantel::SendSmsService service(queue,
                                       [&out](const QString &l) { out << "trace: " << l << '\n'; });
        const bool started = service.start();
        queue.add(QStringLiteral("after"));  // the rest of the program carries on
        out << "started: " << (started ? "yes" : "no") << "\nqueued: " << queue.count() << '\n';
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    vantel::testing::PrivateBus bus;
    if (!testing::GTEST_FLAG(list_tests) && !bus.start())
        return std::fprintf(stderr, "cannot start a private dbus-daemon\n"), 1;
    return RUN_ALL_TESTS();
}

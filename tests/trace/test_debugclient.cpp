#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "trace/debugclient.h"

namespace {

// A trace monitor on a loopback port chosen by the system.
struct Monitor {
    QTcpServer server;
    QTcpSocket *peer = nullptr;
    QByteArray data;

    Monitor() { EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0)); }
    uint16_t port() const { return server.serverPort(); }

    bool accept() {
        if (!server.waitForNewConnection(3000)) return false;
        peer = server.nextPendingConnection();
        return peer != nullptr;
    }
    // Reads until the peer closes or `until` returns true.
    template <typename Pred>
    void readUntil(Pred until, int timeoutMs = 5000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!until(data) && std::chrono::steady_clock::now() < end) {
            if (peer->waitForReadyRead(100))
                data += peer->readAll();
            else if (peer->state() != QAbstractSocket::ConnectedState) {
                data += peer->readAll();
                break;
            }
        }
    }
};

// The time is "%g" of the seconds: six significant digits, with trailing
// zeros dropped (1.797e+09 at 1,796,995,000 s and for the hours after it).
const char *kRecord = "^[0-9](?:\\.[0-9]{1,5})?e\\+09\\t\\t-\\t-\\tMAIN\\t10\\tmainwindow\\.cpp\\tMainWindow::open\\t42\\t";

}  // namespace

TEST(DebugClient, RecordIsTabSeparatedWithoutTerminator) {
    DebugClient::Shutdown();
    Monitor mon;
    DebugClient::sPort = mon.port();
    DebugClient::SendTrace("first", "MAIN", 10, "app/mainwindow.cpp", 42, "MainWindow::open");
    ASSERT_TRUE(mon.accept());
    DebugClient::SendTrace("second", "MAIN", 10, "app/mainwindow.cpp", 42, "MainWindow::open");
    mon.readUntil([](const QByteArray &d) { return d.endsWith("second"); });
    DebugClient::Shutdown();

    QString text = QString::fromUtf8(mon.data);
    // The first record's message runs straight into the second record's time.
    int cut = text.indexOf("first");
    ASSERT_GT(cut, 0);
    QString one = text.left(cut + 5), two = text.mid(cut + 5);
    QRegularExpression re1(QString(kRecord) + "first$"), re2(QString(kRecord) + "second$");
    EXPECT_TRUE(re1.match(one).hasMatch()) << one.toStdString();
    EXPECT_TRUE(re2.match(two).hasMatch()) << two.toStdString();
    EXPECT_EQ(DebugClient::droppedRecords(), 0u);
}

TEST(DebugClient, RecordsFromManyThreadsAreNeverTorn) {
    DebugClient::Shutdown();
    Monitor mon;
    DebugClient::sPort = mon.port();
    DebugClient::SendTrace("start|", "MAIN", 10, "app/mainwindow.cpp", 42, "MainWindow::open");
    ASSERT_TRUE(mon.accept());

    const int kThreads = 4, kEach = 200;
    std::vector<std::thread> threads;
    std::atomic<int> go{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &go] {
            while (!go.load()) {}
            for (int i = 0; i < kEach; ++i) {
                QString msg = QString("t%1-%2-%3|").arg(t).arg(i).arg(QString(40, QChar('x')));
                DebugClient::SendTrace(msg, "MAIN", 10, "app/mainwindow.cpp", 42, "MainWindow::open");
                if (i % 50 == 49) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    go = 1;
    for (auto &th : threads) th.join();
    DebugClient::Shutdown();  // writes what is queued, then closes
    mon.readUntil([](const QByteArray &) { return false; });

    QStringList parts = QString::fromUtf8(mon.data).split('|', Qt::SkipEmptyParts);
    QRegularExpression re(QString(kRecord) + "(start|t([0-9])-([0-9]+)-x{40})$");
    std::set<std::pair<int, int>> seen;
    for (const QString &p : parts) {
        auto m = re.match(p);
        ASSERT_TRUE(m.hasMatch()) << "torn record: " << p.toStdString();
        if (m.captured(1) != "start") seen.insert({m.captured(2).toInt(), m.captured(3).toInt()});
    }
    EXPECT_EQ(seen.size() + DebugClient::droppedRecords(), size_t(kThreads * kEach));
    EXPECT_EQ(DebugClient::droppedRecords(), 0u);
}

TEST(DebugClient, NoMonitorCostsOnlyTheRecords) {
    DebugClient::Shutdown();
    uint16_t closedPort;
    {
        QTcpServer s;
        ASSERT_TRUE(s.listen(QHostAddress::LocalHost, 0));
        closedPort = s.serverPort();
    }
    DebugClient::sPort = closedPort;
    const uint64_t droppedBefore = DebugClient::droppedRecords();
    const int kRecords = 2000;  // more than the ring's 1024 slots
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kRecords; ++i) DebugClient::SendTrace("nobody listens", "MAIN", 10, "a.cpp", 1, "f");
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(s, 0.5);
    // Only records that found the ring full are dropped: the first ring's
    // worth always fits, whether or not the sender has drained anything.
    EXPECT_LE(DebugClient::droppedRecords() - droppedBefore, uint64_t(kRecords - 1024));
    DebugClient::Shutdown();

    // Nothing is left over: with a monitor the next record goes through.
    Monitor mon;
    DebugClient::sPort = mon.port();
    DebugClient::SendTrace("after", "MAIN", 10, "app/mainwindow.cpp", 42, "MainWindow::open");
    ASSERT_TRUE(mon.accept());
    mon.readUntil([](const QByteArray &d) { return d.endsWith("after"); });
    DebugClient::Shutdown();
    EXPECT_TRUE(mon.data.endsWith("after")) << mon.data.toStdString();
    EXPECT_FALSE(mon.data.contains("nobody listens"));
    DebugClient::sPort = 8080;
}

TEST(DebugClient, SourceFileNameAndLevel) {
    struct Row {
        const char *path, *want;
    } rows[] = {
        {"app/mainwindow.cpp", "mainwindow.cpp"},
        {"src\\dir/x/file.cpp", "dir/x/file.cpp"},  // the backslash rule wins
        {"file.cpp", "file.cpp"},
        {"", ""},
    };
    for (const Row &r : rows) EXPECT_STREQ(DebugClient::getFilename(r.path), r.want) << r.path;

    DebugClient::SetDebugLevel(-5);
    EXPECT_EQ(DebugClient::sDebugLevel, -1);
    DebugClient::SetDebugLevel(99);
    EXPECT_EQ(DebugClient::sDebugLevel, 15);
    DebugClient::SetDebugLevel(9);
    EXPECT_EQ(DebugClient::sDebugLevel, 9);
    DebugClient::SetDebugLevel(15);

    EXPECT_EQ(DebugClient::Sanitize(QByteArray("a\tb\n")), QByteArray("a\\9b\\10"));
    EXPECT_EQ(DebugClient::LaunchDebugMonitor(), 0);
    // Seconds since 2005 lie between 2020 and 2100 offsets.
    double t = DebugClient::OSTime();
    EXPECT_GT(t, 15.0 * 365 * 86400);
    EXPECT_LT(t, 95.0 * 365 * 86400);
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

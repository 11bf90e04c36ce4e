// Fifty operators' clients on one stand server: every client subscribed and reading thirty channels
// a second while a burst of 1,000 events arrives and every client acknowledges one of them.
#include "stand_client.h"
#include "stand_process.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

constexpr int kClients = 50;
constexpr int kChannels = 30;
constexpr int kBurst = 1000;
constexpr int kBurstCode = 8305;

struct ClientStats {
    std::unordered_map<std::string, int> events; // event id -> times received
    std::unordered_map<std::string, int> kwits;  // acknowledged event id -> notices received
    // Distinct ids in the maps above, for the main thread to watch while this client's thread inserts.
    std::atomic<size_t> distinctEvents{0};
    std::atomic<size_t> distinctKwits{0};
    std::vector<double> replyMs;
    int failedReads = 0;
    int openStatus = -1;
};

void Drain(StandClient &client, ClientStats &stats) {
    while (Param message = client.TakeMessage()) {
        const int kind = TLXPrmKind(message.get());
        const std::string id = NamedBytes(message.get(), "_ID").toStdString();
        if (kind == TLX_MSG_EVENT) {
            const int codePos = TLXPrmFieldIndex(message.get(), "_CODE");
            const int code = FieldInt(message.get(), codePos);
            if (code == 501) {
                if (++stats.kwits[id] == 1)
                    ++stats.distinctKwits;
            } else if (++stats.events[id] == 1) {
                ++stats.distinctEvents;
            }
        } else if (kind == TLX_MSG_KWIT) {
            if (++stats.kwits[id] == 1)
                ++stats.distinctKwits;
        }
    }
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

} // namespace

class LoadTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void manyClients();

private:
    StandProcess stand;
    QVector<int> channels;
};

void LoadTest::initTestCase() {
    StartTlx();
    QVERIFY2(stand.Start({"--backfill-hours", "1", "--units", "5", "--event-every", "0", "--disturb-every", "0",
                          "--test-aids"}),
             qPrintable(stand.Error()));
    StandClient probe;
    QCOMPARE(probe.Open(stand.Port(), "operator", "operator"), 0);
    const SelectResult result = Select(probe, "select locId from Measurement where ArchiveTable = 201");
    QCOMPARE(result.status, 0);
    for (const auto &row : result.rows)
        channels << row.value(0).toInt();
    // Ten units have thirty channels, but a station's units share its frequency: repeat ids to 30 reads.
    QVERIFY2(channels.size() >= kChannels / 2, qPrintable(QString::number(channels.size())));
    for (int i = 0; channels.size() < kChannels; ++i)
        channels << channels[i];
    channels.resize(kChannels);
}

void LoadTest::manyClients() {
    std::vector<ClientStats> stats(kClients);
    std::vector<std::string> burstIds;
    std::mutex idsMutex;
    std::atomic<int> ready{0};
    std::atomic<bool> burstSent{false};
    std::atomic<bool> stop{false};
    const quint16 port = stand.Port();
    const QVector<int> subscription{501, 601, 602, 603, 8301, 8302, 8303, 8304, 8305, 8306, 8307, 8308};
    const QVector<int> ids = channels;

    auto run = [&](int index) {
        ClientStats &my = stats[size_t(index)];
        StandClient client;
        my.openStatus = client.Open(port, "operator", "operator");
        if (my.openStatus != 0) {
            ++ready;
            return;
        }
        client.Subscribe(subscription);
        // The subscription is a one-way message: a request behind it returns once it is in place.
        if (Select(client, "select 1").status != 0)
            my.openStatus = -1;
        ++ready;
        bool acknowledged = false;
        auto nextRound = std::chrono::steady_clock::now();
        while (!stop) {
            for (int id : ids) {
                const double now = CTimeNow();
                const auto started = std::chrono::steady_clock::now();
                Param reply = client.Request("MEAS_READ2", [&](TLXCliParam *p) {
                    TLXPrmSetInt32(p, 0, id);
                    TLXPrmSetDouble(p, 1, now - 60);
                    TLXPrmSetDouble(p, 2, now);
                });
                const auto took = std::chrono::steady_clock::now() - started;
                if (!reply || FieldBytes(reply.get(), 0).size() < 21)
                    ++my.failedReads;
                else
                    my.replyMs.push_back(std::chrono::duration<double, std::milli>(took).count());
                Drain(client, my);
            }
            if (burstSent && !acknowledged) {
                std::string id;
                {
                    std::lock_guard<std::mutex> lock(idsMutex);
                    id = burstIds[size_t(index)];
                }
                client.Post("EVENT_KWIT", [&](TLXCliParam *p) {
                    TLXPrmSetText(p, 0, int(id.size()), id.data());
                    TLXPrmSetInt32(p, 1, kBurstCode);
                });
                acknowledged = true;
            }
            nextRound += std::chrono::seconds(1);
            while (!stop && std::chrono::steady_clock::now() < nextRound) {
                Drain(client, my);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        Drain(client, my);
    };

    std::vector<std::thread> threads;
    // A failed check returns early: the clients must still be stopped, or their threads abort the test.
    auto joinAll = [&] {
        stop = true;
        for (auto &t : threads)
            if (t.joinable())
                t.join();
    };
    struct Joiner {
        std::function<void()> f;
        ~Joiner() { f(); }
    } joiner{joinAll};
    for (int i = 0; i < kClients; ++i)
        threads.emplace_back(run, i);
    QTRY_COMPARE_WITH_TIMEOUT(ready.load(), kClients, 60000);

    StandClient admin;
    QCOMPARE(admin.Open(port, "engineer", "engineer"), 0);
    const QByteArray caption = ToCp1251(QStringLiteral("Нагрузка"));
    Param reply = admin.Request(
        "ADMIN_EVENT",
        [&](TLXCliParam *p) {
            TLXPrmSetInt32(p, 0, kBurstCode);
            TLXPrmSetText(p, 1, caption.size(), caption.constData());
            TLXPrmSetText(p, 2, 0, "");
            TLXPrmSetText(p, 3, 0, "");
            TLXPrmSetBool(p, 4, 1);
            TLXPrmSetInt32(p, 5, kBurst);
        },
        120000); // the burst goes out to every client before the reply: slow under a sanitizer
    QVERIFY(reply);
    QCOMPARE(FieldInt(reply.get(), 0), 0);
    const QList<QByteArray> lines = FieldBytes(reply.get(), 3).split('\n');
    {
        std::lock_guard<std::mutex> lock(idsMutex);
        for (const QByteArray &line : lines)
            if (!line.isEmpty())
                burstIds.emplace_back(line.constData(), size_t(line.size()));
    }
    QCOMPARE(int(burstIds.size()), kBurst);
    burstSent = true;

    // Every client must have every burst event and every client's acknowledgement.
    auto complete = [&]() {
        for (const ClientStats &s : stats) {
            if (s.distinctEvents < size_t(kBurst) || s.distinctKwits < size_t(kClients))
                return false;
        }
        return true;
    };
    QDeadlineTimer deadline(90000);
    while (!deadline.hasExpired() && !complete())
        QTest::qWait(200);
    QTest::qWait(2000); // let any duplicate arrive before counting
    joinAll();

    std::vector<double> all;
    int failed = 0;
    qint64 delivered = 0;
    for (int i = 0; i < kClients; ++i) {
        const ClientStats &s = stats[size_t(i)];
        QCOMPARE(s.openStatus, 0);
        failed += s.failedReads;
        all.insert(all.end(), s.replyMs.begin(), s.replyMs.end());
        for (const std::string &id : burstIds) {
            const auto found = s.events.find(id);
            QVERIFY2(found != s.events.end(), qPrintable(QString("client %1 lacks event %2").arg(i).arg(id.c_str())));
            QVERIFY2(found->second == 1,
                     qPrintable(QString("client %1 got event %2 %3 times").arg(i).arg(id.c_str()).arg(found->second)));
            ++delivered;
        }
        for (int j = 0; j < kClients; ++j) {
            const auto found = s.kwits.find(burstIds[size_t(j)]);
            QVERIFY2(found != s.kwits.end() && found->second == 1,
                     qPrintable(QString("client %1: acknowledgement of client %2 seen %3 times")
                                    .arg(i)
                                    .arg(j)
                                    .arg(found == s.kwits.end() ? 0 : found->second)));
        }
    }
    QCOMPARE(failed, 0);
    qInfo("load: %d clients x %d channels, %zu archive replies, p50 %.2f ms, p99 %.2f ms, max %.2f ms; "
          "%lld events delivered exactly once, %d acknowledgements to every client",
          kClients, kChannels, all.size(), Percentile(all, 0.5), Percentile(all, 0.99), Percentile(all, 1.0), delivered,
          kClients);
}

QTEST_GUILESS_MAIN(LoadTest)
#include "load_test.moc"

// The service's sorting, searching and text helpers, and the session's reading of a server address.
#include <QtTest>

#include <algorithm>
#include <random>

#include "server/db.h"
#include "server/tlxservice.h"

class ServiceUtilsTest : public QObject {
    Q_OBJECT

private slots:
    void quickSort_data();
    void quickSort();
    void quickSeek_data();
    void quickSeek();
    void paramFromName_data();
    void paramFromName();
    void serverAddress_data();
    void serverAddress();
    void keyLinkSort_data();
    void keyLinkSort();
};

void ServiceUtilsTest::quickSort_data() {
    QTest::addColumn<QVector<int>>("values");

    std::mt19937 random(1312);
    QVector<int> many(5000);
    for (int &v : many)
        v = int(random() % 100) - 50; // plenty of repeats
    QVector<int> wide(3000);
    for (int &v : wide)
        v = int(random());
    QVector<int> ascending(2000), descending(2000);
    for (int i = 0; i < 2000; ++i) {
        ascending[i] = i;
        descending[i] = 2000 - i;
    }

    QTest::newRow("one") << QVector<int>{42};
    QTest::newRow("two-swapped") << QVector<int>{2, 1};
    QTest::newRow("repeats") << QVector<int>{5, 3, 5, 1};
    QTest::newRow("all-equal") << QVector<int>(100, 7);
    QTest::newRow("extremes") << QVector<int>{INT_MAX, INT_MIN, 0, -1, INT_MAX, INT_MIN};
    QTest::newRow("ascending") << ascending;
    QTest::newRow("descending") << descending;
    QTest::newRow("random-narrow") << many;
    QTest::newRow("random-wide") << wide;
}

void ServiceUtilsTest::quickSort() {
    QFETCH(QVector<int>, values);
    QVector<int> expected = values;
    std::sort(expected.begin(), expected.end());
    TLXService::QuickSort(values.data(), 0, values.size() - 1);
    QCOMPARE(values, expected);
}

void ServiceUtilsTest::quickSeek_data() {
    QTest::addColumn<QVector<int>>("values");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("found");

    const QVector<int> codes{501, 601, 602, 603, 8301, 8302, 8308};
    QTest::newRow("first") << codes << codes.size() << 501 << true;
    QTest::newRow("last") << codes << codes.size() << 8308 << true;
    QTest::newRow("middle") << codes << codes.size() << 603 << true;
    QTest::newRow("gap") << codes << codes.size() << 8303 << false;
    QTest::newRow("below") << codes << codes.size() << 1 << false;
    QTest::newRow("above") << codes << codes.size() << 9999 << false;
    QTest::newRow("beyond-count") << codes << 3 << 603 << false;
    QTest::newRow("empty") << QVector<int>{} << 0 << 0 << false;
}

void ServiceUtilsTest::quickSeek() {
    QFETCH(QVector<int>, values);
    QFETCH(int, count);
    QFETCH(int, value);
    QFETCH(bool, found);
    QCOMPARE(TLXService::QuickSeek(values.data(), count, value), found);
}

void ServiceUtilsTest::paramFromName_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("outSize");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("value");

    const QByteArray version("MAJOR=1\r\nMINOR=7\r\nRELEASE=4");
    QTest::newRow("first-line") << version << QByteArray("MAJOR") << 64 << true << QByteArray("1");
    QTest::newRow("middle-line-stops-at-cr") << version << QByteArray("MINOR") << 64 << true << QByteArray("7");
    QTest::newRow("last-line-stops-at-nul") << version << QByteArray("RELEASE") << 64 << true << QByteArray("4");
    QTest::newRow("lf-only") << QByteArray("A=x y\nB=2") << QByteArray("A") << 64 << true << QByteArray("x y");
    QTest::newRow("absent") << version << QByteArray("BUILD") << 64 << false << QByteArray();
    QTest::newRow("no-equals") << QByteArray("MAJOR 1") << QByteArray("MAJOR") << 64 << false << QByteArray();
    QTest::newRow("empty-value") << QByteArray("MAJOR=\r\n") << QByteArray("MAJOR") << 64 << true << QByteArray();
    QTest::newRow("cut-to-buffer") << QByteArray("NAME=abcdefgh") << QByteArray("NAME") << 4 << true
                                   << QByteArray("abc");
    QTest::newRow("no-buffer") << version << QByteArray("MAJOR") << 0 << false << QByteArray();
}

void ServiceUtilsTest::paramFromName() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, name);
    QFETCH(int, outSize);
    QFETCH(bool, found);
    QFETCH(QByteArray, value);

    QByteArray out(80, '#');
    char *target = outSize == 0 ? nullptr : out.data();
    QCOMPARE(TLXService::GetParamFromName(text.data(), name.constData(), target, qMax(outSize, 1)), found);
    if (found) {
        QCOMPARE(QByteArray(out.constData()), value);
        // Nothing written past the buffer the caller named.
        QCOMPARE(out.at(outSize), '#');
    }
}

void ServiceUtilsTest::serverAddress_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("host");
    QTest::addColumn<uint>("port");

    QTest::newRow("host-only") << "srv"
                               << "srv" << 1312u;
    QTest::newRow("host-port") << "srv:2000"
                               << "srv" << 2000u;
    QTest::newRow("port-not-number") << "srv:abc"
                                     << "srv" << 1312u;
    QTest::newRow("port-zero") << "srv:0"
                               << "srv" << 1312u;
    QTest::newRow("trailing-part") << "srv:2000:x"
                                   << "srv" << 2000u;
    QTest::newRow("empty") << ""
                           << "localhost" << 1312u;
    QTest::newRow("empty-port") << "srv:"
                                << "srv" << 1312u;
    QTest::newRow("port-only") << ":2000"
                               << "localhost" << 2000u;
    QTest::newRow("negative-port") << "srv:-5"
                                   << "srv" << 1312u;
    QTest::newRow("port-too-large") << "srv:70000"
                                    << "srv" << 1312u;
    QTest::newRow("ip-address") << "127.0.0.1:41000"
                                << "127.0.0.1" << 41000u;
}

void ServiceUtilsTest::serverAddress() {
    QFETCH(QString, server);
    QFETCH(QString, host);
    QFETCH(uint, port);
    QString parsedHost;
    unsigned parsedPort = 0;
    DB::ParseServerAddress(server, &parsedHost, &parsedPort);
    QCOMPARE(parsedHost, host);
    QCOMPARE(parsedPort, port);
}

void ServiceUtilsTest::keyLinkSort_data() {
    QTest::addColumn<QByteArray>("firstName");
    QTest::addColumn<int>("firstType");
    QTest::addColumn<bool>("keyOnName"); // the array arrives sorted by its second field, descending
    QTest::addColumn<QStringList>("expected");

    const QStringList arrival{"{B}", "{C}", "{A}", "{D}"};
    const QStringList sorted{"{A}", "{B}", "{C}", "{D}"};
    // With a key on "name" descending the array arrives as D, C, B, A by name, i.e. these KeyLinks:
    const QStringList byNameDesc{"{D}", "{A}", "{C}", "{B}"};
    QTest::newRow("keylink-no-key") << QByteArray("KeyLink") << int(TL_TEXT) << false << sorted;
    QTest::newRow("lower-case-name") << QByteArray("keylink") << int(TL_TEXT) << false << sorted;
    QTest::newRow("upper-case-name") << QByteArray("KEYLINK") << int(TL_TEXT) << false << sorted;
    QTest::newRow("existing-key-replaced") << QByteArray("KeyLink") << int(TL_TEXT) << true << sorted;
    QTest::newRow("other-first-field") << QByteArray("KeyLinks") << int(TL_TEXT) << false << arrival;
    QTest::newRow("other-first-field-keyed") << QByteArray("Key") << int(TL_TEXT) << true << byNameDesc;
    QTest::newRow("keylink-not-text") << QByteArray("KeyLink") << int(TL_NAME) << false << arrival;
}

void ServiceUtilsTest::keyLinkSort() {
    QFETCH(QByteArray, firstName);
    QFETCH(int, firstType);
    QFETCH(bool, keyOnName);
    QFETCH(QStringList, expected);

    TLArray *array = nullptr;
    QCOMPARE(TLACreate(&array, 0), 0);
    TLAFldAdd(array, firstName.constData(), firstType);
    TLAFldAdd(array, "name", TL_TEXT);
    const QList<QPair<QByteArray, QByteArray>> rows{{"{B}", "b"}, {"{C}", "c"}, {"{A}", "d"}, {"{D}", "e"}};
    for (const auto &row : rows) {
        TLRecord *record = TLARecNew(array);
        QVERIFY(record);
        TLRSetAsText(TLAFld(array, 0), record, row.first.size(), row.first.constData());
        TLRSetAsText(TLAFld(array, 1), record, row.second.size(), row.second.constData());
        QCOMPARE(TLARecPost(array, record), 0);
    }
    if (keyOnName) {
        const TLAKey key{"name", 1};
        QCOMPARE(TLAKeyAdd(array, 1, &key), 0);
    }

    TLXService::SortByKeyLink(array);

    QStringList order;
    for (int i = 0; i < TLARecCount(array); ++i) {
        const char *text = nullptr;
        QCOMPARE(TLRGetTextPtr(TLAFld(array, 0), TLARec(array, 0, i), &text), 0);
        order << QString::fromLatin1(text);
    }
    TLADestroy(array);
    QCOMPARE(order, expected);
}

QTEST_GUILESS_MAIN(ServiceUtilsTest)
#include "service_utils_test.moc"

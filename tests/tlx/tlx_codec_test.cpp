// The wire codec fed hand-made buffers: whole, truncated, oversized and lying.
#include "tlx/tlx.h"
#include "tlx/tlx_wire.h"

#include <QByteArray>
#include <QtEndian>
#include <QtTest>

#include <memory>

using namespace tlx;

namespace {

// Little-endian byte builder for hand-made frames.
struct Buf {
    QByteArray b;
    Buf &u8(quint8 v) {
        b.append(char(v));
        return *this;
    }
    Buf &u16(quint16 v) {
        char x[2];
        qToLittleEndian(v, x);
        b.append(x, 2);
        return *this;
    }
    Buf &u32(quint32 v) {
        char x[4];
        qToLittleEndian(v, x);
        b.append(x, 4);
        return *this;
    }
    Buf &u64(quint64 v) {
        char x[8];
        qToLittleEndian(v, x);
        b.append(x, 8);
        return *this;
    }
    Buf &f64(double v) {
        quint64 bits;
        memcpy(&bits, &v, 8);
        return u64(bits);
    }
    Buf &str16(const QByteArray &s) {
        u16(quint16(s.size()));
        b.append(s);
        return *this;
    }
    Buf &str32(const QByteArray &s) {
        u32(quint32(s.size()));
        b.append(s);
        return *this;
    }
    Buf &raw(const QByteArray &s) {
        b.append(s);
        return *this;
    }
};

QByteArray Header(quint32 length, quint8 kind, quint8 flags = 0, quint16 reserved = 0, quint64 id = 0) {
    return Buf().u32(length).u8(kind).u8(flags).u16(reserved).u64(id).b;
}

// A zlib stream (qCompress output without its 4-byte big-endian length).
QByteArray Zlib(const QByteArray &raw) {
    return qCompress(raw).mid(4);
}

const uint8_t *U(const QByteArray &b) {
    return reinterpret_cast<const uint8_t *>(b.constData());
}

const QByteArray kCyrillic = QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2"); // "Привет" in Windows-1251

// A parameter record laid out by hand: command "CMD", kind 2, fields a=int32 7 and ""=text, one array.
Buf ValidParam() {
    return Buf()
        .str16("CMD")
        .u32(2)
        .u32(2)
        .str16("a")
        .u8(TL_INT32)
        .u32(7)
        .str16("")
        .u8(TL_TEXT)
        .str32(kCyrillic)
        .u32(1)
        .str16("_ARR")
        .str32("xyz");
}

} // namespace

class TlxCodecTest : public QObject {
    Q_OBJECT
private slots:
    void decodeFrame_data();
    void decodeFrame();
    void encodeFrameRoundTrip_data();
    void encodeFrameRoundTrip();
    void decodeHello_data();
    void decodeHello();
    void decodeParam_data();
    void decodeParam();
    void everyTruncationFails_data();
    void everyTruncationFails();
    void mutatedBytesAreSafe_data();
    void mutatedBytesAreSafe();
};

void TlxCodecTest::decodeFrame_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxFrame");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QByteArray>("payload");

    const QByteArray big(5000, 'q');
    const QByteArray zbig = Zlib(big);
    QTest::newRow("heartbeat") << Header(0, wire::kHeartbeat) << 1024 << true << int(wire::kHeartbeat) << quint64(0)
                               << QByteArray();
    QTest::newRow("request-with-id") << Header(3, wire::kRequest, 0, 0, 0x1122334455667788ull) + "abc" << 1024 << true
                                     << int(wire::kRequest) << quint64(0x1122334455667788ull) << QByteArray("abc");
    QTest::newRow("compressed") << Header(quint32(4 + zbig.size()), wire::kReply, wire::kCompressed, 0, 9) +
                                       Buf().u32(quint32(big.size())).raw(zbig).b
                                << 8192 << true << int(wire::kReply) << quint64(9) << big;
    QTest::newRow("truncated-header") << Header(0, wire::kHeartbeat).left(10) << 1024 << false << 0 << quint64(0)
                                      << QByteArray();
    QTest::newRow("empty") << QByteArray() << 1024 << false << 0 << quint64(0) << QByteArray();
    QTest::newRow("truncated-payload") << Header(5, wire::kMessage) + "abc" << 1024 << false << 0 << quint64(0)
                                       << QByteArray();
    QTest::newRow("trailing-bytes") << Header(3, wire::kMessage) + "abcd" << 1024 << false << 0 << quint64(0)
                                    << QByteArray();
    QTest::newRow("oversized-length") << Header(0xffffffffu, wire::kMessage) + "abc" << 1024 << false << 0 << quint64(0)
                                      << QByteArray();
    QTest::newRow("one-above-max") << Header(1025, wire::kMessage) + QByteArray(1025, 'x') << 1024 << false << 0
                                   << quint64(0) << QByteArray();
    QTest::newRow("kind-zero") << Header(0, 0) << 1024 << false << 0 << quint64(0) << QByteArray();
    QTest::newRow("kind-unknown") << Header(0, 99) << 1024 << false << 0 << quint64(0) << QByteArray();
    QTest::newRow("flag-unknown") << Header(0, wire::kMessage, 0x80) << 1024 << false << 0 << quint64(0)
                                  << QByteArray();
    QTest::newRow("reserved-set") << Header(0, wire::kMessage, 0, 1) << 1024 << false << 0 << quint64(0)
                                  << QByteArray();
    QTest::newRow("compressed-garbage") << Header(8, wire::kReply, wire::kCompressed) + Buf().u32(100).raw("junk").b
                                        << 1024 << false << 0 << quint64(0) << QByteArray();
    QTest::newRow("compressed-too-short")
        << Header(2, wire::kReply, wire::kCompressed) + "ab" << 1024 << false << 0 << quint64(0) << QByteArray();
    // A small frame that would inflate beyond the limit: a zip bomb must be refused before inflating.
    QTest::newRow("compressed-above-max") << Header(quint32(4 + zbig.size()), wire::kReply, wire::kCompressed) +
                                                 Buf().u32(quint32(big.size())).raw(zbig).b
                                          << 1024 << false << 0 << quint64(0) << QByteArray();
    QTest::newRow("compressed-length-lie-short")
        << Header(quint32(4 + zbig.size()), wire::kReply, wire::kCompressed) + Buf().u32(100).raw(zbig).b << 8192
        << false << 0 << quint64(0) << QByteArray();
    QTest::newRow("compressed-length-lie-long") << Header(quint32(4 + zbig.size()), wire::kReply, wire::kCompressed) +
                                                       Buf().u32(quint32(big.size() + 1)).raw(zbig).b
                                                << 8192 << false << 0 << quint64(0) << QByteArray();
}

void TlxCodecTest::decodeFrame() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxFrame);
    QFETCH(bool, ok);
    // The decoder gets a heap copy of exactly the given size, so reading past it is caught by sanitizers.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size_t(bytes.size()) + 1]);
    memcpy(copy.get(), bytes.constData(), size_t(bytes.size()));
    wire::Frame frame;
    QCOMPARE(wire::DecodeFrame(copy.get(), size_t(bytes.size()), &frame, size_t(maxFrame)), ok);
    if (!ok)
        return;
    QFETCH(int, kind);
    QFETCH(quint64, id);
    QFETCH(QByteArray, payload);
    QCOMPARE(int(frame.kind), kind);
    QCOMPARE(quint64(frame.id), id);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(frame.payload.data()), int(frame.payload.size())), payload);
}

void TlxCodecTest::encodeFrameRoundTrip_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("compressAbove");
    QTest::addColumn<bool>("expectCompressed");

    QByteArray noise(300000, 0);
    quint32 x = 12345;
    for (char &c : noise) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    QTest::newRow("empty") << QByteArray() << 0 << false;
    QTest::newRow("small-never") << QByteArray(100, 'a') << 0 << false;
    QTest::newRow("below-threshold") << QByteArray(1000, 'a') << 1000 << false;
    QTest::newRow("above-threshold") << QByteArray(300000, 'a') << 65536 << true;
    QTest::newRow("incompressible-sent-raw") << noise << 65536 << false;
}

void TlxCodecTest::encodeFrameRoundTrip() {
    QFETCH(QByteArray, payload);
    QFETCH(int, compressAbove);
    QFETCH(bool, expectCompressed);
    std::vector<uint8_t> bytes =
        wire::EncodeFrame(wire::kPush, 77, U(payload), size_t(payload.size()), size_t(compressAbove));
    wire::FrameHeader h;
    QVERIFY(wire::DecodeFrameHeader(bytes.data(), bytes.size(), wire::kDefaultMaxFrame, &h));
    QCOMPARE(bool(h.flags & wire::kCompressed), expectCompressed);
    wire::Frame frame;
    QVERIFY(wire::DecodeFrame(bytes.data(), bytes.size(), &frame));
    QCOMPARE(int(frame.kind), int(wire::kPush));
    QCOMPARE(quint64(frame.id), quint64(77));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(frame.payload.data()), int(frame.payload.size())), payload);
}

void TlxCodecTest::decodeHello_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");

    QTest::newRow("valid") << Buf().u32(wire::kMagic).u16(wire::kVersion).str16("operator").str16("pw").b << true
                           << int(wire::kVersion) << QByteArray("operator") << QByteArray("pw");
    QTest::newRow("utf8-user") << Buf().u32(wire::kMagic).u16(1).str16("\xd0\x98\xd0\xb2'x").str16("").b << true << 1
                               << QByteArray("\xd0\x98\xd0\xb2'x") << QByteArray();
    QTest::newRow("other-version-reported")
        << Buf().u32(wire::kMagic).u16(99).str16("u").str16("p").b << true << 99 << QByteArray("u") << QByteArray("p");
    QTest::newRow("bad-magic") << Buf().u32(0x50545448).u16(1).str16("u").str16("p").b << false << 0 << QByteArray()
                               << QByteArray();
    QTest::newRow("http-request") << QByteArray("GET / HTTP/1.1\r\n\r\n") << false << 0 << QByteArray() << QByteArray();
    QTest::newRow("user-length-lie") << Buf().u32(wire::kMagic).u16(1).u16(500).raw("u").b << false << 0 << QByteArray()
                                     << QByteArray();
    QTest::newRow("missing-password") << Buf().u32(wire::kMagic).u16(1).str16("u").b << false << 0 << QByteArray()
                                      << QByteArray();
    QTest::newRow("trailing-bytes") << Buf().u32(wire::kMagic).u16(1).str16("u").str16("p").u8(0).b << false << 0
                                    << QByteArray() << QByteArray();
}

void TlxCodecTest::decodeHello() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    wire::Hello hello;
    QCOMPARE(wire::DecodeHello(U(bytes), size_t(bytes.size()), &hello), ok);
    if (!ok)
        return;
    QFETCH(int, version);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QCOMPARE(int(hello.version), version);
    QCOMPARE(QByteArray::fromStdString(hello.user), user);
    QCOMPARE(QByteArray::fromStdString(hello.password), password);
}

void TlxCodecTest::decodeParam_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");

    QTest::newRow("valid") << ValidParam().b << true;
    QTest::newRow("no-fields") << Buf().str16("X").u32(1).u32(0).u32(0).b << true;
    QTest::newRow("unset-field") << Buf().str16("X").u32(1).u32(1).str16("n").u8(TL_NONE).u32(0).b << true;
    QTest::newRow("field-count-lie") << Buf().str16("X").u32(1).u32(1000000).str16("n").u8(TL_NONE).u32(0).b << false;
    QTest::newRow("field-count-one-too-many")
        << Buf().str16("X").u32(1).u32(2).str16("n").u8(TL_NONE).u32(0).b << false;
    QTest::newRow("type-code-3") << Buf().str16("X").u32(1).u32(1).str16("n").u8(3).u32(0).b << false;
    QTest::newRow("type-code-200") << Buf().str16("X").u32(1).u32(1).str16("n").u8(200).u32(0).b << false;
    QTest::newRow("text-length-lie") << Buf().str16("X").u32(1).u32(1).str16("n").u8(TL_TEXT).u32(0xfffffff0u).b
                                     << false;
    QTest::newRow("double-cut") << Buf().str16("X").u32(1).u32(1).str16("n").u8(TL_DOUBLE).u32(0).b << false;
    QTest::newRow("name-length-lie") << Buf().str16("X").u32(1).u32(1).u16(9000).raw("n").b << false;
    QTest::newRow("command-length-lie") << Buf().u16(100).raw("X").b << false;
    QTest::newRow("array-count-lie") << Buf().str16("X").u32(1).u32(0).u32(50).str16("_ARR").str32("x").b << false;
    QTest::newRow("array-length-lie") << Buf().str16("X").u32(1).u32(0).u32(1).str16("_ARR").u32(99).raw("x").b
                                      << false;
    QTest::newRow("missing-array-count") << Buf().str16("X").u32(1).u32(0).b << false;
    QTest::newRow("trailing-bytes") << ValidParam().u8(0).b << false;
}

void TlxCodecTest::decodeParam() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size_t(bytes.size()) + 1]);
    memcpy(copy.get(), bytes.constData(), size_t(bytes.size()));
    TLXCliParam *p = wire::DecodeParam(copy.get(), size_t(bytes.size()));
    QCOMPARE(p != nullptr, ok);
    if (!p)
        return;
    if (QByteArray(QTest::currentDataTag()) == "valid") {
        QCOMPARE(QByteArray(TLXPrmCommand(p)), QByteArray("CMD"));
        QCOMPARE(TLXPrmKind(p), 2);
        QCOMPARE(TLXPrmFieldCount(p), 2);
        QCOMPARE(TLXPrmFieldIndex(p, "a"), 0);
        int32_t v = 0;
        QCOMPARE(TLRGetAsInt32(TLXPrmField(p, 0), TLXPrmRecord(p), &v), 0);
        QCOMPARE(v, 7);
        const char *text = nullptr;
        int length = -1;
        QCOMPARE(TLRGetTextRef(TLXPrmField(p, 1), TLXPrmRecord(p), &length, &text), 0);
        QCOMPARE(QByteArray(text, length), kCyrillic);
        QCOMPARE(text[length], '\0');
        QCOMPARE(TLXPrmArrCount(p), 1);
        QCOMPARE(QByteArray(TLXPrmArrName(p, 0)), QByteArray("_ARR"));
    }
    TLXPrmDestroy(p);
}

void TlxCodecTest::everyTruncationFails_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("param") << ValidParam().b;
    QTest::newRow("hello") << Buf().u32(wire::kMagic).u16(1).str16("operator").str16("secret").b;
}

// Every proper prefix of a valid buffer must be refused, and no prefix may be read past its end.
void TlxCodecTest::everyTruncationFails() {
    QFETCH(QByteArray, bytes);
    const bool isHello = QByteArray(QTest::currentDataTag()) == "hello";
    for (int n = 0; n < bytes.size(); ++n) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[size_t(n) + 1]);
        memcpy(copy.get(), bytes.constData(), size_t(n));
        if (isHello) {
            wire::Hello h;
            QVERIFY2(!wire::DecodeHello(copy.get(), size_t(n), &h), qPrintable(QString::number(n)));
        } else {
            TLXCliParam *p = wire::DecodeParam(copy.get(), size_t(n));
            QVERIFY2(!p, qPrintable(QString::number(n)));
        }
    }
}

void TlxCodecTest::mutatedBytesAreSafe_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("param") << ValidParam().b;
    TLArray *a = nullptr;
    TLACreate(&a, 0);
    TLAFldAdd(a, "KeyLink", TL_TEXT);
    TLAFldAdd(a, "N", TL_INT32);
    TLAFldAdd(a, "D", TL_DOUBLE);
    for (int i = 0; i < 3; ++i) {
        TLRecord *r = TLARecNew(a);
        TLRSetAsText(TLAFld(a, 0), r, 3, "{x}");
        TLRSetAsInt32(TLAFld(a, 1), r, i);
        if (i != 1)
            TLRSetAsDouble(TLAFld(a, 2), r, i / 3.0);
        TLRSetUser(TLAFld(a, 1), r, 1);
        TLARecPost(a, r);
    }
    TLAKey key{"N", 1};
    TLAKeyAdd(a, 1, &key);
    void *packed = nullptr;
    int length = 0;
    TLAPack(a, &packed, &length);
    TLADestroy(a);
    QTest::newRow("array") << QByteArray(static_cast<const char *>(packed), length);
    TLMemFree(packed);
}

// Thousands of damaged copies (a few bytes changed each, fixed seed): whatever is accepted must
// come out again the same when encoded and decoded once more.
void TlxCodecTest::mutatedBytesAreSafe() {
    QFETCH(QByteArray, bytes);
    const bool isArray = QByteArray(QTest::currentDataTag()) == "array";
    quint32 seed = 20240305;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray damaged = bytes;
        for (int k = 1 + int(next() % 4); k > 0; --k)
            damaged[int(next() % quint32(damaged.size()))] = char(next());
        std::unique_ptr<uint8_t[]> copy(new uint8_t[size_t(damaged.size())]);
        memcpy(copy.get(), damaged.constData(), size_t(damaged.size()));
        std::vector<uint8_t> again;
        if (isArray) {
            TLArray *x = nullptr;
            TLACreate(&x, 0);
            if (TLXArrayUnPackBuf(x, copy.get(), damaged.size()) == 0) {
                void *p = nullptr;
                int n = 0;
                QCOMPARE(TLAPack(x, &p, &n), 0);
                TLArray *y = nullptr;
                TLACreate(&y, 0);
                QCOMPARE(TLXArrayUnPack(y, p, 1), 0);
                QCOMPARE(TLARecCount(y), TLARecCount(x));
                TLADestroy(y);
                TLMemFree(p);
                ++accepted;
            }
            TLADestroy(x);
        } else if (TLXCliParam *p = wire::DecodeParam(copy.get(), size_t(damaged.size()))) {
            wire::EncodeParam(p, &again);
            TLXPrmDestroy(p);
            TLXCliParam *q = wire::DecodeParam(again.data(), again.size());
            QVERIFY(q);
            std::vector<uint8_t> third;
            wire::EncodeParam(q, &third);
            TLXPrmDestroy(q);
            QVERIFY(third == again);
            ++accepted;
        }
    }
    QVERIFY(accepted < 3000); // the damage did reach the checks
}

QTEST_GUILESS_MAIN(TlxCodecTest)
#include "tlx_codec_test.moc"

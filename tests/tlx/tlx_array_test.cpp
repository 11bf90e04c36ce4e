// Record arrays, values, parameter records and compression of the link library.
#include "tlx/tlx.h"
#include "tlx/tlx_wire.h"

#include <QByteArray>
#include <QVector>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

const QByteArray kCyrillicA("\xc0\xe1\xe2"); // "Абв" in Windows-1251
const QByteArray kCyrillicYa("\xff");        // "я"

struct ArrayPtr {
    TLArray *a = nullptr;
    ArrayPtr() { TLACreate(&a, 0); }
    ~ArrayPtr() { TLADestroy(a); }
    operator TLArray *() const { return a; }
};

// One text or int cell per row, "~" standing for an unset value.
void AddRow(TLArray *a, const QList<QByteArray> &cells) {
    TLRecord *r = TLARecNew(a);
    for (int i = 0; i < cells.size(); ++i) {
        if (cells[i] == "~")
            continue;
        TLField *f = TLAFld(a, i);
        if (TLFldType(f) == TL_TEXT)
            QCOMPARE(TLRSetAsText(f, r, cells[i].size(), cells[i].constData()), 0);
        else if (TLFldType(f) == TL_DOUBLE)
            QCOMPARE(TLRSetAsDouble(f, r, cells[i] == "nan" ? NAN : cells[i].toDouble()), 0);
        else
            QCOMPARE(TLRSetAsInt32(f, r, cells[i].toInt()), 0);
    }
    QCOMPARE(TLARecPost(a, r), 0);
}

QByteArray Cell(TLArray *a, int row, int field) {
    TLField *f = TLAFld(a, field);
    TLRecord *r = TLARec(a, 0, row);
    if (TLRIsNull(f, r))
        return "~";
    const char *p = nullptr;
    int n = 0;
    if (TLRGetTextRef(f, r, &n, &p) != 0)
        return "?";
    return QByteArray(p, n);
}

QList<QByteArray> Column(TLArray *a, int field) {
    QList<QByteArray> out;
    for (int i = 0; i < TLARecCount(a); ++i)
        out << Cell(a, i, field);
    return out;
}

QByteArray Noise(int n) {
    QByteArray b(n, 0);
    quint32 x = 99;
    for (char &c : b) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    return b;
}

} // namespace

class TlxArrayTest : public QObject {
    Q_OBJECT
private slots:
    void sort_data();
    void sort();
    void keyAddSortsAtOnce_data();
    void keyAddSortsAtOnce();
    void postKeepsKeyOrder_data();
    void postKeepsKeyOrder();
    void packRoundTrip_data();
    void packRoundTrip();
    void unpackRefusesDamage_data();
    void unpackRefusesDamage();
    void unpackFromParamField_data();
    void unpackFromParamField();
    void conversions_data();
    void conversions();
    void valRoundTrip_data();
    void valRoundTrip();
    void records_data();
    void records();
    void compression_data();
    void compression();
    void compressionRefusesDamage_data();
    void compressionRefusesDamage();
    void paramFields_data();
    void paramFields();
};

void TlxArrayTest::sort_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<QList<QByteArray>>("keys");
    QTest::addColumn<QList<QByteArray>>("expected");

    using L = QList<QByteArray>;
    QTest::newRow("int-ascending") << int(TL_INT32) << false << L{"3", "-1", "20", "0"} << L{"-1", "0", "3", "20"};
    QTest::newRow("int-descending") << int(TL_INT32) << true << L{"3", "-1", "20", "0"} << L{"20", "3", "0", "-1"};
    QTest::newRow("int-not-as-text") << int(TL_INT32) << false << L{"10", "9", "100"} << L{"9", "10", "100"};
    QTest::newRow("text-bytewise") << int(TL_TEXT) << false << L{"b", "B", "a", "A"} << L{"A", "B", "a", "b"};
    QTest::newRow("text-cyrillic-after-latin")
        << int(TL_TEXT) << false << L{kCyrillicYa, kCyrillicA, "z"} << L{"z", kCyrillicA, kCyrillicYa};
    QTest::newRow("text-prefix-first") << int(TL_TEXT) << false << L{"abc", "ab", "", "abd"}
                                       << L{"", "ab", "abc", "abd"};
    QTest::newRow("text-braced-uuid") << int(TL_TEXT) << false
                                      << L{"{f0000000-0000}", "{10000000-0000}", "{a0000000-0000}"}
                                      << L{"{10000000-0000}", "{a0000000-0000}", "{f0000000-0000}"};
    QTest::newRow("unset-first") << int(TL_INT32) << false << L{"5", "~", "1"} << L{"~", "1", "5"};
    QTest::newRow("double-nan-first") << int(TL_DOUBLE) << false << L{"2.5", "nan", "-1.5"} << L{"nan", "-1.5", "2.5"};
}

void TlxArrayTest::sort() {
    QFETCH(int, type);
    QFETCH(bool, descending);
    QFETCH(QList<QByteArray>, keys);
    QFETCH(QList<QByteArray>, expected);
    ArrayPtr a;
    TLAFldAdd(a, "K", type);
    for (const QByteArray &k : keys)
        AddRow(a, {k});
    TLAKey key{"K", descending};
    QCOMPARE(TLAKeyAdd(a, 1, &key), 0);
    QCOMPARE(TLARecSort(a), 0);
    QList<QByteArray> got = Column(a, 0);
    if (type == TL_DOUBLE) {
        for (QByteArray &g : got)
            g = g.toLower() == "nan" || g == "-nan" ? "nan" : QByteArray::number(g.toDouble());
        for (QByteArray &e : expected)
            e = e == "nan" ? "nan" : QByteArray::number(e.toDouble());
    }
    QCOMPARE(got, expected);
}

void TlxArrayTest::keyAddSortsAtOnce_data() {
    QTest::addColumn<QList<QByteArray>>("first");
    QTest::addColumn<QList<QByteArray>>("second");
    QTest::addColumn<QByteArray>("keyField");
    QTest::addColumn<QList<QByteArray>>("expectedSecond");

    using L = QList<QByteArray>;
    // Equal keys keep their previous order: the sort must be stable.
    QTest::newRow("stable-on-equal-keys")
        << L{"k2", "k1", "k2", "k1"} << L{"1", "2", "3", "4"} << QByteArray("A") << L{"2", "4", "1", "3"};
    QTest::newRow("second-field") << L{"x", "y", "z"} << L{"30", "10", "20"} << QByteArray("B") << L{"10", "20", "30"};
    QTest::newRow("field-name-any-case") << L{"x", "y", "z"} << L{"30", "10", "20"} << QByteArray("b")
                                         << L{"10", "20", "30"};
    QTest::newRow("unknown-field-keeps-order")
        << L{"x", "y", "z"} << L{"30", "10", "20"} << QByteArray("NOPE") << L{"30", "10", "20"};
}

// Adding a key sorts the records at once: the session relies on it for KeyLink ordering.
void TlxArrayTest::keyAddSortsAtOnce() {
    QFETCH(QList<QByteArray>, first);
    QFETCH(QList<QByteArray>, second);
    QFETCH(QByteArray, keyField);
    QFETCH(QList<QByteArray>, expectedSecond);
    ArrayPtr a;
    TLAFldAdd(a, "A", TL_TEXT);
    TLAFldAdd(a, "B", TL_INT32);
    for (int i = 0; i < first.size(); ++i)
        AddRow(a, {first[i], second[i]});
    TLAKey key{keyField.constData(), 0};
    QCOMPARE(TLAKeyAdd(a, 1, &key), 0);
    QCOMPARE(TLAKeyCount(a), 1);
    QCOMPARE(Column(a, 1), expectedSecond);
}

void TlxArrayTest::postKeepsKeyOrder_data() {
    QTest::addColumn<QList<QByteArray>>("posted");
    QTest::addColumn<QList<QByteArray>>("expected");
    using L = QList<QByteArray>;
    QTest::newRow("into-middle") << L{"a", "c", "b"} << L{"a", "b", "c"};
    QTest::newRow("before-all") << L{"m", "n", "a"} << L{"a", "m", "n"};
    QTest::newRow("equal-goes-last") << L{"a", "b", "b"} << L{"a", "b", "b"};
}

void TlxArrayTest::postKeepsKeyOrder() {
    QFETCH(QList<QByteArray>, posted);
    QFETCH(QList<QByteArray>, expected);
    ArrayPtr a;
    TLAFldAdd(a, "KeyLink", TL_TEXT);
    TLAFldAdd(a, "N", TL_INT32);
    TLAKey key{"KeyLink", 0};
    TLAKeyAdd(a, 1, &key);
    for (int i = 0; i < posted.size(); ++i)
        AddRow(a, {posted[i], QByteArray::number(i)});
    QCOMPARE(Column(a, 0), expected);
    if (QByteArray(QTest::currentDataTag()) == "equal-goes-last")
        QCOMPARE(Column(a, 1), (QList<QByteArray>{"0", "1", "2"}));
}

void TlxArrayTest::packRoundTrip_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("withKeys");
    QTest::newRow("no-records") << 0 << false;
    QTest::newRow("one-record") << 1 << false;
    QTest::newRow("mixed-with-keys") << 9 << true;
    QTest::newRow("many-records") << 3000 << true;
    QTest::newRow("texts-over-many-chunks") << 20000 << false;
}

// Every type code, unset values, Cyrillic and empty texts, flags, user marks and keys survive.
void TlxArrayTest::packRoundTrip() {
    QFETCH(int, rows);
    QFETCH(bool, withKeys);
    ArrayPtr a;
    const int types[] = {TL_BOOL, TL_BYTE, TL_INT64, TL_INT32, TL_FLOAT, TL_DOUBLE, TL_TEXT, TL_NAME, TL_BLOB};
    for (int t : types)
        TLAFldAdd(a, QByteArray("F").append(QByteArray::number(t)).constData(), t);
    TLAFldAdd(a, "\xc8\xec\xff", TL_TEXT); // Cyrillic field name
    for (int i = 0; i < rows; ++i) {
        TLRecord *r = TLARecNew(a);
        TLRSetAsBool(TLAFld(a, 0), r, i % 2);
        TLRSetAsByte(TLAFld(a, 1), r, uint8_t(i * 7));
        TLRSetAsInt64(TLAFld(a, 2), r, (int64_t(1) << 40) * (i - 3));
        if (i % 3 != 1)
            TLRSetAsInt32(TLAFld(a, 3), r, -i);
        TLRSetAsFloat(TLAFld(a, 4), r, float(i) / 4);
        TLRSetAsDouble(TLAFld(a, 5), r, 1700000000.75 + i);
        QByteArray text = i % 4 == 0 ? QByteArray() : kCyrillicA + QByteArray::number(i);
        TLRSetAsText(TLAFld(a, 6), r, text.size(), text.constData());
        TLRSetAsText(TLAFld(a, 7), r, 4, "name");
        QByteArray blob("\0\1\2", 3);
        TLVal v{};
        v.Type = TL_BLOB;
        v.V.Text.Length = blob.size();
        v.V.Text.Ptr = blob.constData();
        TLRSetVal(TLAFld(a, 8), r, &v);
        TLRSetFlags(r, 1 << (i % 3));
        if (i % 2)
            TLRSetUser(TLAFld(a, 6), r, 1);
        TLARecPost(a, r);
    }
    if (withKeys) {
        TLAKey keys[] = {{"F0", 1}, {"F5", 0}};
        TLAKeyAdd(a, 2, keys);
    }
    void *bytes = nullptr;
    int length = 0;
    QCOMPARE(TLAPack(a, &bytes, &length), 0);
    ArrayPtr b;
    QCOMPARE(TLXArrayUnPack(b, bytes, 1), 0);
    ArrayPtr c;
    QCOMPARE(TLXArrayUnPackBuf(c, bytes, length), 0);
    TLMemFree(bytes);

    for (TLArray *u : {b.a, c.a}) {
        QCOMPARE(TLAFldCount(u), TLAFldCount(a));
        for (int f = 0; f < TLAFldCount(a); ++f) {
            QCOMPARE(QByteArray(TLFldName(TLAFld(u, f))), QByteArray(TLFldName(TLAFld(a, f))));
            QCOMPARE(TLFldType(TLAFld(u, f)), TLFldType(TLAFld(a, f)));
        }
        QCOMPARE(TLAKeyCount(u), TLAKeyCount(a));
        QCOMPARE(TLARecCount(u), rows);
        for (int i = 0; i < rows; ++i) {
            TLRecord *x = TLARec(a, 0, i), *y = TLARec(u, 0, i);
            QCOMPARE(TLRGetFlags(y), TLRGetFlags(x));
            for (int f = 0; f < TLAFldCount(a); ++f) {
                TLField *fx = TLAFld(a, f), *fy = TLAFld(u, f);
                QCOMPARE(TLRIsNull(fy, y), TLRIsNull(fx, x));
                QCOMPARE(TLRGetUser(fy, y), TLRGetUser(fx, x));
                if (TLRIsNull(fx, x))
                    continue;
                TLVal vx, vy;
                QCOMPARE(TLRGetVal(fy, y, &vy), 0);
                TLRGetVal(fx, x, &vx);
                QCOMPARE(vy.Type, vx.Type);
                if (vx.Type == TL_TEXT || vx.Type == TL_NAME || vx.Type == TL_BLOB) {
                    QCOMPARE(QByteArray(vy.V.Text.Ptr, vy.V.Text.Length), QByteArray(vx.V.Text.Ptr, vx.V.Text.Length));
                    QCOMPARE(vy.V.Text.Ptr[vy.V.Text.Length], '\0');
                } else {
                    QCOMPARE(vy.V.Int64, vx.V.Int64);
                }
            }
        }
    }
    if (rows < 2)
        return;
    // Unpacked texts belong to their array: a text set anew or a record deleted leaves the others
    // as they were, and a copy keeps its texts once the unpacked array is gone.
    auto text = [](TLArray *u, int row) {
        TLVal v{};
        TLRGetVal(TLAFld(u, 6), TLARec(u, 0, row), &v);
        return QByteArray(v.V.Text.Ptr, v.V.Text.Length);
    };
    TLRSetAsText(TLAFld(b, 6), TLARec(b, 0, 0), 3, "new");
    QCOMPARE(TLARecDel(b, TLARec(b, 0, 1)), 0);
    QCOMPARE(text(b, 0), QByteArray("new"));
    QCOMPARE(text(b, 1), text(a, 2));
    ArrayPtr copy;
    QCOMPARE(TLACopy(copy, c, 1), 0);
    TLADestroy(c.a);
    c.a = nullptr;
    for (int i = 0; i < rows; ++i)
        QCOMPARE(text(copy, i), text(a, i));

    // Unpacked records live in their array's pool: a value of a field added later grows a record
    // there, and a second unpack into the same array replaces them all.
    QCOMPARE(TLAFldAdd(b, "Added", TL_DOUBLE), 0);
    TLField *added = TLAFld(b, TLAFldCount(b) - 1);
    QCOMPARE(TLRSetAsDouble(added, TLARec(b, 0, rows - 2), 2.5), 0);
    double readBack = 0;
    QCOMPARE(TLRGetAsDouble(added, TLARec(b, 0, rows - 2), &readBack), 0);
    QCOMPARE(readBack, 2.5);
    QCOMPARE(text(b, rows - 2), text(a, rows - 1));
    QCOMPARE(TLAPack(copy, &bytes, &length), 0);
    QCOMPARE(TLXArrayUnPack(b, bytes, 1), 0);
    TLMemFree(bytes);
    QCOMPARE(TLAFldCount(b), TLAFldCount(a));
    QCOMPARE(TLARecCount(b), rows);
    for (int i = 0; i < rows; ++i)
        QCOMPARE(text(b, i), text(a, i));
}

void TlxArrayTest::unpackRefusesDamage_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value");
    // Offsets into the packed block of a two-field, two-record array (see the test body).
    QTest::newRow("magic") << 0 << 0x00;
    QTest::newRow("field-count-lie") << 4 << 0x7f;
    QTest::newRow("field-type-invalid") << 4 + 4 + 2 + 1 << 3;
    QTest::newRow("record-count-lie") << -1 << 0;
    QTest::newRow("set-mask-bit-past-layout") << -2 << 0;
}

// A damaged block is refused and the target array keeps what it had.
void TlxArrayTest::unpackRefusesDamage() {
    QFETCH(int, offset);
    QFETCH(int, value);
    ArrayPtr a;
    TLAFldAdd(a, "I", TL_INT32);
    TLAFldAdd(a, "T", TL_TEXT);
    AddRow(a, {"1", "one"});
    AddRow(a, {"2", "two"});
    void *bytes = nullptr;
    int length = 0;
    QCOMPARE(TLAPack(a, &bytes, &length), 0);
    QByteArray block(static_cast<const char *>(bytes), length);
    TLMemFree(bytes);
    const int recordCountAt = 4 + 4 + (2 + 1 + 1) + (2 + 1 + 1) + 4;
    if (offset == -1) {
        block[recordCountAt] = char(0x40);
        block[recordCountAt + 3] = char(0x10);
    } else if (offset == -2) {
        block[recordCountAt + 4 + 4] = char(0x04); // third field in a two-field layout
    } else {
        block[offset] = char(value);
    }

    ArrayPtr target;
    TLAFldAdd(target, "keep", TL_INT32);
    AddRow(target, {"42"});
    QVERIFY(TLXArrayUnPackBuf(target, block.constData(), block.size()) != 0);
    QCOMPARE(TLAFldCount(target), 1);
    QCOMPARE(Column(target, 0), QList<QByteArray>{"42"});

    // Every proper prefix of the undamaged block is refused too.
    QCOMPARE(TLAPack(a, &bytes, &length), 0);
    for (int n = 0; n < length; ++n) {
        std::unique_ptr<char[]> cut(new char[size_t(n) + 1]);
        memcpy(cut.get(), bytes, size_t(n));
        QVERIFY2(TLXArrayUnPackBuf(target, cut.get(), n) != 0, qPrintable(QString::number(n)));
    }
    TLMemFree(bytes);
    QCOMPARE(Column(target, 0), QList<QByteArray>{"42"});
}

void TlxArrayTest::unpackFromParamField_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("throughWire");
    QTest::newRow("local-empty") << 0 << false;
    QTest::newRow("local-rows") << 5 << false;
    QTest::newRow("wire-rows") << 5 << true;
    QTest::newRow("wire-large") << 20000 << true;
    QTest::newRow("foreign-copy-refused") << 5 << false;
}

// The select reply path: a packed array sent as a blob field, taken back as a bare text pointer and
// unpacked with the three-argument form, which must find its length by itself.
void TlxArrayTest::unpackFromParamField() {
    QFETCH(int, rows);
    QFETCH(bool, throughWire);
    ArrayPtr a;
    TLAFldAdd(a, "KeyLink", TL_TEXT);
    TLAFldAdd(a, "N", TL_INT32);
    for (int i = 0; i < rows; ++i)
        AddRow(a, {"{" + QByteArray::number(i) + "}", QByteArray::number(i)});
    void *bytes = nullptr;
    int length = 0;
    QCOMPARE(TLAPack(a, &bytes, &length), 0);
    TLXCliParam *reply = TLXPrmCreate("SQL_REQUEST", tlx::wire::kParamReply);
    TLXPrmSetInt32(reply, 0, 0);
    TLXPrmSetInt32(reply, 1, rows);
    TLXPrmSetBytes(reply, 2, length, bytes);
    TLMemFree(bytes);
    if (throughWire) {
        std::vector<uint8_t> wire;
        tlx::wire::EncodeParam(reply, &wire);
        TLXPrmDestroy(reply);
        reply = tlx::wire::DecodeParam(wire.data(), wire.size());
        QVERIFY(reply);
    }
    const char *ptr = nullptr;
    QCOMPARE(TLRGetTextPtr(TLXPrmField(reply, 2), TLXPrmRecord(reply), &ptr), 0);
    ArrayPtr b;
    if (QByteArray(QTest::currentDataTag()) == "foreign-copy-refused") {
        // A copy in memory the library did not hand out has no known length: refused, not read.
        int n = 0;
        TLRGetTextRef(TLXPrmField(reply, 2), TLXPrmRecord(reply), &n, &ptr);
        QByteArray foreign = QByteArray(16, '\0') + QByteArray(ptr, n);
        QCOMPARE(TLXArrayUnPack(b, foreign.constData() + 16, 1), int(TLX_ERR_ARG));
        QCOMPARE(TLXArrayUnPackBuf(b, foreign.constData() + 16, n), 0);
        QCOMPARE(TLARecCount(b), rows);
        TLXPrmDestroy(reply);
        return;
    }
    QCOMPARE(TLXArrayUnPack(b, ptr, 1), 0);
    QCOMPARE(TLARecCount(b), rows);
    QCOMPARE(Column(b, 1), Column(a, 1));
    TLXPrmDestroy(reply);
}

void TlxArrayTest::conversions_data() {
    QTest::addColumn<int>("fieldType");
    QTest::addColumn<QByteArray>("setText");
    QTest::addColumn<int>("setRc");
    QTest::addColumn<int>("asInt");
    QTest::addColumn<int>("asIntRc");
    QTest::addColumn<QByteArray>("asText");

    QTest::newRow("int-field-from-number-text")
        << int(TL_INT32) << QByteArray("42") << 0 << 42 << 0 << QByteArray("42");
    QTest::newRow("int-field-refuses-comma")
        << int(TL_INT32) << QByteArray("12,5") << int(TLX_ERR_TYPE) << 7 << 0 << QByteArray("7");
    QTest::newRow("int-field-refuses-words")
        << int(TL_INT32) << QByteArray("abc") << int(TLX_ERR_TYPE) << 7 << 0 << QByteArray("7");
    QTest::newRow("int-field-refuses-overflow")
        << int(TL_INT32) << QByteArray("3000000000") << int(TLX_ERR_TYPE) << 7 << 0 << QByteArray("7");
    QTest::newRow("double-field-truncates")
        << int(TL_DOUBLE) << QByteArray("-3.9") << 0 << -3 << 0 << QByteArray("-3.9");
    QTest::newRow("text-field-number-text") << int(TL_TEXT) << QByteArray(" 15 ") << 0 << 15 << 0 << QByteArray(" 15 ");
    QTest::newRow("text-field-comma-not-int")
        << int(TL_TEXT) << QByteArray("12,5") << 0 << 0 << int(TLX_ERR_TYPE) << QByteArray("12,5");
    QTest::newRow("text-field-empty") << int(TL_TEXT) << QByteArray("") << 0 << 0 << int(TLX_ERR_TYPE)
                                      << QByteArray("");
    QTest::newRow("bool-field-from-true") << int(TL_BOOL) << QByteArray("true") << 0 << 1 << 0 << QByteArray("1");
}

// A value set as text into a typed field, read back as int32 and as text. A refused set keeps the
// old value (7).
void TlxArrayTest::conversions() {
    QFETCH(int, fieldType);
    QFETCH(QByteArray, setText);
    QFETCH(int, setRc);
    QFETCH(int, asInt);
    QFETCH(int, asIntRc);
    QFETCH(QByteArray, asText);
    ArrayPtr a;
    TLAFldAdd(a, "V", fieldType);
    TLRecord *r = TLARecNew(a);
    TLARecPost(a, r);
    TLField *f = TLRFldByName(a, "V");
    if (fieldType == TL_INT32)
        TLRSetAsInt32(f, r, 7);
    QCOMPARE(TLRSetAsText(f, r, setText.size(), setText.constData()), setRc);
    int32_t i = 0;
    QCOMPARE(TLRGetAsInt32(f, r, &i), asIntRc);
    if (asIntRc == 0)
        QCOMPARE(int(i), asInt);
    const char *p = nullptr;
    QCOMPARE(TLRGetTextPtr(f, r, &p), 0);
    QCOMPARE(QByteArray(p), asText);
}

void TlxArrayTest::valRoundTrip_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("unset") << int(TL_INT32) << QByteArray("~");
    QTest::newRow("int32") << int(TL_INT32) << QByteArray("-17");
    QTest::newRow("text-cyrillic") << int(TL_TEXT) << kCyrillicA;
    QTest::newRow("text-empty") << int(TL_TEXT) << QByteArray("");
}

// A value read with TLRGetVal and written with TLRSetVal into another record is the same value;
// an unset value stays unset (and overwrites a set one).
void TlxArrayTest::valRoundTrip() {
    QFETCH(int, type);
    QFETCH(QByteArray, cell);
    ArrayPtr a;
    TLAFldAdd(a, "V", type);
    AddRow(a, {cell});
    AddRow(a, {type == TL_TEXT ? QByteArray("old") : QByteArray("99")});
    TLVal v;
    QCOMPARE(TLRGetVal(TLAFld(a, 0), TLARec(a, 0, 0), &v), 0);
    QCOMPARE(v.Type, cell == "~" ? int(TL_NONE) : type);
    QCOMPARE(TLRSetVal(TLAFld(a, 0), TLARec(a, 0, 1), &v), 0);
    QCOMPARE(Cell(a, 1, 0), cell);
}

void TlxArrayTest::records_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("deleteAt");
    QTest::newRow("delete-first") << 3 << 0;
    QTest::newRow("delete-last") << 3 << 2;
    QTest::newRow("delete-only") << 1 << 0;
}

void TlxArrayTest::records() {
    QFETCH(int, count);
    QFETCH(int, deleteAt);
    ArrayPtr a;
    TLAFldAdd(a, "N", TL_INT32);
    QList<QByteArray> expected;
    for (int i = 0; i < count; ++i) {
        AddRow(a, {QByteArray::number(i)});
        if (i != deleteAt)
            expected << QByteArray::number(i);
    }
    TLRecord *loose = TLARecNew(a); // never posted: not counted, freed with the array
    QVERIFY(loose);
    QCOMPARE(TLARecCount(a), count);
    QVERIFY(!TLARec(a, 0, count));
    QVERIFY(!TLARec(a, 0, -1));
    QCOMPARE(TLARecDel(a, TLARec(a, 0, deleteAt)), 0);
    QCOMPARE(Column(a, 0), expected);

    ArrayPtr other;
    TLAFldAdd(other, "N", TL_INT32);
    QVERIFY(TLARecPost(other, loose) != 0); // a record belongs to the array that made it
    QVERIFY(TLARecDel(other, TLARec(a, 0, 0)) != 0);
    QCOMPARE(TLARecCount(a), count - 1);

    ArrayPtr layout;
    QCOMPARE(TLACopy(layout, a, 0), 0);
    QCOMPARE(TLAFldCount(layout), 1);
    QCOMPARE(TLARecCount(layout), 0);
    ArrayPtr full;
    QCOMPARE(TLACopy(full, a, 1), 0);
    QCOMPARE(Column(full, 0), expected);
}

void TlxArrayTest::compression_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("short-text") << QByteArray("MAJOR=1\r\nMINOR=7\r\nRELEASE=4");
    QTest::newRow("repetitive-1mb") << QByteArray(1 << 20, 'x');
    QTest::newRow("noise") << Noise(100000);
    QTest::newRow("looks-like-zlib") << QByteArray("\x78\x9c\x01\x02\x03\x04\x05\x06\x07\x08\x09", 11);
}

void TlxArrayTest::compression() {
    QFETCH(QByteArray, data);
    QCOMPARE(TLXDataIsCompress(data.size(), data.constData()), 0);
    void *z = nullptr;
    int zlen = 0;
    QCOMPARE(TLXDataCompress(data.size(), data.constData(), &zlen, &z), 0);
    QCOMPARE(TLXDataIsCompress(zlen, z), 1);
    void *raw = nullptr;
    int rawLen = -1;
    QCOMPARE(TLXDataDeCompress(zlen, z, &rawLen, &raw), 0);
    QCOMPARE(QByteArray(static_cast<const char *>(raw), rawLen), data);
    QCOMPARE(static_cast<const char *>(raw)[rawLen], '\0');
    TLMemFree(raw);
    // Data that is not compressed comes back unchanged.
    QCOMPARE(TLXDataDeCompress(data.size(), data.constData(), &rawLen, &raw), 0);
    QCOMPARE(QByteArray(static_cast<const char *>(raw), rawLen), data);
    TLMemFree(raw);
    TLMemFree(z);
}

void TlxArrayTest::compressionRefusesDamage_data() {
    QTest::addColumn<int>("cut");
    QTest::addColumn<int>("flipAt");
    QTest::addColumn<quint32>("claimedLength");
    QTest::newRow("truncated") << 10 << -1 << 0u;
    QTest::newRow("stream-damaged") << 0 << 20 << 0u;
    QTest::newRow("length-too-small") << 0 << -1 << 100u;
    QTest::newRow("length-huge") << 0 << -1 << 0x7fffff00u;
}

void TlxArrayTest::compressionRefusesDamage() {
    QFETCH(int, cut);
    QFETCH(int, flipAt);
    QFETCH(quint32, claimedLength);
    QByteArray data = Noise(3000) + QByteArray(3000, 'a');
    void *z = nullptr;
    int zlen = 0;
    QCOMPARE(TLXDataCompress(data.size(), data.constData(), &zlen, &z), 0);
    QByteArray block(static_cast<const char *>(z), zlen - cut);
    TLMemFree(z);
    if (flipAt >= 0)
        block[flipAt] = char(block[flipAt] ^ 0x55);
    if (claimedLength)
        qToLittleEndian(claimedLength, block.data() + 4);
    void *raw = nullptr;
    int rawLen = 0;
    QVERIFY(TLXDataDeCompress(block.size(), block.constData(), &rawLen, &raw) != 0);
    QVERIFY(!raw);
}

void TlxArrayTest::paramFields_data() {
    QTest::addColumn<int>("pos");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("first") << 0 << QByteArray("_ID");
    QTest::newRow("past-end-grows") << 5 << QByteArray("_CODE");
}

void TlxArrayTest::paramFields() {
    QFETCH(int, pos);
    QFETCH(QByteArray, name);
    TLXCliParam *p = TLXPrmCreate("EVENT", TLX_MSG_EVENT);
    QCOMPARE(TLXPrmFieldCount(p), 0);
    QVERIFY(!TLXPrmField(p, 0));
    QCOMPARE(TLXPrmSetInt32(p, pos, 8301), 0);
    QCOMPARE(TLXPrmSetName(p, pos, name.constData()), 0);
    QCOMPARE(TLXPrmFieldCount(p), pos + 1);
    QCOMPARE(TLXPrmFieldIndex(p, name.constData()), pos);
    QCOMPARE(TLXPrmFieldIndex(p, name.toLower().constData()), -1); // event fields match case exactly
    QVERIFY(!TLXPrmFieldName(p, pos + 1));
    for (int i = 0; i < pos; ++i)
        QCOMPARE(TLXPrmFieldType(p, i), int(TL_NONE));
    // Overwriting a field with another type changes its type.
    QCOMPARE(TLXPrmSetText(p, pos, 4, "8302"), 0);
    QCOMPARE(TLXPrmFieldType(p, pos), int(TL_TEXT));
    int32_t code = 0;
    QCOMPARE(TLRGetAsInt32(TLXPrmField(p, pos), TLXPrmRecord(p), &code), 0);
    QCOMPARE(code, 8302);
    QVERIFY(TLXPrmSetInt32(p, -1, 0) != 0);

    ArrayPtr a;
    TLAFldAdd(a, "N", TL_INT32);
    AddRow(a, {"5"});
    QCOMPARE(TLXCliSetArr(p, "_ARR", a, 1), 0);
    AddRow(a, {"6"}); // the record holds a copy taken when attached
    ArrayPtr b;
    QCOMPARE(TLXCliGetArr(p, "_ARR", b), 0);
    QCOMPARE(Column(b, 0), QList<QByteArray>{"5"});
    QCOMPARE(TLXCliGetArr(p, "_TBL", b), int(TLX_ERR_NOTFOUND));
    TLXPrmDestroy(p);
}

QTEST_GUILESS_MAIN(TlxArrayTest)
#include "tlx_array_test.moc"

// The byte rules of a response line, without a port: fields, separators,
// dropped control bytes, Latin-1, field overflow, the line cap, and that the
// way bytes are cut into chunks never changes the result.
#include <QApplication>
#include <QRandomGenerator>
#include <QtTest>

#include "line_receiver.h"
#include "test_env.h"

using R = LineReceiver::Result;
Q_DECLARE_METATYPE(LineReceiver::Result)

namespace {

// A plain one-byte-at-a-time model of the rules to compare against.
struct Model {
    QStringList* f = nullptr;
    int index = 0;
    int bytes = 0;
    int cap;
    bool discard = false;
    explicit Model(int c) : cap(c) {}
    void begin(QStringList& fields) {
        f = &fields;
        index = 0;
        bytes = 0;
        fields[0] = QString();
    }
    // Returns the result for one byte, NeedMore while the line goes on.
    R byte(unsigned char c) {
        if (discard) {
            if (c == '\n') discard = false;
            return R::NeedMore;
        }
        if (c == '\n') return R::LineComplete;
        if (++bytes > cap) {
            discard = true;
            return R::LineTooLong;
        }
        if (c == ';' || c == ',') {
            if (++index >= f->size()) return R::FieldOverflow;
            (*f)[index] = QString();
        } else if (c >= 32) {
            (*f)[index] += QChar(c);
        }
        return R::NeedMore;
    }
};

// Feeds `data` in chunks of the given sizes (cycled); stops at the first
// result other than NeedMore. Returns the result and the bytes consumed.
std::pair<R, qsizetype> feedChunked(LineReceiver& rx, const QByteArray& data,
                                    const QList<int>& chunks) {
    qsizetype pos = 0;
    int k = 0;
    while (pos < data.size()) {
        const qsizetype n = qMin<qsizetype>(chunks[k++ % chunks.size()], data.size() - pos);
        qsizetype used = -1;
        const R r = rx.feed(data.constData() + pos, n, &used);
        if (used < 0 || used > n) return {R::NeedMore, -1};
        pos += used;
        if (r != R::NeedMore) return {r, pos};
        if (used != n) return {R::NeedMore, -2};   // NeedMore must take everything
    }
    return {R::NeedMore, pos};
}

QStringList three(const QString& a = "x0", const QString& b = "x1", const QString& c = "x2") {
    return {a, b, c};
}

}  // namespace

class TestLineReceiver : public QObject {
    Q_OBJECT
private slots:
    void fieldRules_data();
    void fieldRules();
    void overflowLeavesRestForNextLine();
    void emptyListOverflowsAtOnce();
    void capAndDiscardThroughLaterLf();
    void abandonAndResetAfterPartialLine();
    void chunkingAndModelAgreeOnRandomBytes();
};

void TestLineReceiver::fieldRules_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<qsizetype>("used");

    QTest::newRow("three fields, CR dropped")
        << QByteArray("12;FAST,0\r\nrest") << QStringList{"12", "FAST", "0"} << qsizetype(11);
    QTest::newRow("LF only keeps fields 1 and 2")
        << QByteArray("\n") << three("", "x1", "x2") << qsizetype(1);
    QTest::newRow("CR LF only") << QByteArray("\r\n") << three("", "x1", "x2") << qsizetype(2);
    QTest::newRow("two separators give three empty fields")
        << QByteArray(";,\n") << QStringList{"", "", ""} << qsizetype(3);
    QTest::newRow("short line leaves field 2")
        << QByteArray("A,B\n") << three("A", "B", "x2") << qsizetype(4);
    QTest::newRow("blanks stay, TAB and control bytes vanish")
        << QByteArray(" R \t\x01\x1f,\x1b"
                      "F\x7f\n")
        << three(" R ", "F\x7f", "x2") << qsizetype(11);
    QByteArray high;
    QString highText;
    for (int c = 128; c < 256; ++c) {
        high.append(char(c));
        highText.append(QChar(c));
    }
    QTest::newRow("bytes 128 to 255 become Latin-1 characters")
        << high + "\n" << three(highText, "x1", "x2") << qsizetype(129);
}

void TestLineReceiver::fieldRules() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QFETCH(qsizetype, used);
    // Whole, then byte by byte, then in odd pieces: always the same line.
    const QList<QList<int>> cuts{{int(bytes.size())}, {1}, {2, 3}};
    for (const auto& cut : cuts) {
        LineReceiver rx(4096);
        QStringList fields = three();
        rx.begin(fields);
        const auto [r, pos] = feedChunked(rx, bytes, cut);
        QCOMPARE(r, R::LineComplete);
        QCOMPARE(pos, used);
        QCOMPARE(fields, expected);
    }
}

void TestLineReceiver::overflowLeavesRestForNextLine() {
    LineReceiver rx(4096);
    const QByteArray data("a;b,c;d,e\nnext\n");
    QStringList fields = three();
    rx.begin(fields);
    qsizetype used = 0;
    QCOMPARE(rx.feed(data.constData(), data.size(), &used), R::FieldOverflow);
    QCOMPARE(used, qsizetype(6));   // through the third separator
    QCOMPARE(fields, (QStringList{"a", "b", "c"}));

    // What follows is read as a line of its own.
    QStringList again = three("old0", "old1", "old2");
    rx.begin(again);
    qsizetype used2 = 0;
    QCOMPARE(rx.feed(data.constData() + used, data.size() - used, &used2), R::LineComplete);
    QCOMPARE(again, (QStringList{"d", "e", "old2"}));
    QCOMPARE(used + used2, qsizetype(10));
}

void TestLineReceiver::emptyListOverflowsAtOnce() {
    LineReceiver rx(4096);
    QStringList none;
    rx.begin(none);
    qsizetype used = 99;
    QCOMPARE(rx.feed("1\n", 2, &used), R::FieldOverflow);
    QCOMPARE(used, qsizetype(0));
}

void TestLineReceiver::capAndDiscardThroughLaterLf() {
    LineReceiver rx(8);
    QStringList fields = three();

    // Exactly the cap (separators and dropped bytes count) is still a line.
    rx.begin(fields);
    qsizetype used = 0;
    QCOMPARE(rx.feed("12\r4;678\n", 9, &used), R::LineComplete);
    QCOMPARE(fields, (QStringList{"124", "678", "x2"}));

    // One byte more fails at that byte, however the bytes are cut.
    for (const QList<int>& cut : QList<QList<int>>{{100}, {1}, {3}}) {
        LineReceiver r2(8);
        QStringList f = three();
        r2.begin(f);
        const auto [res, pos] = feedChunked(r2, "123456789abc", cut);
        QCOMPARE(res, R::LineTooLong);
        QCOMPARE(pos, qsizetype(9));
        QVERIFY(r2.discarding());
    }

    // The rest of the long line, also arriving in later pieces, is dropped;
    // the line after its LF comes through whole.
    rx.begin(fields);
    QCOMPARE(rx.feed("AAAAAAAAA", 9, &used), R::LineTooLong);
    rx.begin(fields);
    QCOMPARE(rx.feed("BBBB;BBBB", 9, &used), R::NeedMore);
    QCOMPARE(used, qsizetype(9));
    QCOMPARE(rx.feed("BB\nok,1\n", 8, &used), R::LineComplete);
    QCOMPARE(used, qsizetype(8));
    QCOMPARE(fields.mid(0, 2), (QStringList{"ok", "1"}));
    QVERIFY(!rx.discarding());
}

void TestLineReceiver::abandonAndResetAfterPartialLine() {
    LineReceiver rx(4096);
    QStringList fields = three();
    qsizetype used = 0;

    // Nothing taken yet: giving up leaves the next line alone.
    rx.begin(fields);
    rx.abandonLine();
    QVERIFY(!rx.discarding());

    // Half a line taken: its tail is not mistaken for the next line.
    rx.begin(fields);
    QCOMPARE(rx.feed("12;3", 4, &used), R::NeedMore);
    rx.abandonLine();
    QVERIFY(rx.discarding());
    rx.begin(fields);
    QCOMPARE(rx.feed("4\nnew\n", 6, &used), R::LineComplete);
    QCOMPARE(fields[0], QString("new"));

    // reset() forgets a pending discard.
    rx.begin(fields);
    rx.feed("x", 1, &used);
    rx.abandonLine();
    rx.reset();
    rx.begin(fields);
    QCOMPARE(rx.feed("fresh\n", 6, &used), R::LineComplete);
    QCOMPARE(fields[0], QString("fresh"));
}

void TestLineReceiver::chunkingAndModelAgreeOnRandomBytes() {
    QRandomGenerator rng(5927);
    const char alphabet[] = {';', ',', '\n', '\r', '\t', 'A', '7', ' ', '\x7f', '\x80', '\xe9', '\0'};
    for (int round = 0; round < 400; ++round) {
        const int cap = 1 + int(rng.bounded(40));
        const int capacity = 1 + int(rng.bounded(4));
        QByteArray data;
        const int len = int(rng.bounded(200));
        for (int i = 0; i < len; ++i)
            data.append(rng.bounded(4) == 0 ? char(rng.bounded(256))
                                            : alphabet[rng.bounded(int(sizeof alphabet))]);

        LineReceiver rx(cap);
        Model model(cap);
        qsizetype pos = 0;
        qsizetype mpos = 0;
        while (pos < data.size()) {
            QStringList got(capacity, QStringLiteral("keep"));
            QStringList want = got;
            rx.begin(got);
            model.begin(want);
            R m = R::NeedMore;
            while (mpos < data.size() && m == R::NeedMore)
                m = model.byte(uchar(data[mpos++]));
            const QList<int> cut{1 + int(rng.bounded(7)), 1 + int(rng.bounded(50))};
            const auto [r, used] = feedChunked(rx, data.mid(pos), cut);
            QVERIFY2(used >= 0, "a feed used more than it was given or left bytes behind");
            pos += used;
            QCOMPARE(r, m);
            QCOMPARE(pos, mpos);
            QCOMPARE(got, want);
            if (r == R::NeedMore) break;
        }
    }
}

ORVEN_TEST_MAIN(TestLineReceiver)
#include "test_line_receiver.moc"

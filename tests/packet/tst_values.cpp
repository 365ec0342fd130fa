// Day numbers (dates as server arguments carry them) and the typed columns that hold packet
// and working-set values: null versus empty, texts beyond their slot, copy-on-write sharing.

#include "sup/data/Column.h"
#include "sup/data/DataPacket.h"
#include "sup/data/DayNumber.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace sup::data;
using namespace Qt::StringLiterals;

class TestValues : public QObject {
    Q_OBJECT

private slots:
    void dayZeroAndEmptyDates();
    void knownDayNumbers_data();
    void knownDayNumbers();
    void fractionIsTimeOfDay();
    void dayNumbersRoundTrip();
    void unusableDayNumbersGiveEmptyDates();
    void storedMillisecondsAtTheEdges();

    void nullAndEmptyTextsDiffer();
    void textsBeyondTheirSlot();
    void shrinkingDropsOverflowTexts();
    void copiesShareUntilWritten();
    void packetsShareColumns();
    void cellEquality();
    void appendingCells();
    void valueConversions();
};

void TestValues::dayZeroAndEmptyDates() {
    QCOMPARE(toDayNumber(QDate(1899, 12, 30)), 0.0);
    QCOMPARE(toDayNumber(QDate()), 0.0);
    QCOMPARE(toDayNumber(QDateTime()), 0.0);
    QVERIFY(dateFromDayNumber(0.0).isNull());
    QVERIFY(!dateTimeFromDayNumber(0.0).isValid());
    QVERIFY(dateFromDayNumber(-0.0).isNull());
    // Any other number near zero is a real date.
    QCOMPARE(dateFromDayNumber(0.5), QDate(1899, 12, 30));
    QCOMPARE(dateFromDayNumber(-0.5), QDate(1899, 12, 29));
}

void TestValues::knownDayNumbers_data() {
    QTest::addColumn<QDate>("date");
    QTest::addColumn<double>("day");
    QTest::newRow("1899-12-31") << QDate(1899, 12, 31) << 1.0;
    QTest::newRow("1900-01-01") << QDate(1900, 1, 1) << 2.0;
    QTest::newRow("1900-03-01") << QDate(1900, 3, 1) << 61.0;
    QTest::newRow("2000-01-01") << QDate(2000, 1, 1) << 36526.0;
    QTest::newRow("2024-01-01") << QDate(2024, 1, 1) << 45292.0;
    QTest::newRow("2024-02-29") << QDate(2024, 2, 29) << 45351.0;
    QTest::newRow("1899-12-29") << QDate(1899, 12, 29) << -1.0;
    QTest::newRow("0001-01-01") << QDate(1, 1, 1) << -693593.0;
    QTest::newRow("9999-12-31") << QDate(9999, 12, 31) << 2958465.0;
}

void TestValues::knownDayNumbers() {
    QFETCH(QDate, date);
    QFETCH(double, day);
    QCOMPARE(toDayNumber(date), day);
    QCOMPARE(dateFromDayNumber(day), date);
    QCOMPARE(toDayNumber(QDateTime(date, QTime(0, 0))), day);
}

void TestValues::fractionIsTimeOfDay() {
    QCOMPARE(dateTimeFromDayNumber(45292.5), QDateTime(QDate(2024, 1, 1), QTime(12, 0), Qt::UTC));
    QCOMPARE(dateTimeFromDayNumber(45292.25).time(), QTime(6, 0));
    QCOMPARE(toDayNumber(QDateTime(QDate(2024, 1, 1), QTime(18, 0))), 45292.75);
    QCOMPARE(dateFromDayNumber(45292.999), QDate(2024, 1, 1));
    // Before day 0 the whole part is the floor: -1.25 is 1899-12-28 at 18:00.
    QCOMPARE(dateTimeFromDayNumber(-1.25), QDateTime(QDate(1899, 12, 28), QTime(18, 0), Qt::UTC));
    QCOMPARE(toDayNumber(QDateTime(QDate(1899, 12, 28), QTime(18, 0))), -1.25);
    // A fraction that rounds up to a whole day moves to the next day.
    QCOMPARE(dateTimeFromDayNumber(45292.9999999999),
             QDateTime(QDate(2024, 1, 2), QTime(0, 0), Qt::UTC));
}

void TestValues::dayNumbersRoundTrip() {
    const QDate dates[] = {QDate(1, 1, 1),     QDate(1899, 12, 29), QDate(1899, 12, 31),
                           QDate(1970, 1, 1),  QDate(2024, 2, 29),  QDate(2038, 1, 19),
                           QDate(9999, 12, 31)};
    const QTime times[] = {QTime(0, 0), QTime(0, 0, 0, 1), QTime(12, 0), QTime(13, 37, 42, 123),
                           QTime(23, 59, 59, 999)};
    for (const QDate& d : dates) {
        QCOMPARE(dateFromDayNumber(toDayNumber(d)), d);
        for (const QTime& t : times) {
            const QDateTime dt(d, t, Qt::UTC);
            QCOMPARE(dateTimeFromDayNumber(toDayNumber(dt)), dt);
            QCOMPARE(dateFromDayNumber(toDayNumber(dt)), d);
        }
    }
    // Every millisecond of the first second and the last second of a day.
    for (int ms = 0; ms < 1000; ++ms) {
        const QDateTime a(QDate(2024, 6, 1), QTime(0, 0, 0, ms), Qt::UTC);
        const QDateTime b(QDate(2024, 6, 1), QTime(23, 59, 59, ms), Qt::UTC);
        QCOMPARE(dateTimeFromDayNumber(toDayNumber(a)), a);
        QCOMPARE(dateTimeFromDayNumber(toDayNumber(b)), b);
    }
}

void TestValues::unusableDayNumbersGiveEmptyDates() {
    for (double d :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), 1e300, -1e300, 1e12,
          std::numeric_limits<double>::max()}) {
        QVERIFY2(dateFromDayNumber(d).isNull(), qPrintable(QString::number(d)));
        QVERIFY2(!dateTimeFromDayNumber(d).isValid(), qPrintable(QString::number(d)));
    }
}

void TestValues::storedMillisecondsAtTheEdges() {
    QCOMPARE(toStoredMs(QDate(1899, 12, 30)), 0);
    QCOMPARE(toStoredMs(QDateTime(QDate(1899, 12, 29), QTime(23, 59, 59, 999))), -1);
    QCOMPARE(fromStoredMs(-1), QDateTime(QDate(1899, 12, 29), QTime(23, 59, 59, 999), Qt::UTC));
    QCOMPARE(toStoredMs(QDate()), 0);
    QCOMPARE(toStoredMs(QDateTime()), 0);
    // QDate reaches far beyond 64-bit milliseconds: clamped, not wrapped round.
    const QDate far = QDate::fromJulianDay(700'000'000'000LL);
    QVERIFY(far.isValid());
    QVERIFY(toStoredMs(far) > 0);
    QVERIFY(toStoredMs(QDate::fromJulianDay(-700'000'000'000LL)) < 0);
    for (qint64 ms : {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(),
                      qint64(-86400000), qint64(86399999)}) {
        (void)fromStoredMs(ms); // no overflow on the way (checked by the sanitizer build)
    }
    const QDateTime dt(QDate(2024, 2, 29), QTime(12, 34, 56, 789));
    QCOMPARE(fromStoredMs(toStoredMs(dt)).date(), dt.date());
    QCOMPARE(fromStoredMs(toStoredMs(dt)).time(), dt.time());
}

void TestValues::nullAndEmptyTextsDiffer() {
    for (int size : {1, 10, 0, 400}) {
        Column c(FieldType::Text, size);
        c.appendNull();
        c.appendText(u""_s);
        QVERIFY(c.isNull(0));
        QVERIFY(!c.isNull(1));
        QVERIFY(!c.value(0).isValid());
        QVERIFY(c.value(1).isValid());
        QVERIFY(c.text(0).isNull());
        QVERIFY(!c.text(1).isNull());
        QVERIFY(c.text(1).isEmpty());
        QVERIFY(!c.cellEquals(0, c, 1));
        // Writing a null over a text clears it.
        c.setText(1, u"x"_s);
        c.setNull(1);
        QVERIFY(c.isNull(1));
        QVERIFY(c.cellEquals(0, c, 1));
    }
}

void TestValues::textsBeyondTheirSlot() {
    // A 3-character field keeps 3 bytes in its slot; "ção" needs 5 and goes to the overflow.
    Column c(FieldType::Text, 3);
    c.appendText(u"ção"_s);
    c.appendText(u"abc"_s);
    c.appendText(u"𝄞"_s);
    QCOMPARE(c.text(0), u"ção"_s);
    QCOMPARE(c.utf8(0).size(), 5);
    QCOMPARE(c.text(1), u"abc"_s);
    QCOMPARE(c.text(2), u"𝄞"_s);
    // Overwriting moves the text between slot and overflow both ways.
    c.setText(0, u"abc"_s);
    QCOMPARE(c.text(0), u"abc"_s);
    c.setText(1, u"ããã"_s);
    QCOMPARE(c.text(1), u"ããã"_s);
    c.setUtf8(0, "\xc3\xa9\xc3\xa9");
    QCOMPARE(c.text(0), u"éé"_s);
    c.setUtf8(0, "ab");
    QCOMPARE(c.text(0), u"ab"_s);
    QCOMPARE(c.text(1), u"ããã"_s);
}

void TestValues::shrinkingDropsOverflowTexts() {
    Column c(FieldType::Text, 2);
    c.appendText(u"ab"_s);
    c.appendText(u"çã"_s);
    c.resize(1);
    c.resize(2);
    QVERIFY(c.isNull(1));
    QCOMPARE(c.text(1), QString());
    QCOMPARE(c.text(0), u"ab"_s);
    c.setText(1, u"xy"_s);
    QCOMPARE(c.text(1), u"xy"_s);
}

void TestValues::copiesShareUntilWritten() {
    Column a(FieldType::Text, 10);
    for (int i = 0; i < 1000; ++i) {
        a.appendText(QString::number(i));
    }
    Column b = a;
    QVERIFY(a.sharesWith(b));
    // Reads do not detach.
    QCOMPARE(b.text(999), u"999"_s);
    (void)b.utf8(5);
    (void)b.memoryBytes();
    QVERIFY(a.sharesWith(b));
    b.setText(0, u"changed"_s);
    QVERIFY(!a.sharesWith(b));
    QCOMPARE(a.text(0), u"0"_s);
    QCOMPARE(b.text(0), u"changed"_s);
    // Every other kind of write detaches too.
    Column n(FieldType::Double, 0);
    n.appendReal(1.5);
    Column m = n;
    m.setNull(0);
    QVERIFY(!n.isNull(0));
    Column r = n;
    r.resize(5);
    QCOMPARE(n.size(), 1);
    Column moved = std::move(r);
    QCOMPARE(moved.size(), 5);
}

void TestValues::packetsShareColumns() {
    const FieldDefs defs{FieldDef::integer(u"N"_s)};
    Column c(defs[0]);
    c.appendInteger(7);
    const DataPacket p(defs, {c});
    QVERIFY(p.column(0).sharesWith(c));
    const DataPacket q = p; // a copy of the packet copies no rows
    QVERIFY(q.column(0).sharesWith(c));
    c.setInteger(0, 8);
    QCOMPARE(p.column(0).integer(0), 7);
    QVariant v = QVariant::fromValue(p);
    QVERIFY(v.value<DataPacket>().column(0).sharesWith(p.column(0)));
}

void TestValues::cellEquality() {
    Column d(FieldType::Double, 0);
    d.appendReal(std::numeric_limits<double>::quiet_NaN());
    d.appendReal(std::numeric_limits<double>::quiet_NaN());
    d.appendReal(0.0);
    d.appendReal(-0.0);
    d.appendNull();
    QVERIFY(d.cellEquals(0, d, 1)); // NaN is NaN: an unchanged NaN is not a change
    QVERIFY(d.cellEquals(2, d, 3));
    QVERIFY(!d.cellEquals(2, d, 4)); // 0 is not null
    Column t(FieldType::Text, 5);
    t.appendText(u"abc"_s);
    t.appendText(u"ABC"_s);
    QVERIFY(!t.cellEquals(0, t, 1));
}

void TestValues::appendingCells() {
    // Every kind of cell appended from another column: same and other slot sizes, the overflow
    // table, unbounded texts, nulls, a column that shares storage and the column itself.
    Column src(FieldType::Text, 3);
    src.appendText(u"abc"_s);
    src.appendText(u"ção"_s); // overflow
    src.appendNull();
    src.appendText(u""_s);
    for (int size : {3, 10, 0}) {
        Column dst(FieldType::Text, size);
        for (qsizetype r = 0; r < src.size(); ++r) {
            dst.appendCell(src, r);
        }
        QCOMPARE(dst.size(), 4);
        for (qsizetype r = 0; r < src.size(); ++r) {
            QVERIFY2(dst.cellEquals(r, src, r), qPrintable(u"size %1 row %2"_s.arg(size).arg(r)));
        }
        QVERIFY(dst.isNull(2));
        QVERIFY(!dst.isNull(3));
        // In bulk, in any order, after a cell of its own.
        const qsizetype order[] = {3, 1, 2, 0, 1};
        Column bulk(FieldType::Text, size);
        bulk.appendText(u"x"_s);
        bulk.appendCells(src, order, 5);
        QCOMPARE(bulk.size(), 6);
        QCOMPARE(bulk.text(0), u"x"_s);
        for (int k = 0; k < 5; ++k)
            QVERIFY2(bulk.cellEquals(k + 1, src, order[k]), qPrintable(u"size %1"_s.arg(size)));
    }
    Column shared = src;
    shared.appendCell(src, 1);
    QCOMPARE(src.size(), 4);
    QCOMPARE(shared.text(4), u"ção"_s);
    src.appendCell(src, 0);
    src.appendCell(src, 1);
    QCOMPARE(src.text(4), u"abc"_s);
    QCOMPARE(src.text(5), u"ção"_s);

    Column d(FieldType::Double, 0), i(FieldType::Integer, 0), t(FieldType::DateTime, 0),
        b(FieldType::Boolean, 0);
    d.appendReal(-0.0);
    i.appendInteger(std::numeric_limits<qint64>::min());
    t.appendDateTimeMs(-1);
    b.appendBoolean(true);
    for (Column* c : {&d, &i, &t, &b}) {
        c->appendNull();
        Column copy(c->type(), 0);
        copy.appendCell(*c, 0);
        copy.appendCell(*c, 1);
        QVERIFY(copy.cellEquals(0, *c, 0));
        QVERIFY(copy.isNull(1));
        const qsizetype reversed[] = {1, 0};
        Column bulk(c->type(), 0);
        bulk.appendCells(*c, reversed, 2);
        QVERIFY(bulk.isNull(0));
        QVERIFY(bulk.cellEquals(1, *c, 0));
    }
    Column dd(FieldType::Double, 0);
    dd.appendCell(d, 0);
    QVERIFY(std::signbit(dd.real(0)));
}

void TestValues::valueConversions() {
    Column dt(FieldType::DateTime, 0);
    dt.appendValue(QDate(2024, 1, 1));
    dt.appendValue(45292.5); // a day number
    dt.appendValue(u"31/12/2023 08:30"_s);
    dt.appendValue(QDateTime());
    QCOMPARE(dt.value(0).toDateTime(), QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC));
    QCOMPARE(dt.value(1).toDateTime(), QDateTime(QDate(2024, 1, 1), QTime(12, 0), Qt::UTC));
    QCOMPARE(dt.value(2).toDateTime(), QDateTime(QDate(2023, 12, 31), QTime(8, 30), Qt::UTC));
    QVERIFY(dt.isNull(3));
    // A midnight that the local clock skipped (São Paulo, start of daylight saving in 2017) is
    // kept as typed: dates given as text are wall-clock values.
    dt.appendValue(u"15/10/2017"_s);
    QCOMPARE(dt.value(4).toDateTime(), QDateTime(QDate(2017, 10, 15), QTime(0, 0), Qt::UTC));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, dt.appendValue(u"amanhã"_s));
    QCOMPARE(dt.size(), 5); // a refused append leaves no row behind

    Column n(FieldType::Double, 0);
    n.appendValue(u"1.234,5"_s);
    n.appendValue(u"2.5"_s);
    QCOMPARE(n.real(0), 1234.5);
    QCOMPARE(n.real(1), 2.5);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, n.appendValue(QDate(2024, 1, 1)));

    Column i(FieldType::Integer, 0);
    i.appendValue(2.6);
    QCOMPARE(i.integer(0), 3);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, i.appendValue(1e300));
}

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"

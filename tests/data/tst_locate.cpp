// Locate on one or several fields (letter case, dates and doubles in keys) and the key index
// the save's duplicate check counts with.

#include "ItemShape.h"

#include "sup/data/KeyIndex.h"
#include "sup/data/WorkingSet.h"

#include <QTest>

#include <random>

using namespace sup::data;
using namespace Qt::StringLiterals;
using testdata::day;
using testdata::itemPacket;
using testdata::itemRow;

namespace {

const QString kLocateKey =
    QStringLiteral("CDFILDEST;CDFILLANC;NRPEDEXOL;DTPROGENPEOL;CDMARCA;CDPRODUTO");

// The six key values of row i of the item list, in the order of kLocateKey.
QVariantList locateValues(int i) {
    const QVariantList r = itemRow(i);
    return {r[10], r[9], r[8], r[11], r[14], r[3]};
}

// The same, in the order of testdata::kItemKey.
QVariantList keyValues(const TWorkingSet& s, int position) {
    QVariantList out;
    for (const QString& n : testdata::kItemKey.split(u';')) {
        out << s.valueAt(position, s.fieldByName(n)->index());
    }
    return out;
}

} // namespace

class LocateTest : public QObject {
    Q_OBJECT

private slots:
    void locatesOnTheSixFieldKey() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(40));
        int scrolls = 0;
        s.AfterScroll = [&](TWorkingSet&) {
            ++scrolls;
        };
        QVERIFY(s.locate(kLocateKey, locateValues(33)));
        QCOMPARE(s.currentPosition(), 33);
        QCOMPARE(scrolls, 1);

        // Not found: the cursor stays and nothing scrolls.
        QVariantList v = locateValues(12);
        v[5] = QStringLiteral("P999999");
        QVERIFY(!s.locate(kLocateKey, v));
        QCOMPARE(s.currentPosition(), 33);
        QCOMPARE(scrolls, 1);

        // Blanks around names are fine.
        QVERIFY(s.locate(QStringLiteral(" CDMARCA ; CDFILLANC "),
                         {QStringLiteral("M04"), QStringLiteral("2001")}));
        QCOMPARE(s.currentPosition(), 4);
    }

    void letterCaseIsIgnoredOnRequest() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(40));
        QVariantList v = locateValues(20);
        v[0] = v[0].toString().toLower(); // "1006 filial 6"
        v[4] = v[4].toString().toLower(); // "m09"
        QVERIFY(!s.locate(kLocateKey, v));
        QVERIFY(s.locate(kLocateKey, v, {.caseInsensitive = true}));
        QCOMPARE(s.currentPosition(), 20);

        // Accented letters fold too.
        QVERIFY(s.locate(QStringLiteral("NMPRODUTO"), QStringLiteral("PRODUTO NÚMERO 7"),
                         {.caseInsensitive = true}));
        QCOMPARE(s.currentPosition(), 7);
        QVERIFY(!s.locate(QStringLiteral("NMPRODUTO"), QStringLiteral("PRODUTO NUMERO 7"),
                          {.caseInsensitive = true}));
        // A prefix, when asked for.
        QVERIFY(s.locate(QStringLiteral("NMPRODUTO"), QStringLiteral("produto número 3"),
                         {.caseInsensitive = true, .partialKey = true}));
        QCOMPARE(s.currentPosition(), 3);
    }

    void datesAndNumbersInKeys() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(40));
        const QVariantList base = locateValues(14); // delivery 2024-03-15
        QVariantList v = base;
        v[3] = QDate(2024, 3, 15);
        QVERIFY(s.locate(kLocateKey, v));
        QCOMPARE(s.currentPosition(), 14);
        v[3] = QStringLiteral("15/03/2024");
        s.first();
        QVERIFY(s.locate(kLocateKey, v));
        QCOMPARE(s.currentPosition(), 14);
        v[3] = 45366.0; // the day number of 2024-03-15
        s.first();
        QVERIFY(s.locate(kLocateKey, v));
        QCOMPARE(s.currentPosition(), 14);
        v[3] = QDateTime(QDate(2024, 3, 15), QTime(8, 0), Qt::UTC); // another time of day
        QVERIFY(!s.locate(kLocateKey, v));
        v[3] = QStringLiteral("quinze de março");
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.locate(kLocateKey, v));

        // Doubles: the first record with quantity 15, however the value is given.
        for (const QVariant& q : {QVariant(15.0), QVariant(15), QVariant(QStringLiteral("15,0"))}) {
            s.last();
            QVERIFY(s.locate(QStringLiteral("QTPROGENPEOL"), q));
            QCOMPARE(s.currentPosition(), 5);
        }
        QVERIFY(s.locate(QStringLiteral("QTPROGENPEOL;CDFILLANC"), {25.0, QStringLiteral("2000")}));
        QCOMPARE(s.currentPosition(), 15);
    }

    void nullAndBlankTexts() {
        TWorkingSet s;
        s.setFieldDefs({FieldDef::text(QStringLiteral("FIX"), 4, {}, true),
                        FieldDef::text(QStringLiteral("TXT"), 10)});
        s.createDataSet();
        for (const char* v : std::initializer_list<const char*>{"AB", "", nullptr}) {
            s.append();
            s.fieldByName(u"FIX")->setAsString(QString::fromLatin1(v ? v : "Z"));
            if (v) {
                s.fieldByName(u"TXT")->setAsString(QString::fromLatin1(v));
            }
            s.post();
        }
        QVERIFY(s.locate(QStringLiteral("FIX"), QStringLiteral("AB")));   // padded "AB  "
        QVERIFY(s.locate(QStringLiteral("FIX"), QStringLiteral("AB  "))); // or given padded
        QCOMPARE(s.currentPosition(), 0);
        QVERIFY(s.locate(QStringLiteral("TXT"), QVariant())); // an empty text is found as null
        QCOMPARE(s.currentPosition(), 1);
        QVERIFY(s.locate(QStringLiteral("FIX;TXT"), {QStringLiteral("Z"), QString()}));
        QCOMPARE(s.currentPosition(), 2);
    }

    void searchesOnlyTheVisibleRecords() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(20));
        s.setFilter(QStringLiteral("[CDFILLANC] = '2001'"));
        s.setFiltered(true);
        QVERIFY(!s.locate(QStringLiteral("CDMARCA"), QStringLiteral("M03"))); // row 3 is '2000'
        QVERIFY(s.locate(QStringLiteral("CDMARCA"), QStringLiteral("M04")));
        QCOMPARE(s.currentPosition(), 1);
        QCOMPARE(s.physicalRow(s.currentPosition()), 4);
    }

    void misuseIsReported() {
        TWorkingSet s(nullptr, QStringLiteral("cdsItem"));
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.locate(QStringLiteral("CDMARCA"), QVariant()));
        s.loadFromPacket(itemPacket(3));
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.locate(QStringLiteral("CDMARCA;CDFILLANC"),
                                                        QVariantList{QStringLiteral("M01")}));
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.locate(QStringLiteral("NADA"), QVariant(1)));
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.locate(QString(), QVariantList()));
    }

    void keyIndexCountsAndFinds() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(300));
        // Row 11 takes the key of row 10: a duplicate.
        s.moveTo(11);
        s.edit();
        for (const QString& n : testdata::kItemKey.split(u';')) {
            s.fieldByName(n)->setValue(s.valueAt(10, s.fieldByName(n)->index()));
        }
        s.post();

        const KeyIndex index(s, testdata::kItemKey);
        QCOMPARE(index.size(), 300);
        QCOMPARE(index.keyFields().size(), 6);
        QCOMPARE(index.count(keyValues(s, 10)), 2);
        QCOMPARE(index.find(keyValues(s, 10)), 10);
        QCOMPARE(index.findAll(keyValues(s, 10)), QList<int>({10, 11}));
        QCOMPARE(index.count(keyValues(s, 200)), 1);
        QCOMPARE(index.find(keyValues(s, 200)), 200);
        QVariantList missing = keyValues(s, 200);
        missing[4] = QStringLiteral("XXXX");
        QCOMPARE(index.count(missing), 0);
        QCOMPARE(index.find(missing), -1);

        // Dates may be given as dates; letter case matters unless asked otherwise.
        QVariantList v = keyValues(s, 42);
        v[3] = v[3].toDateTime().date();
        QCOMPARE(index.count(v), 1);
        v[0] = v[0].toString().toLower();
        QCOMPARE(index.count(v), 0);
        const KeyIndex folded(s, testdata::kItemKey, true);
        QCOMPARE(folded.count(v), 1);

        // Later changes of the set do not show in (nor break) an index built before them.
        s.moveTo(200);
        s.edit();
        s.fieldByName(u"CDMARCA")->setAsString(u"NEW");
        s.post();
        QCOMPARE(index.count(keyValues(s, 200)), 0);
        QCOMPARE(KeyIndex(s, testdata::kItemKey).count(keyValues(s, 200)), 1);

        QVERIFY_THROWS_EXCEPTION(DataSetError, index.count({1, 2}));
        QVERIFY_THROWS_EXCEPTION(DataSetError, KeyIndex(s, QStringLiteral("CDMARCA;NADA")));
    }

    void duplicateCheckAgainstTheSnapshot() {
        // The save's check: every changed item is counted in the snapshot, which holds each
        // item with its key as last posted; a count above 1 is a duplicate.
        TWorkingSet item(nullptr, QStringLiteral("cdsItem"));
        item.loadFromPacket(itemPacket(500));
        TWorkingSet aux(nullptr, QStringLiteral("cdsAuxItem"));
        auto changeBrand = [&](int row, const QString& brand) {
            item.moveTo(row);
            item.edit();
            item.fieldByName(u"CDMARCA")->setAsString(brand);
            item.fieldByName(u"ALTERADO")->setAsString(u"S");
            item.post();
        };
        changeBrand(30, QStringLiteral("m05"));
        changeBrand(300, QStringLiteral("B1"));
        aux.loadFromPacket(item.data());

        TWorkingSet changed(nullptr, QStringLiteral("cdsAuxItemBloq"));
        changed.loadFromPacket(item.data());
        changed.setFilter(QStringLiteral("[ALTERADO]=   'S'"));
        changed.setFiltered(true);
        QCOMPARE(changed.recordCount(), 2);

        const KeyIndex snapshot(aux, testdata::kItemKey, true);
        for (changed.first(); !changed.eof(); changed.next()) {
            QCOMPARE(snapshot.count(changed, changed.currentPosition()), 1);
        }
        QCOMPARE(countKeyMatches(changed, aux, testdata::kItemKey, true), std::vector<int>({1, 1}));

        // Row 301 gets row 300's new key: both changed items now meet a duplicate.
        item.moveTo(301);
        item.edit();
        for (const QString& n : testdata::kItemKey.split(u';')) {
            item.fieldByName(n)->setValue(item.valueAt(300, item.fieldByName(n)->index()));
        }
        item.fieldByName(u"CDMARCA")->setAsString(u"b1"); // another letter case, same brand
        item.fieldByName(u"ALTERADO")->setAsString(u"S");
        item.post();
        aux.loadFromPacket(item.data());
        changed.loadFromPacket(item.data());
        QCOMPARE(changed.recordCount(), 3); // the filter holds across loads
        QCOMPARE(countKeyMatches(changed, aux, testdata::kItemKey, true),
                 std::vector<int>({1, 2, 2}));
        QCOMPARE(countKeyMatches(changed, aux, testdata::kItemKey, false),
                 std::vector<int>({1, 1, 1}));
        const KeyIndex again(aux, testdata::kItemKey, true);
        changed.last();
        QCOMPARE(again.count(changed, changed.currentPosition()), 2);
        QCOMPARE(again.find(changed, changed.currentPosition()), 300);
    }

    void countKeyMatchesAgreesWithAPlainCount() {
        // Keys with many repeats, mixed letter case, padded fixed texts and nulls; the target
        // also with the text not fixed, or the number held as an integer.
        auto build = [&](bool fixed, bool integer, int rows, int seed) {
            DataPacketBuilder b({FieldDef::text(QStringLiteral("A"), 6, {}, fixed),
                                 FieldDef::text(QStringLiteral("B"), 8),
                                 FieldDef::dateTime(QStringLiteral("D")),
                                 integer ? FieldDef::integer(QStringLiteral("Q"))
                                         : FieldDef::real(QStringLiteral("Q"))});
            for (int i = 0; i < rows; ++i) {
                const int k = (i * 7 + seed) % 13;
                b.appendRow({k % 3 ? QStringLiteral("ab%1").arg(k % 4)
                                   : QStringLiteral("AB%1  ").arg(k % 4),
                             (k % 5 == 0) ? QVariant() : QVariant(QStringLiteral("x%1").arg(k % 2)),
                             (k % 6 == 0) ? QVariant() : QVariant(day(2024, 1, 1 + k % 2)),
                             integer ? QVariant(k % 3) : QVariant(double(k % 3) / 2)});
            }
            return b.finish();
        };
        // The count of a probe record by comparing values one by one.
        auto plainCount = [](const TWorkingSet& probes, int p, const TWorkingSet& target, bool ci,
                             std::initializer_list<int> fields = {0, 1, 2, 3}) {
            int plain = 0;
            for (int t = 0; t < target.recordCount(); ++t) {
                bool all = true;
                for (auto it = fields.begin(); it != fields.end() && all; ++it) {
                    const int f = *it;
                    const QVariant a = probes.valueAt(p, f);
                    const QVariant b = target.valueAt(t, f);
                    if (f < 2) {
                        QString x = a.toString(), y = b.toString();
                        if (f == 0) { // padding ignored when either side is fixed
                            x = x.trimmed();
                            y = y.trimmed();
                        }
                        all = ci ? x.compare(y, Qt::CaseInsensitive) == 0 : x == y;
                    } else if (f == 3) {
                        all = a.isNull() == b.isNull() && a.toDouble() == b.toDouble();
                    } else {
                        all = a == b;
                    }
                }
                plain += all ? 1 : 0;
            }
            return plain;
        };
        TWorkingSet probes;
        probes.loadFromPacket(build(true, false, 60, 1));
        const QString key = QStringLiteral("A;B;D;Q");
        for (const auto& [fixed, integer] :
             {std::pair{true, false}, std::pair{false, false}, std::pair{true, true}}) {
            TWorkingSet target;
            target.loadFromPacket(build(fixed, integer, 400, 5));
            for (bool ci : {false, true}) {
                const std::vector<int> counts = countKeyMatches(probes, target, key, ci);
                QCOMPARE(int(counts.size()), probes.recordCount());
                const KeyIndex index(target, key, ci);
                int total = 0;
                for (int p = 0; p < probes.recordCount(); ++p) {
                    const int plain = plainCount(probes, p, target, ci);
                    QCOMPARE(counts[std::size_t(p)], plain);
                    if (fixed) {
                        QVariantList v;
                        for (int f = 0; f < 4; ++f) {
                            v << probes.valueAt(p, f);
                        }
                        QCOMPARE(index.count(v), plain);
                    }
                    total += plain;
                }
                QVERIFY(total > 0); // the data do meet
            }
        }

        // Random keys over filtered sets large enough for the scan's batches and filters: the
        // probes are a part of their set's records (their rows are not their positions), the
        // target too; the first field tells records apart well (`spread`) or hardly at all.
        std::mt19937 random(7700);
        auto randomSet = [&](bool fixed, int rows, int spread) {
            DataPacketBuilder b(
                {FieldDef::text(QStringLiteral("A"), 6, {}, fixed),
                 FieldDef::text(QStringLiteral("B"), 8), FieldDef::dateTime(QStringLiteral("D")),
                 FieldDef::integer(QStringLiteral("Q")), FieldDef::text(QStringLiteral("M"), 1)});
            auto pick = [&](int n) {
                return int(random() % unsigned(n));
            };
            for (int i = 0; i < rows; ++i) {
                const int a = pick(spread);
                QString text = QStringLiteral("%1k%2").arg(pick(2) ? u'a' : u'A').arg(a);
                if (pick(3) == 0) {
                    text += QStringLiteral("  ");
                }
                b.appendRow({text, pick(7) == 0 ? QVariant() : QVariant(pick(2) ? u"x"_s : u"X"_s),
                             pick(6) == 0 ? QVariant() : QVariant(day(2024, 1, 1 + pick(2))),
                             pick(5) == 0 ? QVariant() : QVariant(pick(2)),
                             pick(3) == 0 ? u"S"_s : u"N"_s});
            }
            return b.finish();
        };
        for (int spread : {2000, 3}) {
            TWorkingSet some;
            some.loadFromPacket(randomSet(true, 900, spread));
            some.setFilter(u"[M]='S'"_s);
            some.setFiltered(true);
            TWorkingSet target;
            target.loadFromPacket(randomSet(false, 2400, spread));
            target.setFilter(u"[M]='N'"_s);
            target.setFiltered(true);
            QVERIFY(some.recordCount() > 200 && target.recordCount() > 1000);
            for (bool ci : {false, true}) {
                const std::vector<int> counts = countKeyMatches(some, target, key, ci);
                QCOMPARE(int(counts.size()), some.recordCount());
                int total = 0;
                for (int p = 0; p < some.recordCount(); ++p) {
                    const int plain = plainCount(some, p, target, ci);
                    QCOMPARE(counts[std::size_t(p)], plain);
                    total += plain;
                }
                QVERIFY(total > 0);
                // Keys of one field and of two.
                const std::vector<int> one = countKeyMatches(some, target, u"A"_s, ci);
                const std::vector<int> two = countKeyMatches(some, target, u"D;Q"_s, ci);
                for (int p = 0; p < some.recordCount(); ++p) {
                    QCOMPARE(one[std::size_t(p)], plainCount(some, p, target, ci, {0}));
                    QCOMPARE(two[std::size_t(p)], plainCount(some, p, target, ci, {2, 3}));
                }
                // A set against itself: every record meets at least itself.
                const std::vector<int> self = countKeyMatches(some, some, key, ci);
                for (int p = 0; p < some.recordCount(); ++p) {
                    QVERIFY(self[std::size_t(p)] >= 1);
                    QCOMPARE(self[std::size_t(p)], plainCount(some, p, some, ci));
                }
            }
        }

        // A fraction never equals an integer field.
        TWorkingSet ints;
        ints.loadFromPacket(build(true, true, 10, 0));
        QVERIFY(!ints.locate(QStringLiteral("Q"), 0.5));
        QVERIFY(ints.locate(QStringLiteral("Q"), 1.0));
        QCOMPARE(KeyIndex(ints, QStringLiteral("Q")).count({0.5}), 0);
    }
};

QTEST_GUILESS_MAIN(LocateTest)
#include "tst_locate.moc"

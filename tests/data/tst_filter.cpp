// Filter expressions: the screens' two forms, the general subset, errors with positions, the
// filtered view of a set (posting re-evaluates, copies stay isolated).

#include "ItemShape.h"

#include "sup/data/Filter.h"
#include "sup/data/WorkingSet.h"

#include <QSignalSpy>
#include <QTest>

using namespace sup::data;
using testdata::itemPacket;

namespace {

// Rows whose CALC is "S": 0, 3, 6, ...; rows whose ALTERADO is "S": 0, 5, 10, ...
void markSome(TWorkingSet& s) {
    s.disableControls();
    for (s.first(); !s.eof(); s.next()) {
        s.edit();
        if (s.currentPosition() % 3 == 0) {
            s.fieldByName(u"CALC")->setAsString(u"S");
        }
        if (s.currentPosition() % 5 == 0) {
            s.fieldByName(u"ALTERADO")->setAsString(u"S");
        }
        s.post();
    }
    s.enableControls();
    s.first();
}

QList<int> visibleRows(TWorkingSet& s) {
    QList<int> rows;
    for (s.first(); !s.eof(); s.next()) {
        rows << int(s.physicalRow(s.currentPosition()));
    }
    return rows;
}

} // namespace

class FilterTest : public QObject {
    Q_OBJECT

private slots:
    void theScreensForms() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(30));
        markSome(s);
        s.setFilter(QStringLiteral("[ALTERADO]=   'S'"));
        QCOMPARE(s.recordCount(), 30); // not applied until switched on
        s.setFiltered(true);
        QCOMPARE(visibleRows(s), QList<int>({0, 5, 10, 15, 20, 25}));
        s.setFilter(QStringLiteral("[CALC]=   'S'"));
        QCOMPARE(s.recordCount(), 10);
        QCOMPARE(visibleRows(s).first(), 0);
        QCOMPARE(visibleRows(s).last(), 27);
        s.setFiltered(false);
        QCOMPARE(s.recordCount(), 30);
        QCOMPARE(s.filter(), QStringLiteral("[CALC]=   'S'"));
    }

    void theGeneralSubset_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QList<int>>("rows");
        // Over itemPacket(12): QTPROGENPEOL = 10 + i, CDFILLANC = 2000 + i % 3,
        // CDMARCA = M00..M11 (M10 at 10, M00 again at 11), IDTIPOEXOL 'M' even / 'A' odd.
        QTest::newRow("number <") << "[QTPROGENPEOL] < 12" << QList<int>{0, 1};
        QTest::newRow("number <=") << "[QTPROGENPEOL] <= 12" << QList<int>{0, 1, 2};
        QTest::newRow("number > decimal") << "[QTPROGENPEOL] > 20.5" << QList<int>{11};
        QTest::newRow("number >= negative")
            << "QTPROGENPEOL >= -1 and QTPROGENPEOL >= 21" << QList<int>{11};
        QTest::newRow("text <>") << "[CDFILLANC] <> '2000'" << QList<int>{1, 2, 4, 5, 7, 8, 10, 11};
        QTest::newRow("text !=") << "[CDFILLANC] != '2000' AND [CDFILLANC] != '2001'"
                                 << QList<int>{2, 5, 8, 11};
        QTest::newRow("text order") << "[CDMARCA] >= 'M09'" << QList<int>{9, 10};
        QTest::newRow("or, and, parentheses")
            << "([CDFILLANC] = '2000' OR [CDFILLANC] = '2002') AND [IDTIPOEXOL] = 'A'"
            << QList<int>{3, 5, 9, 11};
        QTest::newRow("and binds tighter than or")
            << "[CDFILLANC] = '2000' OR [CDFILLANC] = '2002' AND [IDTIPOEXOL] = 'A'"
            << QList<int>{0, 3, 5, 6, 9, 11};
        QTest::newRow("not") << "not ([QTPROGENPEOL] > 11)" << QList<int>{0, 1};
        QTest::newRow("not not") << "NOT NOT [QTPROGENPEOL] > 20" << QList<int>{11};
        QTest::newRow("fixed text ignores padding")
            << "[IDTIPOEXOL] = 'A '" << QList<int>{1, 3, 5, 7, 9, 11};
        QTest::newRow("constant first") << "12 > [QTPROGENPEOL]" << QList<int>{0, 1};
        QTest::newRow("field against field") << "[QTPROGENPEOL] = [QTORIGPRODPED]"
                                             << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        QTest::newRow("texts of fields")
            << "[CDPRODUTO] = [CDPRODORIGPEDOL] AND [CDMARCA] < 'M02'" << QList<int>{0, 1, 11};
        QTest::newRow("quote in a text") << "[NMPRODUTO] = 'd''água'" << QList<int>{};
        QTest::newRow("date") << "[DTPROGENPEOL] >= '01/11/2024'" << QList<int>{10, 11};
        QTest::newRow("date and time")
            << "[DTPROGENPEOL] > '01/11/2024 00:00'" << QList<int>{10, 11};
        QTest::newRow("is null") << "[DTBLOQITMPEDOL] IS NULL AND [QTPROGENPEOL] < 11"
                                 << QList<int>{0};
        QTest::newRow("is not null") << "[DTBLOQITMPEDOL] IS NOT NULL" << QList<int>{};
        QTest::newRow("null satisfies <> only") << "[DTBLOQITMPEDOL] <> '01/01/2024'"
                                                << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        QTest::newRow("null date =") << "[DTBLOQITMPEDOL] = '01/01/2024'" << QList<int>{};
        QTest::newRow("empty text is null text")
            << "[CDLOTENVITOL] = '' AND [QTPROGENPEOL] < 11" << QList<int>{0};
        QTest::newRow("constants")
            << "1 = 1 AND 'a' <> 'b' AND [QTPROGENPEOL] = 10" << QList<int>{0};
        QTest::newRow("false constant") << "1 = 2 OR [QTPROGENPEOL] = 10" << QList<int>{0};
    }

    void theGeneralSubset() {
        QFETCH(QString, expression);
        QFETCH(QList<int>, rows);
        TWorkingSet s;
        s.loadFromPacket(itemPacket(12));
        s.setFilter(expression);
        s.setFiltered(true);
        QCOMPARE(visibleRows(s), rows);
    }

    void errorsNameThePosition_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << "" << 1 << "esperada uma condição";
        QTest::newRow("blank") << "   " << 4 << "esperada uma condição";
        QTest::newRow("no value") << "[ALTERADO]=" << 12 << "esperado um campo ou um valor";
        QTest::newRow("unknown field")
            << "[CALC] = 'S' AND [NADA] = 'S'" << 18 << "campo \"NADA\" não encontrado";
        QTest::newRow("unknown bare name") << "FOO = 1" << 1 << "campo \"FOO\" não encontrado";
        QTest::newRow("open text") << "[CALC] = 'S" << 10 << "apóstrofo";
        QTest::newRow("open bracket") << "[CALC = 'S'" << 1 << "']'";
        QTest::newRow("dangling and") << "[CALC] = 'S' AND" << 17 << "o fim do filtro";
        QTest::newRow("open parenthesis") << "([CALC] = 'S'" << 14 << "esperado ')'";
        QTest::newRow("no operator") << "[CALC] 'S'" << 8 << "operador de comparação";
        QTest::newRow("stray character") << "[CALC] = 'S' # 1" << 14 << "caractere inesperado '#'";
        QTest::newRow("trailing text") << "[CALC] = 'S' 'T'" << 14 << "esperado AND, OR";
        QTest::newRow("bad number for a number field")
            << "[QTPROGENPEOL] > 'muito'" << 18 << "incompatível com o campo QTPROGENPEOL";
        QTest::newRow("bad date") << "[DTPROGENPEOL] = '31/02/2024'" << 18 << "incompatível";
        QTest::newRow("fields of other types")
            << "[CALC] = [QTPROGENPEOL]" << 10 << "tipos incompatíveis";
        QTest::newRow("is without null") << "[CALC] IS 'S'" << 11 << "esperado NULL";
        QTest::newRow("minus without number")
            << "[QTPROGENPEOL] > -'1'" << 19 << "esperado um número";
    }

    void errorsNameThePosition() {
        QFETCH(QString, expression);
        QFETCH(int, position);
        QFETCH(QString, message);
        try {
            FilterExpression e(expression, testdata::itemFields());
            QFAIL("accepted");
        } catch (const FilterError& e) {
            const QString text = QString::fromUtf8(e.what());
            QCOMPARE(e.position(), position);
            QVERIFY2(text.contains(message), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("posição %1").arg(position)), qPrintable(text));
        }
    }

    void hostileNestingIsRefused() {
        for (const QString& text : {QString(100000, u'('), QStringLiteral("NOT ").repeated(5000),
                                    QStringLiteral("[CALC]='S' AND ").repeated(20000)}) {
            QVERIFY_THROWS_EXCEPTION(FilterError, FilterExpression(text, testdata::itemFields()));
        }
        // A chain of comparisons too long to be a real filter is refused with its position.
        const QString chain =
            QStringLiteral("[CALC]='S' OR ").repeated(1000) + QStringLiteral("1=1");
        try {
            FilterExpression e(chain, testdata::itemFields());
            QFAIL("accepted");
        } catch (const FilterError& e) {
            QCOMPARE(e.position(), 1000 * 14 + 1);
            QVERIFY(QString::fromUtf8(e.what()).contains(u"1000 comparações"));
        }
        // A long flat expression is fine.
        const QString flat = QStringLiteral("[CALC]='S' OR ").repeated(150) + QStringLiteral("1=1");
        FilterExpression ok(flat, testdata::itemFields());
        Q_UNUSED(ok);
    }

    void badFilterLeavesTheSetAsItWas() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(30));
        markSome(s);
        s.setFilter(QStringLiteral("[ALTERADO]='S'"));
        s.setFiltered(true);
        s.moveTo(2);
        QVERIFY_THROWS_EXCEPTION(FilterError, s.setFilter(QStringLiteral("[ALTERADO]=")));
        QCOMPARE(s.filter(), QStringLiteral("[ALTERADO]='S'"));
        QCOMPARE(s.recordCount(), 6);
        QCOMPARE(s.currentPosition(), 2);
    }

    void postingReevaluatesTheRecord() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(30));
        markSome(s);
        s.setFilter(QStringLiteral("[CALC]='S'"));
        s.setFiltered(true);
        QSignalSpy removed(&s, &TWorkingSet::rowsRemoved);
        s.moveTo(1); // physical row 3
        s.edit();
        s.fieldByName(u"CALC")->setAsString(u"N");
        QCOMPARE(s.recordCount(), 10); // still there while editing
        s.post();
        QCOMPARE(s.recordCount(), 9);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.first().at(0).toInt(), 1);
        QCOMPARE(s.physicalRow(s.currentPosition()), 6); // the next record is current
        QCOMPARE(s.changeCount(), 15); // 14 records marked or changed, plus this post

        // The last visible record leaving: the cursor goes to the new last one.
        s.last();
        s.edit();
        s.fieldByName(u"CALC")->setAsString(u"N");
        s.post();
        QCOMPARE(s.recordCount(), 8);
        QCOMPARE(s.currentPosition(), 7);

        // A record inserted while filtered shows until posted, then follows the filter.
        s.append();
        QCOMPARE(s.recordCount(), 9);
        s.fieldByName(u"CALC")->setAsString(u"S");
        s.post();
        QCOMPARE(s.recordCount(), 9);
        s.append();
        s.post();
        QCOMPARE(s.recordCount(), 9);
        s.setFiltered(false);
        QCOMPARE(s.recordCount(), 32);

        // Cancel updates brings the filtered view back to the loaded marks.
        s.setFiltered(true);
        s.cancelUpdates();
        QCOMPARE(s.recordCount(), 0);
    }

    void filteringACopyLeavesTheSourceAlone() {
        TWorkingSet item(nullptr, QStringLiteral("cdsItem"));
        item.loadFromPacket(itemPacket(40));
        markSome(item);
        item.moveTo(17);
        QSignalSpy reset(&item, &TWorkingSet::contentReset);
        QSignalSpy current(&item, &TWorkingSet::currentChanged);
        int scrolls = 0;
        item.AfterScroll = [&](TWorkingSet&) {
            ++scrolls;
        };

        TWorkingSet copy(nullptr, QStringLiteral("cdsAuxItemBloq"));
        copy.loadFromPacket(item.data());
        copy.setFiltered(false);
        copy.setFilter(QStringLiteral("[ALTERADO]=   'S'"));
        copy.setFiltered(true);
        QCOMPARE(copy.recordCount(), 8);
        for (copy.first(); !copy.eof(); copy.next()) {
            QCOMPARE(copy.fieldByName(u"ALTERADO")->asString(), QStringLiteral("S"));
        }
        QCOMPARE(item.currentPosition(), 17);
        QCOMPARE(item.recordCount(), 40);
        QCOMPARE(item.changeCount(), 19);
        QVERIFY(!item.filtered());
        QCOMPARE(reset.count(), 0);
        QCOMPARE(current.count(), 0);
        QCOMPARE(scrolls, 0);
        for (int f = 0; f < item.fieldCount(); ++f) {
            QVERIFY(copy.currentColumn(f).sharesWith(item.currentColumn(f)));
        }
        copy.setFilter(QString());
        QCOMPARE(copy.recordCount(), 40);
    }

    void filterSetBeforeTheFieldsAreKnown() {
        TWorkingSet s;
        s.setFilter(QStringLiteral("[CALC] = 'S'")); // no fields yet: kept for the load
        s.setFiltered(true);
        TWorkingSet src;
        src.loadFromPacket(itemPacket(9));
        markSome(src);
        s.loadFromPacket(src.data());
        QCOMPARE(s.recordCount(), 3);

        TWorkingSet bad;
        bad.setFilter(QStringLiteral("[NADA] = 'S'"));
        bad.setFiltered(true);
        QVERIFY_THROWS_EXCEPTION(FilterError, bad.loadFromPacket(itemPacket(4)));
        QVERIFY(bad.active()); // loaded, shown unfiltered
        QVERIFY(!bad.filtered());
        QCOMPARE(bad.recordCount(), 4);
    }
};

QTEST_GUILESS_MAIN(FilterTest)
#include "tst_filter.moc"

// Change log of a working set: edit, post, cancel, merge, cancel updates, loaded values, change
// count (marks included), snapshot copies and the delta sent to the server.

#include "ItemShape.h"

#include "sup/data/WorkingSet.h"

#include <QTest>

using namespace sup::data;
using testdata::day;
using testdata::itemPacket;

namespace {

int fieldNo(const TWorkingSet& s, const char* name) {
    return s.fieldByName(QString::fromLatin1(name))->index();
}

QVariant at(const TWorkingSet& s, int position, const char* name) {
    return s.valueAt(position, fieldNo(s, name));
}

void mark(TWorkingSet& s, const char* value) {
    s.edit();
    s.fieldByName(u"CALC")->setAsString(QString::fromLatin1(value));
    s.post();
}

} // namespace

class ChangeLogTest : public QObject {
    Q_OBJECT

private slots:
    void emptyPacketGivesEmptySet() {
        TWorkingSet s(nullptr, QStringLiteral("cdsItem"));
        s.loadFromPacket(itemPacket(0));
        QVERIFY(s.active());
        QVERIFY(s.isEmpty());
        QCOMPARE(s.recordCount(), 0);
        QCOMPARE(s.changeCount(), 0);
        QVERIFY(s.eof());
        QVERIFY(s.bof());
        QCOMPARE(s.recNo(), 0);
        QCOMPARE(s.fieldCount(), 28);
        QVERIFY(s.fieldByName(u"CALC")->isNull());
        QCOMPARE(s.delta().rowCount(), 0);

        // A set with declared fields loaded with the null packet is open and empty too.
        TWorkingSet t;
        t.setFieldDefs(testdata::itemFields());
        t.loadFromPacket(DataPacket());
        QVERIFY(t.active());
        QVERIFY(t.isEmpty());
        QCOMPARE(t.fieldCount(), 28);
    }

    void postedEditsCountAndKeepLoadedValues() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(5));
        s.moveTo(2);
        TField* qty = s.fieldByName(u"QTPROGENPEOL");
        s.edit();
        qty->setAsFloat(99);
        QCOMPARE(s.changeCount(), 0); // not posted yet
        QVERIFY(s.modified());
        s.post();
        QCOMPARE(s.changeCount(), 1);
        QCOMPARE(qty->asFloat(), 99.0);
        QCOMPARE(qty->oldValue().toDouble(), 12.0);
        QVERIFY(qty->isChanged());
        QCOMPARE(s.updateStatus(), RowKind::Modified);

        // A second edit of the same record is a second entry; the old value stays the loaded one.
        s.edit();
        qty->setAsFloat(100);
        s.fieldByName(u"CDMARCA")->setAsString(u"XY");
        s.post();
        QCOMPARE(s.changeCount(), 2);
        QCOMPARE(qty->oldValue().toDouble(), 12.0);
        QCOMPARE(s.fieldByName(u"CDMARCA")->oldValue().toString(), QStringLiteral("M02"));
        QCOMPARE(at(s, 1, "QTPROGENPEOL").toDouble(), 11.0); // neighbours untouched
        QCOMPARE(s.updateStatusAt(1), RowKind::Unmodified);
        QVERIFY(!s.fieldByName(u"NMPRODUTO")->isChanged());
    }

    void marksCountAsChanges() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(4));
        s.disableControls();
        for (s.first(); !s.eof(); s.next()) {
            mark(s, "S");
        }
        s.enableControls();
        QCOMPARE(s.changeCount(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(at(s, i, "CALC").toString(), QStringLiteral("S"));
        }
        // The marks travel in the delta like any other change.
        QCOMPARE(s.delta().rowCount(), 4);

        // An edit posted without writing any field adds no entry.
        s.first();
        s.edit();
        s.post();
        QCOMPARE(s.changeCount(), 4);
    }

    // Writing every record in one pass leaves the set as the record-by-record pass does: values,
    // change count, delta (an edited, an inserted and a deleted record among them), and it can
    // be cancelled the same way; a filtered set is left to the record-by-record pass.
    void writingEveryRecordAtOnceMatchesThePass() {
        auto prepare = [](TWorkingSet& s) {
            s.loadFromPacket(itemPacket(5));
            s.moveTo(1);
            s.edit();
            s.fieldByName(u"QTPROGENPEOL")->setAsFloat(99);
            s.post();
            s.moveTo(3);
            s.deleteRecord();
            s.append();
            s.fieldByName(u"CDPRODUTO")->setAsString(u"777");
            s.post();
        };
        TWorkingSet byRecord, atOnce;
        prepare(byRecord);
        prepare(atOnce);
        byRecord.disableControls();
        for (byRecord.first(); !byRecord.eof(); byRecord.next())
            mark(byRecord, "S");
        byRecord.enableControls();
        int resets = 0;
        connect(&atOnce, &TWorkingSet::contentReset, this, [&] { ++resets; });
        QVERIFY(atOnce.setTextOfAll(fieldNo(atOnce, "CALC"), u"S"));
        QCOMPARE(resets, 1);
        QCOMPARE(atOnce.changeCount(), byRecord.changeCount());
        QCOMPARE(atOnce.recordCount(), byRecord.recordCount());
        for (int i = 0; i < atOnce.recordCount(); ++i) {
            QCOMPARE(at(atOnce, i, "CALC"), at(byRecord, i, "CALC"));
            QCOMPARE(atOnce.updateStatusAt(i), byRecord.updateStatusAt(i));
        }
        const DataPacket a = atOnce.delta(), b = byRecord.delta();
        QCOMPARE(a.rowCount(), b.rowCount());
        QVERIFY(a.kinds() == b.kinds());
        atOnce.cancelUpdates();
        QCOMPARE(at(atOnce, 0, "CALC").toString(), QStringLiteral("N"));
        QCOMPARE(atOnce.changeCount(), 0);

        // Not while editing; not on a filtered set.
        atOnce.edit();
        QVERIFY_THROWS_EXCEPTION(DataSetError, atOnce.setTextOfAll(fieldNo(atOnce, "CALC"), u"S"));
        atOnce.cancel();
        atOnce.setFilter(QStringLiteral("CALC = 'N'"));
        atOnce.setFiltered(true);
        QVERIFY(!atOnce.setTextOfAll(fieldNo(atOnce, "CALC"), u"S"));
        QCOMPARE(atOnce.changeCount(), 0);
    }

    void cancelRestoresTheEditedRecord() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(3));
        s.moveTo(1);
        s.edit();
        s.fieldByName(u"CDMARCA")->setAsString(u"AAAAA");
        s.fieldByName(u"CDMARCA")->setAsString(u"BBBBB"); // a second write keeps the first backup
        s.fieldByName(u"QTPROGENPEOL")->clear();
        s.fieldByName(u"DTPROGENPEOL")->setAsDateTime(day(2030, 5, 6));
        s.cancel();
        QCOMPARE(s.state(), DataSetState::Browse);
        QVERIFY(!s.modified());
        QCOMPARE(s.changeCount(), 0);
        QCOMPARE(s.fieldByName(u"CDMARCA")->asString(), QStringLiteral("M01"));
        QCOMPARE(s.fieldByName(u"QTPROGENPEOL")->asFloat(), 11.0);
        QCOMPARE(s.fieldByName(u"DTPROGENPEOL")->asDateTime(), day(2024, 2, 2));
        QCOMPARE(s.data(), itemPacket(3));

        // Cancelling an insert drops the new record and returns to where the cursor was.
        s.insert();
        QCOMPARE(s.recordCount(), 4);
        s.fieldByName(u"CDMARCA")->setAsString(u"NEW");
        s.cancel();
        QCOMPARE(s.recordCount(), 3);
        QCOMPARE(s.currentPosition(), 1);
        QCOMPARE(s.changeCount(), 0);
    }

    void cancelUpdatesRestoresEveryLoadedValue() {
        const DataPacket original = itemPacket(6);
        TWorkingSet s;
        s.loadFromPacket(original);
        mark(s, "S");
        s.moveTo(3);
        s.edit();
        s.fieldByName(u"NMPRODUTO")->setAsString(u"Outro nome");
        s.post();
        s.moveTo(4);
        s.deleteRecord();
        s.insert();
        s.fieldByName(u"CDPRODUTO")->setAsString(u"NOVO");
        s.post();
        QCOMPARE(s.recordCount(), 6);
        QCOMPARE(s.changeCount(), 4);

        s.moveTo(0);
        s.edit(); // a pending edit is dropped too
        s.fieldByName(u"CALC")->setAsString(u"X");
        s.cancelUpdates();
        QCOMPARE(s.state(), DataSetState::Browse);
        QCOMPARE(s.changeCount(), 0);
        QCOMPARE(s.recordCount(), 6);
        QCOMPARE(s.data(), original);
        QCOMPARE(s.delta().rowCount(), 0);
        for (int f = 0; f < s.fieldCount(); ++f) {
            QVERIFY(s.currentColumn(f).sharesWith(original.column(f)));
        }
    }

    void mergeMakesCurrentValuesTheLoadedOnes() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(5));
        s.moveTo(1);
        s.edit();
        s.fieldByName(u"QTPROGENPEOL")->setAsFloat(7);
        s.post();
        s.moveTo(3);
        s.deleteRecord();
        QCOMPARE(s.recordCount(), 4);
        const DataPacket before = s.data();

        s.mergeChangeLog();
        QCOMPARE(s.changeCount(), 0);
        QCOMPARE(s.recordCount(), 4);
        QCOMPARE(s.data(), before);
        QCOMPARE(s.delta().rowCount(), 0);
        s.moveTo(1);
        QCOMPARE(s.fieldByName(u"QTPROGENPEOL")->oldValue().toDouble(), 7.0);
        QCOMPARE(s.updateStatus(), RowKind::Unmodified);

        // Cancel updates after a merge goes back to the merged content, not the first load.
        s.edit();
        s.fieldByName(u"QTPROGENPEOL")->setAsFloat(1);
        s.post();
        s.cancelUpdates();
        QCOMPARE(s.data(), before);

        // Without deletions the merge shares the columns instead of copying them.
        s.edit();
        s.fieldByName(u"CALC")->setAsString(u"S");
        s.post();
        s.mergeChangeLog();
        for (int f = 0; f < s.fieldCount(); ++f) {
            QVERIFY(s.currentColumn(f).sharesWith(s.loadedColumn(f)));
        }
    }

    void loadSharesThePacketColumns() {
        const DataPacket p = itemPacket(100);
        TWorkingSet s;
        s.loadFromPacket(p);
        for (int f = 0; f < s.fieldCount(); ++f) {
            QVERIFY(s.currentColumn(f).sharesWith(p.column(f)));
        }
        s.moveTo(10);
        mark(s, "S");
        // Only the written column was copied; the packet itself is untouched.
        const int calc = fieldNo(s, "CALC");
        for (int f = 0; f < s.fieldCount(); ++f) {
            QCOMPARE(s.currentColumn(f).sharesWith(p.column(f)), f != calc);
        }
        QCOMPARE(p.value(10, calc).toString(), QStringLiteral("N"));
        QVERIFY(s.loadedColumn(calc).sharesWith(p.column(calc)));
    }

    void snapshotCopyIsEqualWithCurrentValuesLoaded() {
        TWorkingSet item(nullptr, QStringLiteral("cdsItem"));
        TWorkingSet aux(nullptr, QStringLiteral("cdsAuxItem"));
        item.loadFromPacket(itemPacket(20));
        item.moveTo(5);
        item.edit();
        item.fieldByName(u"CDMARCA")->setAsString(u"ZZ");
        item.post();
        mark(item, "S");

        aux.loadFromPacket(item.data());
        QCOMPARE(aux.recordCount(), 20);
        QCOMPARE(aux.changeCount(), 0);
        QCOMPARE(aux.data(), item.data());
        aux.moveTo(5);
        QCOMPARE(aux.fieldByName(u"CDMARCA")->oldValue().toString(), QStringLiteral("ZZ"));
        QCOMPARE(aux.fieldByName(u"CALC")->oldValue().toString(), QStringLiteral("S"));
        for (int f = 0; f < item.fieldCount(); ++f) {
            QVERIFY(aux.currentColumn(f).sharesWith(item.currentColumn(f)));
        }

        // The two sets are independent from here on.
        aux.edit();
        aux.fieldByName(u"CDMARCA")->setAsString(u"AUX");
        aux.post();
        item.moveTo(5);
        item.edit();
        item.fieldByName(u"QTPROGENPEOL")->setAsFloat(1);
        item.post();
        QCOMPARE(at(item, 5, "CDMARCA").toString(), QStringLiteral("ZZ"));
        QCOMPARE(at(aux, 5, "QTPROGENPEOL").toDouble(), 15.0);
        QCOMPARE(item.changeCount(), 3);
        QCOMPARE(aux.changeCount(), 1);
    }

    void snapshotIntoDeclaredSubsetMatchesByName() {
        // The snapshot declares only some of the item fields, in another order.
        FieldDefs defs;
        const FieldDefs all = testdata::itemFields();
        for (const char* n : {"CDMARCA", "CDFILDEST", "QTPROGENPEOL", "CALC"}) {
            defs.append(all[indexOfField(all, QString::fromLatin1(n))]);
        }
        TWorkingSet item;
        item.loadFromPacket(itemPacket(4));
        TWorkingSet aux;
        aux.setFieldDefs(defs);
        TField* marca = aux.fieldByName(u"CDMARCA");
        aux.loadFromPacket(item.data());
        QCOMPARE(aux.fieldCount(), 4);
        QCOMPARE(aux.fieldByName(u"CDMARCA"), marca); // the declared fields stay the same objects
        aux.moveTo(3);
        QCOMPARE(marca->asString(), QStringLiteral("M03"));
        QCOMPARE(aux.fieldByName(u"QTPROGENPEOL")->asFloat(), 13.0);
        QVERIFY(aux.currentColumn(0).sharesWith(item.currentColumn(fieldNo(item, "CDMARCA"))));

        // A packet lacking a declared field is refused and the set keeps what it had.
        DataPacketBuilder b({FieldDef::text(QStringLiteral("CDMARCA"), 5)});
        b.appendRow({QStringLiteral("X")});
        QVERIFY_THROWS_EXCEPTION(DataSetError, aux.loadFromPacket(b.finish()));
        QCOMPARE(aux.recordCount(), 4);
        QCOMPARE(marca->asString(), QStringLiteral("M03"));
    }

    void declaredFieldConvertsAnotherColumnType() {
        TWorkingSet s;
        s.setFieldDefs({FieldDef::real(QStringLiteral("QT"))});
        DataPacketBuilder b({FieldDef::integer(QStringLiteral("QT"))});
        b.appendRow({7});
        b.appendRow({QVariant()});
        s.loadFromPacket(b.finish());
        QCOMPARE(s.fieldByName(u"QT")->dataType(), FieldType::Double);
        QCOMPARE(s.valueAt(0, 0).toDouble(), 7.0);
        QVERIFY(s.isNullAt(1, 0));
    }

    void deltaAfterMixedEdits() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(8));
        const int qty = fieldNo(s, "QTPROGENPEOL");
        const int marca = fieldNo(s, "CDMARCA");

        s.moveTo(0); // a plain edit
        s.edit();
        s.field(qty)->setAsFloat(99);
        s.post();
        s.moveTo(3); // a deletion after an edit: the loaded values travel
        s.edit();
        s.field(marca)->setAsString(u"DEL");
        s.post();
        s.deleteRecord();
        s.moveTo(3); // was row 4: edited, then cancelled
        s.edit();
        s.field(qty)->setAsFloat(1);
        s.cancel();
        s.moveTo(4); // was row 5: changed and changed back in two posts
        s.edit();
        s.field(marca)->setAsString(u"TMP");
        s.post();
        s.edit();
        s.field(marca)->setAsString(u"M05");
        s.post();
        s.insert(); // a new record
        s.field(marca)->setAsString(u"INS");
        s.field(qty)->setAsFloat(5);
        s.post();
        QCOMPARE(s.changeCount(), 6);

        const DataPacket delta = s.delta();
        QVERIFY(delta.isDelta());
        QCOMPARE(delta.fields(), s.fieldDefs());
        QCOMPARE(delta.rowCount(), 3);
        // Set order: row 0, row 3, then the inserted record at the end.
        QCOMPARE(delta.kind(0), RowKind::Modified);
        QCOMPARE(delta.value(0, qty).toDouble(), 99.0);
        QCOMPARE(delta.loadedValue(0, qty).toDouble(), 10.0);
        QCOMPARE(delta.value(0, marca).toString(), QStringLiteral("M00"));
        QCOMPARE(delta.kind(1), RowKind::Deleted);
        QCOMPARE(delta.value(1, marca).toString(), QStringLiteral("M03"));
        QCOMPARE(delta.loadedValue(1, marca).toString(), QStringLiteral("M03"));
        QCOMPARE(delta.kind(2), RowKind::Inserted);
        QCOMPARE(delta.value(2, marca).toString(), QStringLiteral("INS"));
        QVERIFY(!delta.loadedValue(2, marca).isValid());
        QVERIFY(!delta.loadedValue(2, qty).isValid());

        // Each call gives a fresh identifier for the same content.
        const DataPacket again = s.delta();
        QCOMPARE(again, delta);
        QVERIFY(again.deltaId() != delta.deltaId());
        QVERIFY(!delta.deltaId().isNull());
    }

    void deltaAndDataLeaveOutTheUnpostedEdit() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(3));
        s.moveTo(1);
        s.edit();
        s.fieldByName(u"QTPROGENPEOL")->setAsFloat(42);
        QCOMPARE(s.delta().rowCount(), 0);
        QCOMPARE(s.data(), itemPacket(3));
        QCOMPARE(s.fieldByName(u"QTPROGENPEOL")->asFloat(), 42.0); // the edit itself goes on
        s.post();
        QCOMPARE(s.delta().rowCount(), 1);

        s.insert();
        s.fieldByName(u"CDMARCA")->setAsString(u"X");
        QCOMPARE(s.data().rowCount(), 3);
        QCOMPARE(s.delta().rowCount(), 1);
        s.post();
        QCOMPARE(s.data().rowCount(), 4);
        QCOMPARE(s.delta().rowCount(), 2);
    }

    void insertedThenDeletedLeavesNoTrace() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(2));
        s.insert();
        s.fieldByName(u"CDMARCA")->setAsString(u"X");
        s.post();
        s.deleteRecord();
        QCOMPARE(s.recordCount(), 2);
        QCOMPARE(s.delta().rowCount(), 0);
        QCOMPARE(s.data(), itemPacket(2));
        s.mergeChangeLog();
        QCOMPARE(s.recordCount(), 2);
        QCOMPARE(s.data(), itemPacket(2));
    }

    void createdSetCollectsRequestRows() {
        // The request sets the operations build: created empty, filled by append and post.
        TWorkingSet req;
        req.setFieldDefs({FieldDef::text(QStringLiteral("CDPRODUTO"), 10),
                          FieldDef::dateTime(QStringLiteral("DTPROGENPEOL")),
                          FieldDef::text(QStringLiteral("IDITMPEDOLBLOQ"), 1)});
        QVERIFY(!req.active());
        QCOMPARE(req.recordCount(), 0);
        req.createDataSet();
        for (int i = 0; i < 3; ++i) {
            req.append();
            req.fieldByName(u"CDPRODUTO")->setAsString(QStringLiteral("P%1").arg(i));
            req.fieldByName(u"DTPROGENPEOL")->setAsFloat(45000 + i); // a day number
            req.fieldByName(u"IDITMPEDOLBLOQ")->setAsString(u"S");
            req.post();
        }
        QCOMPARE(req.recordCount(), 3);
        QCOMPARE(req.changeCount(), 3);
        const DataPacket p = req.data();
        QCOMPARE(p.rowCount(), 3);
        QCOMPARE(p.value(2, 0).toString(), QStringLiteral("P2"));
        QCOMPARE(p.value(0, 1).toDateTime().date(), QDate(2023, 3, 15));
        const DataPacket d = req.delta();
        QCOMPARE(d.rowCount(), 3);
        QCOMPARE(d.kind(1), RowKind::Inserted);

        // Close keeps the content; open shows it again.
        req.close();
        QVERIFY(!req.active());
        QVERIFY(req.isEmpty());
        req.open();
        QCOMPARE(req.recordCount(), 3);
        QCOMPARE(req.changeCount(), 3);
    }
};

QTEST_GUILESS_MAIN(ChangeLogTest)
#include "tst_changelog.moc"

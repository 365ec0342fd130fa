// Event hooks of a working set refusing operations, the state machine around them, field value
// rules, and the control notifications held back while controls are disabled.

#include "ItemShape.h"

#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"

#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

using namespace sup::data;
using testdata::itemPacket;

namespace {

struct Refused : std::runtime_error {
    Refused()
        : std::runtime_error("recusado") {}
};

} // namespace

class EventsTest : public QObject {
    Q_OBJECT

private slots:
    void refusedEditStaysInBrowse() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(3));
        s.BeforeEdit = [](TWorkingSet&) {
            throw Refused();
        };
        QVERIFY_THROWS_EXCEPTION(Refused, s.edit());
        QCOMPARE(s.state(), DataSetState::Browse);
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.fieldByName(u"CALC")->setAsString(u"S"));
        QCOMPARE(s.changeCount(), 0);
        s.BeforeEdit = nullptr;
        s.edit();
        QCOMPARE(s.state(), DataSetState::Edit);
    }

    void refusedPostKeepsTheValuesWritten() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(3));
        s.moveTo(1);
        bool refuse = true;
        s.BeforePost = [&](TWorkingSet& set) {
            // Rules write before they refuse; what they wrote stays in the edit.
            set.fieldByName(u"NMMARCA")->clear();
            if (refuse) {
                throw Refused();
            }
            set.fieldByName(u"ALTERADO")->setAsString(u"S");
        };
        int afterPost = 0;
        s.AfterPost = [&](TWorkingSet&) {
            ++afterPost;
        };
        s.edit();
        s.fieldByName(u"CDMARCA")->setAsString(u"ab");
        QVERIFY_THROWS_EXCEPTION(Refused, s.post());
        QCOMPARE(s.state(), DataSetState::Edit);
        QCOMPARE(s.changeCount(), 0);
        QCOMPARE(afterPost, 0);
        QCOMPARE(s.fieldByName(u"CDMARCA")->asString(), QStringLiteral("ab"));
        QVERIFY(s.fieldByName(u"NMMARCA")->isNull());
        QCOMPARE(s.delta().rowCount(), 0);

        // Navigation posts the edit, so a refused post also stops the move.
        QVERIFY_THROWS_EXCEPTION(Refused, s.next());
        QCOMPARE(s.currentPosition(), 1);
        QCOMPARE(s.state(), DataSetState::Edit);

        // Cancel still restores everything the edit and the rules wrote.
        s.cancel();
        QCOMPARE(s.fieldByName(u"CDMARCA")->asString(), QStringLiteral("M01"));
        QCOMPARE(s.fieldByName(u"NMMARCA")->asString(), QStringLiteral("Marca 1"));

        refuse = false;
        s.edit();
        s.fieldByName(u"CDMARCA")->setAsString(u"ab");
        s.post();
        QCOMPARE(afterPost, 1);
        QCOMPARE(s.changeCount(), 1);
        QCOMPARE(s.fieldByName(u"ALTERADO")->asString(), QStringLiteral("S"));
    }

    void refusedInsertAndDeleteChangeNothing() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(3));
        s.BeforeInsert = [](TWorkingSet&) {
            throw Refused();
        };
        s.BeforeDelete = [](TWorkingSet&) {
            throw Refused();
        };
        QSignalSpy inserted(&s, &TWorkingSet::rowsAboutToBeInserted);
        QSignalSpy removed(&s, &TWorkingSet::rowsAboutToBeRemoved);
        s.moveTo(2);
        QVERIFY_THROWS_EXCEPTION(Refused, s.insert());
        QVERIFY_THROWS_EXCEPTION(Refused, s.append());
        QVERIFY_THROWS_EXCEPTION(Refused, s.deleteRecord());
        QCOMPARE(s.recordCount(), 3);
        QCOMPARE(s.currentPosition(), 2);
        QCOMPARE(s.state(), DataSetState::Browse);
        QCOMPARE(s.changeCount(), 0);
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(removed.count(), 0);

        // A refused delete in the middle of an edit leaves the edit as it was.
        s.edit();
        s.fieldByName(u"CDMARCA")->setAsString(u"K");
        QVERIFY_THROWS_EXCEPTION(Refused, s.deleteRecord());
        QCOMPARE(s.state(), DataSetState::Edit);
        QCOMPARE(s.fieldByName(u"CDMARCA")->asString(), QStringLiteral("K"));

        // An empty set's edit becomes an insert, which the hook refuses as well.
        TWorkingSet e;
        e.loadFromPacket(itemPacket(0));
        e.BeforeInsert = [](TWorkingSet&) {
            throw Refused();
        };
        QVERIFY_THROWS_EXCEPTION(Refused, e.edit());
        QCOMPARE(e.recordCount(), 0);
        QCOMPARE(e.state(), DataSetState::Browse);
    }

    void movingWithAnEditPostsOrDropsIt() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(3));
        s.edit(); // nothing written: dropped on the move
        s.next();
        QCOMPARE(s.state(), DataSetState::Browse);
        QCOMPARE(s.changeCount(), 0);
        s.edit();
        s.fieldByName(u"CALC")->setAsString(u"S");
        s.first(); // written: posted on the move
        QCOMPARE(s.changeCount(), 1);
        QCOMPARE(s.valueAt(1, 0).toString(), QStringLiteral("S"));
        s.edit();
        s.fieldByName(u"CALC")->setAsString(u"S");
        QVERIFY(s.locate(QStringLiteral("CDMARCA"), QStringLiteral("M02")));
        QCOMPARE(s.changeCount(), 2);
    }

    void scrollOpenAndStateHooks() {
        TWorkingSet s;
        QStringList log;
        s.AfterOpen = [&](TWorkingSet&) {
            log << QStringLiteral("open");
        };
        s.AfterScroll = [&](TWorkingSet& set) {
            log << QStringLiteral("scroll %1").arg(set.currentPosition());
        };
        s.OnStateChange = [&](TWorkingSet& set) {
            log << QStringLiteral("state %1").arg(int(set.state()));
        };
        s.loadFromPacket(itemPacket(3));
        s.next();
        s.next();
        s.next(); // at the end: no move, no scroll
        QVERIFY(s.eof());
        s.edit();
        s.fieldByName(u"CALC")->setAsString(u"S");
        s.post();
        s.close();
        QCOMPARE(log, QStringList({QStringLiteral("state 1"), QStringLiteral("open"),
                                   QStringLiteral("scroll 0"), QStringLiteral("scroll 1"),
                                   QStringLiteral("scroll 2"), QStringLiteral("state 2"),
                                   QStringLiteral("state 1"), QStringLiteral("state 0")}));
    }

    void navigationFlags() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(3));
        QVERIFY(s.bof());
        QVERIFY(!s.eof());
        QCOMPARE(s.recNo(), 1);
        int visits = 0;
        for (s.first(); !s.eof(); s.next()) {
            ++visits;
        }
        QCOMPARE(visits, 3);
        s.last();
        QVERIFY(s.eof());
        QCOMPARE(s.recNo(), 3);
        s.prior();
        QCOMPARE(s.recNo(), 2);
        s.setRecNo(1);
        s.prior();
        QVERIFY(s.bof());
        QCOMPARE(s.recNo(), 1);
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.moveTo(3));

        TWorkingSet closed(nullptr, QStringLiteral("cdsFechado"));
        try {
            closed.first();
            QFAIL("a closed set moved");
        } catch (const DataSetError& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains(u"cdsFechado"));
        }
    }

    void fieldWritesFollowTheFieldRules() {
        TWorkingSet s(nullptr, QStringLiteral("cdsItem"));
        s.setFieldDefs(
            {FieldDef::text(QStringLiteral("FIX"), 3, {}, true),
             FieldDef::text(QStringLiteral("TXT"), 3), FieldDef::real(QStringLiteral("QT")),
             FieldDef::dateTime(QStringLiteral("DT")), FieldDef::integer(QStringLiteral("NR")),
             FieldDef::boolean(QStringLiteral("OK"))});
        s.createDataSet();
        s.append();
        TField* fix = s.fieldByName(u"fix"); // names ignore letter case
        fix->setAsString(u"A");
        QCOMPARE(fix->asString(), QStringLiteral("A  "));
        QVERIFY(fix->equalsText(u"A"));
        QVERIFY(!fix->equalsText(u"AB"));
        fix->setAsString(u"");
        QCOMPARE(fix->asString(), QString());
        QVERIFY(!fix->isNull());
        s.fieldByName(u"TXT")->setAsString(u"ABCDE");
        QCOMPARE(s.fieldByName(u"TXT")->asString(), QStringLiteral("ABC"));
        s.fieldByName(u"TXT")->setAsString(u"ção");
        QCOMPARE(s.fieldByName(u"TXT")->asString(), QStringLiteral("ção"));
        QVERIFY(s.fieldByName(u"TXT")->equalsText(u"ção"));

        TField* qt = s.fieldByName(u"QT");
        qt->setAsString(u"1.234,5");
        QCOMPARE(qt->asFloat(), 1234.5);
        qt->setAsString(u"10.5");
        QCOMPARE(qt->asFloat(), 10.5);
        QCOMPARE(qt->asString(), QStringLiteral("10,5"));
        QVERIFY_THROWS_EXCEPTION(DataSetError, qt->setAsString(u"dez"));
        QCOMPARE(qt->asFloat(), 10.5); // a refused value leaves the old one
        qt->setAsString(u" ");
        QVERIFY(qt->isNull());
        qt->setValue(QStringLiteral("2,25"));
        QCOMPARE(qt->asFloat(), 2.25);

        TField* dt = s.fieldByName(u"DT");
        dt->setAsString(u"04/11/2018"); // midnight does not exist in São Paulo that day
        QCOMPARE(dt->asDateTime().date(), QDate(2018, 11, 4));
        QCOMPARE(dt->asDateTime().time(), QTime(0, 0));
        QCOMPARE(dt->asDateTime().timeSpec(), Qt::UTC);
        dt->setAsDateTime(QDateTime(QDate(2018, 11, 4), QTime(1, 30))); // local time in
        QCOMPARE(dt->asDateTime().time(), QTime(1, 30));                // wall clock out
        QCOMPARE(dt->asString(), QStringLiteral("04/11/2018 01:30:00"));
        QVERIFY_THROWS_EXCEPTION(DataSetError, dt->setAsString(u"31/02/2024"));

        s.fieldByName(u"NR")->setAsString(u"12");
        QCOMPARE(s.fieldByName(u"NR")->asInteger(), 12);
        s.fieldByName(u"OK")->setAsString(u"S");
        QVERIFY(s.fieldByName(u"OK")->asBoolean());
        QCOMPARE(s.fieldByName(u"OK")->asString(), QStringLiteral("S"));
        s.post();

        // Writes need an edit, and a read-only field refuses them.
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.fieldByName(u"NR")->setAsInteger(1));
        s.fieldByName(u"NR")->setReadOnly(true);
        s.edit();
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.fieldByName(u"NR")->setAsInteger(1));
        s.cancel();
        QVERIFY_THROWS_EXCEPTION(DataSetError, s.fieldByName(u"NADA"));
        QCOMPARE(s.findField(u"NADA"), nullptr);
    }

    void fieldChangeAndGetTextHandlers() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(2));
        TField* tipo = s.fieldByName(u"IDTIPOEXOL");
        tipo->OnGetText = [](const TField& f, bool) {
            return f.equalsText(u"A") ? QStringLiteral("Automático")
                                      : (f.equalsText(u"M") ? QStringLiteral("Manual") : QString());
        };
        QCOMPARE(tipo->text(), QStringLiteral("Manual"));
        // Text by position shows each record through the handler, the cursor stays put.
        QCOMPARE(s.textAt(1, tipo->index()), QStringLiteral("Automático"));
        QCOMPARE(s.currentPosition(), 0);
        QCOMPARE(tipo->text(), QStringLiteral("Manual"));

        int changes = 0;
        s.fieldByName(u"CDMARCA")->OnChange = [&](TField& f) {
            ++changes;
            f.dataSet()->fieldByName(u"NMMARCA")->clear();
        };
        s.edit();
        s.fieldByName(u"CDMARCA")->setAsString(u"X");
        QCOMPARE(changes, 1);
        QVERIFY(s.fieldByName(u"NMMARCA")->isNull());
        s.post();
    }

    void disabledControlsHoldNotificationsBack() {
        TWorkingSet s;
        s.loadFromPacket(itemPacket(10));
        QSignalSpy reset(&s, &TWorkingSet::contentReset);
        QSignalSpy record(&s, &TWorkingSet::recordChanged);
        QSignalSpy current(&s, &TWorkingSet::currentChanged);
        QSignalSpy state(&s, &TWorkingSet::stateChanged);
        int stateHook = 0;
        s.OnStateChange = [&](TWorkingSet&) {
            ++stateHook;
        };
        int scrolls = 0;
        s.AfterScroll = [&](TWorkingSet&) {
            ++scrolls;
        };

        s.disableControls();
        s.disableControls(); // nests
        for (s.first(); !s.eof(); s.next()) {
            s.edit();
            s.fieldByName(u"CALC")->setAsString(u"S");
            s.post();
        }
        s.enableControls();
        QVERIFY(s.controlsDisabled());
        QCOMPARE(reset.count(), 0);
        s.enableControls();
        QVERIFY(!s.controlsDisabled());
        QCOMPARE(reset.count(), 1);
        QCOMPARE(record.count(), 0);
        QCOMPARE(state.count(), 0); // browse before, browse after
        QCOMPARE(stateHook, 0);
        QCOMPARE(current.count(), 0); // listeners re-read the current record on the reset
        QCOMPARE(scrolls, 10);        // event hooks run regardless
        QCOMPARE(s.changeCount(), 10);

        // Nothing done while disabled: nothing to catch up on.
        s.disableControls();
        s.enableControls();
        QCOMPARE(reset.count(), 1);
        s.enableControls(); // unbalanced enable is harmless
        QVERIFY(!s.controlsDisabled());

        // A state left different is reported once at the end.
        s.disableControls();
        s.edit();
        s.enableControls();
        QCOMPARE(state.count(), 1);
        QCOMPARE(state.last().at(0).value<DataSetState>(), DataSetState::Edit);
        QCOMPARE(stateHook, 1);
        s.cancel();
        QCOMPARE(state.count(), 2);
    }

    void dataSourceRelaysStateAndData() {
        TWorkingSet s;
        TDataSource ds(nullptr, QStringLiteral("dtsPadrao"));
        QList<DataSetState> seen;
        int dataChanges = 0;
        ds.OnStateChange = [&](TDataSource& src) {
            seen << src.state();
        };
        ds.OnDataChange = [&](TDataSource&) {
            ++dataChanges;
        };
        ds.setDataSet(&s);
        QCOMPARE(ds.state(), DataSetState::Inactive);
        s.loadFromPacket(itemPacket(3));
        s.edit();
        s.fieldByName(u"CALC")->setAsString(u"S");
        s.post();
        QCOMPARE(seen, QList<DataSetState>(
                           {DataSetState::Browse, DataSetState::Edit, DataSetState::Browse}));
        QVERIFY(dataChanges >= 2);

        // A pass with controls disabled: no relays until the end, then one data change.
        seen.clear();
        dataChanges = 0;
        s.disableControls();
        for (s.first(); !s.eof(); s.next()) {
            s.edit();
            s.fieldByName(u"CALC")->setAsString(u"N");
            s.post();
        }
        QCOMPARE(dataChanges, 0);
        s.enableControls();
        QVERIFY(seen.isEmpty());
        QCOMPARE(dataChanges, 1);

        ds.setEnabled(false);
        QCOMPARE(ds.state(), DataSetState::Inactive);
        dataChanges = 0;
        s.next();
        QCOMPARE(dataChanges, 0);
        ds.setEnabled(true);
        QCOMPARE(ds.state(), DataSetState::Browse);

        {
            TWorkingSet other;
            ds.setDataSet(&other);
            QCOMPARE(ds.state(), DataSetState::Inactive);
        }
        QCOMPARE(ds.dataSet(), nullptr); // the set went away
    }
};

QTEST_GUILESS_MAIN(EventsTest)
#include "tst_events.moc"

// The item history end to end against the reference server on SQLite and PostgreSQL, in-process
// and over HTTP: a quantity typed and saved through the screen, the same item changed again by
// another client the grid has not seen, and the history opened from the menu showing both,
// newest first, with who made each.

#include "RoadFixture.h"

#include "../server/DeltaHelpers.h"

#include "Cli_sup07706/TfrmHistItem.h"

#include "sup/server/Items.h"

#include <QAction>
#include <QLocale>
#include <QPushButton>

using namespace sup::host;
using namespace Qt::StringLiterals;
using sup::data::DataPacket;

class TestHistoryRoad : public suptest::ScreenRoad {
    Q_OBJECT

    // Another client saves a new quantity of the item as another operator.
    void saveElsewhere(qint64 id, double qty, const QString& op) {
        const DataPacket loaded = sup::server::selectItems(db(), u"I.CDRASTRITM = %1"_s.arg(id));
        const DataPacket delta = suptest::makeDelta(loaded, {0}, [&](qsizetype r, auto& cur) {
            cur[std::size_t(loaded.indexOf(u"ALTERADO"))].setText(r, u"S");
            cur[std::size_t(loaded.indexOf(u"QTPROGENPEOL"))].setReal(r, qty);
        });
        const QVariant answer =
            seeded->call(u"UpdItemPedidoOL"_s,
                         {QVariant::fromValue(delta), u"N"_s, u"N"_s, op, false,
                          u"Corte do fornecedor"_s, u"Remanejamento OL para ED"_s},
                         sup::server::kModuleAltPedidosOL, op);
        QVERIFY2(sup::contracts::faultOf(answer).code.isEmpty(),
                 qPrintable(sup::contracts::faultOf(answer).message));
    }

private slots:
    void cleanup() { close(); }

    void bothChangesNewestFirst_data() {
        QTest::addColumn<QString>("db");
        QTest::addColumn<bool>("overHttp");
        QTest::newRow("sqlite") << u"sqlite"_s << false;
        if (!suptest::pgBaseUrl().isEmpty())
            QTest::newRow("postgresql") << u"postgresql"_s << false;
        QTest::newRow("sqlite over http") << u"sqlite"_s << true;
    }
    void bothChangesNewestFirst() {
        QFETCH(QString, db);
        QFETCH(bool, overHttp);
        open(db, overHttp);
        if (QTest::currentTestFailed())
            return;
        const qint64 id = editable().value(0);
        QVERIFY(id > 0);
        const int before = int(stored(id, "QTPROGENPEOL").toDouble());

        typeQuantity(id, before + 7);
        host->answerMessage(mrYes); // "Confirma operação?"
        host->answerCaptioned(10);  // "Sim": the purchase requests follow
        QVERIFY(Guarded([this] { s->sbtConfirmarClick(); }));
        QCOMPARE(int(stored(id, "QTPROGENPEOL").toDouble()), before + 7);
        saveElsewhere(id, before + 2, sup::server::kManagerOperator);

        QStringList rows;
        QString title;
        host->onModal(u"frmHistItem"_s, [&](QDialog& d) {
            auto& h = static_cast<TfrmHistItem&>(d);
            title = h.lblItem->text();
            const sup::data::TWorkingSet* set = h.dbgHistorico->dataSet();
            auto text = [set](int row, const char16_t* f) {
                return set->textAt(row, set->fieldByName(f)->index()).trimmed();
            };
            for (int r = 0; r < set->recordCount(); ++r)
                rows << text(r, u"CDOPERADOR") + u' ' + text(r, u"DSCAMPO") + u' ' +
                            text(r, u"DSVALORANT") + u'>' + text(r, u"DSVALORNOVO");
            QTest::mouseClick(h.sbtCancel, Qt::LeftButton);
        });
        QVERIFY(at(id));
        host->clearLog();
        s->mnuHistItem->trigger();

        auto qty = [](int v) {
            return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(double(v), 'f', 3);
        };
        QCOMPARE(rows,
                 (QStringList{u"GERENTE1 Quantidade %1>%2"_s.arg(qty(before + 7), qty(before + 2)),
                              u"DEMO Quantidade %1>%2"_s.arg(qty(before), qty(before + 7))}));
        QVERIFY2(title.contains(field("NRPEDEXOL")), qPrintable(title));
        QCOMPARE(host->busyShows(), 1);
        QCOMPARE(host->busyHides(), 1);
        QVERIFY(host->unanswered.isEmpty());
    }
};

QTEST_MAIN(TestHistoryRoad)
#include "tst_history_road.moc"

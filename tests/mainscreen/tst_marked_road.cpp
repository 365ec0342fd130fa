// The operations on marked items, end to end against the reference server on SQLite and
// PostgreSQL: items marked in the grid with the keyboard, then blocked and unblocked, sent to
// direct delivery with the manager's release, written off, reserved and released; each read
// back from the database (items, blocking history, stock, reservations, audit) and from the
// reloaded grid.

#include "RoadFixture.h"

#include "sup/data/DataPacket.h"

#include <QAction>

using namespace sup::host;
using sup::testkit::LoggedMessage;
using suptest::cellCenter;

namespace {

// A store working with stock reservation whose editable items include some of a product and
// brand the OL holds free stock of.
const QString kReservingStore = QStringLiteral(
    "F.IDUTRESPEDEXOL = 'S' AND EXISTS (SELECT 1 FROM PEDIDOOLITEM I JOIN ESTOQUEOL E ON "
    "E.CDFILIOPELOG = I.CDFILIOPELOG AND E.CDPRODUTO = I.CDPRODUTO AND E.CDMARCA = I.CDMARCA "
    "WHERE I.CDFILDEST = F.CDFILIAL AND I.IDSITUITEM = 'A' AND I.IDITMPEDOLBLOQ = 'N' AND "
    "I.IDITEMAJUSTE = 'N' AND I.QTRESERVESTOL = 0 AND E.QTSALDO - E.QTRESERVADO >= "
    "I.QTPROGENPEOL)");

} // namespace

class TestMarkedRoad : public suptest::ScreenRoad {
    Q_OBJECT

    int count(const QString& sql, const QVariantList& binds = {}) const {
        return db().scalar(sql, binds).toInt();
    }
    bool listed(qint64 id) { return at(id); }

private slots:
    void cleanup() { close(); }

    // Two items blocked, then one of them unblocked: the flag, its date and the history in the
    // database, "Bloqueado" in the reloaded grid, the marks gone.
    void blockAndUnblock_data() { suptest::addDatabaseRows(); }
    void blockAndUnblock() {
        QFETCH(QString, db);
        open(db, false);
        if (QTest::currentTestFailed())
            return;
        const QList<qint64> ids = editable().mid(0, 2);
        QCOMPARE(ids.size(), 2);
        for (qint64 id : ids)
            mark(id);
        s->mnuBloquear->trigger();
        QCOMPARE(reloads, 1);
        for (qint64 id : ids) {
            QCOMPARE(stored(id, "IDITMPEDOLBLOQ").toString(), QStringLiteral("S"));
            QVERIFY(!stored(id, "DTBLOQITMPEDOL").isNull());
            QVERIFY(at(id));
            QCOMPARE(items().fieldByName(u"IDITMPEDOLBLOQ")->text(), QStringLiteral("Bloqueado"));
            QCOMPARE(field("CALC"), QStringLiteral("N"));
        }
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM BLOQITEMHIST WHERE CDRASTRITM IN "
                                      "(?, ?) AND IDITMPEDOLBLOQ = 'S' AND CDOPERADOR = ?"),
                       {ids[0], ids[1], sup::server::kDemoOperator}),
                 2);

        mark(ids[1]);
        s->mnuNBloquear->trigger();
        QCOMPARE(stored(ids[0], "IDITMPEDOLBLOQ").toString(), QStringLiteral("S"));
        QCOMPARE(stored(ids[1], "IDITMPEDOLBLOQ").toString(), QStringLiteral("N"));
        QVERIFY(at(ids[1]));
        QCOMPARE(items().fieldByName(u"IDITMPEDOLBLOQ")->text(), QString());
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = "
                                      "'SetBloqItem' AND CDOPERADOR = ?"),
                       {sup::server::kDemoOperator}),
                 3);
        QVERIFY(!host->busyVisible());
    }

    // Direct delivery under the manager's release of the processing branch, then a write-off:
    // the items leave the open list in the database and in the reloaded grid, their
    // reservations go back to the OL, the reason is audited.
    void directDeliveryAndWriteOff_data() { suptest::addDatabaseRows(); }
    void directDeliveryAndWriteOff() {
        QFETCH(QString, db);
        open(db, false);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(this->db()
                     .scalar(QStringLiteral("SELECT IDBLOQIMPOL FROM PARASUPRI WHERE CDFILIAL = "
                                            "(SELECT CDFILPROC FROM OPERADOR WHERE CDOPERADOR = "
                                            "?)"),
                             {sup::server::kDemoOperator})
                     .toString(),
                 QStringLiteral("S"));
        const QList<qint64> ids = editable().mid(0, 2);
        QCOMPARE(ids.size(), 2);
        const int listedBefore = items().recordCount();

        mark(ids[0]);
        host->answerPickKeys({sup::server::kManagerOperator});
        host->answerPasswordResult(true);
        host->answerMessage(mrYes);
        QVERIFY(Guarded([this] { s->btnPontoaPontoClick(); }));
        QCOMPARE(s->stLiberaGer, QStringLiteral("S"));
        QCOMPARE(stored(ids[0], "IDSITUITEM").toString(), QStringLiteral("E"));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM RESERVAESTOL WHERE CDRASTRITM = ?"),
                       {ids[0]}),
                 0);
        QCOMPARE(
            count(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = "
                                 "'UpdItemPedidoOL' AND NMCAMPO = 'IDSITUITEM' AND "
                                 "DSVALORNOVO = 'E' AND DSMOTIVO = 'Remanejamento OL para ED'")),
            1);
        QVERIFY(!listed(ids[0]));
        QCOMPARE(items().recordCount(), listedBefore - 1);

        mark(ids[1]);
        const int picks = host->picks.size();
        host->answerMessage(mrYes);
        QVERIFY(Guarded([this] { s->btnBaixaManualClick(); }));
        QCOMPARE(host->picks.size(), picks); // a write-off asks for no release
        QCOMPARE(stored(ids[1], "IDSITUITEM").toString(), QStringLiteral("B"));
        QVERIFY(!listed(ids[1]));
        QCOMPARE(items().recordCount(), listedBefore - 2);
        QCOMPARE(items().changeCount(), 0);
        QVERIFY(!host->busyVisible());
    }

    // Reserving an item the OL holds free stock for, then releasing it: the item, its
    // reservation rows and the OL's reserved part agree, the reloaded grid shows the
    // reservation, and the user is told the outcome.
    void reserveAndRelease_data() { suptest::addDatabaseRows(); }
    void reserveAndRelease() {
        QFETCH(QString, db);
        open(db, false, kReservingStore);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(s->dbgPadrao->isColumnVisible(s->dbgPadrao->columnIndexOfField(u"QTRESERVESTOL")));
        const QList<qint64> ids =
            editable(QStringLiteral("I.IDITEMAJUSTE = 'N' AND I.QTRESERVESTOL = 0 AND EXISTS "
                                    "(SELECT 1 FROM ESTOQUEOL E WHERE E.CDFILIOPELOG = "
                                    "I.CDFILIOPELOG AND E.CDPRODUTO = I.CDPRODUTO AND E.CDMARCA = "
                                    "I.CDMARCA AND E.QTSALDO - E.QTRESERVADO >= I.QTPROGENPEOL)"));
        QVERIFY(!ids.isEmpty());
        const qint64 id = ids.first();
        const double qty = stored(id, "QTPROGENPEOL").toDouble();
        const QString stock = QStringLiteral(
            "SELECT E.QTRESERVADO FROM ESTOQUEOL E JOIN PEDIDOOLITEM I ON E.CDFILIOPELOG = "
            "I.CDFILIOPELOG AND E.CDPRODUTO = I.CDPRODUTO AND E.CDMARCA = I.CDMARCA WHERE "
            "I.CDRASTRITM = ?");
        const double reservedBefore = this->db().scalar(stock, {id}).toDouble();

        mark(id);
        QVERIFY(s->mnuReservaOL->isEnabled());
        s->mnuIncluiRes->trigger();
        QCOMPARE(host->lastMessage().text, QStringLiteral("Operação realizada com sucesso."));
        QCOMPARE(stored(id, "QTRESERVESTOL").toDouble(), qty);
        QCOMPARE(this->db()
                     .scalar(QStringLiteral("SELECT SUM(QTRESERVADA) FROM RESERVAESTOL WHERE "
                                            "CDRASTRITM = ?"),
                             {id})
                     .toDouble(),
                 qty);
        QCOMPARE(this->db().scalar(stock, {id}).toDouble(), reservedBefore + qty);
        QVERIFY(at(id));
        QCOMPARE(items().fieldByName(u"QTRESERVESTOL")->asFloat(), qty);
        QCOMPARE(field("CALC"), QStringLiteral("N"));

        mark(id);
        s->mnuExcluiRes->trigger();
        QCOMPARE(host->lastMessage().text, QStringLiteral("Operação realizada com sucesso."));
        QCOMPARE(stored(id, "QTRESERVESTOL").toDouble(), 0.0);
        QCOMPARE(this->db().scalar(stock, {id}).toDouble(), reservedBefore);
        QVERIFY(at(id));
        QCOMPARE(items().fieldByName(u"QTRESERVESTOL")->asFloat(), 0.0);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = "
                                      "'SetReserva' AND NMTABELA = 'PEDIDOOLITEM' AND "
                                      "CDOPERADOR = ?"),
                       {sup::server::kDemoOperator}),
                 2);
        QVERIFY(!host->busyVisible());
    }
};

QTEST_MAIN(TestMarkedRoad)
#include "tst_marked_road.moc"

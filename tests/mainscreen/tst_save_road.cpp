// The user's whole road of saving item changes against the reference server on SQLite and
// PostgreSQL: items loaded through the screen, changed in the grid (typed quantity, the product
// and brand pick lists), confirmed, written with their purchase requests and audit rows, and
// reloaded; a second user changing the same item meanwhile (in-process and over HTTP); and a
// failure inside the server's transaction that leaves the database as it was and the user's
// edits pending.

#include "RoadFixture.h"

#include "../server/DeltaHelpers.h"

#include "sup/contracts/ServerCalls.h"
#include "sup/data/DataPacket.h"

#include <QLocale>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::TWorkingSet;
using sup::testkit::LoggedMessage;
namespace contracts = sup::contracts;
using suptest::cellCenter;
using suptest::kEditable;
using suptest::kSameOrder;
using suptest::openEditor;

namespace {

const QString kReason = QStringLiteral("Alteração do Pedido OL.");
const QString kRequestsQuestion = QStringLiteral(
    "Deseja atualizar as solicitações de compras dos itens com quantidade diferente de zero?");
const QStringList kSavingTables = {QStringLiteral("PEDIDOOLITEM"),  QStringLiteral("AUDITORIA"),
                                   QStringLiteral("DELTAAPLICADO"), QStringLiteral("SOLICOMPRA"),
                                   QStringLiteral("RESERVAESTOL"),  QStringLiteral("ESTOQUEOL"),
                                   QStringLiteral("BLOQITEMHIST")};

QString number(double v) {
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(v, 'g', 15);
}

} // namespace

class TestSaveRoad : public suptest::ScreenRoad {
    Q_OBJECT

    // Confirms the save: Yes to "Confirma operação?", "Sim" to the purchase requests.
    bool confirm() {
        host->answerMessage(mrYes);
        host->answerCaptioned(10);
        return Guarded([this] { s->sbtConfirmarClick(); });
    }

private slots:
    void cleanup() { close(); }

    // Load, change a quantity in the grid, a brand and a product through the pick lists, save
    // with the requests following: the items, their requests and the audit rows in the
    // database, the reloaded list on the screen.
    void theRoad_data() { suptest::addDatabaseRows(); }
    void theRoad() {
        QFETCH(QString, db);
        open(db, false);
        if (QTest::currentTestFailed())
            return;
        sup::sql::Connection& c = this->db();

        const QList<qint64> withRequest = editable(QStringLiteral(
            "(SELECT COUNT(*) FROM SOLICOMPRA S WHERE S.CDRASTRITM = I.CDRASTRITM AND "
            "S.IDSITUSOLIC = 'A') = 1"));
        QVERIFY(!withRequest.isEmpty());
        const qint64 qtyId = withRequest.first();
        const QList<qint64> brandable = editable(
            QStringLiteral("I.CDRASTRITM <> %1 AND EXISTS (SELECT 1 FROM PRODMARCA B WHERE "
                           "B.CDPRODUTO = I.CDPRODUTO AND B.CDMARCA <> I.CDMARCA AND NOT EXISTS "
                           "(%2 AND O.CDPRODUTO = B.CDPRODUTO AND O.CDMARCA = B.CDMARCA))")
                .arg(qtyId)
                .arg(kSameOrder));
        QVERIFY(!brandable.isEmpty());
        const qint64 brandId = brandable.first();
        const QString newBrand =
            c.scalar(QStringLiteral("SELECT MIN(B.CDMARCA) FROM PRODMARCA B JOIN PEDIDOOLITEM I "
                                    "ON I.CDRASTRITM = ? AND B.CDPRODUTO = I.CDPRODUTO WHERE "
                                    "B.CDMARCA <> I.CDMARCA AND NOT EXISTS (%1 AND O.CDPRODUTO "
                                    "= B.CDPRODUTO AND O.CDMARCA = B.CDMARCA)")
                         .arg(kSameOrder),
                     {brandId})
                .toString();
        const QList<qint64> others =
            editable(QStringLiteral("I.CDRASTRITM NOT IN (%1, %2)").arg(qtyId).arg(brandId));
        QVERIFY(!others.isEmpty());
        const qint64 productId = others.first();
        // A stock-kept product the item's OL handles, new to the item's order, in its first
        // registered brand.
        QSqlQuery q = c.exec(
            QStringLiteral(
                "SELECT P.CDARVPROD, P.CDPRODUTO, MIN(B.CDMARCA) FROM PEDIDOOLITEM I JOIN "
                "PRODRELACOL X ON X.CDFILIOPELOG = I.CDFILIOPELOG JOIN PRODUTO P ON P.CDPRODUTO "
                "= X.CDPRODUTO JOIN PRODMARCA B ON B.CDPRODUTO = P.CDPRODUTO WHERE "
                "I.CDRASTRITM = ? AND P.CDPRODESTO IS NOT NULL AND P.CDNVPRODUTO = '4' AND "
                "NOT substr(P.CDARVPROD, 1, 4) = '0103' AND NOT EXISTS (%1 AND O.CDPRODUTO = "
                "P.CDPRODUTO) "
                "GROUP BY P.CDARVPROD, P.CDPRODUTO ORDER BY P.CDARVPROD")
                .arg(kSameOrder),
            {productId});
        QVERIFY(q.next());
        const QString newTree = q.value(0).toString(), newProduct = q.value(1).toString(),
                      newProductBrand = q.value(2).toString();
        const int newQty = int(stored(qtyId, "QTPROGENPEOL").toDouble()) + 7;
        const int audits = c.scalar(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA")).toInt();

        typeQuantity(qtyId, newQty);
        QVERIFY(at(brandId));
        s->dbgPadrao->setSelectedField(u"CDMARCA");
        host->answerPickWhere(QStringLiteral("CDMARCA"), newBrand);
        QVERIFY(Guarded([this] { s->dbgPadraoEditButtonClick(); }));
        QVERIFY(Guarded([this] { items().post(); }));
        QCOMPARE(field("CDMARCA"), newBrand);
        QVERIFY(at(productId));
        s->dbgPadrao->setSelectedField(u"CDARVPROD");
        host->answerPick([&](TWorkingSet& list) {
            const int tree = list.fieldIndex(u"CDARVPROD"), brand = list.fieldIndex(u"CDMARCA");
            for (int p = 0; p < list.recordCount(); ++p)
                if (list.textAt(p, tree, false).trimmed() == newTree &&
                    list.textAt(p, brand, false).trimmed() == newProductBrand)
                    return p;
            return -1;
        });
        QVERIFY(Guarded([this] { s->dbgPadraoEditButtonClick(); }));
        QCOMPARE(field("CDPRODUTO"), newProduct);
        QVERIFY(Guarded([this] { items().post(); }));
        QCOMPARE(items().changeCount(), 3);
        QVERIFY2(host->unanswered.isEmpty(), qPrintable(host->unanswered.join(u'|')));

        QVERIFY(confirm());
        QVERIFY2(host->unanswered.isEmpty(), qPrintable(host->unanswered.join(u'|')));
        bool asked = false;
        for (const LoggedMessage& m : host->messages)
            asked = asked || (m.kind == LoggedMessage::Question && m.text == kRequestsQuestion);
        QVERIFY(asked);

        // Written once, by the operator, through the saving method.
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM DELTAAPLICADO WHERE NMMETODO = "
                                         "'UpdItemPedidoOL' AND CDOPERADOR = ?"),
                          {sup::server::kDemoOperator})
                     .toInt(),
                 1);
        QCOMPARE(stored(qtyId, "QTPROGENPEOL").toDouble(), double(newQty));
        QCOMPARE(stored(brandId, "CDMARCA").toString().trimmed(), newBrand);
        QCOMPARE(stored(productId, "CDPRODUTO").toString().trimmed(), newProduct);
        QCOMPARE(stored(productId, "CDMARCA").toString().trimmed(), newProductBrand);
        QCOMPARE(stored(productId, "CDARVPROD").toString().trimmed(), newTree);
        // The request behind the quantity follows it; those behind the product follow it.
        QCOMPARE(c.scalar(QStringLiteral("SELECT QTSOLICITADA FROM SOLICOMPRA WHERE CDRASTRITM "
                                         "= ? AND IDSITUSOLIC = 'A'"),
                          {qtyId})
                     .toDouble(),
                 double(newQty));
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM SOLICOMPRA WHERE CDRASTRITM = ? "
                                         "AND (CDPRODUTO <> ? OR CDMARCA <> ?)"),
                          {productId, newProduct, newProductBrand})
                     .toInt(),
                 0);
        // One audit row per changed field at least, each with the operator and the reason.
        QSqlQuery a = c.exec(QStringLiteral("SELECT NMCAMPO, CDOPERADOR, DSMOTIVO FROM AUDITORIA "
                                            "WHERE NMTABELA = 'PEDIDOOLITEM' ORDER BY "
                                            "NRSEQAUDIT"));
        QStringList audited;
        while (a.next()) {
            QCOMPARE(a.value(1).toString().trimmed(), sup::server::kDemoOperator);
            QCOMPARE(a.value(2).toString(), kReason);
            audited << a.value(0).toString();
        }
        for (const char* f : {"QTPROGENPEOL", "CDMARCA", "CDPRODUTO"})
            QVERIFY2(audited.contains(QString::fromLatin1(f)), qPrintable(audited.join(u'|')));
        QVERIFY(c.scalar(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA")).toInt() > audits);

        // The screen shows the list read again, nothing pending.
        QCOMPARE(reloads, 1);
        QCOMPARE(items().changeCount(), 0);
        QVERIFY(!items().controlsDisabled());
        QVERIFY(!host->busyVisible());
        QCOMPARE(s->data().cdsAuxItem->recordCount(), items().recordCount());
        QVERIFY(at(qtyId));
        QCOMPARE(quantity(), double(newQty));
        QCOMPARE(field("ALTERADO"), QStringLiteral("N"));
        QVERIFY(at(brandId));
        QCOMPARE(field("CDMARCA"), newBrand);
        QCOMPARE(field("NMMARCA"), c.scalar(QStringLiteral("SELECT NMMARCA FROM MARCA WHERE "
                                                           "CDMARCA = ?"),
                                            {newBrand})
                                       .toString()
                                       .trimmed());
        QVERIFY(at(productId));
        QCOMPARE(field("CDPRODUTO"), newProduct);
        QCOMPARE(field("CDMARCA"), newProductBrand);
    }

    // Another user changes an item after this one loaded it: the save is refused whole, the
    // user is told the item with the loaded, sent and stored quantities, nothing is lost; after
    // a reload the change goes through.
    void secondUserChangedTheItem_data() {
        QTest::addColumn<QString>("db");
        QTest::addColumn<bool>("overHttp");
        QTest::newRow("sqlite") << QStringLiteral("sqlite") << false;
        if (!suptest::pgBaseUrl().isEmpty())
            QTest::newRow("postgresql") << QStringLiteral("postgresql") << false;
        QTest::newRow("sqlite over http") << QStringLiteral("sqlite") << true;
    }
    void secondUserChangedTheItem() {
        QFETCH(QString, db);
        QFETCH(bool, overHttp);
        open(db, overHttp);
        if (QTest::currentTestFailed())
            return;
        const QList<qint64> ids = editable();
        const qint64 contested = ids[0], other = ids[1];
        const double loaded = stored(contested, "QTPROGENPEOL").toDouble();
        const double otherLoaded = stored(other, "QTPROGENPEOL").toDouble();

        // The other user: the same items read and one changed through the saving method, on a
        // session of its own.
        {
            std::unique_ptr<contracts::IAppServer> b = sup::server::ReferenceServer::module(
                seeded->server, contracts::kModuleAltPedidosOL, sup::server::kManagerOperator);
            contracts::ItemCriteria k = criteria;
            const QVariant list = contracts::calls::GetItem(*b, k);
            QVERIFY(!contracts::isFault(list));
            TWorkingSet theirs;
            theirs.loadFromPacket(list.toList().value(0).value<DataPacket>());
            QVERIFY(theirs.locate(QStringLiteral("CDRASTRITM"), double(contested)));
            theirs.edit();
            theirs.fieldByName(u"QTPROGENPEOL")->setAsFloat(loaded + 3);
            theirs.fieldByName(u"ALTERADO")->setAsString(u"S");
            theirs.post();
            DataPacket delta = theirs.delta();
            const QVariant saved = contracts::calls::UpdItemPedidoOL(
                *b, delta, QStringLiteral("N"), QStringLiteral("N"), sup::server::kManagerOperator,
                false, kReason, QStringLiteral("Remanejamento OL para ED"));
            QVERIFY2(!contracts::isFault(saved), qPrintable(contracts::faultOf(saved).message));
        }
        const QByteArray before = suptest::digest(this->db(), kSavingTables);

        typeQuantity(contested, int(loaded) + 9);
        setQuantity(other, otherLoaded + 4);
        host->clearLog();
        QVERIFY(!confirm());
        const LoggedMessage told = host->lastMessage();
        QCOMPARE(told.kind, LoggedMessage::Error);
        if (overHttp)
            QVERIFY(s->data().netAltPedidosOL->host().startsWith(u"http://127.0.0.1:"));
        QVERIFY(at(contested));
        for (const QString& part :
             {QStringLiteral("Pedido ") + field("NRPEDEXOL"), QStringLiteral("Destino ") + branch,
              QStringLiteral("Produto ") + field("CDPRODUTO"),
              QStringLiteral("Qtde.: lido %1, enviado %2, atual %3")
                  .arg(number(loaded), number(int(loaded) + 9), number(loaded + 3))})
            QVERIFY2(told.text.contains(part), qPrintable(told.text));
        QCOMPARE(suptest::digest(this->db(), kSavingTables), before);
        // Every edit still pending, the grid live again.
        QCOMPARE(items().changeCount(), 2);
        QCOMPARE(quantity(), double(int(loaded) + 9));
        QVERIFY(at(other));
        QCOMPARE(quantity(), otherLoaded + 4);
        QVERIFY(!items().controlsDisabled());
        QCOMPARE(items().tag(), 0);
        QVERIFY(!host->busyVisible());
        QVERIFY(s->mnuConfirmar->isEnabled());
        QCOMPARE(reloads, 0);

        // Dropping the edits, reading the list again and redoing the change saves it.
        host->answerMessage(mrYes); // "Canc"
        QVERIFY(Guarded([this] { s->sbtCancelarClick(); }));
        QVERIFY(Guarded([this] { s->sbtVerificarClick(); }));
        QVERIFY(at(contested));
        QCOMPARE(quantity(), loaded + 3);
        typeQuantity(contested, int(loaded) + 9);
        QVERIFY(confirm());
        QCOMPARE(stored(contested, "QTPROGENPEOL").toDouble(), double(int(loaded) + 9));
        QCOMPARE(stored(other, "QTPROGENPEOL").toDouble(), otherLoaded);
        QCOMPARE(items().changeCount(), 0);
    }

    // The server fails on the second changed item, after the first one was written: nothing of
    // the save stays in the database, every edit stays pending, and the same edits save once
    // the fault is gone.
    void failureInsideTheSaveWritesNothing_data() { suptest::addDatabaseRows(); }
    void failureInsideTheSaveWritesNothing() {
        QFETCH(QString, db);
        open(db, false);
        if (QTest::currentTestFailed())
            return;
        sup::sql::Connection& c = this->db();
        const QList<qint64> ids = editable();
        const double q0 = stored(ids[0], "QTPROGENPEOL").toDouble();
        const double q1 = stored(ids[1], "QTPROGENPEOL").toDouble();
        // Fails the update of an item once the other one is written, whichever goes first.
        const QString written = QStringLiteral("(SELECT COUNT(*) FROM PEDIDOOLITEM WHERE "
                                               "(CDRASTRITM = %1 AND QTPROGENPEOL <> %2) OR "
                                               "(CDRASTRITM = %3 AND QTPROGENPEOL <> %4)) > 0")
                                    .arg(ids[0])
                                    .arg(q0, 0, 'g', 17)
                                    .arg(ids[1])
                                    .arg(q1, 0, 'g', 17);
        if (c.dialect() == sup::sql::Dialect::PostgreSQL) {
            c.exec(QStringLiteral("CREATE FUNCTION falha_injetada() RETURNS trigger LANGUAGE "
                                  "plpgsql AS $$ BEGIN IF %1 THEN RAISE EXCEPTION 'falha "
                                  "injetada'; END IF; RETURN NEW; END $$")
                       .arg(written));
            c.exec(QStringLiteral("CREATE TRIGGER falha BEFORE UPDATE ON PEDIDOOLITEM FOR EACH "
                                  "ROW EXECUTE FUNCTION falha_injetada()"));
        } else {
            c.exec(QStringLiteral("CREATE TRIGGER falha BEFORE UPDATE ON PEDIDOOLITEM WHEN %1 "
                                  "BEGIN SELECT RAISE(ABORT, 'falha injetada'); END")
                       .arg(written));
        }
        const QByteArray before = suptest::digest(c, kSavingTables);

        setQuantity(ids[0], q0 + 2);
        setQuantity(ids[1], q1 + 5);
        host->clearLog();
        QVERIFY(!confirm());
        QCOMPARE(host->lastMessage().kind, LoggedMessage::Error);
        // A refusal that is no taken key is not reported as a duplicate item.
        QVERIFY(
            !host->lastMessage().text.startsWith(QStringLiteral("Item de Pedido já cadastrado")));
        QCOMPARE(suptest::digest(c, kSavingTables), before);
        QCOMPARE(items().changeCount(), 2);
        QVERIFY(at(ids[0]));
        QCOMPARE(quantity(), q0 + 2);
        QCOMPARE(field("ALTERADO"), QStringLiteral("S"));
        QVERIFY(at(ids[1]));
        QCOMPARE(quantity(), q1 + 5);
        QVERIFY(!items().controlsDisabled());
        QVERIFY(!host->busyVisible());
        QCOMPARE(reloads, 0);

        c.exec(c.dialect() == sup::sql::Dialect::PostgreSQL
                   ? QStringLiteral("DROP TRIGGER falha ON PEDIDOOLITEM")
                   : QStringLiteral("DROP TRIGGER falha"));
        QVERIFY(confirm());
        QCOMPARE(stored(ids[0], "QTPROGENPEOL").toDouble(), q0 + 2);
        QCOMPARE(stored(ids[1], "QTPROGENPEOL").toDouble(), q1 + 5);
        QCOMPARE(items().changeCount(), 0);
    }
};

QTEST_MAIN(TestSaveRoad)
#include "tst_save_road.moc"

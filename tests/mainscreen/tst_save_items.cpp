// Saving the item changes and the grid's pick lists of the maintenance screen, against a scripted
// server: the questions, the duplicate check, the exact arguments of the save, what is kept when
// the save fails, and what the pick lists copy into the item.

#include "ScriptedScreen.h"

#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/testkit/ScriptedServer.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QtTest>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::DataPacketBuilder;
using sup::data::TWorkingSet;

namespace {

QVariant packet(const DataPacket& p) {
    return QVariant::fromValue(p);
}

} // namespace

class TestSaveItems : public QObject {
    Q_OBJECT

    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<suptest::ScriptedScreen> f;
    sup::testkit::ScriptedHost* host = nullptr;
    sup::testkit::ScriptedServer* server = nullptr;
    TfrmAltPedidosOL* s = nullptr;

    TWorkingSet& items() { return f->items(); }

    // Changes one item as the grid's rules would leave it (the rules themselves stand aside):
    // the new values, the change mark and the snapshot following the item's loaded key.
    void change(int position, const QVariantMap& values) {
        QVariantMap written = values;
        written[QStringLiteral("ALTERADO")] = QStringLiteral("S");
        f->put(position, written);
        // The snapshot follows the item, as the before-post rule would have it.
        TWorkingSet* aux = s->data().cdsAuxItem;
        aux->setTag(99);
        aux->moveTo(position);
        aux->edit();
        for (const char16_t* field : {u"CDPRODUTO", u"CDMARCA", u"QTPROGENPEOL"})
            aux->fieldByName(field)->setValue(items().fieldByName(field)->value());
        aux->post();
        aux->setTag(0);
    }
    void markItem(int position) { f->mark(position); }

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }

    void init() {
        f = std::make_unique<suptest::ScriptedScreen>(*db);
        host = f->host.get();
        server = f->server.get();
        s = f->screen;
        server->answer(QStringLiteral("GetVd_Est_Disp"), true);
        server->answer(QStringLiteral("UpdItemPedidoOL"), true);
        s->data().cdsParamFilial->loadFromPacket(
            suptest::paramFilialPacket({{"0012", "0012", "N"}}));
    }

    void cleanup() { f.reset(); }

    // The seven arguments; the purchase request question only for changed quantities other
    // than 0, and argument 5 following its answer.
    void saveSendsTheDeltaWithItsArguments_data() {
        QTest::addColumn<QList<double>>("quantities"); // new quantities, one item each
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("requests");
        QTest::newRow("marks only") << QList<double>{} << false << 0 << false;
        QTest::newRow("all zero") << QList<double>{0.0, 0.0} << false << 0 << false;
        QTest::newRow("Sim") << QList<double>{5.0, 0.0} << true << 10 << true;
        QTest::newRow("Não") << QList<double>{5.0} << true << 11 << false;
    }
    void saveSendsTheDeltaWithItsArguments() {
        QFETCH(QList<double>, quantities);
        QFETCH(bool, asked);
        QFETCH(int, answer);
        QFETCH(bool, requests);
        markItem(3);
        for (int i = 0; i < quantities.size(); ++i)
            change(i, {{QStringLiteral("QTPROGENPEOL"), quantities[i]}});
        host->answerMessage(mrYes); // "Confirma operação?"
        if (asked)
            host->answerCaptioned(answer);
        s->sbtConfirmarClick();

        QCOMPARE(server->count(QStringLiteral("UpdItemPedidoOL")), 1);
        const QVariantList args = server->last(QStringLiteral("UpdItemPedidoOL")).args;
        const DataPacket delta = args[0].value<DataPacket>();
        QVERIFY(delta.isDelta());
        QCOMPARE(delta.rowCount(), qsizetype(quantities.size() + 1));
        QCOMPARE(args.mid(1),
                 (QVariantList{QStringLiteral("N"), QStringLiteral("N"), host->vantrel().Operador,
                               requests, QStringLiteral("Alteração do Pedido OL."),
                               QStringLiteral("Remanejamento OL para ED")}));
        QStringList questions;
        for (const auto& m : host->messages)
            if (m.kind == sup::testkit::LoggedMessage::Question)
                questions << m.text;
        QCOMPARE(questions.contains(QStringLiteral("Deseja atualizar as solicitações de compras "
                                                   "dos itens com quantidade diferente de zero?")),
                 asked);
        // The stock warning asks once, with the last item.
        QCOMPARE(server->count(QStringLiteral("GetVd_Est_Disp")), 1);
        QCOMPARE(server->last(QStringLiteral("GetVd_Est_Disp")).args.value(0).toString(),
                 QStringLiteral("0012"));
        QCOMPARE(server->last(QStringLiteral("GetVd_Est_Disp")).args.value(2).toString(),
                 items().fieldByName(u"CDFILIOPELOG")->asString());
        // Saved: nothing pending, the snapshot a copy of the items, the indicator gone.
        QCOMPARE(items().changeCount(), 0);
        QVERIFY(!items().controlsDisabled());
        QVERIFY(!host->busyVisible());
        QCOMPARE(s->data().cdsAuxItem->recordCount(), items().recordCount());
    }

    // Two items of one order, branches and date may not end with the same product and brand:
    // nothing is sent, and the changes stay.
    void duplicateItemsAreNotSent() {
        // Item 1 becomes item 0's twin: same order and date, then the same product and brand.
        change(1, {{QStringLiteral("NRPEDEXOL"), QStringLiteral("P1")},
                   {QStringLiteral("DTPROGENPEOL"),
                    items().valueAt(0, items().fieldIndex(u"DTPROGENPEOL"))}});
        s->data().cdsAuxItem->loadFromPacket(items().data());
        change(1, {{QStringLiteral("CDPRODUTO"), QStringLiteral("000001")},
                   {QStringLiteral("CDMARCA"), QStringLiteral("00001")}});
        host->answerMessage(mrYes);
        QVERIFY(!Guarded([this] { s->sbtConfirmarClick(); }));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Item de Pedido já cadastrado."));
        QCOMPARE(server->count(QStringLiteral("UpdItemPedidoOL")), 0);
        QVERIFY(items().changeCount() > 0);
        QVERIFY(!items().controlsDisabled());
        QVERIFY(!s->data().cdsAuxItemBloq->filtered());
        QCOMPARE(items().tag(), 0);
        QVERIFY(!host->busyVisible());
    }

    // "Não" to "Confirma operação?" drops every change, marks included; a failing save keeps
    // them all for the next try.
    void declinedOrFailedSavesKeepOrDropAsTold() {
        markItem(0);
        change(2, {{QStringLiteral("QTPROGENPEOL"), 7.0}});
        host->answerMessage(mrNo);
        s->sbtConfirmarClick();
        QCOMPARE(items().changeCount(), 0);
        QCOMPARE(items().valueAt(0, items().fieldIndex(u"CALC")).toString(), QStringLiteral("N"));
        QCOMPARE(items().valueAt(2, items().fieldIndex(u"QTPROGENPEOL")).toDouble(), 14.0);
        QCOMPARE(server->count(QStringLiteral("UpdItemPedidoOL")), 0);

        markItem(0);
        change(2, {{QStringLiteral("QTPROGENPEOL"), 7.0}});
        server->fail(QStringLiteral("UpdItemPedidoOL"),
                     QStringLiteral("Item alterado por outro usuário desde a leitura."));
        host->answerMessage(mrYes);
        host->answerCaptioned(11);
        QVERIFY(!Guarded([this] { s->sbtConfirmarClick(); }));
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Item alterado por outro usuário desde a leitura."));
        QCOMPARE(items().changeCount(), 2);
        QCOMPARE(items().valueAt(2, items().fieldIndex(u"QTPROGENPEOL")).toDouble(), 7.0);
        QVERIFY(!items().controlsDisabled());
        QCOMPARE(items().tag(), 0);
        QVERIFY(!host->busyVisible());
    }

    // The product pick list copies the product and its brand; a blocked item is refused before
    // anything is copied; a closed list changes nothing; with any brand allowed the brand list
    // is every brand and needs no product.
    void pickListsCopyTheChosenRow() {
        DataPacketBuilder products(s->data().cdsPesqProduto->fieldDefs());
        QVariantList row;
        for (const auto& def : s->data().cdsPesqProduto->fieldDefs())
            row << (def.type == sup::data::FieldType::Double
                        ? QVariant(10.0)
                        : QVariant(def.name.left(def.size > 0 ? std::min(3, def.size) : 3)));
        products.appendRow(row);
        server->answer(QStringLiteral("GetPesqProduto"), packet(products.finish()));
        items().moveTo(1);
        s->dbgPadrao->setSelectedField(u"CDARVPROD");

        host->cancelPick();
        s->dbgPadraoEditButtonClick();
        QCOMPARE(items().state(), sup::data::DataSetState::Browse);
        QCOMPARE(server->last(QStringLiteral("GetPesqProduto")).args,
                 (QVariantList{QStringLiteral("0901"), QString(), QString(), QStringLiteral("0"),
                               QString()}));

        host->answerPickRow(0);
        s->dbgPadraoEditButtonClick();
        QCOMPARE(items().state(), sup::data::DataSetState::Edit);
        QCOMPARE(items().fieldByName(u"CDARVPROD")->asString(), QStringLiteral("CDA"));
        QCOMPARE(items().fieldByName(u"CDMARCA")->asString(), QStringLiteral("CDM"));
        QCOMPARE(items().fieldByName(u"NMPRODUTO")->asString(), QStringLiteral("NMP"));
        s->data().cdsAuxItem->setTag(99);
        items().cancel();
        s->data().cdsAuxItem->setTag(0);

        // A blocked item, no group authorisation: refused, nothing copied.
        s->data().cdsAuxItem->setTag(99);
        items().edit();
        items().fieldByName(u"IDITMPEDOLBLOQ")->setAsString(u"S");
        items().post();
        s->data().cdsAuxItem->setTag(0);
        host->answerPickRow(0);
        QVERIFY(!Guarded([this] { s->dbgPadraoEditButtonClick(); }));
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Operação bloqueada! Item do pedido do OL está bloqueado."));
        QCOMPARE(items().fieldByName(u"CDARVPROD")->asString(), QStringLiteral("1.01.001.0002"));

        // Any brand with any product: every brand of the database, no server call.
        s->data().cdsParamFilial->loadFromPacket(
            suptest::paramFilialPacket({{"0012", "0012", "N"}}));
        s->data().cdsParamFilial->edit();
        s->data().cdsParamFilial->fieldByName(u"IDPROSEMMAR")->setAsString(u"S");
        s->data().cdsParamFilial->post();
        items().moveTo(0);
        s->dbgPadrao->setSelectedField(u"CDMARCA");
        host->answerPickWhere(QStringLiteral("CDMARCA"), QStringLiteral("00002"));
        const int calls = server->calls().size();
        s->dbgPadraoEditButtonClick();
        QCOMPARE(server->calls().size(), calls);
        QVERIFY(host->picks.last().rows > 2);
        QCOMPARE(items().fieldByName(u"CDMARCA")->asString(), QStringLiteral("00002"));
        QVERIFY(!items().fieldByName(u"NMMARCA")->asString().isEmpty());
        QVERIFY(!host->busyVisible());
    }
};

QTEST_MAIN(TestSaveItems)
#include "tst_save_items.moc"

// The operations on marked items of the maintenance screen against a scripted server: blocking,
// direct delivery with the manager's release, manual write-off and reservations; what is sent,
// what is left out and what the user is told.

#include "ScriptedScreen.h"

#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/testkit/ScriptedServer.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QSqlQuery>
#include <QtTest>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::DataPacketBuilder;
using sup::data::TWorkingSet;

class TestMarkedOps : public QObject {
    Q_OBJECT

    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<suptest::ScriptedScreen> f;
    sup::testkit::ScriptedHost* host = nullptr;
    sup::testkit::ScriptedServer* server = nullptr;
    TfrmAltPedidosOL* s = nullptr;

    TWorkingSet& items() { return f->items(); }
    void put(int position, const QVariantMap& values) { f->put(position, values); }
    void mark(int position) { f->mark(position); }
    QString value(int position, const char* field) {
        return items().valueAt(position, items().fieldIndex(QString::fromLatin1(field))).toString();
    }
    // Loaded values that already hold what the test needs (as if read from the server).
    void load(const std::function<void(int, QVariantMap&)>& shape) {
        TWorkingSet scratch;
        scratch.loadFromPacket(suptest::itemPacket(4));
        scratch.disableControls();
        for (int p = 0; p < 4; ++p) {
            QVariantMap v;
            shape(p, v);
            scratch.moveTo(p);
            scratch.edit();
            for (auto it = v.begin(); it != v.end(); ++it)
                scratch.fieldByName(it.key())->setValue(it.value());
            scratch.post();
        }
        scratch.enableControls();
        scratch.mergeChangeLog();
        loaded_ = scratch.data();
        items().loadFromPacket(loaded_);
    }
    DataPacket loaded_; // what the server holds: the reload reads it again

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }

    void init() {
        f = std::make_unique<suptest::ScriptedScreen>(*db);
        host = f->host.get();
        server = f->server.get();
        s = f->screen;
        loaded_ = suptest::itemPacket(4);
        s->data().setReload([this] { items().loadFromPacket(loaded_); });
    }

    void cleanup() { f.reset(); }

    // Only marked items in the "from" state that are not adjustment items are sent; nothing to
    // send is said; a failing call keeps the marks; the flag reads "Bloqueado" on the status bar.
    void blocking() {
        load([](int p, QVariantMap& v) {
            v[QStringLiteral("IDITMPEDOLBLOQ")] = QStringList{"N", "S", "N", ""}[p];
            v[QStringLiteral("IDITEMAJUSTE")] = p == 2 ? QStringLiteral("S") : QStringLiteral("N");
        });
        for (int p = 0; p < 4; ++p)
            mark(p);
        server->answer(QStringLiteral("SetBloqItem"), true);
        s->BloqItem(QStringLiteral("N"), QStringLiteral("S"));
        QCOMPARE(server->count(QStringLiteral("SetBloqItem")), 1);
        const QVariantList args = server->last(QStringLiteral("SetBloqItem")).args;
        QCOMPARE(args.value(1).toString(), host->vantrel().Operador);
        TWorkingSet sent;
        sent.loadFromPacket(args[0].value<DataPacket>());
        QCOMPARE(sent.recordCount(), 1);
        QCOMPARE(sent.fieldByName(u"NRPEDEXOL")->asString(), QStringLiteral("P1"));
        QCOMPARE(sent.fieldByName(u"CDFILDEST")->asString(), QStringLiteral("0012"));
        QCOMPARE(sent.fieldByName(u"IDITMPEDOLBLOQ")->asString(), QStringLiteral("S"));
        QCOMPARE(items().changeCount(), 0);

        // Unblocking a selection with no blocked item sends nothing.
        load(
            [](int, QVariantMap& v) { v[QStringLiteral("IDITMPEDOLBLOQ")] = QStringLiteral("N"); });
        mark(0);
        s->BloqItem(QStringLiteral("S"), QStringLiteral("N"));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Não existem itens a serem alterados."));
        QCOMPARE(server->count(QStringLiteral("SetBloqItem")), 1);

        // A failing call: the mark stays for another try.
        server->fail(QStringLiteral("SetBloqItem"),
                     QStringLiteral("Item fechado por outro usuário."));
        QVERIFY(!Guarded([this] { s->BloqItem(QStringLiteral("N"), QStringLiteral("S")); }));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Item fechado por outro usuário."));
        QCOMPARE(value(0, "CALC"), QStringLiteral("S"));
        QVERIFY(!items().controlsDisabled());
        QVERIFY(!host->busyVisible());

        load([](int p, QVariantMap& v) {
            v[QStringLiteral("IDITMPEDOLBLOQ")] =
                p == 1 ? QStringLiteral("S") : QStringLiteral("N");
        });
        items().moveTo(1);
        QCOMPARE(items().fieldByName(u"IDITMPEDOLBLOQ")->text(), QStringLiteral("Bloqueado"));
        items().moveTo(0);
        QCOMPARE(items().fieldByName(u"IDITMPEDOLBLOQ")->text(), QString());
    }

    // Unsaved edits would go with the reload: the user is asked, and "Não" keeps everything.
    void unsavedEditsAreNotDroppedUnasked() {
        put(2, {{QStringLiteral("QTPROGENPEOL"), 99.0},
                {QStringLiteral("ALTERADO"), QStringLiteral("S")}});
        mark(0);
        host->answerMessage(mrNo);
        s->BloqItem(QStringLiteral("N"), QStringLiteral("S"));
        QCOMPARE(host->lastMessage().key, QStringLiteral("Descartar_Alt"));
        QCOMPARE(server->count(QStringLiteral("SetBloqItem")), 0);
        host->answerMessage(mrNo);
        s->Excl_Incl_Reserva(QStringLiteral("I"));
        QCOMPARE(server->count(QStringLiteral("SetReserva")), 0);
        QCOMPARE(value(2, "QTPROGENPEOL").toDouble(), 99.0);
        QCOMPARE(value(0, "CALC"), QStringLiteral("S"));
    }

    // Direct delivery: the manager's release when the branch demands it (one operator only, his
    // password), blocked items left out and told also when the confirmation is declined, and
    // the flags of the call; the write-off sends the other flags and asks for no release.
    void directDeliveryAndWriteOff() {
        DataPacketBuilder supply(sup::contracts::paraSupriEDFields());
        supply.appendRow(
            {QStringLiteral("S"), QStringLiteral("01"), QStringLiteral("N"), QStringLiteral("S")});
        server->answer(QStringLiteral("getParaSupri"), QVariant::fromValue(supply.finish()));
        server->answer(QStringLiteral("UpdItemPedidoOL"), true);
        // The blocked item loses its mark through an ordinary post, under the item rules: it
        // holds a registered product and brand, and the server's checks pass.
        QSqlQuery q(db->conn->database());
        QVERIFY(q.exec(QStringLiteral(
            "SELECT P.CDARVPROD, P.CDPRODUTO, M.CDMARCA FROM PRODUTO P JOIN PRODMARCA M ON "
            "M.CDPRODUTO = P.CDPRODUTO WHERE P.CDPRODESTO IS NOT NULL ORDER BY P.CDPRODUTO")));
        QVERIFY(q.next());
        const QVariantMap product{{QStringLiteral("CDARVPROD"), q.value(0)},
                                  {QStringLiteral("CDPRODUTO"), q.value(1)},
                                  {QStringLiteral("CDMARCA"), q.value(2)}};
        DataPacketBuilder brands(s->data().cdsPesqMarca->fieldDefs());
        brands.appendRow({q.value(2), QStringLiteral("Marca")});
        server->answer(QStringLiteral("GetPesqMarca"), QVariant::fromValue(brands.finish()));
        DataPacketBuilder rule(sup::contracts::paraSupriOLFields());
        rule.appendRow({QStringLiteral("N")});
        DataPacketBuilder relations(s->data().cdsProdRelacOL->fieldDefs());
        server->answer(QStringLiteral("GetBloqProdSemRelacOL"),
                       QVariantList{QVariant::fromValue(rule.finish()),
                                    QVariant::fromValue(relations.finish())});
        load([&](int p, QVariantMap& v) {
            v[QStringLiteral("IDITMPEDOLBLOQ")] =
                p == 1 ? QStringLiteral("S") : QStringLiteral("N");
            if (p == 1)
                v.insert(product);
        });
        mark(0);
        mark(1);

        host->answerPickKeys({QStringLiteral("GERENTE1"), QStringLiteral("GERENTE2")});
        QVERIFY(!Guarded([this] { s->btnPontoaPontoClick(); }));
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Não é permitido selecionar mais que um operador."));
        QCOMPARE(server->count(QStringLiteral("UpdItemPedidoOL")), 0);

        host->answerPickKeys({QStringLiteral("GERENTE1")});
        host->answerPasswordResult(false); // a wrong password ends it silently
        host->clearLog();
        QVERIFY(!Guarded([this] { s->btnPontoaPontoClick(); }));
        for (const auto& m : host->messages) // the password was asked for GERENTE1; no error
            QVERIFY(m.kind != sup::testkit::LoggedMessage::Error);
        QVERIFY(host->texts().join(u'|').contains(QStringLiteral("GERENTE1")));
        QCOMPARE(s->stLiberaGer, QStringLiteral("N"));

        host->answerPickKeys({QStringLiteral("GERENTE1")});
        host->answerPasswordResult(true);
        host->answerMessage(mrNo); // "Confirma alteração dos itens para entrega direta?"
        s->btnPontoaPontoClick();
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Existem itens bloqueados que não foram alterados."));
        QCOMPARE(value(1, "CALC"), QStringLiteral("N")); // the blocked item lost its mark
        QCOMPARE(server->count(QStringLiteral("UpdItemPedidoOL")), 0);

        host->answerPickKeys({QStringLiteral("GERENTE1")});
        host->answerPasswordResult(true);
        host->answerMessage(mrYes);
        s->btnPontoaPontoClick();
        QVariantList args = server->last(QStringLiteral("UpdItemPedidoOL")).args;
        QCOMPARE(args.mid(1),
                 (QVariantList{QStringLiteral("N"), QStringLiteral("S"), host->vantrel().Operador,
                               3, QStringLiteral("Alteração do Pedido OL."),
                               QStringLiteral("Remanejamento OL para ED")}));
        QCOMPARE(items().changeCount(), 0);

        // Write-off: nothing pending is refused with the focus on the marker column.
        QVERIFY(!Guarded([this] { s->btnBaixaManualClick(); }));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Não existem itens a serem alterados."));
        QCOMPARE(s->dbgPadrao->SelectedField(), QStringLiteral("CALC"));
        mark(3);
        host->answerMessage(mrYes);
        const int picks = host->picks.size();
        s->btnBaixaManualClick();
        QCOMPARE(host->picks.size(), picks); // no release asked
        args = server->last(QStringLiteral("UpdItemPedidoOL")).args;
        QCOMPARE(args.mid(1, 4), (QVariantList{QStringLiteral("S"), QStringLiteral("N"),
                                               host->vantrel().Operador, 3}));
        QVERIFY(!host->busyVisible());
    }

    // Reservations: inclusion asks for the whole quantity of the items that take part, exclusion
    // releases what they hold; the three answers; nothing qualifying drops the marks.
    void reservations() {
        load([](int p, QVariantMap& v) {
            v[QStringLiteral("IDUTRESPEDEXOL")] =
                p == 3 ? QStringLiteral("N") : QStringLiteral("S");
            v[QStringLiteral("QTRESERVESTOL")] = p == 1 ? 13.0 : (p == 2 ? 4.0 : 0.0);
        });
        for (int p = 0; p < 4; ++p)
            mark(p);
        server->answer(QStringLiteral("SetReserva"), false);
        s->Excl_Incl_Reserva(QStringLiteral("I"));
        TWorkingSet sent;
        sent.loadFromPacket(server->last(QStringLiteral("SetReserva")).args[0].value<DataPacket>());
        // Item 1 is already reserved whole (13 of 13); item 3 takes no part.
        QCOMPARE(sent.recordCount(), 2);
        QCOMPARE(sent.fieldByName(u"QTRESERVESTOL")->asFloat(), 12.0);
        QCOMPARE(sent.fieldByName(u"OPERACAO")->asString(), QStringLiteral("I"));
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("A reserva não foi incluída para um ou mais itens devido a "
                                "indisponibilidade do estoque do OL."));

        for (int p = 0; p < 4; ++p)
            mark(p);
        server->answer(QStringLiteral("SetReserva"), true);
        s->Excl_Incl_Reserva(QStringLiteral("E"));
        sent.loadFromPacket(server->last(QStringLiteral("SetReserva")).args[0].value<DataPacket>());
        QCOMPARE(sent.recordCount(), 2); // items 1 and 2 hold a reservation
        QCOMPARE(sent.fieldByName(u"QTRESERVESTOL")->asFloat(), 13.0);
        QCOMPARE(host->lastMessage().text, QStringLiteral("Operação realizada com sucesso."));

        mark(3);
        const int calls = server->count(QStringLiteral("SetReserva"));
        s->Excl_Incl_Reserva(QStringLiteral("E"));
        QCOMPARE(server->count(QStringLiteral("SetReserva")), calls);
        QCOMPARE(host->lastMessage().text, QStringLiteral("Não existem itens a serem alterados."));
        QCOMPARE(value(3, "CALC"), QStringLiteral("N"));
        QCOMPARE(items().changeCount(), 0);
    }
};

QTEST_MAIN(TestMarkedOps)
#include "tst_marked_ops.moc"

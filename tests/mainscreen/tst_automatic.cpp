// The automatic alteration against a scripted server: which marked items its launch gathers
// and when it refuses, the options profile applied to the check boxes, the check-box rules, the
// replacement product's lookups and adjustments, and the purchase calendar's check.

#include "ScriptedScreen.h"

#include "Cli_sup07702/Cli_sup07702.h"
#include "Cli_sup07702/TfrmCadaAuto.h"
#include "Cli_sup07704/TfrmErroCadaAuto.h"

#include "sup/contracts/RpcWire.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QtTest>

using namespace sup::host;
using namespace Qt::StringLiterals;
using sup::data::DataPacket;
using sup::data::DataPacketBuilder;
using sup::data::FieldDef;

namespace {

const QString kWebSrv = QStringLiteral("SOFTWARE\\QUORVEL\\Sistemas Integrados Quorvel\\WebSrv");

DataPacket profile(const QList<QPair<QString, QString>>& rows, const QString& option) {
    DataPacketBuilder b(sup::contracts::filtroSupFields());
    for (const auto& [control, value] : rows)
        b.appendRow({QStringLiteral("SUP07702"), control, option, QStringLiteral("S"), value});
    return b.finish();
}

// A packet in the layout of one of the screen's sets, with one row of the values given (none
// when `values` is empty); the other fields are null.
DataPacket packetFor(const sup::data::FieldDefs& defs, const QVariantMap& values) {
    DataPacketBuilder b(defs);
    if (!values.isEmpty()) {
        QVariantList row;
        for (const FieldDef& d : defs)
            row << values.value(d.name);
        b.appendRow(row);
    }
    return b.finish();
}

QVariantMap product(const QString& code, const QString& tree, double factor,
                    const QVariant& weight) {
    return {{QStringLiteral("CDPRODUTO"), code},
            {QStringLiteral("CDARVPROD"), tree},
            {QStringLiteral("NMPRODUTO"), u"Novo "_s + code},
            {QStringLiteral("CDMARCA"), u"00007"_s},
            {QStringLiteral("VRFATOCONV"), factor},
            {QStringLiteral("VRPESOUNID"), weight},
            {QStringLiteral("IDPRODATIVPR"), u"S"_s},
            {QStringLiteral("SGUNIDESTOQUE"), u"UN"_s},
            {QStringLiteral("EST_DISP"), 40.0}};
}

} // namespace

class TestAutomatic : public QObject {
    Q_OBJECT

    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<suptest::ScriptedScreen> f;
    sup::testkit::ScriptedHost* host = nullptr;
    sup::testkit::ScriptedServer* server = nullptr;
    TfrmAltPedidosOL* s = nullptr;

    void put(int position, const QVariantMap& values) { f->put(position, values); }
    void mark(int position) { f->mark(position); }
    // Launches with a script for the screen; the screen is closed after it.
    void launch(const std::function<void(TfrmCadaAuto&)>& script) {
        host->onModal(QStringLiteral("frmCadaAuto"), [script](QDialog& d) {
            script(static_cast<TfrmCadaAuto&>(d));
            d.done(mrCancel);
        });
        Guarded([this] { s->sbtAutomaticoClick(); });
    }
    // Launches, runs the script and reports the modal result the screen closed with (0 when the
    // script left it open; it is cancelled then).
    int launchAndConfirm(const std::function<void(TfrmCadaAuto&)>& script) {
        return f->launchAutomatic(script);
    }
    // The relationship check passes (the OL does not block products without relationship).
    void relationshipPasses() {
        DataPacketBuilder rule(sup::contracts::paraSupriOLFields());
        rule.appendRow({QStringLiteral("N")});
        DataPacketBuilder relations(s->data().cdsProdRelacOL->fieldDefs());
        server->answer(QStringLiteral("GetBloqProdSemRelacOL"),
                       QVariantList{QVariant::fromValue(rule.finish()),
                                    QVariant::fromValue(relations.finish())});
    }

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }
    void init() {
        f = std::make_unique<suptest::ScriptedScreen>(*db);
        host = f->host.get();
        server = f->server.get();
        s = f->screen;
        server->answer(QStringLiteral("GetFiltroSup"), QVariant::fromValue(profile({}, {})));
        host->setRegistryValue(kWebSrv, QStringLiteral("StringConex"), QStringLiteral("srv"));
    }
    void cleanup() { f.reset(); }

    // Blocked and adjustment items are left out (then nothing is left even though items are
    // marked); the OL of the first marked row is the reference even when that row is left out;
    // items of two products open the screen without product and quantity, its menu reduced.
    void gathering() {
        put(0, {{QStringLiteral("IDITMPEDOLBLOQ"), QStringLiteral("S")}});
        put(1, {{QStringLiteral("IDITEMAJUSTE"), QStringLiteral("S")}});
        mark(0);
        mark(1);
        QVERIFY(!Guarded([this] { s->sbtAutomaticoClick(); }));
        QCOMPARE(
            host->lastMessage().text,
            QStringLiteral("Não há pedido selecionado desbloqueado para alteração automática."));
        QVERIFY(host->modalScreens.isEmpty());
        QCOMPARE(s->data().cdsItem->currentPosition(), 0);
        QVERIFY(!s->data().cdsItem->controlsDisabled());

        put(0, {{QStringLiteral("CDFILIOPELOG"), QStringLiteral("0902")}});
        mark(2);
        QVERIFY(!Guarded([this] { s->sbtAutomaticoClick(); }));
        QVERIFY(host->lastMessage().text.startsWith(QStringLiteral("Operação bloqueada! Não é")));
        QVERIFY(host->modalScreens.isEmpty());

        put(0, {{QStringLiteral("CDFILIOPELOG"), QStringLiteral("0901")}});
        mark(3);
        bool opened = false;
        launch([&](TfrmCadaAuto& a) {
            opened = true;
            QVERIFY(!a.chbProduto->isEnabled());
            QVERIFY(!a.chbQuantidade->isEnabled());
            QVERIFY(a.chbEntrega->isEnabled());
            QVERIFY(a.mnuPadrao->isEnabled());
            QVERIFY(!a.mnuEntrega->isEnabled());
        });
        QVERIFY(opened);
        QCOMPARE(s->data().cdsMarcaPref->tag(), 99);
        QCOMPARE(s->data().stRespMarcaPref, QStringLiteral("N"));
        const sup::contracts::SelectedItems& items = s->data().vaItensSelec;
        QCOMPARE(items.count(), 2);
        QCOMPARE(items.attribute(0),
                 (QVariantList{host->vantrel().Operador, host->vantrel().Operador}));
        QCOMPARE(items.value(1, 0).toString(), QStringLiteral("0012"));
        QCOMPARE(items.attribute(4),
                 (QVariantList{QStringLiteral("000003"), QStringLiteral("000004")}));
        QCOMPARE(items.value(10, 1).toDouble(), 15.0);
        QCOMPARE(items.value(7, 1).toDouble(), 1.0);
        QCOMPARE(items.value(5, 0).typeId(), QMetaType::QDateTime);
        // The array travels to the server as its nested lists (HTTP: the call's CBOR), and the
        // server reads it back as it was gathered.
        const QVariantList nested = items.toList();
        QCOMPARE(nested.size(), 15);
        QCOMPARE(QVariant::fromValue(items).toList(), nested);
        const QVariantList decoded = sup::contracts::rpc::decodeCall(
            sup::contracts::rpc::encodeCall(QVariantList{QVariant::fromValue(items)}));
        QCOMPARE(decoded, QVariantList{QVariant(nested)});
        QVERIFY(sup::contracts::SelectedItems::fromVariant(decoded[0]) == items);
        QString why;
        QVERIFY(!sup::contracts::SelectedItems::fromVariant(QVariantList{nested.mid(1)}, &why));
        QVERIFY(why.contains(u"15 atributos"));
        QCOMPARE(s->data().cdsItem->currentPosition(), 0);
    }

    // The profile turns on the check boxes it names (a check box checked from code runs its
    // rule, so its edit opens); a row naming a label is passed over; with no profile everything
    // starts enabled, unchecked and empty.
    void profileApplied() {
        server->answer(
            QStringLiteral("GetFiltroSup"),
            QVariant::fromValue(profile({{QStringLiteral("chbEntrega"), QStringLiteral("S")},
                                         {QStringLiteral("chbAtuSoli"), QStringLiteral("S")},
                                         {QStringLiteral("chbProduto"), QStringLiteral("N")},
                                         {QStringLiteral("lblObs"), QStringLiteral("S")}},
                                        QStringLiteral("mnuEntrega"))));
        mark(0);
        launch([&](TfrmCadaAuto& a) {
            QVERIFY(a.chbEntrega->isChecked() && a.chbEntrega->isEnabled());
            QVERIFY(a.depEntrega->isEnabled());
            QVERIFY(a.chbAtuSoli->isChecked());
            QVERIFY(!a.chbProduto->isChecked() && !a.chbProduto->isEnabled());
            QVERIFY(!a.chbQuantidade->isEnabled());
            QVERIFY(!a.lblObs->isVisible());
            QCOMPARE(a.storedOption(), QStringLiteral("mnuEntrega"));

            // "Padrão": the option goes and everything opens empty.
            server->answer(QStringLiteral("SetFiltroSup"), QVariant());
            server->answer(QStringLiteral("GetFiltroSup"), QVariant::fromValue(profile({}, {})));
            a.mnuPadrao->trigger();
            QCOMPARE(server->last(QStringLiteral("SetFiltroSup")).args, QVariantList{QString()});
            for (QCheckBox* box : {a.chbProduto, a.chbEntrega, a.chbQuantidade, a.chbAtuSoli})
                QVERIFY(box->isEnabled() && !box->isChecked());
            QVERIFY(a.depEntrega->IsEmpty());
        });
    }

    // Unchecking "Produto" empties code, name and percentages; a quantity alone turns the
    // request update off; "Entrega" turns it back on.
    void checkBoxRules() {
        mark(0);
        // Without the machine's web service connection the option buttons are off.
        host->setRegistryValue(kWebSrv, QStringLiteral("StringConex"), QString());
        relationshipPasses();
        launch([&](TfrmCadaAuto& a) {
            QVERIFY(!a.btfLoadOpc->isEnabled());
            // Unchecking "Produto" leaves the code's edit, which looks the code up first.
            server->answer(QStringLiteral("GetProdutos"),
                           QVariant::fromValue(packetFor(
                               a.cdsVdProdEntr->fieldDefs(),
                               product(QStringLiteral("000002"), u"01.01.001.0002"_s, 1, 1.0))));
            a.chbProduto->setChecked(true);
            QVERIFY(a.medCdProduto->isEnabled() && a.nedAjustUn->isVisibleTo(&a));
            a.medCdProduto->SetText(QStringLiteral("01.01.001.0002"));
            a.edtNmProduto->setText(QStringLiteral("Nome"));
            a.nedAjustUn->SetNumber(12);
            a.chbProduto->setChecked(false);
            QVERIFY(a.medCdProduto->Text().isEmpty());
            QVERIFY(a.edtNmProduto->text().isEmpty());
            QCOMPARE(a.nedAjustUn->GetNumber(), 0.0);
            QVERIFY(!a.nedAjustUn->isVisibleTo(&a));

            a.chbQuantidade->setChecked(true);
            a.chbAtuSoli->setChecked(true);
            a.chbEntrega->setChecked(true);
            a.chbEntrega->setChecked(false); // quantity alone
            QVERIFY(!a.chbAtuSoli->isChecked() && !a.chbAtuSoli->isEnabled());
            a.chbEntrega->setChecked(true);
            QVERIFY(a.chbAtuSoli->isEnabled());
        });
    }

    // The unit adjustment from the items' factor and weight to the new product's (null and zero
    // weights count as 1; a new factor of 0 proposes none); the quantity adjustment of the pair.
    void productAdjustments() {
        relationshipPasses();
        put(0, {{QStringLiteral("VRFATOCONV"), 12.0}});
        mark(0);
        launch([&](TfrmCadaAuto& a) {
            a.chbProduto->setChecked(true);
            const QString tree = QStringLiteral("01.01.001.0002");
            auto typeAndLeave = [&](double factor, const QVariant& weight) {
                server->answer(QStringLiteral("GetProdutos"),
                               QVariant::fromValue(packetFor(
                                   a.cdsProdutos->fieldDefs(),
                                   product(QStringLiteral("000002"), tree, factor, weight))));
                a.medCdProduto->SetText(tree);
                QVERIFY2(Guarded([&] { a.medCdProdutoExit(); }),
                         qPrintable(host->lastMessage().text));
            };
            typeAndLeave(6, QVariant());
            QCOMPARE(a.nedAjustUn->GetNumber(), 100.0);
            QCOMPARE(a.edtNmProduto->text(), QStringLiteral("Novo 000002"));
            QCOMPARE(stNewProduto, QStringLiteral("000002"));
            QCOMPARE(server->last(QStringLiteral("GetProdutos")).args,
                     (QVariantList{QStringLiteral("0901"), a.medCdProduto->Text(), QString()}));
            typeAndLeave(12, 0.0);
            QCOMPARE(a.nedAjustUn->GetNumber(), 0.0);
            typeAndLeave(0, 1.0);
            QCOMPARE(a.nedAjustUn->GetNumber(), 0.0);
        });
    }

    // Under "Embalagem Diferente" the lookup is restricted; a product outside the restriction
    // that exists is refused with the option's text, an unknown one as not registered.
    void restrictedLookup() {
        relationshipPasses();
        server->answer(
            QStringLiteral("GetFiltroSup"),
            QVariant::fromValue(profile({{QStringLiteral("chbProduto"), QStringLiteral("S")}},
                                        QStringLiteral("mnuEmbalagemDiferente"))));
        mark(1);
        launch([&](TfrmCadaAuto& a) {
            const QString tree = QStringLiteral("01.01.001.0002");
            a.medCdProduto->SetText(tree);
            server->answer(QStringLiteral("GetPesqProduto"),
                           QVariant::fromValue(packetFor(a.cdsVdProduto->fieldDefs(), {})));
            server->answer(
                QStringLiteral("GetProdutos"),
                QVariant::fromValue(packetFor(a.cdsVdProdEntr->fieldDefs(),
                                              product(QStringLiteral("000002"), tree, 6, 1.0))));
            QVERIFY(!Guarded([&] { a.vd_Produto(false); }));
            QCOMPARE(host->lastMessage().text,
                     QStringLiteral(
                         "Permitido apenas embalagens diferentes. (Mesmo produto de estoque)"));
            const QVariantList args = server->last(QStringLiteral("GetPesqProduto")).args;
            // The item the maintenance screen stands on: the last one gathered.
            QCOMPARE(args.mid(0, 4), (QVariantList{QStringLiteral("0901"), QStringLiteral("000002"),
                                                   a.medCdProduto->Text(), QStringLiteral("1")}));
            server->answer(QStringLiteral("GetProdutos"),
                           QVariant::fromValue(packetFor(a.cdsVdProdEntr->fieldDefs(), {})));
            QVERIFY(!Guarded([&] { a.vd_Produto(false); }));
            QCOMPARE(host->lastMessage().text, QStringLiteral("Produto não cadastrado."));
        });
    }

    // The calendar is asked only for a branch with exempt groups and an operator outside them;
    // a refusal names the branch and the product, keeping the space before the point.
    void periodicity() {
        QSqlQuery q(db->conn->database());
        // The demo operator is in no exempt group; the central branch 0001 has one ("001").
        mark(2);
        launch([&](TfrmCadaAuto& a) {
            a.chbEntrega->setChecked(true);
            a.depEntrega->setDate(QDate(2026, 3, 15));
            server->answer(QStringLiteral("Carrega_PeriFili"), QStringLiteral("S"));
            QVERIFY(!Guarded([&] { a.vd_Periodicidade(); }));
            QCOMPARE(host->lastMessage().text,
                     QStringLiteral("Operação bloqueada. Nova data não contemplada pela "
                                    "periodicidade da filial 0012 para o produto Produto 3 ."));
            const QVariantList args = server->last(QStringLiteral("Carrega_PeriFili")).args;
            QCOMPARE(args, (QVariantList{QStringLiteral("0012"), QStringLiteral("1.01.001.0003"),
                                         QDate(2026, 3, 15)}));
            server->answer(QStringLiteral("Carrega_PeriFili"), QStringLiteral("N"));
            QVERIFY(Guarded([&] { a.vd_Periodicidade(); }));
        });
        // An operator of an exempt group is never checked.
        QVERIFY(
            q.exec(QStringLiteral("INSERT INTO OPERGRUPOP (CDOPERADOR, CDGRUPOPER) VALUES ('%1', "
                                  "'CALENDARIO')")
                       .arg(host->vantrel().Operador)));
        launch([&](TfrmCadaAuto& a) {
            a.chbEntrega->setChecked(true);
            a.depEntrega->setDate(QDate(2026, 3, 15));
            const int calls = server->count(QStringLiteral("Carrega_PeriFili"));
            QVERIFY(Guarded([&] { a.vd_Periodicidade(); }));
            QCOMPARE(server->count(QStringLiteral("Carrega_PeriFili")), calls);
        });
        QVERIFY(q.exec(QStringLiteral("DELETE FROM OPERGRUPOP WHERE CDOPERADOR = '%1' AND "
                                      "CDGRUPOPER = 'CALENDARIO'")
                           .arg(host->vantrel().Operador)));
    }
    // A delivery date alone: no product, quantity or particularity check; the one call goes with
    // the date and the texts the server needs, the items reload and the screen closes.
    void confirmDeliveryOnly() {
        int reloads = 0;
        s->data().setReload([&] { ++reloads; });
        mark(0);
        const int result = launchAndConfirm([&](TfrmCadaAuto& a) {
            a.chbEntrega->setChecked(true);
            a.depEntrega->setDate(QDate(2026, 3, 15));
            a.chbAtuSoli->setChecked(true);
            // The typed code is looked up even without "Produto" while no lookup has found one.
            server->answer(u"GetPesqProduto"_s,
                           QVariant::fromValue(packetFor(a.cdsPesqProduto->fieldDefs(), {})));
            server->answer(u"Carrega_PeriFili"_s, u"N"_s);
            server->answer(u"AltAtuItem"_s, QVariantList{1, 0, false, false});
            host->answerMessage(mrYes);
            QVERIFY2(Guarded([&] { a.sbtConfirmaClick(); }), qPrintable(host->lastMessage().text));
        });
        QCOMPARE(result, int(mrOk));
        QCOMPARE(reloads, 1);
        QCOMPARE(server->count(u"GetVdMarcPref"_s), 0);
        QCOMPARE(server->last(u"GetPesqProduto"_s).args,
                 (QVariantList{u"0901"_s, QString(), QString(), u"0"_s, QString()}));
        const QVariantList args = server->last(u"AltAtuItem"_s).args;
        QCOMPARE(args.value(0).toList(), s->data().vaItensSelec.toList());
        QCOMPARE(args.mid(1),
                 (QVariantList{false,
                               false,
                               true,
                               QDate(2026, 3, 15),
                               0.0,
                               QString(),
                               0.0,
                               0.0,
                               u"Operação bloqueada. Nova data não contemplada pela periodicidade "
                               u"da filial %s para o produto %s ."_s,
                               false,
                               QString(),
                               true,
                               host->vantrel().Operador,
                               u"Alteração do Pedido OL."_s,
                               u"0001"_s,
                               0.0,
                               u"0012"_s,
                               u"0001"_s,
                               QString(),
                               u"N"_s}));
        QVERIFY(std::any_of(host->messages.cbegin(), host->messages.cend(), [](const auto& m) {
            return m.type == mtConfirmation && m.answer == mrYes &&
                   m.text.startsWith(u"Os itens selecionadas serão atualizadas"_s);
        }));
        QVERIFY(!host->busyVisible());
    }

    // A new product against the product the request first asked for: the unit adjustment
    // recomputed from that product's factor and weight (a zero weight counts as 1); the
    // particularity dialog lists the conflicting item and "Não" still sends the call, with "N";
    // both warnings follow, the request's first.
    void confirmProductWithParticularities() {
        relationshipPasses();
        put(0, {{u"CDPRODORIGPEDOL"_s, u"000009"_s}});
        mark(0);
        const QString tree = u"01010010002"_s; // stored without the mask's points
        QString particularity;
        const int result = launchAndConfirm([&](TfrmCadaAuto& a) {
            a.chbProduto->setChecked(true);
            a.chbConsideraSol->setChecked(true);
            a.medCdProduto->SetText(tree);
            const QVariantMap found = product(u"000002"_s, tree, 6, QVariant());
            server->answer(u"GetPesqProduto"_s,
                           QVariant::fromValue(packetFor(a.cdsPesqProduto->fieldDefs(), found)));
            server->answer(u"GetProdutos"_s,
                           QVariant::fromValue(packetFor(a.cdsProdutos->fieldDefs(), found)));
            server->answer(
                u"GetAjusteUn"_s,
                QVariant::fromValue(packetFor(sup::contracts::ajusteUnFields(),
                                              {{u"VRFATOCONV"_s, 12.0}, {u"VRPESOUNID"_s, 0.0}})));
            server->answer(u"GetVdMarcPref"_s,
                           QVariant::fromValue(packetFor(sup::contracts::marcaPref2Fields(),
                                                         {{u"CDFILDEST"_s, u"0012"_s},
                                                          {u"CDFILLANC"_s, u"0001"_s},
                                                          {u"NRPEDEXOL"_s, u"P1"_s},
                                                          {u"CDARVPROD"_s, tree},
                                                          {u"NMPRODUTO"_s, u"Novo 000002"_s},
                                                          {u"SGUNIDADE"_s, u"UN"_s},
                                                          {u"CDMARCA"_s, u"00009"_s},
                                                          {u"CDTIPPART"_s, u"1"_s}})));
            server->answer(u"AltAtuItem"_s, QVariantList{1, 0, true, true});
            host->answerMessage(mrYes);
            host->onModal(u"frmErroCadaAuto"_s, [&](QDialog& d) {
                auto& e = static_cast<TfrmErroCadaAuto&>(d);
                QCOMPARE(e.windowTitle(), u"Erro"_s);
                QCOMPARE(e.lblCodTela->text(), u"SUP07704"_s);
                QCOMPARE(e.lblErro->text(), u"Item selecionado não condiz com a particularidade "
                                            u"da filial para o produto. Deseja continuar?"_s);
                QCOMPARE(e.dbgPadrao->columnCountShown(), 7);
                particularity = e.dbgPadrao->model()->index(0, 6).data().toString();
                QTest::mouseClick(e.btnNao, Qt::LeftButton);
            });
            QVERIFY2(Guarded([&] { a.sbtConfirmaClick(); }), qPrintable(host->lastMessage().text));
        });
        QCOMPARE(result, int(mrOk));
        QCOMPARE(particularity, u"Marca Obrigatória: 00009."_s);
        QCOMPARE(s->data().stRespMarcaPref, u"N"_s);
        QCOMPARE(server->last(u"GetAjusteUn"_s).args, QVariantList{u"000009"_s});
        const QVariantList check = server->last(u"GetVdMarcPref"_s).args;
        QCOMPARE(check.mid(1), (QVariantList{u"000002"_s, u"0001"_s, u"00007"_s}));
        const QVariantList args = server->last(u"AltAtuItem"_s).args;
        QCOMPARE(args.mid(1, 6), (QVariantList{true, false, false, QDate(), 0.0, u"000002"_s}));
        QCOMPARE(args.value(7).toDouble(), 100.0);
        QCOMPARE(args.mid(10, 3), (QVariantList{true, u"UN"_s, false}));
        QCOMPARE(args.value(16).toDouble(), 40.0);
        QCOMPARE(args.mid(19), (QVariantList{u"00007"_s, u"N"_s}));
        QVERIFY(stNewProduto.isEmpty() && stNewMarca.isEmpty());
        QStringList warnings;
        for (const auto& m : std::as_const(host->messages))
            if (m.type == mtWarning)
                warnings << m.text;
        QCOMPARE(warnings, (QStringList{u"A solictação não foi alterada. Não existe pedido OL "
                                        u"para o item da solicitação."_s,
                                        u"Existem itens que não possuem saldo disponível no "
                                        u"estoque do OL."_s}));
    }

    // A quantity of 0 is refused before the question; "Não" to the question sends nothing; a
    // failed call keeps the screen open and forgets the product found for it; the quantity
    // travels rounded to three places.
    void confirmRefusalsAndFailure() {
        mark(0);
        const int result = launchAndConfirm([&](TfrmCadaAuto& a) {
            server->answer(u"GetPesqProduto"_s,
                           QVariant::fromValue(packetFor(a.cdsPesqProduto->fieldDefs(), {})));
            server->answer(u"Carrega_PeriFili"_s, u"N"_s);
            QVERIFY(!Guarded([&] { a.sbtConfirmaClick(); }));
            QCOMPARE(host->lastMessage().text, u"Deve ser informado no mínimo um atributo para "
                                               u"que seja realizada a operação."_s);
            a.chbEntrega->setChecked(true);
            a.depEntrega->setDate(QDate(2026, 3, 15));
            a.chbQuantidade->setChecked(true);
            QVERIFY(!Guarded([&] { a.sbtConfirmaClick(); }));
            QCOMPARE(host->lastMessage().text, u"Quantidade deve ser maior que zero."_s);

            a.nedQuantidade->SetNumber(2.34567);
            host->answerMessage(mrNo);
            QVERIFY(!Guarded([&] { a.sbtConfirmaClick(); }));
            QCOMPARE(server->count(u"AltAtuItem"_s), 0);

            stNewProduto = u"000002"_s; // a lookup had found one
            server->fail(u"AltAtuItem"_s, u"Item alterado por outro usuário."_s, 1);
            host->answerMessage(mrYes);
            QVERIFY(!Guarded([&] { a.sbtConfirmaClick(); }));
            QVERIFY(a.isVisible());
            QVERIFY(stNewProduto.isEmpty());
            QVERIFY(!host->busyVisible());

            server->answer(u"AltAtuItem"_s, QVariantList{1, 0, false, false});
            host->answerMessage(mrYes);
            QVERIFY2(Guarded([&] { a.sbtConfirmaClick(); }), qPrintable(host->lastMessage().text));
        });
        QCOMPARE(result, int(mrOk));
        const QVariantList args = server->last(u"AltAtuItem"_s).args;
        QCOMPARE(args.mid(1, 5), (QVariantList{false, true, true, QDate(2026, 3, 15), 2.346}));
    }
};

QTEST_MAIN(TestAutomatic)
#include "tst_automatic.moc"

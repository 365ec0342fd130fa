// The filter screen: creation against the server, first activation with and without a
// branch-bound operator, the radio and check box handlers, F9 on the list radios, close and
// reopening, the remembered filter in a new screen object and the saved options.

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"
#include "units/Units.h"

#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"
#include "sup/data/DataSource.h"
#include "sup/data/DayNumber.h"
#include "sup/data/WorkingSet.h"
#include "sup/host/SignOn.h"
#include "sup/net/NetConnection.h"
#include "sup/server/ReferenceServer.h"
#include "sup/server/Schema.h"
#include "sup/server/Seed.h"
#include "sup/sql/Database.h"
#include "sup/testkit/ScriptedHost.h"
#include "sup/testkit/ScriptedServer.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QtTest>

#include "FilterFixture.h"

#include <memory>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::DataPacketBuilder;
using sup::data::FieldDef;
using sup::testkit::ScriptedHost;
using sup::testkit::ScriptedServer;

namespace {

using Screen = TfrmFiltroAltPedidoOL;

Screen& asScreen(QDialog& d) {
    return suptest::asFilterScreen(d);
}

QStringList disabledChildren(QWidget* group) {
    QStringList out;
    for (QWidget* w : group->findChildren<QWidget*>()) {
        if (!w->isEnabled() && !w->objectName().isEmpty()) {
            out << w->objectName();
        }
    }
    out.sort();
    return out;
}

QStringList enabledChildren(QWidget* group) {
    QStringList out;
    for (QWidget* w : group->findChildren<QWidget*>()) {
        if (w->isEnabled() && !w->objectName().isEmpty()) {
            out << w->objectName();
        }
    }
    out.sort();
    return out;
}

using suptest::paraSupriPacket;

QString scalarText(const sup::sql::Connection& conn, const QString& sql) {
    QSqlQuery q(conn.database());
    if (!q.exec(sql) || !q.next()) {
        qFatal("seed query failed");
    }
    return q.value(0).toString();
}

} // namespace

class TestFilterScreen : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<sup::sql::Connection> conn;
    std::shared_ptr<sup::server::ReferenceServer> server;
    std::unique_ptr<ScriptedHost> host;

    // Opens the filter through its creator and runs `script` while it is shown; the script
    // leaves the screen open, the helper cancels it afterwards.
    int openFilter(const std::function<void(Screen&)>& script) {
        host->onModal(QStringLiteral("frmFiltroAltPedidoOL"), [&](QDialog& d) {
            script(asScreen(d));
            if (d.isVisible()) {
                asScreen(d).sbtCancel->click();
            }
        });
        int result = -1;
        Guarded([&] { result = CriaFiltroAltPedidoOL(); });
        return result;
    }

    // A hidden filter screen after its first opening.
    Screen* openedAndClosed() {
        openFilter([](Screen&) {});
        return frmFiltroAltPedidoOL;
    }

    // A maintenance screen over a scripted server: the filter's list calls go through its
    // connection.
    void openMaintenance(ScriptedServer& scripted) {
        scripted.install();
        scripted.answer(QStringLiteral("GetParaSupri"),
                        QVariant::fromValue(paraSupriPacket(QStringLiteral("01"))));
        DataPacketBuilder ol(sup::contracts::parametroOLFields());
        ol.appendRow({QStringLiteral("S"), QStringLiteral("01"), QStringLiteral("0103")});
        scripted.answer(QStringLiteral("GetParametroOL"), QVariant::fromValue(ol.finish()));
        frmAltPedidosOL = CreateForm<TfrmAltPedidosOL>();
        boStCriado = true;
    }

    void dropFilter() {
        delete frmFiltroAltPedidoOL;
        frmFiltroAltPedidoOL = nullptr;
    }

private slots:
    void initTestCase() {
        conn = sup::sql::Connection::open(QStringLiteral("sqlite::memory:"));
        sup::server::installSchema(*conn);
        sup::server::SeedOptions o;
        o.items = 40;
        o.fastHash = true;
        sup::server::seedDatabase(*conn, o);
        server = std::make_shared<sup::server::ReferenceServer>(conn);
    }

    void init() {
        host = std::make_unique<ScriptedHost>();
        host->setDatabase(conn->database());
        host->setVantrel(LoadSignOnValues(conn->database(), sup::server::kDemoOperator));
        sup::server::useInProcess(server, sup::server::kDemoOperator);
        sup07700::InitializeUnits();
    }

    void cleanup() {
        dropFilter();
        if (frmAltPedidosOL) {
            delete frmAltPedidosOL;
            frmAltPedidosOL = nullptr;
        }
        boStCriado = false;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        sup07700::FinalizeUnits();
        host.reset();
    }

    void firstOpeningEndToEnd() {
        // The reference server answers GetParaSupri for the central branch of the processing
        // branch (the demo operator works at the central branch itself).
        QVERIFY(!host->values().ModuFili);
        bool ran = false;
        const int result = openFilter([&](Screen& s) {
            ran = true;
            QVERIFY(boFilCriado);
            QVERIFY(!boPrimVez);
            QCOMPARE(s.windowTitle(), QStringLiteral("Filtro de Alteração de Pedidos do OL"));
            QCOMPARE(s.lblCodTela->text(), QStringLiteral("SUP07701"));
            QCOMPARE(s.HelpContext(), 10403901);
            QVERIFY(s.netSuprimentos->Connected());
            QCOMPARE(s.netSuprimentos->ServerName(), QStringLiteral("Sup.rdmSuprimentos"));
            QCOMPARE(s.cdsParaSupri->recordCount(), 1);
            QCOMPARE(s.cdsParaSupri->fieldByName(u"CDGRUPPROD")->asString(), QStringLiteral("01"));

            // Branch groups usable, "Todas" branches with no list, "Lista" of operators.
            QVERIFY(s.rbtFilialTodas->isChecked());
            QVERIFY(!s.btpFilial->isEnabled());
            QVERIFY(sup07700::stFilial.isEmpty());
            QVERIFY(s.rbtListaOL->isChecked());
            QVERIFY(s.btpOL->isEnabled());
            QVERIFY(sup07700::stOL.isEmpty());
            QCOMPARE(disabledChildren(s.grbFilialDest), QStringList{"btpFilial"});
            QCOMPARE(disabledChildren(s.grbAgrupFili), QStringList{"edtAgrupFilial"});

            // The other defaults of the screen.
            QVERIFY(s.rbtRegiaoT->isChecked() && !s.btnRegiao->isEnabled());
            QVERIFY(s.rbtTodasRota->isChecked() && !s.btpRota->isEnabled());
            QVERIFY(s.rbtTodasMarca->isChecked() && !s.btpMarca->isEnabled());
            QVERIFY(s.rbtTLote->isChecked() && !s.btpLoteEnvio->isEnabled());
            QVERIFY(s.rbtTSubGrupo->isChecked() && !s.btnSubGrupo->isEnabled());
            for (QCheckBox* c :
                 {s.chbBloq, s.chbNBloq, s.chbExtra, s.chbNExtra, s.chbReserva, s.chbNReserva}) {
                QVERIFY2(c->isChecked(), qPrintable(c->objectName()));
            }
            QVERIFY(!s.edtProdutoInicial->isEnabled() && s.edtProdutoInicial->isReadOnly());
            QVERIFY(!s.edtProdutoFinal->isEnabled() && s.edtProdutoFinal->isReadOnly());
            QCOMPARE(s.edtAgrupFilial->focusPolicy(), Qt::NoFocus);
            // Disabled, but their names are as readable as any text.
            for (QLineEdit* name : {s.edtAgrupFilial, s.edtProdutoInicial, s.edtProdutoFinal}) {
                QCOMPARE(name->palette().color(QPalette::Disabled, QPalette::Text),
                         name->palette().color(QPalette::Active, QPalette::Text));
            }

            // The product-code masks of the signed-on user.
            const QString mask = Vantrel().DBPict(ptProduto);
            QVERIFY(!mask.isEmpty());
            QCOMPARE(s.medProdutoInicial->EditMask(), mask);
            QCOMPARE(s.medProdutoFinal->EditMask(), mask);
            QCOMPARE(s.cdsProduto->fieldByName(u"CDARVPROD")->def().editMask, mask);
            QCOMPARE(s.medAgrupFilial->EditMask(), QStringLiteral("9999999999;0; "));

            // Pickers: titles and empty-list texts.
            QCOMPARE(s.btpOL->Title(), QStringLiteral("Operador Logístico"));
            QCOMPARE(s.btpOL->DataSource(), s.dtsOL);
            QCOMPARE(s.btnAgrupFilial->Associate(), s.medAgrupFilial);
            QCOMPARE(s.btnPesqProdutoFinal->EmptyError(),
                     QStringLiteral("Não há produto cadastrado que possua relacionamento para o "
                                    "OL."));
            QCOMPARE(s.btpFilial->Hint(), QStringLiteral("Pesquisar"));
        });
        QVERIFY(ran);
        QCOMPARE(result, int(mrCancel));
        QCOMPARE(host->busyShows(), host->busyHides());
        QVERIFY(host->messages.isEmpty());
    }

    void branchBoundOperator() {
        host->values().ModuFili = true;
        sup07700::stOL = QStringLiteral("_0901_"); // left by an earlier use of the module
        const QString proc = host->values().FiliProc;
        openFilter([&](Screen& s) {
            QVERIFY(s.rbtFilialLista->isChecked());
            QCOMPARE(sup07700::stFilial, QStringLiteral("_") + proc + QStringLiteral("_"));
            QVERIFY(enabledChildren(s.grbFilialDest).isEmpty());
            QVERIFY(enabledChildren(s.grbAgrupFili).isEmpty());
            QVERIFY(s.rbtListaOL->isChecked());
            QCOMPARE(sup07700::stOL, QStringLiteral("_0901_"));
        });
        QVERIFY(host->messages.isEmpty());
    }

    void getParaSupriReceivesTheCentralBranch() {
        // A store bought for by a central branch: the call carries the central branch.
        const QString store =
            scalarText(*conn, QStringLiteral("SELECT CDFILIAL FROM FILIAL WHERE CDFILCENTCMP "
                                             "IS NOT NULL AND CDFILCENTCMP <> CDFILIAL "
                                             "ORDER BY CDFILIAL"));
        const QString central = scalarText(
            *conn,
            QStringLiteral("SELECT CDFILCENTCMP FROM FILIAL WHERE CDFILIAL = '%1'").arg(store));
        host->values().FiliProc = store;

        ScriptedServer scripted;
        scripted.install();
        scripted.answer(QStringLiteral("GetParaSupri"),
                        QVariant::fromValue(paraSupriPacket(QStringLiteral("07"))));
        std::unique_ptr<Screen> s(CreateForm<Screen>());
        QCOMPARE(scripted.methods(), QStringList{"GetParaSupri"});
        const auto call = scripted.last(QStringLiteral("GetParaSupri"));
        QCOMPARE(call.module, QStringLiteral("Sup.rdmSuprimentos"));
        QCOMPARE(call.args, QVariantList{central});
        QCOMPARE(call.args.first().typeId(), QMetaType::QString);
        QCOMPARE(s->cdsParaSupri->fieldByName(u"CDGRUPPROD")->asString(), QStringLiteral("07"));
        // Reading (kind 6, no text), hidden again.
        QCOMPARE(host->busyShows(), 1);
        QCOMPARE(host->busyHides(), 1);
        QCOMPARE(host->busyLog.first().kind, int(aviRecebendo));
        QCOMPARE(host->busyLog.first().text, AviDefaultText(aviRecebendo));
        // The creation clears the order, delivery and status dates.
        QVERIFY(s->depEmisIni->IsEmpty() && s->depDtFinNBloq->IsEmpty());
    }

    void failingGetParaSupriEndsTheCreation() {
        ScriptedServer scripted;
        scripted.install();
        scripted.fail(QStringLiteral("GetParaSupri"),
                      QStringLiteral("Parâmetros de suprimentos não cadastrados."));
        const bool completed = Guarded([] { CriaFiltroAltPedidoOL(); });
        QVERIFY(!completed);
        QVERIFY(!frmFiltroAltPedidoOL);
        QVERIFY(!boFilCriado);
        QVERIFY(!host->busyVisible());
        QCOMPARE(host->busyShows(), host->busyHides());
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Parâmetros de suprimentos não cadastrados."));
        QVERIFY(host->modalScreens.isEmpty());
    }

    void regionChoices() {
        Screen* s = openedAndClosed();
        QVERIFY(sup07700::stRegiao.isEmpty()); // nothing chosen yet
        s->rbtRegiaoL->setChecked(true);
        QVERIFY(s->btnRegiao->isEnabled());
        QVERIFY(sup07700::stRegiao.isEmpty());
        s->rbtRegiaoT->setChecked(true);
        QVERIFY(!s->btnRegiao->isEnabled());
        QCOMPARE(sup07700::stRegiao, QStringLiteral("T"));
        s->rbtRegiaoL->setChecked(true);
        QVERIFY(sup07700::stRegiao.isEmpty());
    }

    void listChoicesDriveTheirPickers() {
        Screen* s = openedAndClosed();
        struct Case {
            QRadioButton* todas;
            QRadioButton* lista;
            TBtnPesquisa* button;
            QString* keys;
        };
        const Case cases[] = {
            {s->rbtFilialTodas, s->rbtFilialLista, s->btpFilial, &sup07700::stFilial},
            {s->rbtTodasRota, s->rbtListaRota, s->btpRota, &s->stRota},
            {s->rbtTodasMarca, s->rbtListaMarca, s->btpMarca, &s->stMarca},
            {s->rbtTodosOL, s->rbtListaOL, s->btpOL, &sup07700::stOL},
            {s->rbtTLote, s->rbtLLote, s->btpLoteEnvio, &s->stLote},
            {s->rbtNConsidera, s->rbtLLote, s->btpLoteEnvio, &s->stLote},
            {s->rbtTSubGrupo, s->rbtLSubGrupo, s->btnSubGrupo, &s->stSubGrupo},
        };
        for (const Case& c : cases) {
            const char* name = qPrintable(c.todas->objectName());
            c.lista->setChecked(true);
            QVERIFY2(c.button->isEnabled(), name);
            *c.keys = QStringLiteral("_01_");
            c.todas->setChecked(true);
            QVERIFY2(!c.button->isEnabled(), name);
            QVERIFY2(c.keys->isEmpty(), name);
            // Choosing the list again keeps the (now empty) list and enables the picker.
            *c.keys = QStringLiteral("_02_");
            c.lista->setChecked(true);
            QVERIFY2(c.button->isEnabled(), name);
            QCOMPARE(*c.keys, QStringLiteral("_02_"));
        }
        QVERIFY(host->messages.isEmpty());
    }

    void groupingAndProductEditsClearWhatDependsOnThem() {
        Screen* s = openedAndClosed();
        sup07700::stFilial = QStringLiteral("_0012_");
        s->edtAgrupFilial->setText(QStringLiteral("Lojas do Sul"));
        QTest::keyClicks(s->medAgrupFilial, QStringLiteral("1"));
        QVERIFY(sup07700::stFilial.isEmpty());
        QVERIFY(s->edtAgrupFilial->text().isEmpty());

        s->edtProdutoInicial->setText(QStringLiteral("Arroz"));
        s->edtProdutoFinal->setText(QStringLiteral("Feijão"));
        s->medProdutoInicial->SetText(QStringLiteral("01"));
        QVERIFY(s->edtProdutoInicial->text().isEmpty());
        QCOMPARE(s->edtProdutoFinal->text(), QStringLiteral("Feijão"));
        s->medProdutoFinal->SetText(QStringLiteral("02"));
        QVERIFY(s->edtProdutoFinal->text().isEmpty());
    }

    void statusCheckBoxesRuleTheirDates() {
        Screen* s = openedAndClosed();
        const QColor window = QApplication::palette().color(QPalette::Active, QPalette::Base);
        struct Case {
            QCheckBox* box;
            TDateEditPlus* ini;
            TDateEditPlus* fim;
        };
        for (const Case& c : {Case{s->chbBloq, s->depDtIniBloq, s->depDtFinBloq},
                              Case{s->chbNBloq, s->depDtIniNBloq, s->depDtFinNBloq}}) {
            const char* name = qPrintable(c.box->objectName());
            c.ini->setDate(QDate(2026, 3, 1));
            c.fim->setDate(QDate(2026, 3, 31));
            c.box->setChecked(false);
            for (TDateEditPlus* d : {c.ini, c.fim}) {
                QVERIFY2(!d->isEnabled(), name);
                QVERIFY2(d->IsEmpty(), name);
                QVERIFY2(d->palette().color(QPalette::Base) != window, name);
            }
            c.box->setChecked(true);
            for (TDateEditPlus* d : {c.ini, c.fim}) {
                QVERIFY2(d->isEnabled(), name);
                QVERIFY2(d->IsEmpty(), name); // the dates do not come back
                QCOMPARE(d->palette().color(QPalette::Base), window);
            }
        }
        // The other pair is untouched by each box.
        s->depDtIniNBloq->setDate(QDate(2026, 4, 1));
        s->chbBloq->setChecked(false);
        QCOMPARE(s->depDtIniNBloq->Date(), QDate(2026, 4, 1));
        QVERIFY(s->depDtIniNBloq->isEnabled());
    }

    void branchListNeedsARegionWhileShown() {
        openFilter([&](Screen& s) {
            s.rbtRegiaoL->setChecked(true);
            s.rbtFilialLista->setFocus();
            s.rbtFilialLista->setChecked(true);
            QCOMPARE(host->messages.size(), 1);
            QCOMPARE(host->lastMessage().kind, sup::testkit::LoggedMessage::Error);
            QCOMPARE(host->lastMessage().text, QStringLiteral("Região deve ser informada."));
            QCOMPARE(host->lastMessage().key, QStringLiteral("Reg_N_Inf"));
            QCOMPARE(ScriptedHost::focusIn(&s), s.rbtRegiaoL);
            QVERIFY(!s.btpFilial->isEnabled());

            // With a region chosen the list is accepted.
            host->clearLog();
            s.rbtFilialTodas->setChecked(true);
            sup07700::stRegiao = QStringLiteral("_001_");
            s.rbtFilialLista->setChecked(true);
            QVERIFY(host->messages.isEmpty());
            QVERIFY(s.btpFilial->isEnabled());

            // Region "Todas": no region needed.
            s.rbtFilialTodas->setChecked(true);
            s.rbtRegiaoT->setChecked(true);
            s.rbtFilialLista->setChecked(true);
            QVERIFY(host->messages.isEmpty());
        });

        // Hidden (a reload sets the radios as they were): no message.
        Screen* s = frmFiltroAltPedidoOL;
        QVERIFY(!boFilCriado);
        s->rbtFilialTodas->setChecked(true);
        s->rbtRegiaoL->setChecked(true);
        host->clearLog();
        s->rbtFilialLista->setChecked(true);
        QVERIFY(host->messages.isEmpty());
        QVERIFY(s->btpFilial->isEnabled());
    }

    void f9OnTheListRadiosRunsTheirPickers() {
        // The dispatch batches come from the maintenance screen's connection.
        ScriptedServer scripted;
        scripted.install();
        openMaintenance(scripted);
        DataPacketBuilder lotes({FieldDef::text(QStringLiteral("IDMARCADO"), 1),
                                 FieldDef::text(QStringLiteral("CDLOTENVITOL"), 10),
                                 FieldDef::text(QStringLiteral("NMLOTENVITOL"), 30)});
        lotes.appendRow({QStringLiteral("N"), QStringLiteral("L1"), QStringLiteral("Lote 1")});
        lotes.appendRow({QStringLiteral("N"), QStringLiteral("L2"), QStringLiteral("Lote 2")});
        scripted.answer(QStringLiteral("GetLotePedOL"), QVariant::fromValue(lotes.finish()));
        Screen* s = openedAndClosed();
        QVERIFY(s);

        struct Case {
            QRadioButton* radio;
            QString caption;
            QString keyField;
            QStringList keys;
            QString* list;
        };
        const QString ol1 = scalarText(
            *conn, QStringLiteral(
                       "SELECT CDFILIAL FROM FILIAL WHERE IDFUNCAOFILI = 'O' ORDER BY CDFILIAL"));
        const QString sub1 = scalarText(
            *conn, QStringLiteral("SELECT CDSUBGRPROD FROM SUBGRUPPROD WHERE CDGRUPPROD = '01' "
                                  "ORDER BY CDSUBGRPROD"));
        const QString fil1 = scalarText(
            *conn, QStringLiteral("SELECT CDFILIAL FROM FILIOPER WHERE CDOPERADOR = 'DEMO' "
                                  "ORDER BY CDFILIAL"));
        const Case cases[] = {
            {s->rbtFilialLista,
             QStringLiteral("Filial Destino"),
             QStringLiteral("CDFILIAL"),
             {fil1},
             &sup07700::stFilial},
            {s->rbtListaOL,
             QStringLiteral("Operador Logístico"),
             QStringLiteral("CDFILIAL"),
             {ol1},
             &sup07700::stOL},
            {s->rbtLLote,
             QStringLiteral("Lote de Envio"),
             QStringLiteral("CDLOTENVITOL"),
             {QStringLiteral("L2")},
             &s->stLote},
            {s->rbtLSubGrupo,
             QStringLiteral("Sub-Grupo"),
             QStringLiteral("CDSUBGRPROD"),
             {sub1},
             &s->stSubGrupo},
        };
        for (const Case& c : cases) {
            c.radio->setChecked(true);
            host->picks.clear();
            host->answerPickKeys(c.keys);
            QTest::keyClick(c.radio, Qt::Key_F9);
            QCOMPARE(host->picks.size(), 1);
            QCOMPARE(host->picks.first().caption, c.caption);
            QVERIFY(host->picks.first().multiple);
            QCOMPARE(host->picks.first().keyField, c.keyField);
            QVERIFY2(!c.list->isEmpty(), qPrintable(c.caption));
            QVERIFY2(c.list->contains(c.keys.first()), qPrintable(*c.list));
        }
        QCOMPARE(scripted.count(QStringLiteral("GetLotePedOL")), 1);
        QCOMPARE(scripted.last(QStringLiteral("GetLotePedOL")).module,
                 QStringLiteral("Sup07700.rdmAltPedidosOL"));
        QVERIFY(scripted.last(QStringLiteral("GetLotePedOL")).args.isEmpty());

        // A click on a list picker opens its one multiple pick.
        host->picks.clear();
        host->answerPickKeys({ol1});
        s->btpOL->click();
        QCOMPARE(host->picks.size(), 1);
        QVERIFY(host->picks.first().multiple);

        // The region, route and brand radios have no F9; neither has "Todas" of the OL.
        host->picks.clear();
        for (QRadioButton* r : {s->rbtRegiaoL, s->rbtListaRota, s->rbtListaMarca, s->rbtTodosOL}) {
            r->setChecked(true);
            QTest::keyClick(r, Qt::Key_F9);
        }
        QVERIFY(host->picks.isEmpty());
        QCOMPARE(host->busyShows(), host->busyHides());
    }

    void singlePickersFillTheirEdits() {
        ScriptedServer scripted;
        openMaintenance(scripted);
        DataPacketBuilder groups({FieldDef::text(QStringLiteral("CDGRUPFILI"), 10),
                                  FieldDef::text(QStringLiteral("NMGRUPFILI"), 40)});
        groups.appendRow({QStringLiteral("0000000001"), QStringLiteral("Lojas do Sul")});
        groups.appendRow({QStringLiteral("0000000002"), QStringLiteral("Lojas do Norte")});
        scripted.answer(QStringLiteral("GetAgruFili"), QVariant::fromValue(groups.finish()));
        DataPacketBuilder products({FieldDef::text(QStringLiteral("CDARVPROD"), 20),
                                    FieldDef::text(QStringLiteral("NMPRODUTO"), 50)});
        products.appendRow({QStringLiteral("01.01.001.0001"), QStringLiteral("Arroz 5 kg")});
        products.appendRow({QStringLiteral("01.01.001.0002"), QStringLiteral("Feijão 1 kg")});
        scripted.answer(QStringLiteral("GetProduto"), QVariant::fromValue(products.finish()));

        Screen* s = openedAndClosed();
        sup07700::stFilial = QStringLiteral("_0012_");
        host->answerPickWhere(QStringLiteral("CDGRUPFILI"), QStringLiteral("0000000002"));
        QVERIFY(s->btnAgrupFilial->Execute());
        QCOMPARE(s->medAgrupFilial->Text(), QStringLiteral("0000000002"));
        QCOMPARE(s->edtAgrupFilial->text(), QStringLiteral("Lojas do Norte"));
        QVERIFY(sup07700::stFilial.isEmpty());
        QCOMPARE(host->picks.last().caption, QStringLiteral("Agrupamento de Filial"));
        QVERIFY(scripted.last(QStringLiteral("GetAgruFili")).args.isEmpty());

        host->answerPickWhere(QStringLiteral("CDARVPROD"), QStringLiteral("01.01.001.0001"));
        QVERIFY(s->btnPesqProdutoInicial->Execute());
        host->answerPickWhere(QStringLiteral("CDARVPROD"), QStringLiteral("01.01.001.0002"));
        QVERIFY(s->btnPesqProdutoFinal->Execute());
        QCOMPARE(s->edtProdutoInicial->text(), QStringLiteral("Arroz 5 kg"));
        QCOMPARE(s->edtProdutoFinal->text(), QStringLiteral("Feijão 1 kg"));
        QCOMPARE(s->medProdutoFinal->Text(),
                 s->cdsProduto->fieldByName(u"CDARVPROD")->asString().remove(QLatin1Char('.')));
        // The product list is fetched once, with the catalogue text on the indicator.
        QCOMPARE(scripted.count(QStringLiteral("GetProduto")), 1);
        QCOMPARE(scripted.last(QStringLiteral("GetProduto")).args, QVariantList{QString()});
        bool productText = false;
        for (const auto& e : host->busyLog) {
            productText =
                productText || e.text == QStringLiteral("Recebendo produtos do servidor...");
        }
        QVERIFY(productText);
        QCOMPARE(host->busyShows(), host->busyHides());
    }

    void codeChecksWhenLeavingTheEdits() {
        ScriptedServer scripted;
        openMaintenance(scripted);
        DataPacketBuilder groups({FieldDef::text(QStringLiteral("CDGRUPFILI"), 10),
                                  FieldDef::text(QStringLiteral("NMGRUPFILI"), 40)});
        groups.appendRow({QStringLiteral("0000000002"), QStringLiteral("Lojas do Norte")});
        scripted.answer(QStringLiteral("GetAgruFili"), QVariant::fromValue(groups.finish()));
        Screen* s = openedAndClosed();

        // A grouping code is adjusted to its stored form (the branches chosen go) and named.
        sup07700::stFilial = QStringLiteral("_0012_");
        s->medAgrupFilial->SetText(QStringLiteral("2"));
        sup07700::stFilial = QStringLiteral("_0013_");
        QVERIFY(Guarded([&] { s->medAgrupFilialExit(); }));
        QCOMPARE(s->medAgrupFilial->Text(), QStringLiteral("0000000002"));
        QCOMPARE(s->edtAgrupFilial->text(), QStringLiteral("Lojas do Norte"));
        QVERIFY(sup07700::stFilial.isEmpty());
        // Already adjusted: nothing changes, the branches stay.
        sup07700::stFilial = QStringLiteral("_0013_");
        QVERIFY(Guarded([&] { s->medAgrupFilialExit(); }));
        QCOMPARE(sup07700::stFilial, QStringLiteral("_0013_"));
        QCOMPARE(s->edtAgrupFilial->text(), QStringLiteral("Lojas do Norte"));

        s->medAgrupFilial->SetText(QStringLiteral("9"));
        QVERIFY(!Guarded([&] { s->medAgrupFilialExit(); }));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Agrupamento de filial não cadastrado."));
        QCOMPARE(ScriptedHost::focusIn(s), s->medAgrupFilial);
        QCOMPARE(s->medAgrupFilial->Text(), QStringLiteral("0000000009"));
        QVERIFY(s->edtAgrupFilial->text().isEmpty());
        QCOMPARE(host->busyShows(), host->busyHides());

        scripted.fail(QStringLiteral("GetAgruFili"), QStringLiteral("Servidor indisponível."));
        QVERIFY(!Guarded([&] { s->medAgrupFilialExit(); }));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Servidor indisponível."));
        QVERIFY(!host->busyVisible());
        // A blank code asks nothing.
        const int calls = scripted.count(QStringLiteral("GetAgruFili"));
        s->medAgrupFilial->Clear();
        QVERIFY(Guarded([&] { s->medAgrupFilialExit(); }));
        QCOMPARE(scripted.count(QStringLiteral("GetAgruFili")), calls);

        // A registered product is named; an unknown one is refused with the focus on its edit.
        QSqlQuery q(conn->database());
        QVERIFY(q.exec(QStringLiteral("SELECT CDARVPROD, NMPRODUTO FROM PRODUTO "
                                      "WHERE LENGTH(CDARVPROD) = 11 ORDER BY CDARVPROD")));
        QVERIFY(q.next());
        const QString code = q.value(0).toString();
        const QString name = q.value(1).toString();
        s->medProdutoFinal->SetText(code);
        QVERIFY(Guarded([&] { s->medProdutoFinalExit(); }));
        QCOMPARE(s->edtProdutoFinal->text(), name);
        QCOMPARE(s->medProdutoFinal->Text(), code);
        s->medProdutoInicial->SetText(QStringLiteral("99999999999"));
        host->clearLog();
        QVERIFY(!Guarded([&] { s->medProdutoInicialExit(); }));
        QCOMPARE(host->messages.size(), 1);
        QVERIFY2(host->lastMessage().text.contains(QStringLiteral("não cadastrado")),
                 qPrintable(host->lastMessage().text));
        QCOMPARE(ScriptedHost::focusIn(s), s->medProdutoInicial);
        QVERIFY(s->edtProdutoInicial->text().isEmpty());
    }

    void leavingADateEditChecksIt() {
        openFilter([&](Screen& s) {
            QApplication::setActiveWindow(&s);
            s.depEntrIni->setFocus();
            QApplication::processEvents();
            s.depEntrIni->setText(QStringLiteral("31/02/2026"));
            s.depEntrFim->setFocus();
            QApplication::processEvents();
            QCOMPARE(host->messages.size(), 1);
            QCOMPARE(host->lastMessage().text,
                     QStringLiteral("\"31/02/2026\" não é uma data válida."));
            s.depEntrIni->setText(QStringLiteral("28/02/2026"));
            s.depEntrIni->setFocus();
            QApplication::processEvents();
            s.depEntrFim->setFocus();
            QApplication::processEvents();
            QCOMPARE(host->messages.size(), 1);
        });
    }

    void closeHidesTheScreenAndKeepsItsChoices() {
        QPointer<Screen> first;
        openFilter([&](Screen& s) {
            first = &s;
            s.depEmisIni->setDate(QDate(2026, 2, 1));
            s.rbtListaRota->setChecked(true);
            s.stRota = QStringLiteral("_000010_");
            s.rbtRegiaoT->setChecked(false);
            s.rbtRegiaoL->setChecked(true);
            s.chbNExtra->setChecked(false);
            s.sbtFechar->click();
        });
        QVERIFY(first);
        QVERIFY(!first->isVisible());
        QVERIFY(!boFilCriado);
        QVERIFY(!first->netSuprimentos->Connected());

        openFilter([&](Screen& s) {
            QCOMPARE(&s, first.data());
            QVERIFY(boFilCriado);
            QCOMPARE(s.depEmisIni->Date(), QDate(2026, 2, 1));
            QVERIFY(s.rbtListaRota->isChecked() && s.btpRota->isEnabled());
            QCOMPARE(s.stRota, QStringLiteral("_000010_"));
            QVERIFY(s.rbtRegiaoL->isChecked() && s.btnRegiao->isEnabled());
            QVERIFY(!s.chbNExtra->isChecked());
        });
        QVERIFY(!boFilCriado);
        QCOMPARE(host->modalScreens.size(), 2);

        // Closing from code while hidden runs the close again with the same effect.
        first->Close();
        QVERIFY(first && !first->isVisible() && !boFilCriado);
    }

    void newScreenObjectRestoresTheRememberedFilter() {
        Screen* s = openedAndClosed();
        const QString code = QStringLiteral("01.01.001.0001");
        s->depEmisIni->setDate(QDate(2026, 1, 5));
        s->depEmisFim->setDate(QDate(2026, 1, 20));
        s->depDtFinEmbarque->setDate(QDate(2026, 2, 2));
        s->depDtIniNBloq->setDate(QDate(2026, 3, 3));
        s->medProdutoInicial->SetText(code);
        s->medProdutoFinal->SetText(QStringLiteral("01.01.002"));
        const QString iniText = s->medProdutoInicial->Text();
        const QString fimText = s->medProdutoFinal->Text();
        s->Dados_Filtro(true);
        QCOMPARE(sup07700::Filtro.DtEmisIni, sup::data::toDayNumber(QDate(2026, 1, 5)));
        QCOMPARE(sup07700::Filtro.DtEntrIni, 0.0);
        QCOMPARE(sup07700::Filtro.Produto.CdProdIni, iniText);
        // Choices that a new screen object does not take over.
        s->rbtListaMarca->setChecked(true);
        s->stMarca = QStringLiteral("_00001_");
        sup07700::stFilial = QStringLiteral("_0012_");
        sup07700::stRegiao = QStringLiteral("T");
        sup07700::stOL = QStringLiteral("_0901_");

        // The maintenance screen's close destroys the filter; the next opening builds anew.
        dropFilter();
        openFilter([&](Screen& n) {
            QCOMPARE(n.depEmisIni->Date(), QDate(2026, 1, 5));
            QCOMPARE(n.depEmisFim->Date(), QDate(2026, 1, 20));
            QVERIFY(n.depEntrIni->IsEmpty());
            QVERIFY(n.depDtIniEmbarque->IsEmpty());
            QCOMPARE(n.depDtFinEmbarque->Date(), QDate(2026, 2, 2));
            QCOMPARE(n.depDtIniNBloq->Date(), QDate(2026, 3, 3));
            QCOMPARE(n.medProdutoInicial->Text(), iniText);
            QCOMPARE(n.medProdutoFinal->Text(), fimText);
            QVERIFY(n.rbtTodasMarca->isChecked());
            QVERIFY(n.stMarca.isEmpty());
            QVERIFY(n.rbtFilialTodas->isChecked());
            QVERIFY(sup07700::stFilial.isEmpty());
            QCOMPARE(sup07700::stRegiao, QStringLiteral("T"));
            QCOMPARE(sup07700::stOL, QStringLiteral("_0901_"));
        });
    }

    void savedOptionsCarryBranchesAndOperators() {
        Screen* s = openedAndClosed();
        s->rbtFilialLista->setChecked(true);
        sup07700::stFilial = QStringLiteral("_0012__0013_");
        sup07700::stOL = QStringLiteral("_0901_");
        sup07700::stRegiao = QStringLiteral("_001_");
        s->chbReserva->setChecked(false);
        s->saveOptions();
        QVERIFY(s->Opcoes.contains(QStringLiteral("stFilial=_0012__0013_")));
        QVERIFY(s->Opcoes.contains(QStringLiteral("stOL=_0901_")));
        QVERIFY(!s->hasOpcao(QStringLiteral("stRegiao")));

        s->rbtFilialTodas->setChecked(true); // clears stFilial
        s->rbtTodosOL->setChecked(true);     // clears stOL
        s->chbReserva->setChecked(true);
        QVERIFY(sup07700::stFilial.isEmpty() && sup07700::stOL.isEmpty());

        s->loadOptions();
        QVERIFY(s->rbtFilialLista->isChecked());
        QVERIFY(s->btpFilial->isEnabled());
        QVERIFY(s->rbtListaOL->isChecked());
        QVERIFY(!s->chbReserva->isChecked());
        QCOMPARE(sup07700::stFilial, QStringLiteral("_0012__0013_"));
        QCOMPARE(sup07700::stOL, QStringLiteral("_0901_"));
        QCOMPARE(s->rbtFilialLista->text(), QStringLiteral("Lista (2 selecionados)"));
        QCOMPARE(s->rbtFilialLista->toolTip(), QStringLiteral("0012, 0013"));

        // Stored for the next screen object too.
        dropFilter();
        s = openedAndClosed();
        sup07700::stOL.clear();
        s->loadOptions();
        QCOMPARE(sup07700::stOL, QStringLiteral("_0901_"));
        QVERIFY(s->rbtFilialLista->isChecked());
    }

    void tabOrderFollowsTheGroups() {
        Screen* s = openedAndClosed();
        const QStringList expected = {"depEmisIni",
                                      "depEmisFim",
                                      "depEntrIni",
                                      "depEntrFim",
                                      "depDtIniEmbarque",
                                      "depDtFinEmbarque",
                                      "medAgrupFilial",
                                      "btnAgrupFilial",
                                      "rbtFilialTodas",
                                      "rbtFilialLista",
                                      "btpFilial",
                                      "rbtRegiaoT",
                                      "rbtRegiaoL",
                                      "btnRegiao",
                                      "rbtTodasRota",
                                      "rbtListaRota",
                                      "btpRota",
                                      "rbtTodasMarca",
                                      "rbtListaMarca",
                                      "btpMarca",
                                      "rbtTodosOL",
                                      "rbtListaOL",
                                      "btpOL",
                                      "rbtTLote",
                                      "rbtLLote",
                                      "btpLoteEnvio",
                                      "rbtNConsidera",
                                      "rbtTSubGrupo",
                                      "rbtLSubGrupo",
                                      "btnSubGrupo",
                                      "medProdutoInicial",
                                      "btnPesqProdutoInicial",
                                      "medProdutoFinal",
                                      "btnPesqProdutoFinal",
                                      "chbBloq",
                                      "depDtIniBloq",
                                      "depDtFinBloq",
                                      "chbNBloq",
                                      "depDtIniNBloq",
                                      "depDtFinNBloq",
                                      "chbExtra",
                                      "chbNExtra",
                                      "chbReserva",
                                      "chbNReserva"};
        QStringList chain;
        QWidget* start = s->depEmisIni;
        QWidget* w = start;
        do {
            if (expected.contains(w->objectName()) && !chain.contains(w->objectName())) {
                chain << w->objectName();
            }
            w = w->nextInFocusChain();
        } while (w && w != start);
        QCOMPARE(chain, expected);
    }

    // Not a check: with SUP_FILTER_SHOT set, shows the screen for that many seconds (for a
    // screenshot on a real display).
    void showForScreenshot() {
        const int seconds = qEnvironmentVariableIntValue("SUP_FILTER_SHOT");
        if (seconds <= 0) {
            QSKIP("SUP_FILTER_SHOT not set");
        }
        openFilter([&](Screen& s) {
            s.move(10, 10);
            QDeadlineTimer until(seconds * 1000);
            while (!until.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            }
        });
    }
};

QTEST_MAIN(TestFilterScreen)
#include "tst_filter_screen.moc"

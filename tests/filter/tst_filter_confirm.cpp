// The filter's confirm: the order of its checks (first failure wins, with its focus and text),
// the list checks left out of a reload, the 34 arguments of the item request, the loading of
// the four packets of the answer and what a failing or empty answer leaves behind.

#include "../mainscreen/ScreenFixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "units/Units.h"

#include "sup/data/DataPacket.h"
#include "sup/data/DayNumber.h"
#include "sup/data/WorkingSet.h"
#include "sup/testkit/ScriptedServer.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QtTest>

#include "FilterFixture.h"

#include <functional>
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

QVariant packet(const DataPacket& p) {
    return QVariant::fromValue(p);
}

using suptest::paraSupriPacket;

DataPacket ajustePacket(int rows) {
    DataPacketBuilder b(sup::contracts::ajusteQtdeFields());
    for (int i = 0; i < rows; ++i) {
        b.appendRow({QStringLiteral("P%1").arg(i), QStringLiteral("D%1").arg(i), 1.5});
    }
    return b.finish();
}

// An answer of GetItem: items, branch parameters, quantity adjustments, authorisations.
QVariant itemAnswer(int items, int params, int adjustments, int authorisations) {
    QList<QStringList> rows;
    for (int i = 0; i < params; ++i) {
        rows << QStringList{QStringLiteral("%1").arg(12 + i, 4, 10, QLatin1Char('0')),
                            QStringLiteral("0001"), QStringLiteral("S")};
    }
    return QVariantList{packet(suptest::itemPacket(items)),
                        packet(suptest::paramFilialPacket(rows)), packet(ajustePacket(adjustments)),
                        packet(suptest::autGruPopPacket(authorisations))};
}

// The arguments a fresh module sends at the defaults of the screen with one operator chosen.
QVariantList defaultArgs(const QString& operatorCode, const QString& ol) {
    const QVariant noDate{QDate()};
    const QString T = QStringLiteral("T");
    const QString e;
    return {noDate,
            noDate,
            noDate,
            noDate,
            noDate,
            noDate,
            T,
            e,
            e,
            ol,
            e,
            e,
            e,
            T,
            T,
            T,
            e,
            T,
            operatorCode,
            QStringLiteral("S"),
            QStringLiteral("N"),
            T,
            noDate,
            1.0,
            T,
            noDate,
            1.0,
            T,
            QStringLiteral("1"),
            T,
            QStringLiteral("N"),
            e,
            T,
            T};
}

// Values and types, argument by argument.
void compareArgs(const QVariantList& actual, const QVariantList& expected) {
    QCOMPARE(actual.size(), 34);
    for (int i = 0; i < expected.size(); ++i) {
        const QByteArray what = "argument " + QByteArray::number(i + 1);
        const QByteArray type = what + ": " + actual[i].metaType().name();
        QVERIFY2(actual[i].metaType() == expected[i].metaType(), type.constData());
        const QByteArray value = what + ": " + actual[i].toString().toUtf8();
        QVERIFY2(actual[i] == expected[i], value.constData());
    }
}

} // namespace

class TestFilterConfirm : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<ScriptedHost> host;
    std::unique_ptr<ScriptedServer> server;
    QString p1, p2; // two registered products, p1 < p2

    TfrmAltPedidosOL* maint() { return frmAltPedidosOL; }

    // Opens the filter through its creator and runs `script` while it is shown; a screen the
    // script leaves open is cancelled afterwards. Returns the modal result.
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

    // The arguments of the one GetItem a confirm on the shown screen sent after `setup`.
    QVariantList confirmed(const std::function<void(Screen&)>& setup) {
        const int before = server->count(QStringLiteral("GetItem"));
        const int result = openFilter([&](Screen& s) {
            setup(s);
            s.sbtConfirma->click();
        });
        if (result != int(mrOk) || server->count(QStringLiteral("GetItem")) != before + 1) {
            qWarning() << "confirm did not complete:" << host->texts();
            return {};
        }
        return server->last(QStringLiteral("GetItem")).args;
    }

    // The menu items whose state the maintenance screen decides.
    QStringList enabledItems() const {
        static const QStringList decided = {
            "mnuConfirmar",   "mnuCancelar", "mnuFiltro",   "mnuIncluir",
            "mnuAlterar",     "mnuExcluir",  "mnuProcurar", "mnuVerificar",
            "mnuBaixaManual", "mnuED",       "mnuAltAut",   "mnuBloqItem",
            "mnuReservaOL",   "mnuEnvPedOL", "mnuListagem", "mnuConfImpressora"};
        QStringList out;
        for (const QString& name : decided) {
            auto* a = frmAltPedidosOL->findChild<QAction*>(name);
            if (a && a->isEnabled()) {
                out << name;
            }
        }
        return out;
    }

private slots:
    void initTestCase() {
        db = std::make_unique<suptest::SeededDatabase>();
        QSqlQuery q(db->conn->database());
        QVERIFY(q.exec(QStringLiteral("SELECT CDARVPROD FROM PRODUTO WHERE LENGTH(CDARVPROD) = "
                                      "11 AND CDARVPROD < '9' ORDER BY CDARVPROD")));
        QVERIFY(q.next());
        p1 = q.value(0).toString();
        QVERIFY(q.next());
        p2 = q.value(0).toString();
    }

    void init() {
        host = std::make_unique<ScriptedHost>();
        host->setDatabase(db->conn->database());
        host->setVantrel(LoadSignOnValues(db->conn->database(), sup::server::kDemoOperator));
        sup07700::InitializeUnits();
        server = std::make_unique<ScriptedServer>();
        server->install();
        server->answer(QStringLiteral("GetParaSupri"), packet(paraSupriPacket()));
        DataPacketBuilder ol(sup::contracts::parametroOLFields());
        ol.appendRow({QStringLiteral("S"), QStringLiteral("01"), QStringLiteral("0103")});
        server->answer(QStringLiteral("GetParametroOL"), packet(ol.finish()));
        server->answer(QStringLiteral("GetItem"), itemAnswer(3, 2, 1, 1));
        DataPacketBuilder groups({FieldDef::text(QStringLiteral("CDGRUPFILI"), 10),
                                  FieldDef::text(QStringLiteral("NMGRUPFILI"), 40)});
        groups.appendRow({QStringLiteral("0000000002"), QStringLiteral("Lojas do Norte")});
        server->answer(QStringLiteral("GetAgruFili"), packet(groups.finish()));
        frmAltPedidosOL = CreateForm<TfrmAltPedidosOL>();
        boStCriado = true;
    }

    void cleanup() {
        delete frmFiltroAltPedidoOL;
        frmFiltroAltPedidoOL = nullptr;
        delete frmAltPedidosOL;
        frmAltPedidosOL = nullptr;
        boStCriado = false;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        sup07700::FinalizeUnits();
        server.reset();
        host.reset();
    }

    void checksRunInOrderAndTheFirstFailureWins() {
        struct Step {
            std::function<void(Screen&)> fix; // mends the failure of the step before
            const char* key;                  // the failure now expected; null: none left
            std::function<QWidget*(Screen&)> focus;
        };
        const QDate d10(2026, 3, 10), d9(2026, 3, 9);
        auto f = [](auto member) {
            return [member](Screen& s) -> QWidget* {
                return s.*member;
            };
        };
        const QList<Step> steps = {
            {[&](Screen& s) {
                 // Every check fails at once, as far as the controls allow.
                 s.depEmisFim->setDate(d10);
                 s.depEntrFim->setDate(d10);
                 s.depDtFinEmbarque->setDate(d10);
                 s.rbtFilialLista->setChecked(true);
                 s.rbtRegiaoL->setChecked(true);
                 s.rbtListaMarca->setChecked(true);
                 s.medProdutoFinal->SetText(p1);
                 s.chbBloq->setChecked(false);
                 s.chbNBloq->setChecked(false);
                 s.chbExtra->setChecked(false);
                 s.chbNExtra->setChecked(false);
                 s.rbtLLote->setChecked(true);
                 s.chbReserva->setChecked(false);
                 s.chbNReserva->setChecked(false);
                 s.rbtLSubGrupo->setChecked(true);
                 s.rbtListaRota->setChecked(true);
             },
             "Dtini_Af_vazia", f(&Screen::depEmisIni)},
            {[&](Screen& s) {
                 s.depEmisIni->setDate(d10);
                 s.depEmisFim->Clear();
             },
             "Dtfin_Af_vazia", f(&Screen::depEmisFim)},
            {[&](Screen& s) { s.depEmisFim->setDate(d9); }, "DtIniFinAF_Inv",
             f(&Screen::depEmisIni)},
            {[&](Screen& s) { s.depEmisFim->setDate(d10); }, "Dtini_Entr_vazia",
             f(&Screen::depEntrIni)},
            {[&](Screen& s) {
                 s.depEntrIni->setDate(d10);
                 s.depEntrFim->Clear();
             },
             "Dtfin_Entr_vazia", f(&Screen::depEntrFim)},
            {[&](Screen& s) { s.depEntrFim->setDate(d9); }, "DtIniFinEntr_Inv",
             f(&Screen::depEntrIni)},
            {[&](Screen& s) { s.depEntrFim->setDate(d10); }, "Dtini_Emb_vazia",
             f(&Screen::depDtIniEmbarque)},
            {[&](Screen& s) {
                 s.depDtIniEmbarque->setDate(d10);
                 s.depDtFinEmbarque->Clear();
             },
             "Dtfin_Emb_vazia", f(&Screen::depDtFinEmbarque)},
            {[&](Screen& s) { s.depDtFinEmbarque->setDate(d9); }, "DtIniFinEmb_Inv",
             f(&Screen::depDtIniEmbarque)},
            {[&](Screen& s) { s.depDtFinEmbarque->setDate(d10); }, "Reg_N_Inf",
             f(&Screen::rbtRegiaoL)},
            // Blanks are no region; an empty branch list is no branch.
            {[&](Screen&) { sup07700::stRegiao = QStringLiteral("   "); }, "Reg_N_Inf",
             f(&Screen::rbtRegiaoL)},
            {[&](Screen&) { sup07700::stRegiao = QStringLiteral("_001_"); }, "FilDest_N_Inf",
             f(&Screen::rbtFilialLista)},
            {[&](Screen&) { sup07700::stFilial = QStringLiteral("_0012_"); }, "Marca_N_Inf",
             f(&Screen::rbtListaMarca)},
            {[&](Screen& s) { s.stMarca = QStringLiteral("_00001_"); }, "OL_N_Inf",
             f(&Screen::rbtListaOL)},
            {[&](Screen&) { sup07700::stOL = QStringLiteral("_0901_"); }, "ProdIni_vazio",
             f(&Screen::medProdutoInicial)},
            {[&](Screen& s) { s.medProdutoInicial->SetText(QStringLiteral("99999999999")); }, "",
             f(&Screen::medProdutoInicial)}, // the product lookup's own message
            {[&](Screen& s) {
                 s.medProdutoInicial->SetText(p2);
                 s.medProdutoFinal->Clear();
             },
             "ProdFin_vazio", f(&Screen::medProdutoFinal)},
            {[&](Screen& s) { s.medProdutoFinal->SetText(p1); }, "ProdIni_M_ProdFin",
             f(&Screen::medProdutoInicial)},
            {[&](Screen& s) {
                 s.medProdutoInicial->SetText(p1);
                 s.medProdutoFinal->SetText(QStringLiteral("99999999999"));
             },
             "", f(&Screen::medProdutoFinal)},
            {[&](Screen& s) { s.medProdutoFinal->SetText(p1); }, "Status_N_Inf",
             f(&Screen::chbBloq)},
            {[&](Screen& s) {
                 s.chbBloq->setChecked(true);
                 s.chbNBloq->setChecked(true);
                 s.depDtFinBloq->setDate(d10);
                 s.depDtFinNBloq->setDate(d10);
             },
             "Dt_Bolq_In", f(&Screen::depDtIniBloq)},
            {[&](Screen& s) {
                 s.depDtIniBloq->setDate(d10);
                 s.depDtFinBloq->Clear();
             },
             "Dt_Bolq_Fin", f(&Screen::depDtFinBloq)},
            {[&](Screen& s) { s.depDtFinBloq->setDate(d9); }, "Dt_In_Fin",
             f(&Screen::depDtIniBloq)},
            {[&](Screen& s) { s.depDtFinBloq->setDate(d10); }, "Dt_NBolq_In",
             f(&Screen::depDtIniNBloq)},
            {[&](Screen& s) {
                 s.depDtIniNBloq->setDate(d10);
                 s.depDtFinNBloq->Clear();
             },
             "Dt_NBolq_Fin", f(&Screen::depDtFinNBloq)},
            {[&](Screen& s) { s.depDtFinNBloq->setDate(d9); }, "Dt_NIn_Fin",
             f(&Screen::depDtIniNBloq)},
            {[&](Screen& s) { s.depDtFinNBloq->setDate(d10); }, "Situa_Pedido",
             f(&Screen::chbNExtra)},
            {[&](Screen& s) { s.chbNExtra->setChecked(true); }, "LoteEnvi_N_Inf",
             f(&Screen::rbtLLote)},
            {[&](Screen& s) { s.stLote = QStringLiteral("_L1_"); }, "Reserva_N",
             f(&Screen::chbReserva)},
            {[&](Screen& s) { s.chbNReserva->setChecked(true); }, "SubGrupo_N_Inf",
             f(&Screen::rbtLSubGrupo)},
            {[&](Screen& s) { s.stSubGrupo = QStringLiteral("_0101_"); }, "Rota_N_Inf",
             f(&Screen::rbtListaRota)},
            {[&](Screen& s) { s.stRota = QStringLiteral("_000010_"); }, nullptr, {}},
        };

        const int result = openFilter([&](Screen& s) {
            for (const Step& step : steps) {
                step.fix(s);
                host->clearLog();
                s.sbtConfirma->click();
                if (!step.key) {
                    break;
                }
                const QByteArray at = QByteArray("expected ") + step.key;
                QVERIFY2(s.isVisible(), at.constData());
                const QByteArray seen = at + " " + host->texts().join(u'|').toUtf8();
                QVERIFY2(host->messages.size() == 1, seen.constData());
                QCOMPARE(host->lastMessage().kind, sup::testkit::LoggedMessage::Error);
                if (*step.key) {
                    QCOMPARE(host->lastMessage().key, QString::fromLatin1(step.key));
                    QCOMPARE(host->lastMessage().text,
                             s.msgPadrao->Msg(QString::fromLatin1(step.key)));
                } else {
                    QVERIFY2(host->lastMessage().text.contains(u"não cadastrado"),
                             qPrintable(host->lastMessage().text));
                }
                QVERIFY2(ScriptedHost::focusIn(&s) == step.focus(s), at.constData());
                QCOMPARE(server->count(QStringLiteral("GetItem")), 0);
            }
        });
        QCOMPARE(result, int(mrOk));
        QCOMPARE(server->count(QStringLiteral("GetItem")), 1);
        QVERIFY(host->messages.isEmpty());
        // A few texts as the user reads them.
        Screen* s = frmFiltroAltPedidoOL;
        QCOMPARE(s->msgPadrao->Msg(QStringLiteral("OL_N_Inf")),
                 QStringLiteral("Operador Logístico deve ser informado."));
        QCOMPARE(s->msgPadrao->Msg(QStringLiteral("ProdIni_vazio")),
                 QStringLiteral("Produdo inicial deve ser informado."));
        QCOMPARE(s->msgPadrao->Msg(QStringLiteral("Dt_NIn_Fin")),
                 QStringLiteral("Data de desbloqueio inicial deve ser menor que a data de "
                                "bloqueio final."));
    }

    void anInvalidDateFailsBeforeAnyRangeCheck() {
        openFilter([&](Screen& s) {
            s.depEmisFim->setDate(QDate(2026, 3, 10)); // would fail check 1
            s.depDtFinNBloq->setText(QStringLiteral("31/02/2026"));
            s.sbtConfirma->click();
            QCOMPARE(host->lastMessage().text,
                     QStringLiteral("\"31/02/2026\" não é uma data válida."));
            QCOMPARE(ScriptedHost::focusIn(&s), s.depDtFinNBloq);
            QVERIFY(s.isVisible());
        });
        QCOMPARE(server->count(QStringLiteral("GetItem")), 0);
    }

    void theGroupingIsCheckedAfterTheTableAndOnEveryReload() {
        sup07700::stOL = QStringLiteral("_0901_");
        openFilter([&](Screen& s) {
            s.depEmisIni->setDate(QDate(2026, 5, 1));
            s.depEmisFim->setDate(QDate(2026, 5, 2));
            s.medAgrupFilial->SetText(QStringLiteral("9"));
            s.sbtConfirma->click();
            QCOMPARE(host->lastMessage().text,
                     QStringLiteral("Agrupamento de filial não cadastrado."));
            QCOMPARE(ScriptedHost::focusIn(&s), s.medAgrupFilial);
            QVERIFY(s.isVisible());
        });
        QCOMPARE(server->count(QStringLiteral("GetItem")), 0);
        QCOMPARE(sup07700::Filtro.DtEmisIni, 0.0); // nothing remembered

        QCOMPARE(
            confirmed([](Screen& s) { s.medAgrupFilial->SetText(QStringLiteral("2")); }).value(10),
            QVariant(QStringLiteral("0000000002")));
        const int lookups = server->count(QStringLiteral("GetAgruFili"));
        QVERIFY(Guarded([&] { maint()->sbtVerificarClick(); }));
        QCOMPARE(server->count(QStringLiteral("GetAgruFili")), lookups + 1);
        QCOMPARE(server->count(QStringLiteral("GetItem")), 2);
        QCOMPARE(server->last(QStringLiteral("GetItem")).args.value(10),
                 QVariant(QStringLiteral("0000000002")));
    }

    void defaultsOfAFreshModule() {
        sup07700::stOL = QStringLiteral("_0901_");
        // The server rewrites by-reference arguments; the screen reads none of them back.
        server->on(QStringLiteral("GetItem"), [](QVariantList& args) {
            for (int i : {6, 7, 9, 12, 16, 29, 33}) {
                args[i] = QStringLiteral("X");
            }
            return itemAnswer(1, 1, 1, 1);
        });
        const QVariantList args = confirmed([](Screen&) {});
        compareArgs(args, defaultArgs(host->values().Operador, QStringLiteral("_0901_")));
        QVERIFY(sup07700::stRegiao.isEmpty());
        QCOMPARE(sup07700::stOL, QStringLiteral("_0901_"));
        QVERIFY(frmFiltroAltPedidoOL->stMarca.isEmpty());
        QCOMPARE(server->last(QStringLiteral("GetItem")).module,
                 QStringLiteral("Sup07700.rdmAltPedidosOL"));
        // Reading, with the catalogue text, and hidden again.
        QCOMPARE(host->busyShows(), host->busyHides());
        QVERIFY(!host->busyVisible());
        bool shown = false;
        for (const auto& e : host->busyLog) {
            shown = shown || (e.shown && e.kind == int(aviRecebendo) &&
                              e.text == QStringLiteral("Recebendo pedidos do servidor... "));
        }
        QVERIFY(shown);
        QVERIFY(!frmFiltroAltPedidoOL->isVisible());
        QVERIFY(!boFilCriado);
    }

    void argumentsFollowEveryChoice() {
        const QString op = host->values().Operador;
        sup07700::stOL = QStringLiteral("_0901_");
        const QString ol = sup07700::stOL;
        const QDate a(2026, 2, 1), b(2026, 2, 1), c(2026, 2, 20);

        // Order dates only; equal dates pass.
        QVariantList want = defaultArgs(op, ol);
        want[0] = a;
        want[1] = b;
        want[14] = QStringLiteral(" ");
        compareArgs(confirmed([&](Screen& s) {
                        s.depEmisIni->setDate(a);
                        s.depEmisFim->setDate(b);
                    }),
                    want);
        QCOMPARE(sup07700::Filtro.DtEmisIni, sup::data::toDayNumber(a));

        // Delivery and shipping dates, the product range (equal codes pass) padded with "Z".
        want = defaultArgs(op, ol);
        want[0] = a;
        want[1] = b;
        want[14] = QStringLiteral(" ");
        want[2] = a;
        want[3] = c;
        want[15] = QStringLiteral(" ");
        want[4] = b;
        want[5] = c;
        want[13] = QStringLiteral(" ");
        want[11] = p1;
        want[12] = p1 + QString(20 - p1.size(), QLatin1Char('Z'));
        compareArgs(confirmed([&](Screen& s) {
                        s.depEntrIni->setDate(a);
                        s.depEntrFim->setDate(c);
                        s.depDtIniEmbarque->setDate(b);
                        s.depDtFinEmbarque->setDate(c);
                        s.medProdutoInicial->SetText(p1);
                        s.medProdutoFinal->SetText(p1);
                    }),
                    want);
        QCOMPARE(sup07700::Filtro.Produto.CdProdFim, p1); // remembered unpadded

        // Region "Todas" by a click; blocked only, with its dates; extra only; reservation only;
        // every list chosen, with a grouping code and a branch list.
        auto clearDates = [](Screen& s) {
            for (TDateEditPlus* d : {s.depEmisIni, s.depEmisFim, s.depEntrIni, s.depEntrFim,
                                     s.depDtIniEmbarque, s.depDtFinEmbarque}) {
                d->Clear();
            }
            s.medProdutoInicial->Clear();
            s.medProdutoFinal->Clear();
        };
        want = defaultArgs(op, ol);
        want[16] = QStringLiteral("T");
        want[20] = QString();
        want[21] = QString();
        want[22] = a;
        want[23] = sup::data::toDayNumber(c) + 1.0;
        want[24] = QString();
        want[27] = QStringLiteral("S");
        want[28] = QStringLiteral("2");
        want[10] = QStringLiteral("0000000002");
        want[6] = QString();
        want[7] = QStringLiteral("_0012_");
        want[29] = QStringLiteral("_L1_");
        want[30] = QStringLiteral("_0101_");
        want[31] = QStringLiteral("01");
        want[32] = QStringLiteral("_000010_");
        want[33] = QStringLiteral("_00001_");
        compareArgs(confirmed([&](Screen& s) {
                        clearDates(s);
                        s.rbtRegiaoL->setChecked(true);
                        s.rbtRegiaoT->setChecked(true);
                        s.chbNBloq->setChecked(false);
                        s.depDtIniBloq->setDate(a);
                        s.depDtFinBloq->setDate(c);
                        s.chbNExtra->setChecked(false);
                        s.chbNReserva->setChecked(false);
                        s.medAgrupFilial->SetText(QStringLiteral("0000000002"));
                        s.rbtFilialLista->setChecked(true);
                        sup07700::stFilial = QStringLiteral("_0012_");
                        s.rbtLLote->setChecked(true);
                        s.stLote = QStringLiteral("_L1_");
                        s.rbtLSubGrupo->setChecked(true);
                        s.stSubGrupo = QStringLiteral("_0101_");
                        s.rbtListaRota->setChecked(true);
                        s.stRota = QStringLiteral("_000010_");
                        s.rbtListaMarca->setChecked(true);
                        s.stMarca = QStringLiteral("_00001_");
                    }),
                    want);
        QCOMPARE(server->count(QStringLiteral("GetAgruFili")), 1);

        // Unblocked only (the blocking dates go with their box), not-extra only, without
        // reservation only, regions listed, every operator, branches back to "Todas" (the list
        // chosen before does not travel), batches not considered.
        want = defaultArgs(op, ol);
        want[16] = QStringLiteral("_001__002_");
        want[17] = QString();
        want[19] = QString();
        want[21] = QString();
        want[25] = b;
        want[24] = QString();
        want[26] = sup::data::toDayNumber(c) + 1.0;
        want[27] = QStringLiteral("N");
        want[28] = QStringLiteral("3");
        want[8] = QStringLiteral("T");
        want[9] = QString();
        want[29] = QStringLiteral("N");
        compareArgs(confirmed([&](Screen& s) {
                        s.medAgrupFilial->Clear();
                        s.rbtFilialTodas->setChecked(true);
                        sup07700::stFilial = QStringLiteral("_0013_");
                        s.rbtRegiaoL->setChecked(true);
                        sup07700::stRegiao = QStringLiteral("_001__002_");
                        s.chbNBloq->setChecked(true);
                        s.chbBloq->setChecked(false);
                        s.depDtIniNBloq->setDate(b);
                        s.depDtFinNBloq->setDate(c);
                        s.chbExtra->setChecked(false);
                        s.chbNExtra->setChecked(true);
                        s.chbReserva->setChecked(false);
                        s.chbNReserva->setChecked(true);
                        s.rbtTodosOL->setChecked(true);
                        s.rbtNConsidera->setChecked(true);
                        s.rbtTSubGrupo->setChecked(true);
                        s.rbtTodasRota->setChecked(true);
                        s.rbtTodasMarca->setChecked(true);
                    }),
                    want);
    }

    void reloadSkipsTheListChecksAndSendsTheScreenAsItIs() {
        sup07700::stOL = QStringLiteral("_0901_");
        QCOMPARE(confirmed([](Screen&) {}).size(), 34);
        Screen* s = frmFiltroAltPedidoOL;
        QVERIFY(!boFilCriado);

        // Criteria left on the hidden screen that the open screen would refuse.
        s->rbtRegiaoL->setChecked(true);
        s->rbtFilialLista->setChecked(true);
        s->rbtListaMarca->setChecked(true);
        sup07700::stOL.clear();
        s->rbtLLote->setChecked(true);
        s->chbReserva->setChecked(false);
        s->chbNReserva->setChecked(false);
        s->rbtLSubGrupo->setChecked(true);
        s->rbtListaRota->setChecked(true);
        s->depEmisIni->setDate(QDate(2026, 1, 1));
        s->depEmisFim->setDate(QDate(2026, 1, 31));
        host->clearLog();
        QVERIFY(Guarded([&] { maint()->sbtVerificarClick(); }));
        QVERIFY(host->messages.isEmpty());
        QCOMPARE(server->count(QStringLiteral("GetItem")), 2);
        QVariantList want = defaultArgs(host->values().Operador, QString());
        want[0] = QDate(2026, 1, 1);
        want[1] = QDate(2026, 1, 31);
        want[14] = QStringLiteral(" ");
        want[7] = QString();  // the branch list, empty
        want[6] = QString();  // not "Todas"
        want[16] = QString(); // no region chosen
        want[17] = QString();
        want[28] = QString(); // neither reservation box: no choice
        want[29] = QString();
        want[30] = QString();
        want[31] = QStringLiteral("01");
        want[32] = QString();
        want[33] = QString();
        compareArgs(server->last(QStringLiteral("GetItem")).args, want);
        QCOMPARE(sup07700::Filtro.DtEmisFim, sup::data::toDayNumber(QDate(2026, 1, 31)));
        QVERIFY(!s->isVisible());
        QCOMPARE(maint()->data().cdsItem->recordCount(), 3);

        // The other checks still hold on a reload.
        s->depEmisIni->Clear();
        QVERIFY(!Guarded([&] { maint()->sbtVerificarClick(); }));
        QCOMPARE(host->lastMessage().key, QStringLiteral("Dtini_Af_vazia"));
        QCOMPARE(server->count(QStringLiteral("GetItem")), 2);
    }

    void packetsLoadInTheOrderThreeTwoOneZero() {
        TfrmAltPedidosOL* m = maint();
        // Older content, so that a set that was not yet loaded shows.
        m->data().cdsAutGruPop->loadFromPacket(suptest::autGruPopPacket(5));
        m->data().cdsAjusteQtde->loadFromPacket(ajustePacket(5));
        m->data().cdsParamFilial->loadFromPacket(
            suptest::paramFilialPacket({{"0099", "0099", "N"}}));
        server->answer(QStringLiteral("GetItem"), itemAnswer(4, 3, 2, 1));

        QStringList seen;
        auto counts = [m] {
            return QStringLiteral("%1/%2/%3/%4")
                .arg(m->data().cdsItem->active() ? m->data().cdsItem->recordCount() : -1)
                .arg(m->data().cdsParamFilial->recordCount())
                .arg(m->data().cdsAjusteQtde->recordCount())
                .arg(m->data().cdsAutGruPop->recordCount());
        };
        for (sup::data::TWorkingSet* set : {m->data().cdsAutGruPop, m->data().cdsAjusteQtde,
                                            m->data().cdsParamFilial, m->data().cdsItem}) {
            auto previous = set->AfterOpen;
            set->AfterOpen = [&seen, counts, set, previous](sup::data::TWorkingSet& w) {
                seen << set->objectName() + QStringLiteral(" ") + counts();
                if (previous) {
                    previous(w);
                }
            };
        }
        sup07700::stOL = QStringLiteral("_0901_");
        QCOMPARE(confirmed([](Screen&) {}).size(), 34);
        QCOMPARE(seen, (QStringList{"cdsAutGruPop -1/1/5/1", "cdsAjusteQtde -1/1/2/1",
                                    "cdsParamFilial -1/3/2/1", "cdsItem 4/3/2/1"}));
        // cdsItem's own AfterOpen took the snapshot; the maintenance screen ran Habilita.
        QCOMPARE(m->data().cdsAuxItem->recordCount(), 4);
        QCOMPARE(m->dbgPadrao->model()->rowCount(), 4);
        QVERIFY(m->mnuVerificar->isEnabled());
        QVERIFY(m->mnuFiltro->isEnabled());
        QCOMPARE(m->data().cdsParamFilial->fieldByName(u"CDFILIAL")->asString(),
                 QStringLiteral("0012"));
    }

    void aFailingCallLeavesEverythingAsItWas() {
        TfrmAltPedidosOL* m = maint();
        m->data().cdsItem->loadFromPacket(suptest::itemPacket(2));
        m->data().cdsAutGruPop->loadFromPacket(suptest::autGruPopPacket(2));
        m->data().cdsAjusteQtde->loadFromPacket(ajustePacket(2));
        m->data().cdsParamFilial->loadFromPacket(
            suptest::paramFilialPacket({{"0012", "0001", "S"}}));
        const DataPacket items = m->data().cdsItem->data();
        auto unchanged = [&] {
            QVERIFY(m->data().cdsItem->data() == items);
            QCOMPARE(m->data().cdsAutGruPop->recordCount(), 2);
            QCOMPARE(m->data().cdsAjusteQtde->recordCount(), 2);
            QCOMPARE(m->data().cdsParamFilial->recordCount(), 1);
            QVERIFY(!host->busyVisible());
            QCOMPARE(host->busyShows(), host->busyHides());
        };
        sup07700::stOL = QStringLiteral("_0901_");
        const QDate day(2026, 4, 2);

        // A server fault, then answers that do not hold the four packets: the last one has the
        // three siblings right and an item packet without the item fields.
        DataPacketBuilder wrongItems({FieldDef::text(QStringLiteral("CDFILIAL"), 4)});
        wrongItems.appendRow({QStringLiteral("0012")});
        QVariantList partial = itemAnswer(1, 1, 1, 1).toList();
        partial[0] = packet(wrongItems.finish());
        QVariantList three = itemAnswer(1, 1, 1, 1).toList();
        three.removeLast();
        const QList<std::function<void()>> failures = {
            [&] {
                server->fail(QStringLiteral("GetItem"), QStringLiteral("Servidor ocupado."), 1);
            },
            [&] { server->answer(QStringLiteral("GetItem"), three); },
            [&] { server->answer(QStringLiteral("GetItem"), partial); },
            [&] { server->answer(QStringLiteral("GetItem"), packet(suptest::itemPacket(1))); },
        };
        for (const auto& failure : failures) {
            failure();
            host->clearLog();
            const int result = openFilter([&](Screen& s) {
                s.depEntrIni->setDate(day);
                s.depEntrFim->setDate(day);
                s.sbtConfirma->click();
                QVERIFY(s.isVisible());
                QVERIFY(boFilCriado);
                QCOMPARE(s.depEntrFim->Date(), day);
                QCOMPARE(sup07700::stOL, QStringLiteral("_0901_"));
                QVERIFY(s.rbtListaOL->isChecked());
                QCOMPARE(host->messages.size(), 1);
                QVERIFY(!host->lastMessage().text.isEmpty());
                // Remembered before the call.
                QCOMPARE(sup07700::Filtro.DtEntrFim, sup::data::toDayNumber(day));
            });
            QCOMPARE(result, int(mrCancel));
            unchanged();
        }
        QCOMPARE(server->count(QStringLiteral("GetItem")), 4);

        // A reload that fails ends the calling action with the error.
        server->fail(QStringLiteral("GetItem"), QStringLiteral("Servidor ocupado."), 5);
        host->clearLog();
        QVERIFY(!Guarded([&] { maint()->sbtVerificarClick(); }));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Servidor ocupado."));
        unchanged();
    }

    void anEmptyAnswerShowsAnEmptyGrid() {
        TfrmAltPedidosOL* m = maint();
        m->data().cdsItem->loadFromPacket(suptest::itemPacket(2));
        server->answer(QStringLiteral("GetItem"), itemAnswer(0, 0, 0, 0));
        sup07700::stOL = QStringLiteral("_0901_");
        QCOMPARE(confirmed([](Screen&) {}).size(), 34);
        QVERIFY(host->messages.isEmpty());
        QVERIFY(m->data().cdsItem->active());
        QVERIFY(m->data().cdsItem->isEmpty());
        QCOMPARE(m->data().cdsItem->changeCount(), 0);
        QCOMPARE(m->data().cdsAuxItem->recordCount(), 0);
        QCOMPARE(m->dbgPadrao->model()->rowCount(), 0);
        QCOMPARE(enabledItems(), QStringList{"mnuFiltro"});
        QVERIFY(m->sbtFiltro->isEnabled());
        QVERIFY(!m->sbtVerificar->isEnabled());
    }
};

QTEST_MAIN(TestFilterConfirm)
#include "tst_filter_confirm.moc"

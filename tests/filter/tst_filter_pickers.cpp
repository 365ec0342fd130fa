// The filter's multiple pickers against the seeded database: which rows each list offers (the
// destination branches by general parameter, operator, region and grouping; regions, routes,
// brands, logistics operators and sub-groups), the title and empty-list text the user sees,
// what the server list calls receive, and what a failing call or an empty table leaves behind.

#include "../mainscreen/ScreenFixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Cli_sup07701/Cli_sup07701.h"
#include "Cli_sup07701/TfrmFiltroAltPedidoOL.h"
#include "units/Units.h"

#include "sup/data/DataPacket.h"
#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/testkit/ScriptedServer.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/KeyList.h"
#include "sup/widgetkit/Messages.h"

#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include "FilterFixture.h"

#include <memory>
#include <optional>

using namespace sup::host;
using sup::data::DataPacketBuilder;
using sup::data::TDataSource;
using sup::data::TWorkingSet;
using sup::testkit::LoggedMessage;
using sup::testkit::ScriptedHost;
using sup::testkit::ScriptedServer;

namespace {

using Screen = TfrmFiltroAltPedidoOL;

void execSql(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    }
}

// The first column of `sql`, in order.
QStringList column(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    }
    QStringList out;
    while (q.next()) {
        out << q.value(0).toString().trimmed();
    }
    return out;
}

// The keys a list's data source holds after its pick.
QStringList offered(const TDataSource* source, const QString& keyField) {
    const TWorkingSet* set = source->dataSet();
    QStringList out;
    if (!set || !set->active()) {
        return out;
    }
    const int f = set->fieldByName(keyField)->index();
    for (int r = 0; r < set->recordCount(); ++r) {
        out << set->valueAt(r, f).toString().trimmed();
    }
    return out;
}

QString quotedList(const QStringList& codes) {
    QStringList q;
    for (const QString& c : codes) {
        q << QLatin1Char('\'') + c + QLatin1Char('\'');
    }
    return q.join(QLatin1Char(','));
}

// Changes made for one case and taken back when it ends (local queries run on the same
// connection and see them).
class Scratch {
public:
    explicit Scratch(QSqlDatabase db)
        : db_(std::move(db)) {
        if (!db_.transaction()) {
            qFatal("no transaction: %s", qPrintable(db_.lastError().text()));
        }
    }
    ~Scratch() { db_.rollback(); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

private:
    QSqlDatabase db_;
};

} // namespace

class TestFilterPickers : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<suptest::SeededDatabase> db;
    std::unique_ptr<ScriptedHost> host;
    std::unique_ptr<ScriptedServer> server;

    QSqlDatabase sql() const { return db->conn->database(); }

    // A new filter screen object, opened once and hidden again (it reads the general
    // parameter and the supply parameters at its creation).
    Screen* freshFilter() {
        delete frmFiltroAltPedidoOL;
        frmFiltroAltPedidoOL = nullptr;
        suptest::openFilterWith(*host, [](Screen&) {});
        return frmFiltroAltPedidoOL;
    }

    // The list method answered by the reference server over the seeded database, for the
    // operator signed on at the time of the call.
    void serveFromDatabase(const QString& method) {
        server->on(method, [this, method](QVariantList& args) {
            return db->server->call(sup::server::kModuleAltPedidosOL, method, args,
                                    {host->values().Operador, QStringLiteral("test")});
        });
    }

    void setRestriction(const std::optional<QString>& value) {
        execSql(sql(), QStringLiteral("DELETE FROM PARAMGERAL"));
        if (value) {
            execSql(sql(), QStringLiteral("INSERT INTO PARAMGERAL (NRPARAMGERAL, IDRESTRFILIOPER, "
                                          "DSPICTPROD) VALUES (1, '%1', '99.99.999.9999;0;_')")
                               .arg(*value));
        }
    }

private slots:
    void initTestCase() { db = std::make_unique<suptest::SeededDatabase>(); }

    void init() {
        host = std::make_unique<ScriptedHost>();
        host->setDatabase(sql());
        host->setVantrel(LoadSignOnValues(sql(), sup::server::kDemoOperator));
        sup07700::InitializeUnits();
        server = std::make_unique<ScriptedServer>();
        server->install();
        server->answer(QStringLiteral("GetParaSupri"),
                       QVariant::fromValue(suptest::paraSupriPacket(QStringLiteral("02"))));
        DataPacketBuilder ol(sup::contracts::parametroOLFields());
        ol.appendRow({QStringLiteral("S"), QStringLiteral("01"), QStringLiteral("0103")});
        server->answer(QStringLiteral("GetParametroOL"), QVariant::fromValue(ol.finish()));
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
        setRestriction(QStringLiteral("S")); // as seeded
    }

    void destinationBranchesFollowTheGeneralParameter() {
        // Without a grouping the list is local: every branch when the parameter is "N",
        // otherwise (empty or missing too) only the operator's branches; then the regions.
        struct Case {
            const char* what;
            std::optional<QString> restriction; // nullopt: no PARAMGERAL row
            QString operatorCode;
            bool restricted;
        };
        const Case cases[] = {
            {"N, demo operator", QStringLiteral("N"), sup::server::kDemoOperator, false},
            {"S, demo operator", QStringLiteral("S"), sup::server::kDemoOperator, true},
            {"N, plain operator", QStringLiteral("N"), sup::server::kPlainOperator, false},
            {"empty, plain operator", QString(), sup::server::kPlainOperator, true},
            {"missing, plain operator", std::nullopt, sup::server::kPlainOperator, true},
            {"S, branch operator", QStringLiteral("S"), sup::server::kBranchOperator, true},
        };
        struct Regions {
            const char* what;
            bool todas;          // rbtRegiaoT checked
            QString stRegiao;    // the region key list at the pick
            QStringList regions; // the regions the list is limited to; empty: all
        };
        const Regions regionCases[] = {
            {"Todas clicked", true, QStringLiteral("T"), {}},
            {"list of two", false, QStringLiteral("_001__006_"), {"001", "006"}},
            {"Todas at the defaults", true, QString(), {}},
            {"list of one", false, QStringLiteral("_003_"), {"003"}},
            {"unknown region", false, QStringLiteral("_999_"), {"999"}},
        };

        // The seed has branches the demo operator is not linked to, so the two lists differ.
        QVERIFY(!column(sql(), QStringLiteral("SELECT CDFILIAL FROM FILIAL WHERE CDFILIAL NOT IN "
                                              "(SELECT CDFILIAL FROM FILIOPER WHERE CDOPERADOR = "
                                              "'DEMO')"))
                     .isEmpty());

        for (const Case& c : cases) {
            Scratch scratch(sql());
            setRestriction(c.restriction);
            host->values().Operador = c.operatorCode;
            Screen* s = freshFilter();
            QVERIFY2(s, c.what);
            s->rbtFilialLista->setChecked(true);
            QVERIFY(s->btpFilial->isEnabled());

            for (const Regions& r : regionCases) {
                const QByteArray what = QByteArray(c.what) + ", " + r.what;
                (r.todas ? s->rbtRegiaoT : s->rbtRegiaoL)->setChecked(true);
                sup07700::stRegiao = r.stRegiao;

                QString where = QStringLiteral(" WHERE 1 = 1");
                if (!r.regions.isEmpty()) {
                    where += QStringLiteral(" AND CDREGIAO IN (%1)").arg(quotedList(r.regions));
                }
                if (c.restricted) {
                    where += QStringLiteral(" AND CDFILIAL IN (SELECT CDFILIAL FROM FILIOPER "
                                            "WHERE CDOPERADOR = '%1')")
                                 .arg(c.operatorCode);
                }
                const QStringList expected =
                    column(sql(), QStringLiteral("SELECT CDFILIAL FROM FILIAL") + where +
                                      QStringLiteral(" ORDER BY CDFILIAL"));

                sup07700::stFilial = QStringLiteral("_9999_");
                host->clearLog();
                if (!expected.isEmpty()) {
                    host->answerPickKeys({expected.last()});
                }
                s->btpFilial->click();

                QCOMPARE(s->btpFilial->DataSource(), s->dtsFilial);
                QVERIFY2(s->dtsFilial->dataSet() == (c.restricted ? s->qryFilial2 : s->qryFilial),
                         what.constData());
                QVERIFY2(host->unanswered.isEmpty(), what.constData());
                if (expected.isEmpty()) {
                    // Nothing to choose from: the user is told and the list stays.
                    QVERIFY2(host->picks.isEmpty(), what.constData());
                    QCOMPARE(host->messages.size(), 1);
                    QCOMPARE(host->messages.first().type, mtInformation);
                    QCOMPARE(sup07700::stFilial, QStringLiteral("_9999_"));
                    continue;
                }
                QVERIFY2(host->messages.isEmpty(), qPrintable(host->texts().join(u'/')));
                QCOMPARE(host->picks.size(), 1);
                const auto& pick = host->picks.first();
                QCOMPARE(pick.caption, QStringLiteral("Filial Destino"));
                QVERIFY(pick.emptyText.isEmpty());
                QVERIFY(pick.multiple);
                QCOMPARE(pick.keyField, QStringLiteral("CDFILIAL"));
                QVERIFY2(pick.rows == expected.size(), what.constData());
                QVERIFY2(offered(s->dtsFilial, QStringLiteral("CDFILIAL")) == expected,
                         what.constData());
                QCOMPARE(ParseKeyList(sup07700::stFilial), QStringList{expected.last()});
            }
        }
        QCOMPARE(host->busyShows(), host->busyHides());
    }

    void destinationBranchesOfAGroupingComeFromTheServer() {
        serveFromDatabase(QStringLiteral("GetFiliAgrupFili"));
        const QString method = QStringLiteral("GetFiliAgrupFili");
        struct Case {
            const char* what;
            QString restriction;
            QString operatorCode;
            QString grouping; // as typed
            bool todas;
            QString stRegiao;
            QVariantList args; // what the server receives
            QString rowsSql;   // the branches offered
            bool none;         // the data leaves nothing to offer
        };
        const QString demo = sup::server::kDemoOperator;
        const QString plain = sup::server::kPlainOperator;
        const QString T = QStringLiteral("T");
        const QString e;
        const QString ofGrouping =
            QStringLiteral("SELECT G.CDFILIAL FROM GRUPFILIFILI G JOIN FILIAL F ON F.CDFILIAL = "
                           "G.CDFILIAL WHERE G.CDGRUPFILI = '%1'");
        const QString linkedTo = QStringLiteral(
            " AND G.CDFILIAL IN (SELECT CDFILIAL FROM FILIOPER WHERE CDOPERADOR = '%1')");
        const QString order = QStringLiteral(" ORDER BY G.CDFILIAL");
        const Case cases[] = {
            {"restricted, one region of the grouping", QStringLiteral("S"), demo,
             QStringLiteral("0000000004"), false, QStringLiteral("_005_"),
             QVariantList{QStringLiteral("0000000004"), QStringLiteral("_005_"), e, demo},
             ofGrouping.arg(QStringLiteral("0000000004")) +
                 QStringLiteral(" AND F.CDREGIAO = '005'") + linkedTo.arg(demo) + order,
             false},
            {"restricted, every region", QStringLiteral("S"), demo, QStringLiteral("0000000004"),
             true, T, QVariantList{QStringLiteral("0000000004"), T, T, demo},
             ofGrouping.arg(QStringLiteral("0000000004")) + linkedTo.arg(demo) + order, false},
            {"unrestricted: no operator travels", QStringLiteral("N"), plain,
             QStringLiteral("0000000003"), true, T,
             QVariantList{QStringLiteral("0000000003"), T, T, e},
             ofGrouping.arg(QStringLiteral("0000000003")) + order, false},
            {"restricted, none linked to the operator", QStringLiteral("S"), plain,
             QStringLiteral("0000000003"), true, T,
             QVariantList{QStringLiteral("0000000003"), T, T, plain},
             ofGrouping.arg(QStringLiteral("0000000003")) + linkedTo.arg(plain) + order, true},
            {"empty parameter restricts", QString(), plain, QStringLiteral("0000000001"), true, T,
             QVariantList{QStringLiteral("0000000001"), T, T, plain},
             ofGrouping.arg(QStringLiteral("0000000001")) + linkedTo.arg(plain) + order, false},
            {"a code as typed, not yet adjusted", QStringLiteral("S"), demo, QStringLiteral("3"),
             false, QStringLiteral("_003_"),
             QVariantList{QStringLiteral("3"), QStringLiteral("_003_"), e, demo},
             ofGrouping.arg(QStringLiteral("3")) + order, true},
        };

        for (const Case& c : cases) {
            setRestriction(c.restriction);
            host->values().Operador = c.operatorCode;
            Screen* s = freshFilter();
            QVERIFY2(s, c.what);
            s->rbtFilialLista->setChecked(true);
            (c.todas ? s->rbtRegiaoT : s->rbtRegiaoL)->setChecked(true);
            sup07700::stRegiao = c.stRegiao;
            s->medAgrupFilial->SetText(c.grouping);
            QCOMPARE(s->medAgrupFilial->Text(), c.grouping);
            // Branches of an earlier pick are not offered again.
            s->cdsFiliAgrupFili->createDataSet();
            s->cdsFiliAgrupFili->insert();
            s->cdsFiliAgrupFili->fieldByName(u"CDFILIAL")->setValue(QStringLiteral("0005"));
            s->cdsFiliAgrupFili->post();

            const QStringList expected = column(sql(), c.rowsSql);
            QVERIFY2(expected.isEmpty() == c.none, c.what);
            sup07700::stFilial = QStringLiteral("_9999_");
            host->clearLog();
            if (!expected.isEmpty()) {
                host->answerPickKeys({expected.first()});
            }
            const int calls = server->count(method);
            s->btpFilial->click();

            QVERIFY2(server->count(method) == calls + 1, c.what);
            const QVariantList args = server->last(method).args;
            QVERIFY2(args == c.args, c.what);
            for (const QVariant& a : args) {
                QVERIFY2(a.typeId() == QMetaType::QString, c.what);
            }
            QCOMPARE(s->btpFilial->DataSource(), s->dtsFiliAgrupFili);
            QVERIFY2(offered(s->dtsFiliAgrupFili, QStringLiteral("CDFILIAL")) == expected, c.what);
            QVERIFY2(host->unanswered.isEmpty(), c.what);
            if (expected.isEmpty()) {
                QVERIFY2(host->picks.isEmpty(), c.what);
                QCOMPARE(host->messages.size(), 1);
                QCOMPARE(sup07700::stFilial, QStringLiteral("_9999_"));
            } else {
                QVERIFY2(host->messages.isEmpty(), qPrintable(host->texts().join(u'/')));
                QCOMPARE(host->picks.size(), 1);
                QCOMPARE(host->picks.first().caption, QStringLiteral("Filial Destino"));
                QVERIFY(host->picks.first().multiple);
                QCOMPARE(host->picks.first().keyField, QStringLiteral("CDFILIAL"));
                QCOMPARE(host->picks.first().rows, expected.size());
                QCOMPARE(ParseKeyList(sup07700::stFilial), QStringList{expected.first()});
            }
            QCOMPARE(host->busyShows(), 1);
            QCOMPARE(host->busyLog.first().kind, int(aviRecebendo));
            QCOMPARE(host->busyShows(), host->busyHides());
        }

        // A failing call: the branches of the earlier pick are gone all the same, the key list
        // stays, no list opens and the indicator is hidden.
        Screen* s = frmFiltroAltPedidoOL;
        s->medAgrupFilial->SetText(QStringLiteral("0000000004"));
        s->rbtRegiaoT->setChecked(true);
        sup07700::stRegiao = QStringLiteral("T");
        host->clearLog();
        host->answerPickKeys({QStringLiteral("0040")});
        s->btpFilial->click();
        QVERIFY(s->cdsFiliAgrupFili->recordCount() > 0);
        sup07700::stFilial = QStringLiteral("_0040_");
        server->fail(method, QStringLiteral("Agrupamento indisponível."),
                     server->count(method) + 1);
        host->clearLog();
        QVERIFY(!Guarded([&] { s->btpFilialClick(); }));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Agrupamento indisponível."));
        QVERIFY(host->picks.isEmpty());
        QVERIFY(s->cdsFiliAgrupFili->active());
        QCOMPARE(s->cdsFiliAgrupFili->recordCount(), 0);
        QCOMPARE(sup07700::stFilial, QStringLiteral("_0040_"));
        QVERIFY(!host->busyVisible());
        QCOMPARE(host->busyShows(), host->busyHides());

        // The grouping cleared: the local list again, without asking the server.
        const int calls = server->count(method);
        s->medAgrupFilial->Clear();
        host->clearLog();
        host->answerPickKeys({QStringLiteral("0040")});
        s->btpFilial->click();
        QCOMPARE(server->count(method), calls);
        QCOMPARE(s->btpFilial->DataSource(), s->dtsFilial);
        QCOMPARE(host->picks.size(), 1);
        QVERIFY(host->picks.first().rows > 0);
    }

    void localListsOfferWhatTheTablesHold() {
        Screen* s = freshFilter();
        QVERIFY(s);
        QCOMPARE(s->cdsParaSupri->fieldByName(u"CDGRUPPROD")->asString(), QStringLiteral("02"));
        struct Case {
            const char* what;
            QRadioButton* lista;
            TBtnPesquisa* button;
            TDataSource* source;
            QString caption;
            QString emptyText;
            QString keyField;
            QString* keys;
            QString sql;
            QStringList added; // one row the list must offer, others it must not
        };
        const Case cases[] = {
            {"regions",
             s->rbtRegiaoL,
             s->btnRegiao,
             s->dtsRegiao,
             QStringLiteral("Região"),
             QStringLiteral("Não há região cadastrada"),
             QStringLiteral("CDREGIAO"),
             &sup07700::stRegiao,
             QStringLiteral("SELECT CDREGIAO FROM REGIAO ORDER BY CDREGIAO"),
             {QStringLiteral("INSERT INTO REGIAO VALUES ('000', 'Região Teste')")}},
            {"routes",
             s->rbtListaRota,
             s->btpRota,
             s->dtsRota,
             QStringLiteral("Rota"),
             QStringLiteral("Não há rota cadastrada."),
             QStringLiteral("CDROTATRANS"),
             &s->stRota,
             QStringLiteral("SELECT CDROTATRANS FROM ROTATRANS ORDER BY CDROTATRANS"),
             {QStringLiteral("INSERT INTO ROTATRANS VALUES ('R99901', 'Rota Teste')")}},
            {"brands",
             s->rbtListaMarca,
             s->btpMarca,
             s->dtsMarca,
             QStringLiteral("Marca"),
             QString(),
             QStringLiteral("CDMARCA"),
             &s->stMarca,
             QStringLiteral("SELECT CDMARCA FROM MARCA ORDER BY CDMARCA"),
             {QStringLiteral("INSERT INTO MARCA VALUES ('99999', 'Marca Teste')")}},
            {"logistics operators",
             s->rbtListaOL,
             s->btpOL,
             s->dtsOL,
             QStringLiteral("Operador Logístico"),
             QString(),
             QStringLiteral("CDFILIAL"),
             &sup07700::stOL,
             QStringLiteral("SELECT CDFILIAL FROM FILIAL WHERE IDFUNCAOFILI = 'O' ORDER BY "
                            "CDFILIAL"),
             {QStringLiteral("INSERT INTO FILIAL (CDFILIAL, NMFILIAL, CDREGIAO, IDFUNCAOFILI) "
                             "VALUES ('0900', 'OL Teste', '001', 'O')"),
              QStringLiteral("INSERT INTO FILIAL (CDFILIAL, NMFILIAL, CDREGIAO, IDFUNCAOFILI) "
                             "VALUES ('0899', 'Loja Teste', '001', 'L')")}},
            {"sub-groups",
             s->rbtLSubGrupo,
             s->btnSubGrupo,
             s->dtsSubGrupo,
             QStringLiteral("Sub-Grupo"),
             QString(),
             QStringLiteral("CDSUBGRPROD"),
             &s->stSubGrupo,
             QStringLiteral("SELECT CDSUBGRPROD FROM SUBGRUPPROD WHERE CDGRUPPROD = '02' ORDER "
                            "BY CDSUBGRPROD"),
             {QStringLiteral("INSERT INTO SUBGRUPPROD VALUES ('0299', 'Sub Teste', '02')"),
              QStringLiteral("INSERT INTO SUBGRUPPROD VALUES ('0199', 'Sub Outro', '01')")}},
        };

        for (const Case& c : cases) {
            c.lista->setChecked(true);
            QVERIFY2(c.button->isEnabled(), c.what);
            const QStringList expected = column(sql(), c.sql);
            QVERIFY2(expected.size() > 1, c.what);

            host->clearLog();
            host->answerPickKeys({expected.last()});
            c.button->click();
            QVERIFY2(host->messages.isEmpty(), qPrintable(host->texts().join(u'/')));
            QVERIFY2(host->picks.size() == 1, c.what);
            const auto& pick = host->picks.first();
            QCOMPARE(pick.caption, c.caption);
            QCOMPARE(pick.emptyText, c.emptyText);
            QVERIFY(pick.multiple);
            QCOMPARE(pick.keyField, c.keyField);
            QVERIFY2(pick.rows == expected.size(), c.what);
            QVERIFY2(offered(c.source, c.keyField) == expected, c.what);
            QVERIFY2(ParseKeyList(*c.keys) == QStringList{expected.last()}, qPrintable(*c.keys));

            // Each opening reads the table again; a cancelled pick keeps the keys chosen.
            const QString chosen = *c.keys;
            {
                Scratch scratch(sql());
                for (const QString& stmt : c.added) {
                    execSql(sql(), stmt);
                }
                const QStringList now = column(sql(), c.sql);
                QVERIFY2(now.size() == expected.size() + 1, c.what);
                host->cancelPickList();
                c.button->click();
                QVERIFY2(host->picks.size() == 2, c.what);
                QVERIFY2(host->picks.last().rows == now.size(), c.what);
                QVERIFY2(offered(c.source, c.keyField) == now, c.what);
                QCOMPARE(*c.keys, chosen);
            }
        }

        // Another purchasing branch's product group: its sub-groups only.
        s->cdsParaSupri->loadFromPacket(suptest::paraSupriPacket(QStringLiteral("03")));
        const QStringList group3 = column(
            sql(), QStringLiteral("SELECT CDSUBGRPROD FROM SUBGRUPPROD WHERE CDGRUPPROD = '03' "
                                  "ORDER BY CDSUBGRPROD"));
        QVERIFY(!group3.isEmpty());
        host->clearLog();
        host->answerPickKeys({group3.first()});
        s->btnSubGrupo->click();
        QCOMPARE(host->picks.size(), 1);
        QCOMPARE(offered(s->dtsSubGrupo, QStringLiteral("CDSUBGRPROD")), group3);
        QCOMPARE(ParseKeyList(s->stSubGrupo), QStringList{group3.first()});

        // The local lists never call the server.
        QCOMPARE(server->methods(), (QStringList{"GetParametroOL", "GetParaSupri"}));
        QCOMPARE(host->busyShows(), host->busyHides());
    }

    void emptyTablesTellTheUser() {
        Screen* s = freshFilter();
        QVERIFY(s);
        auto empty = sup::sql::Connection::open(QStringLiteral("sqlite::memory:"));
        sup::server::installSchema(*empty);
        host->setDatabase(empty->database());

        struct Case {
            const char* what;
            QRadioButton* lista;
            TBtnPesquisa* button;
            QString* keys;
            LoggedMessage::Kind kind;
            QString text; // empty: the general text of an empty list
            QString key;
        };
        const Case cases[] = {
            {"regions", s->rbtRegiaoL, s->btnRegiao, &sup07700::stRegiao, LoggedMessage::Message,
             QStringLiteral("Não há região cadastrada"), QStringLiteral("Regiao_Cad")},
            {"routes", s->rbtListaRota, s->btpRota, &s->stRota, LoggedMessage::Message,
             QStringLiteral("Não há rota cadastrada."), QString()},
            {"brands", s->rbtListaMarca, s->btpMarca, &s->stMarca, LoggedMessage::Error,
             QStringLiteral("Não há marca cadastrada."), QStringLiteral("Marca_NCad")},
            {"logistics operators", s->rbtListaOL, s->btpOL, &sup07700::stOL,
             LoggedMessage::Message, QString(), QString()},
            {"sub-groups", s->rbtLSubGrupo, s->btnSubGrupo, &s->stSubGrupo, LoggedMessage::Message,
             QString(), QString()},
        };
        for (const Case& c : cases) {
            c.lista->setChecked(true);
            *c.keys = QStringLiteral("_01_");
            host->clearLog();
            c.button->click();
            QVERIFY2(host->picks.isEmpty(), c.what);
            QVERIFY2(host->messages.size() == 1, qPrintable(host->texts().join(u'/')));
            const LoggedMessage m = host->messages.first();
            QVERIFY2(m.kind == c.kind, c.what);
            if (!c.text.isEmpty()) {
                QCOMPARE(m.text, c.text);
            }
            if (!c.key.isEmpty()) {
                QCOMPARE(m.key, c.key);
            }
            QCOMPARE(*c.keys, QStringLiteral("_01_"));
        }
        host->setDatabase(sql());
    }

    void failingServerListsLeaveTheChoicesAsTheyWere() {
        serveFromDatabase(QStringLiteral("GetLotePedOL"));
        serveFromDatabase(QStringLiteral("GetAgruFili"));
        Screen* s = freshFilter();
        QVERIFY(s);

        // Dispatch batches: asked for on every click.
        const QStringList lotes = column(
            sql(), QStringLiteral("SELECT CDLOTENVITOL FROM LOTENVITOL ORDER BY CDLOTENVITOL"));
        QVERIFY(lotes.size() > 1);
        s->rbtLLote->setChecked(true);
        host->clearLog();
        host->answerPickKeys({lotes.at(1)});
        s->btpLoteEnvio->click();
        QCOMPARE(host->picks.size(), 1);
        QCOMPARE(host->picks.first().caption, QStringLiteral("Lote de Envio"));
        QCOMPARE(host->picks.first().keyField, QStringLiteral("CDLOTENVITOL"));
        QCOMPARE(host->picks.first().rows, lotes.size());
        QCOMPARE(offered(s->dtsLotePedOL, QStringLiteral("CDLOTENVITOL")), lotes);
        QCOMPARE(ParseKeyList(s->stLote), QStringList{lotes.at(1)});
        // The radio tells what is chosen; its tooltip lists it.
        QCOMPARE(s->rbtLLote->text(), QStringLiteral("Lista (1 selecionado)"));
        QCOMPARE(s->rbtLLote->toolTip(), lotes.at(1));
        QCOMPARE(host->busyLog.first().kind, int(aviRecebendo));
        QCOMPARE(host->busyLog.first().text, AviDefaultText(aviRecebendo));
        const QString lote = s->stLote;

        server->fail(QStringLiteral("GetLotePedOL"), QStringLiteral("Lotes indisponíveis."), 2);
        host->clearLog();
        s->btpLoteEnvio->click();
        QCOMPARE(server->count(QStringLiteral("GetLotePedOL")), 2);
        QCOMPARE(host->texts(), QStringList{"Lotes indisponíveis."});
        QVERIFY(host->picks.isEmpty());
        QCOMPARE(s->stLote, lote);
        QCOMPARE(offered(s->dtsLotePedOL, QStringLiteral("CDLOTENVITOL")), lotes);
        QVERIFY(!host->busyVisible());
        QCOMPARE(host->busyShows(), 1);
        QCOMPARE(host->busyShows(), host->busyHides());

        host->clearLog();
        host->cancelPickList();
        s->btpLoteEnvio->click();
        QCOMPARE(server->count(QStringLiteral("GetLotePedOL")), 3);
        QCOMPARE(host->picks.size(), 1);
        QCOMPARE(s->stLote, lote);

        // Branch groupings: the single pick of the code.
        const QStringList groupings =
            column(sql(), QStringLiteral("SELECT CDGRUPFILI FROM GRUPFILI ORDER BY CDGRUPFILI"));
        QVERIFY(groupings.size() > 2);
        host->clearLog();
        host->answerPickWhere(QStringLiteral("CDGRUPFILI"), groupings.at(2));
        QVERIFY(Guarded([&] { s->btnAgrupFilial->Execute(); }));
        QCOMPARE(host->picks.size(), 1);
        QCOMPARE(host->picks.first().rows, groupings.size());
        QCOMPARE(s->medAgrupFilial->Text(), groupings.at(2));
        const QString name = s->edtAgrupFilial->text();
        QVERIFY(!name.isEmpty());
        sup07700::stFilial = QStringLiteral("_0030_");

        server->fail(QStringLiteral("GetAgruFili"), QStringLiteral("Agrupamentos indisponíveis."),
                     2);
        host->clearLog();
        QVERIFY(!Guarded([&] { s->btnAgrupFilial->Execute(); }));
        QCOMPARE(host->texts(), QStringList{"Agrupamentos indisponíveis."});
        QVERIFY(host->picks.isEmpty());
        QCOMPARE(s->medAgrupFilial->Text(), groupings.at(2));
        QCOMPARE(s->edtAgrupFilial->text(), name);
        QCOMPARE(sup07700::stFilial, QStringLiteral("_0030_"));
        QCOMPARE(offered(s->dtsGrupFili, QStringLiteral("CDGRUPFILI")), groupings);
        QVERIFY(!host->busyVisible());
        QCOMPARE(host->busyShows(), 1);
        QCOMPARE(host->busyShows(), host->busyHides());
    }
};

QTEST_MAIN(TestFilterPickers)
#include "tst_filter_pickers.moc"

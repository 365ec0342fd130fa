// The rules of an item edited in the grid: the product and brand checks, the blocked-item guard,
// the order of the checks before a post and its bookkeeping (change mark, zero notice, snapshot),
// the brand particularities, the reservation check and the OL stock warning. The server is
// scripted (exact arguments of every call); the local queries run on the seeded database, and
// the last cases run against the reference server on SQLite and PostgreSQL.

#include "ScreenFixture.h"

#include "../server/ServerFixture.h"

#include "Cli_sup07700/Cli_sup07700.h"
#include "Cli_sup07700/TfrmAltPedidosOL.h"
#include "Dm_sup07700/TdmAltPedidosOL.h"
#include "units/Units.h"

#include "sup/contracts/ItemCriteria.h"
#include "sup/contracts/ServerResult.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/testkit/ScriptedServer.h"
#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/DBGrid.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"
#include "sup/widgetkit/Product.h"
#include "sup/widgetkit/Query.h"

#include <QScopeGuard>
#include <QSqlQuery>
#include <QtTest>

#include <functional>

using namespace sup::host;
using sup::data::DataPacket;
using sup::data::DataPacketBuilder;
using sup::data::DataSetState;
using sup::data::TWorkingSet;
using sup::testkit::LoggedMessage;
using sup::testkit::ScriptedHost;
using sup::testkit::ScriptedServer;
namespace contracts = sup::contracts;

namespace {

// The host of these tests also keeps the default button of every captioned question.
class RecordingHost : public ScriptedHost {
public:
    QList<int> defaultButtons;
    int askCaptioned(const QString& text, TMsgDlgType type, const QStringList& captions,
                     int defaultButton, const QString& key) override {
        defaultButtons << defaultButton;
        return ScriptedHost::askCaptioned(text, type, captions, defaultButton, key);
    }
};

struct Product {
    QString code, tree, name, unit;
    QStringList brands;
};

QVariant packet(const DataPacket& p) {
    return QVariant::fromValue(p);
}

DataPacket rowsOf(const sup::data::FieldDefs& fields, const QList<QVariantList>& rows) {
    DataPacketBuilder b(fields);
    for (const QVariantList& r : rows)
        b.appendRow(r);
    return b.finish();
}

DataPacket paramFilial(const QString& branch, const QString& semMarca, const QString& pref) {
    return rowsOf(contracts::paramFilialFields(),
                  {{branch, QStringLiteral("0001"), QStringLiteral("N"), semMarca, pref}});
}

QStringList errorKeys(const ScriptedHost& host) {
    QStringList out;
    for (const LoggedMessage& m : host.messages)
        if (m.kind == LoggedMessage::Error)
            out << m.key;
    return out;
}

const QString kQuestion = QStringLiteral(
    "A marca informada não condiz com a particularidade da filial para o produto.\r\n");
const QString kBusyText =
    QStringLiteral("Verificando as particularidades da filial para o produto...");

} // namespace

class TestEditing : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<suptest::SeededDatabase> local;
    std::unique_ptr<RecordingHost> host;
    std::unique_ptr<ScriptedServer> server;
    TfrmAltPedidosOL* s = nullptr;

    QString dest;                   // a store that buys every product
    Product p1, p2;                 // leaves with three brands or more
    QHash<QString, QString> names;  // brand names
    QString foreign;                // a registered brand that p1 is not bought in
    QString storeProc, centralProc; // a processing branch and its central purchasing branch
    QString closedStore, closedLeaf, openLeaf; // a store that does not buy a group but a part
    // What GetBloqProdSemRelacOL answers: the branch's flag and the product's relationships.
    QString relacFlag;
    QStringList relations;

    TWorkingSet& items() const { return *s->data().cdsItem; }
    QString field(const char* name) const {
        return items().fieldByName(QString::fromLatin1(name))->asString();
    }
    void set(const char* name, const QString& value) {
        if (items().state() == DataSetState::Browse)
            items().edit();
        items().fieldByName(QString::fromLatin1(name))->setAsString(value);
    }
    void setQty(double value) {
        if (items().state() == DataSetState::Browse)
            items().edit();
        items().fieldByName(u"QTPROGENPEOL")->setAsFloat(value);
    }
    bool post() {
        return Guarded([this] { items().post(); });
    }
    QString focus() const { return s->dbgPadrao->SelectedField(); }
    void focusOn(const char* field) { s->dbgPadrao->setSelectedField(QString::fromLatin1(field)); }

    Product product(const QString& tree) const {
        QSqlQuery q(local->conn->database());
        q.prepare(QStringLiteral("SELECT CDPRODUTO, CDARVPROD, NMPRODUTO, SGUNIDADE FROM PRODUTO "
                                 "WHERE CDARVPROD = ?"));
        q.addBindValue(tree);
        Product p;
        if (!q.exec() || !q.next())
            return p;
        p = {q.value(0).toString(),
             q.value(1).toString(),
             q.value(2).toString(),
             q.value(3).toString(),
             {}};
        QSqlQuery b(local->conn->database());
        b.prepare(QStringLiteral("SELECT CDMARCA FROM PRODMARCA WHERE CDPRODUTO = ? ORDER BY 1"));
        b.addBindValue(p.code);
        b.exec();
        while (b.next())
            p.brands << b.value(0).toString();
        return p;
    }

    // One item of `p` in `brand`, for the store `branch`, with the values of `extra` over it.
    QVariantList itemRow(const Product& p, const QString& brand, double qty, int n,
                         const QHash<QString, QVariant>& extra = {},
                         const QString& branch = {}) const {
        const QDateTime delivery(QDate(2026, 3, 10), QTime(0, 0));
        QHash<QString, QVariant> v = {
            {"CALC", "N"},
            {"ALTERADO", "N"},
            {"CDARVPROD", p.tree},
            {"CDPRODUTO", p.code},
            {"NMPRODUTO", p.name},
            {"SGUNIDADE", p.unit},
            {"CDPRODESTO", p.code},
            {"QTPROGENPEOL", qty},
            {"NRPEDEXOL", QStringLiteral("A%1").arg(100 + n)},
            {"CDFILLANC", "0001"},
            {"CDFILDEST", (branch.isEmpty() ? dest : branch) + QStringLiteral(" - Loja Teste")},
            {"DTPROGENPEOL", delivery},
            {"DTPROGEMBARQ", delivery.addDays(-2)},
            {"NMMARCA", names.value(brand)},
            {"CDMARCA", brand},
            {"CDFILIOPELOG", "0901"},
            {"VRFATOCONV", 1.0},
            {"IDTIPOEXOL", "A"},
            {"IDITMPEDOLBLOQ", "N"},
            {"QTRESERVESTOL", 0.0},
            {"IDUTRESPEDEXOL", "N"},
            {"IDITEMAJUSTE", "N"},
            {"CDRASTRITM", double(n)},
            {"QTORIGPRODPED", qty},
        };
        for (auto it = extra.begin(); it != extra.end(); ++it)
            v[it.key()] = it.value();
        QVariantList row;
        for (const auto& f : contracts::orderItemFields())
            row << v.value(f.name);
        return row;
    }

    // The items loaded as a filter would load them, with the parameters of their store.
    void load(const QList<QVariantList>& rows, const QString& semMarca = QStringLiteral("N"),
              const QString& pref = QStringLiteral("N"), const QString& branch = {}) {
        s->data().cdsParamFilial->loadFromPacket(
            paramFilial(branch.isEmpty() ? dest : branch, semMarca, pref));
        items().loadFromPacket(rowsOf(contracts::orderItemFields(), rows));
        items().first();
        focusOn("NMPRODUTO");
        host->clearLog();
        server->calls().clear();
    }

    // VerificaMarcaPref answers a conflict of `type` naming `brands`; VerificaMarcaPref1 names
    // `preferred` as the preferential product (none when empty).
    void answerPreferences(const QString& type, const QString& brands,
                           const QString& preferred = {}) {
        const DataPacket conflict = type.isNull()
                                        ? rowsOf(contracts::marcaPref1Fields(), {})
                                        : rowsOf(contracts::marcaPref1Fields(), {{brands, type}});
        const QString first = type.isNull() ? QStringLiteral("S") : QStringLiteral("N");
        server->answer(QStringLiteral("VerificaMarcaPref"), QVariantList{first, packet(conflict)});
        const DataPacket product = preferred.isEmpty()
                                       ? rowsOf(contracts::prodPrefFields(), {})
                                       : rowsOf(contracts::prodPrefFields(), {{preferred}});
        server->answer(QStringLiteral("VerificaMarcaPref1"),
                       QVariantList{first, packet(conflict), packet(product)});
    }

private slots:
    void initTestCase() {
        local = std::make_unique<suptest::SeededDatabase>();
        sup::sql::Connection& c = *local->conn;
        dest = c.scalar(QStringLiteral("SELECT MIN(F.CDFILIAL) FROM FILIAL F WHERE "
                                       "F.IDFUNCAOFILI = 'L' AND NOT EXISTS (SELECT 1 FROM "
                                       "PRODNCMP N WHERE N.CDFILIAL = F.CDFILIAL)"))
                   .toString();
        QSqlQuery q(c.database());
        QVERIFY(q.exec(QStringLiteral(
            "SELECT P.CDARVPROD FROM PRODUTO P WHERE P.CDNVPRODUTO = '4' AND P.CDPRODESTO IS NOT "
            "NULL AND substr(P.CDARVPROD, 1, 2) = '01' AND (SELECT COUNT(*) FROM PRODMARCA M WHERE "
            "M.CDPRODUTO = P.CDPRODUTO) >= 3 ORDER BY P.CDARVPROD")));
        QVERIFY(q.next());
        p1 = product(q.value(0).toString());
        QVERIFY(q.next());
        p2 = product(q.value(0).toString());
        QVERIFY(!dest.isEmpty() && p1.brands.size() >= 3 && p2.brands.size() >= 3);
        QVERIFY(p1.tree != p2.tree && p1.code != p2.code);

        c.exec(
            QStringLiteral("INSERT INTO MARCA (CDMARCA, NMMARCA) VALUES ('AB1CD', 'Importada')"));
        QVERIFY(q.exec(QStringLiteral("SELECT CDMARCA, NMMARCA FROM MARCA")));
        while (q.next())
            names.insert(q.value(0).toString(), q.value(1).toString());
        for (auto it = names.keyBegin(); it != names.keyEnd(); ++it)
            if (!p1.brands.contains(*it) && it->front().isDigit() &&
                (foreign.isEmpty() || *it < foreign))
                foreign = *it;
        QVERIFY(!foreign.isEmpty());

        QVERIFY(q.exec(QStringLiteral("SELECT CDFILIAL, CDFILCENTCMP FROM FILIAL WHERE "
                                      "CDFILCENTCMP IS NOT NULL AND CDFILCENTCMP <> CDFILIAL "
                                      "ORDER BY CDFILIAL")));
        QVERIFY(q.next());
        storeProc = q.value(0).toString();
        centralProc = q.value(1).toString();

        // A store that buys no beverages but water.
        closedStore = c.scalar(QStringLiteral("SELECT MIN(N.CDFILIAL) FROM PRODNCMP N JOIN "
                                              "PRODUTO P ON P.CDPRODUTO = N.CDPRODUTO WHERE "
                                              "P.CDARVPROD = '04'"))
                          .toString();
        closedLeaf =
            c.scalar(QStringLiteral(
                         "SELECT MIN(CDARVPROD) FROM PRODUTO WHERE "
                         "CDNVPRODUTO = '4' AND CDPRODESTO IS NOT NULL AND "
                         "substr(CDARVPROD, 1, 2) = '04' AND NOT substr(CDARVPROD, 1, 4) = '0403'"))
                .toString();
        openLeaf =
            c.scalar(QStringLiteral(
                         "SELECT MIN(CDARVPROD) FROM PRODUTO WHERE CDNVPRODUTO "
                         "= '4' AND CDPRODESTO IS NOT NULL AND substr(CDARVPROD, 1, 4) = '0403'"))
                .toString();
        QVERIFY(!closedStore.isEmpty() && !closedLeaf.isEmpty() && !openLeaf.isEmpty());
    }

    void init() {
        host = std::make_unique<RecordingHost>();
        host->setDatabase(local->conn->database());
        host->setVantrel(LoadSignOnValues(local->conn->database(), sup::server::kDemoOperator));
        sup07700::InitializeUnits();
        server = std::make_unique<ScriptedServer>();
        server->install();
        server->answer(
            QStringLiteral("GetParametroOL"),
            packet(rowsOf(contracts::parametroOLFields(),
                          {{QStringLiteral("N"), QStringLiteral("01"), QStringLiteral("0103")}})));
        // The brands of a product, from the seeded tables.
        server->on(QStringLiteral("GetPesqMarca"), [this](QVariantList& args) {
            QSqlQuery q(local->conn->database());
            q.prepare(QStringLiteral("SELECT M.CDMARCA, M.NMMARCA FROM PRODMARCA B JOIN PRODUTO P "
                                     "ON P.CDPRODUTO = B.CDPRODUTO JOIN MARCA M ON M.CDMARCA = "
                                     "B.CDMARCA WHERE P.CDARVPROD = ? ORDER BY 1"));
            q.addBindValue(args.value(0).toString());
            q.exec();
            QList<QVariantList> rows;
            while (q.next())
                rows << QVariantList{q.value(0).toString(), q.value(1).toString()};
            return packet(rowsOf(contracts::pesqMarcaFields(), rows));
        });
        relacFlag = QStringLiteral("N");
        relations.clear();
        server->on(QStringLiteral("GetBloqProdSemRelacOL"), [this](QVariantList&) {
            QList<QVariantList> rel;
            for (const QString& r : relations)
                rel << QVariantList{r};
            return QVariant(
                QVariantList{packet(rowsOf(contracts::paraSupriOLFields(), {{relacFlag}})),
                             packet(rowsOf(contracts::prodRelacOLFields(), rel))});
        });
        frmAltPedidosOL = CreateForm<TfrmAltPedidosOL>();
        boStCriado = true;
        s = frmAltPedidosOL;
    }

    void cleanup() {
        // Every busy indicator shown was hidden again.
        QCOMPARE(host->busyShows(), host->busyHides());
        QVERIFY(!host->busyVisible());
        QVERIFY(server->violations().isEmpty());
        delete frmAltPedidosOL;
        frmAltPedidosOL = nullptr;
        boStCriado = false;
        s = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        sup07700::FinalizeUnits();
        server.reset();
        host.reset();
    }

    // Every rule failing at once: the post reports the earliest one; mending each in turn
    // brings the next one forward, with its focus. The reservation warning of step 5 does not
    // stop the post; the product-and-quantity refusal of step 6 does.
    void beforePostChecksRunInOrder() {
        load(
            {itemRow(p1, p1.brands[0], 10, 1, {{"IDITMPEDOLBLOQ", "S"}, {"IDUTRESPEDEXOL", "S"}})});
        server->answer(QStringLiteral("GetVdReserva"), QVariantList{false, 0.0, 0.0, true});
        focusOn("QTPROGENPEOL"); // the quantity of a blocked item may be typed
        QVERIFY(Guarded([this] { items().edit(); }));
        setQty(11);
        set("CDARVPROD", {});
        set("CDMARCA", {});
        relacFlag = QStringLiteral("S");
        focusOn("CDMARCA");

        struct Step {
            std::function<void()> mend; // mends the failure of the step before
            QStringList errors;         // what the post shows now
            QString focus;              // where the focus is afterwards
        };
        const QList<Step> steps = {
            {[] {}, {"Ped_Bloqueado"}, "CALC"},
            {[&] { set("IDITMPEDOLBLOQ", "N"); }, {"CDPRODUTO_Vazio"}, "CDARVPROD"},
            {[&] { set("CDARVPROD", p2.tree); }, {"CDMARCA_Vazia"}, "CDMARCA"},
            {[&] { set("CDMARCA", p2.brands[1]); }, {"Prod_Sem_Relac_OL"}, "CDARVPROD"},
            {[&] { relacFlag = QStringLiteral("N"); }, {"Erro_Estoq", "Alt_Prod_Qtd"}, "NMPRODUTO"},
        };
        for (const Step& step : steps) {
            step.mend();
            if (step.focus == u"NMPRODUTO")
                focusOn("NMPRODUTO");
            host->clearLog();
            QVERIFY(!post());
            QCOMPARE(errorKeys(*host), step.errors);
            QCOMPARE(focus(), step.focus);
            QCOMPARE(items().state(), DataSetState::Edit);
        }
        QCOMPARE(server->methods(),
                 (QStringList{"GetPesqMarca", "GetBloqProdSemRelacOL", "GetPesqMarca",
                              "GetBloqProdSemRelacOL", "GetVdReserva"}));
        QCOMPARE(server->last(QStringLiteral("GetBloqProdSemRelacOL")).args,
                 (QVariantList{p2.code, p2.brands[1], dest}));
        QCOMPARE(
            host->lastMessage().text,
            QStringLiteral("Operação bloqueada! Não é possivel alterar o código e a quantidade "
                           "do item de pedido simultaneamente."));

        // The quantity as loaded: the post goes through and marks the item.
        setQty(10);
        host->clearLog();
        QVERIFY(post());
        QVERIFY(host->messages.isEmpty());
        QCOMPARE(items().state(), DataSetState::Browse);
        QCOMPARE(field("ALTERADO"), QStringLiteral("S"));
        QCOMPARE(field("CDPRODUTO"), p2.code);
        QCOMPARE(field("NMPRODUTO"), p2.name);
        QCOMPARE(server->count(QStringLiteral("GetVdReserva")), 1); // quantity unchanged
    }

    // An empty product or brand passes on leaving its column and is refused at the post.
    void emptyCodesAreRefusedOnlyAtThePost_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("product") << "CDARVPROD"
                                 << "CDPRODUTO_Vazio"
                                 << "Produto deve ser informado.";
        QTest::newRow("brand") << "CDMARCA"
                               << "CDMARCA_Vazia"
                               << "Marca deve ser informada.";
    }
    void emptyCodesAreRefusedOnlyAtThePost() {
        QFETCH(QString, column);
        QFETCH(QString, key);
        QFETCH(QString, text);
        load({itemRow(p1, p1.brands[0], 10, 1)});
        set(column.toLatin1().constData(), QStringLiteral("   "));
        const bool product = column == u"CDARVPROD";
        QVERIFY(Guarded([&] { product ? s->Vd_Produto(false) : s->vd_CdMarca(false); }));
        QVERIFY(host->messages.isEmpty());
        QVERIFY(!post());
        QCOMPARE(host->lastMessage().key, key);
        QCOMPARE(host->lastMessage().text, text);
        QCOMPARE(focus(), column);
        QCOMPARE(items().state(), DataSetState::Edit);
    }

    void productCheck_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("branch");
        QTest::addColumn<QString>("key"); // empty: accepted
        const QString registered = p2.tree;
        const QString masked = registered.left(2) + u'.' + registered.mid(2, 2) + u'.' +
                               registered.mid(4, 3) + u'.' + registered.mid(7);
        QTest::newRow("registered, typed with its picture") << masked << dest << "";
        QTest::newRow("fits the picture, not registered")
            << "99999999999" << dest << "CDPRODUTO_N_EXISTE";
        // A tree node is no product one can buy.
        QTest::newRow("tree node") << p2.tree.left(7) << dest << "CDPRODUTO_N_EXISTE";
        QTest::newRow("not bought by the store")
            << closedLeaf << closedStore << "PROD_N_COMP_FILDEST";
        QTest::newRow("the part the store buys") << openLeaf << closedStore << "";
    }
    void productCheck() {
        QFETCH(QString, typed);
        QFETCH(QString, branch);
        QFETCH(QString, key);
        load({itemRow(p1, p1.brands[0], 10, 1, {}, branch)}, "N", "N", branch);
        set("CDARVPROD", typed);
        const bool ok = Guarded([this] { s->Vd_Produto(false); });
        QCOMPARE(ok, key.isEmpty());
        if (ok) {
            const Product p = product(Dados_Produto(typed).value(0).toString());
            QVERIFY(!p.code.isEmpty());
            QCOMPARE(field("CDARVPROD"), p.tree); // the stored form
            QCOMPARE(field("CDPRODUTO"), p.code);
            QCOMPARE(field("NMPRODUTO"), p.name);
            QCOMPARE(field("SGUNIDADE"), p.unit);
            QCOMPARE(focus(), QStringLiteral("NMPRODUTO"));
            return;
        }
        QCOMPARE(host->lastMessage().key, key);
        QCOMPARE(host->lastMessage().text,
                 key == u"PROD_N_COMP_FILDEST"
                     ? QStringLiteral("Produto não pode ser comprado para a filial destino "
                                      "informada.")
                     : QStringLiteral("Produto não cadastrado."));
        QCOMPARE(focus(), QStringLiteral("CDARVPROD"));
        QCOMPARE(items().state(), DataSetState::Edit);
        if (key == u"CDPRODUTO_N_EXISTE") {
            QVERIFY(field("NMPRODUTO").isEmpty());
            QVERIFY(field("SGUNIDADE").isEmpty());
        }
        QVERIFY(server->calls().isEmpty()); // the OL purchase tree is not checked here
    }

    // With the OL's purchase tree switched on, a product of its group and sub-group is refused.
    void purchaseTreeBlock() {
        load({itemRow(p1, p1.brands[0], 10, 1)});
        s->data().cdsParametroOL->loadFromPacket(
            rowsOf(contracts::parametroOLFields(),
                   {{QStringLiteral("S"), QStringLiteral("01"), QStringLiteral("0103")}}));
        server->answerOnce(QStringLiteral("GetBloqIncluiProdCmpOL"),
                           packet(rowsOf(contracts::bloqIncluiProdCmpOLFields(), {{p2.code}})));
        set("CDARVPROD", p2.tree);
        QVERIFY(!Guarded([this] { s->Vd_Produto(false); }));
        QCOMPARE(host->lastMessage().key, QStringLiteral("N_Prod_CMP_OL"));
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Operação bloqueada. Não é possível incluir item de pedido "
                                "relacionado com produto de compra da árvore do OL."));
        QCOMPARE(focus(), QStringLiteral("CDARVPROD"));
        QCOMPARE(server->last(QStringLiteral("GetBloqIncluiProdCmpOL")).args,
                 (QVariantList{QStringLiteral("01"), QStringLiteral("0103"), p2.code}));
        QCOMPARE(host->busyShows(), 0);

        server->answer(QStringLiteral("GetBloqIncluiProdCmpOL"),
                       packet(rowsOf(contracts::bloqIncluiProdCmpOLFields(), {})));
        focusOn("NMPRODUTO");
        QVERIFY(Guarded([this] { s->Vd_Produto(false); }));
        QCOMPARE(focus(), QStringLiteral("NMPRODUTO"));

        // Switched off: no call.
        s->data().cdsParametroOL->loadFromPacket(
            rowsOf(contracts::parametroOLFields(),
                   {{QStringLiteral("N"), QStringLiteral("01"), QStringLiteral("0103")}}));
        QVERIFY(Guarded([this] { s->Vd_Produto(false); }));
        QCOMPARE(server->count(QStringLiteral("GetBloqIncluiProdCmpOL")), 2);
    }

    void brandCheck_data() {
        QTest::addColumn<QString>("semMarca");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // CDMARCA afterwards
        QTest::addColumn<QString>("key");    // empty: accepted
        QTest::addColumn<int>("lookups");    // GetPesqMarca calls
        const QString b = p1.brands[1];
        const QString shortForm = QStringLiteral(" %1 ").arg(b.toInt());
        QTest::newRow("short code") << "N" << shortForm << b << "" << 1;
        QTest::newRow("not a brand of the product")
            << "N" << QString::number(foreign.toInt()) << foreign << "CDMARCA_N_EXISTE" << 1;
        QTest::newRow("not registered") << "N"
                                        << "99999"
                                        << "99999"
                                        << "marca_ncad" << 0;
        QTest::newRow("any registered brand when the store allows it")
            << "S" << foreign << foreign << "" << 0;
        QTest::newRow("not registered, store allowing any") << "S"
                                                            << "99999"
                                                            << "99999"
                                                            << "marca_ncad" << 0;
    }
    void brandCheck() {
        QFETCH(QString, semMarca);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, key);
        QFETCH(int, lookups);
        load({itemRow(p1, p1.brands[0], 10, 1)}, semMarca);
        set("CDMARCA", typed);
        const bool ok = Guarded([this] { s->vd_CdMarca(false); });
        QCOMPARE(ok, key.isEmpty());
        QCOMPARE(field("CDMARCA"), stored);
        QCOMPARE(server->count(QStringLiteral("GetPesqMarca")), lookups);
        if (lookups > 0) {
            QCOMPARE(server->last(QStringLiteral("GetPesqMarca")).args, QVariantList{p1.tree});
            QCOMPARE(host->busyShows(), 1);
            QCOMPARE(host->busyLog.first().kind, int(aviRecebendo));
        }
        if (ok) {
            QCOMPARE(field("NMMARCA"), names.value(stored));
            QVERIFY(host->messages.isEmpty());
            return;
        }
        QVERIFY(field("NMMARCA").isEmpty());
        QCOMPARE(host->lastMessage().key, key);
        QCOMPARE(host->lastMessage().text, key == u"marca_ncad"
                                               ? QStringLiteral("Marca não cadastrada.")
                                               : QStringLiteral("Marca não cadastrada para o "
                                                                "produto informado."));
        QCOMPARE(focus(), QStringLiteral("CDMARCA"));
        QCOMPARE(items().state(), DataSetState::Edit);
    }

    // The product's brand list is searched ignoring letter case.
    void brandOfTheProductFoundIgnoringCase() {
        load({itemRow(p1, p1.brands[0], 10, 1)});
        server->answerOnce(
            QStringLiteral("GetPesqMarca"),
            packet(rowsOf(contracts::pesqMarcaFields(),
                          {{QStringLiteral("ab1cd"), QStringLiteral("Importada")}})));
        set("CDMARCA", QStringLiteral("AB1CD "));
        QVERIFY(Guarded([this] { s->vd_CdMarca(false); }));
        QCOMPARE(field("CDMARCA"), QStringLiteral("AB1CD"));
        QCOMPARE(field("NMMARCA"), QStringLiteral("Importada"));
    }

    // An operator without group authorisation may not touch the product or brand of a blocked
    // item; the other columns, and an authorised operator, may.
    void blockedItemGuard_data() {
        QTest::addColumn<QString>("blocked");
        QTest::addColumn<int>("authorisations");
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("refused");
        QTest::newRow("product") << "S" << 0 << "CDARVPROD" << true;
        QTest::newRow("brand") << "S" << 0 << "CDMARCA" << true;
        QTest::newRow("quantity") << "S" << 0 << "QTPROGENPEOL" << false;
        QTest::newRow("marker") << "S" << 0 << "CALC" << false;
        QTest::newRow("product, authorised") << "S" << 1 << "CDARVPROD" << false;
        QTest::newRow("brand, authorised") << "S" << 2 << "CDMARCA" << false;
        QTest::newRow("product, not blocked") << "N" << 0 << "CDARVPROD" << false;
    }
    void blockedItemGuard() {
        QFETCH(QString, blocked);
        QFETCH(int, authorisations);
        QFETCH(QString, column);
        QFETCH(bool, refused);
        load({itemRow(p1, p1.brands[0], 10, 1, {{"IDITMPEDOLBLOQ", blocked}})});
        s->data().cdsAutGruPop->loadFromPacket(suptest::autGruPopPacket(authorisations));
        s->dbgPadrao->setSelectedField(column);
        QCOMPARE(Guarded([this] { items().edit(); }), !refused);
        if (!refused) {
            QCOMPARE(items().state(), DataSetState::Edit);
            QVERIFY(host->messages.isEmpty());
            items().cancel();
            return;
        }
        QCOMPARE(items().state(), DataSetState::Browse);
        QCOMPARE(host->messages.size(), 1);
        QCOMPARE(host->lastMessage().key, QStringLiteral("Ped_Bloqueado"));
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Operação bloqueada! Item do pedido do OL está bloqueado."));
        QCOMPARE(focus(), QStringLiteral("CALC"));
    }

    // The change mark compares the quantity's text and the codes with the loaded values; it is
    // never taken back.
    void changeMark_data() {
        QTest::addColumn<QString>("loadedMark");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("mark");
        QTest::newRow("10 typed as 10,0") << "N"
                                          << "10,0"
                                          << "N";
        QTest::newRow("10 to 10,5") << "N"
                                    << "10,5"
                                    << "S";
        QTest::newRow("10 to 9,999") << "N"
                                     << "9,999"
                                     << "S";
        QTest::newRow("brand") << "N"
                               << "brand"
                               << "S";
        QTest::newRow("product") << "N"
                                 << "product"
                                 << "S";
        QTest::newRow("only the marker") << "N"
                                         << "marker"
                                         << "N";
        QTest::newRow("already marked") << "S"
                                        << "marker"
                                        << "S";
    }
    void changeMark() {
        QFETCH(QString, loadedMark);
        QFETCH(QString, change);
        QFETCH(QString, mark);
        load({itemRow(p1, p1.brands[0], 10, 1, {{"ALTERADO", loadedMark}})}, "S");
        items().edit();
        if (change == u"brand") {
            set("CDMARCA", p1.brands[2]);
        } else if (change == u"product") {
            set("CDARVPROD", p2.tree);
        } else if (change == u"marker") {
            set("CALC", QStringLiteral("S"));
        } else {
            const int qty = s->dbgPadrao->columnIndexOfField(u"QTPROGENPEOL");
            s->dbgPadrao->writeCell(qty, change);
        }
        QVERIFY(post());
        QCOMPARE(items().state(), DataSetState::Browse);
        QCOMPARE(field("ALTERADO"), mark);
        QCOMPARE(s->lblContagem->text().endsWith(mark == u"S" ? QStringLiteral(", 1 alterados")
                                                              : QStringLiteral(", 0 alterados")),
                 true);
    }

    // Product (or brand) and quantity are never changed together, not even in two edits: the
    // comparison is with the loaded values. The focus stays where it was.
    void productOrBrandWithQuantityRefused_data() {
        QTest::addColumn<QStringList>("edits"); // changes posted one by one
        QTest::addColumn<QString>("key");
        QTest::newRow("product, then quantity")
            << QStringList{"product", "quantity"} << "Alt_Prod_Qtd";
        QTest::newRow("brand, then quantity")
            << QStringList{"brand", "quantity"} << "Alt_Marca_Qtd";
        QTest::newRow("quantity, then brand")
            << QStringList{"quantity", "brand"} << "Alt_Marca_Qtd";
        QTest::newRow("all three at once")
            << QStringList{"product+brand+quantity"} << "Alt_Prod_Qtd";
    }
    void productOrBrandWithQuantityRefused() {
        QFETCH(QStringList, edits);
        QFETCH(QString, key);
        load({itemRow(p1, p1.brands[0], 10, 1)}, "S");
        for (int i = 0; i < edits.size(); ++i) {
            const QString& e = edits[i];
            items().edit();
            if (e.contains(u"product"))
                set("CDARVPROD", p2.tree);
            if (e.contains(u"brand"))
                set("CDMARCA", p1.brands[2]);
            if (e.contains(u"quantity"))
                setQty(12);
            focusOn("NMMARCA");
            const bool last = i == edits.size() - 1;
            QCOMPARE(post(), !last);
        }
        QCOMPARE(errorKeys(*host), QStringList{key});
        QCOMPARE(focus(), QStringLiteral("NMMARCA"));
        QCOMPARE(items().state(), DataSetState::Edit);
        QCOMPARE(host->lastMessage().text,
                 key == u"Alt_Prod_Qtd"
                     ? QStringLiteral("Operação bloqueada! Não é possivel alterar o código e a "
                                      "quantidade do item de pedido simultaneamente.")
                     : QStringLiteral("Operação bloqueada! Não é possivel alterar a marca e a "
                                      "quantidade do item de pedido simultaneamente."));
    }

    // A quantity of 0 is told, not refused; also when it was 0 already.
    void zeroQuantityNotice_data() {
        QTest::addColumn<double>("loaded");
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("shown");
        QTest::newRow("to zero") << 10.0 << "quantity" << true;
        QTest::newRow("zero already, brand changed") << 0.0 << "brand" << true;
        QTest::newRow("not zero") << 10.0 << "brand" << false;
    }
    void zeroQuantityNotice() {
        QFETCH(double, loaded);
        QFETCH(QString, change);
        QFETCH(bool, shown);
        load({itemRow(p1, p1.brands[0], loaded, 1)}, "S");
        if (change == u"quantity")
            setQty(0);
        else
            set("CDMARCA", p1.brands[1]);
        QVERIFY(post());
        QCOMPARE(items().state(), DataSetState::Browse);
        QCOMPARE(host->messages.size(), shown ? 1 : 0);
        if (shown) {
            const LoggedMessage m = host->lastMessage();
            QCOMPARE(m.kind, LoggedMessage::Message);
            QCOMPARE(m.key, QStringLiteral("Item_Zerado"));
            QCOMPARE(m.text, QStringLiteral(
                                 "O item será excluído do pedido para permitir nova importação."));
            QCOMPARE(m.type, mtInformation);
            QCOMPARE(m.buttons, TMsgDlgButtons(mbOK));
        }
    }

    // While the snapshot's tag is 99 a post runs no rule and leaves mark and snapshot alone.
    void tag99BypassesEverything() {
        load({itemRow(p1, p1.brands[0], 10, 1, {{"IDITMPEDOLBLOQ", "S"}})});
        focusOn("CDARVPROD");
        s->data().cdsAuxItem->setTag(99);
        QVERIFY(Guarded([this] { items().edit(); }));
        set("CDARVPROD", {});
        set("CDMARCA", QStringLiteral("99999"));
        setQty(0);
        QVERIFY(post());
        s->data().cdsAuxItem->setTag(0);
        QVERIFY(host->messages.isEmpty());
        QVERIFY(server->calls().isEmpty());
        QCOMPARE(field("ALTERADO"), QStringLiteral("N"));
        TWorkingSet* aux = s->data().cdsAuxItem;
        aux->first();
        QCOMPARE(aux->fieldByName(u"CDMARCA")->asString(), p1.brands[0]);
        QCOMPARE(aux->fieldByName(u"QTPROGENPEOL")->asFloat(), 10.0);
        QCOMPARE(aux->changeCount(), 0);
    }

    // The snapshot row of the loaded key follows the item; once it has followed a brand change,
    // the loaded key finds it no more.
    void snapshotFollowsTheItem() {
        load({itemRow(p1, p1.brands[0], 10, 1), itemRow(p1, p1.brands[0], 20, 2)}, "S");
        TWorkingSet* aux = s->data().cdsAuxItem;
        auto auxRow = [&](int position) {
            aux->moveTo(position);
            return QVariantList{aux->fieldByName(u"CDPRODUTO")->asString(),
                                aux->fieldByName(u"CDMARCA")->asString(),
                                aux->fieldByName(u"QTPROGENPEOL")->asFloat()};
        };
        set("CDMARCA", p1.brands[1]);
        QVERIFY(post());
        QCOMPARE(auxRow(0), (QVariantList{p1.code, p1.brands[1], 10.0}));
        QCOMPARE(auxRow(1), (QVariantList{p1.code, p1.brands[0], 20.0})); // the other item
        set("CDMARCA", p1.brands[2]);
        QVERIFY(post());
        QCOMPARE(auxRow(0), (QVariantList{p1.code, p1.brands[1], 10.0}));

        // Product and quantity; the order is found ignoring case.
        items().moveTo(1);
        aux->moveTo(1);
        aux->edit();
        aux->fieldByName(u"NRPEDEXOL")->setAsString(u"a102");
        aux->post();
        setQty(25);
        QVERIFY(post());
        QCOMPARE(auxRow(1), (QVariantList{p1.code, p1.brands[0], 25.0}));
        set("CDARVPROD", p2.tree);
        QVERIFY(!post()); // product after quantity: refused, the snapshot stays
        QCOMPARE(auxRow(1), (QVariantList{p1.code, p1.brands[0], 25.0}));
    }

    void particularityQuestion_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<int>("answer");
        const QList<std::pair<const char*, const char*>> kinds = {
            {"1", "Marca Obrigatória: %1. Deseja continuar?"},
            {"7", "Marca Obrigatória: %1. Deseja continuar?"},
            {"2", "Marca Preferencial: %1. Deseja continuar?"},
            {"8", "Marca Preferencial: %1. Deseja continuar?"},
            {"3", "Marca Restrita: %1. Deseja continuar?"},
            {"9", "Marca Restrita: %1. Deseja continuar?"}};
        for (const auto& [type, detail] : kinds) {
            QTest::addRow("type %s, Sim", type) << type << QString::fromUtf8(detail) << 10;
            QTest::addRow("type %s, Não", type) << type << QString::fromUtf8(detail) << 11;
        }
        QTest::newRow("type 1, closed") << "1"
                                        << "Marca Obrigatória: %1. Deseja continuar?" << 0;
    }
    // A brand that disagrees with a particularity asks; "Sim" goes on to the preferential
    // product check, anything else refuses silently with the focus on the brand.
    void particularityQuestion() {
        QFETCH(QString, type);
        QFETCH(QString, detail);
        QFETCH(int, answer);
        const QString named = QStringLiteral("00003 - Sol Nascente");
        load({itemRow(p1, p1.brands[0], 10, 1)}, "S", "S");
        answerPreferences(type, named);
        host->answerCaptioned(answer);
        set("CDMARCA", p1.brands[1]);
        const bool ok = Guarded([this] { s->vd_CdMarca(false); });
        QCOMPARE(ok, answer == 10);

        const QVariantList args{dest, p1.code, p1.brands[1], p1.code, p1.brands[0]};
        QCOMPARE(server->last(QStringLiteral("VerificaMarcaPref")).args, args);
        QCOMPARE(host->messages.size(), 1);
        const LoggedMessage q = host->lastMessage();
        QCOMPARE(q.kind, LoggedMessage::Question);
        QCOMPARE(q.text, kQuestion + detail.arg(named));
        QCOMPARE(q.type, mtError);
        QCOMPARE(q.captions, (QStringList{"Sim", "Não"}));
        QCOMPARE(host->defaultButtons, QList<int>{2});
        QCOMPARE(host->busyLog.first().kind, int(aviRecebendo));
        QCOMPARE(host->busyLog.first().text, kBusyText);
        if (ok) {
            QCOMPARE(server->methods(), (QStringList{"VerificaMarcaPref", "VerificaMarcaPref1"}));
            QCOMPARE(server->last(QStringLiteral("VerificaMarcaPref1")).args, args);
            QCOMPARE(host->busyShows(), 2);
        } else {
            QCOMPARE(server->methods(), QStringList{"VerificaMarcaPref"});
            QCOMPARE(focus(), QStringLiteral("CDMARCA"));
            QCOMPARE(items().state(), DataSetState::Edit);
            QCOMPARE(field("CDMARCA"), p1.brands[1]);
        }
    }

    void preferentialProductQuestion_data() {
        QTest::addColumn<QString>("brandType"); // null: the brand agrees
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<bool>("passes");
        QTest::newRow("brand agrees, Sim") << QString() << QList<int>{10} << true;
        QTest::newRow("brand agrees, Não") << QString() << QList<int>{11} << false;
        QTest::newRow("both asked, Sim twice") << "2" << QList<int>{10, 10} << true;
        QTest::newRow("both asked, Sim then Não") << "2" << QList<int>{10, 11} << false;
    }
    void preferentialProductQuestion() {
        QFETCH(QString, brandType);
        QFETCH(QList<int>, answers);
        QFETCH(bool, passes);
        load({itemRow(p1, p1.brands[0], 10, 1)}, "S", "S");
        answerPreferences(brandType, QStringLiteral("00002"), p2.tree);
        for (int a : answers)
            host->answerCaptioned(a);
        set("CDMARCA", p1.brands[1]);
        QCOMPARE(Guarded([this] { s->vd_CdMarca(false); }), passes);
        QCOMPARE(host->messages.size(), answers.size());
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("O produto informado não condiz com a particularidade da filial "
                                "para o produto.\r\nProduto Preferencial: %1. Deseja continuar?")
                     .arg(p2.tree));
        QCOMPARE(host->lastMessage().captions, (QStringList{"Sim", "Não"}));
        QVERIFY(!host->answersLeft());
        if (!passes)
            QCOMPARE(focus(), QStringLiteral("CDMARCA"));
    }

    // The reference values are the loaded ones; an unchanged brand (or one changed back), and an
    // item loaded without a brand, ask nothing. What the first call writes back goes to the
    // second.
    void particularityReferences() {
        load({itemRow(p1, p1.brands[0], 10, 1), itemRow(p1, QString(), 10, 2)}, "S", "S");
        answerPreferences(QString(), {});
        const QString other = p2.brands[0] == p1.brands[0] ? p2.brands[1] : p2.brands[0];
        set("CDARVPROD", p2.tree);
        set("CDMARCA", other);
        server->on(QStringLiteral("VerificaMarcaPref"), [](QVariantList& args) {
            args[0] = QStringLiteral("9999");
            args[3] = QStringLiteral("P9");
            args[4] = QStringLiteral("M9");
            return QVariant(QVariantList{QStringLiteral("S"),
                                         packet(rowsOf(contracts::marcaPref1Fields(), {}))});
        });
        QVERIFY(Guarded([this] {
            s->Vd_Produto(false);
            s->vd_CdMarca(false);
        }));
        QCOMPARE(server->last(QStringLiteral("VerificaMarcaPref")).args,
                 (QVariantList{dest, p2.code, other, p1.code, p1.brands[0]}));
        QCOMPARE(server->last(QStringLiteral("VerificaMarcaPref1")).args,
                 (QVariantList{QStringLiteral("9999"), p2.code, other, QStringLiteral("P9"),
                               QStringLiteral("M9")}));
        items().cancel();

        server->calls().clear();
        set("CDMARCA", p1.brands[1]);
        set("CDMARCA", QString::number(p1.brands[0].toInt())); // back to the loaded brand
        QVERIFY(Guarded([this] { s->vd_CdMarca(false); }));
        QCOMPARE(field("CDMARCA"), p1.brands[0]);
        items().cancel();
        items().moveTo(1);
        set("CDMARCA", p1.brands[1]);
        QVERIFY(Guarded([this] { s->vd_CdMarca(false); }));
        QCOMPARE(server->count(QStringLiteral("VerificaMarcaPref")), 0);
        QCOMPARE(server->count(QStringLiteral("VerificaMarcaPref1")), 0);
    }

    // A particularity type that is not a whole number is refused with a message, not a crash.
    void particularityTypeNotANumber_data() {
        QTest::addColumn<QString>("type");
        QTest::newRow("letter") << "X";
        QTest::newRow("blank") << " ";
    }
    void particularityTypeNotANumber() {
        QFETCH(QString, type);
        load({itemRow(p1, p1.brands[0], 10, 1)}, "S", "S");
        answerPreferences(type, QStringLiteral("00002"));
        set("CDMARCA", p1.brands[1]);
        QVERIFY(!Guarded([this] { s->vd_CdMarca(false); }));
        QCOMPARE(host->messages.size(), 1);
        const LoggedMessage m = host->lastMessage();
        QCOMPARE(m.kind, LoggedMessage::Error);
        QVERIFY2(m.text.contains(QStringLiteral("tipo de particularidade")), qPrintable(m.text));
        QCOMPARE(focus(), QStringLiteral("CDMARCA"));
        QCOMPARE(server->count(QStringLiteral("VerificaMarcaPref1")), 0);
    }

    // A server fault in the check hides the indicator and keeps the focus on the brand.
    void particularityServerFault() {
        load({itemRow(p1, p1.brands[0], 10, 1)}, "S", "S");
        server->fail(QStringLiteral("VerificaMarcaPref"), QStringLiteral("Filial sem parâmetros."));
        set("CDMARCA", p1.brands[1]);
        QVERIFY(!Guarded([this] { s->vd_CdMarca(false); }));
        QCOMPARE(host->lastMessage().text, QStringLiteral("Filial sem parâmetros."));
        QCOMPARE(focus(), QStringLiteral("CDMARCA"));
    }

    // The text of a particularity type in the conflict list of the automatic alteration.
    void particularityText_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << "1"
                           << "Marca Obrigatória: 00004 - Vale.";
        QTest::newRow("7") << "7"
                           << "Marca Obrigatória: 00004 - Vale.";
        QTest::newRow("2") << "2"
                           << "Marca Preferencial: 00004 - Vale.";
        QTest::newRow("5") << "5"
                           << "Marca Preferencial: 00004 - Vale.";
        QTest::newRow("3") << "3"
                           << "Marca Restrita: 00004 - Vale.";
        QTest::newRow("9") << "9"
                           << "Marca Restrita: 00004 - Vale.";
        QTest::newRow("0") << "0"
                           << "Produto Preferencial: 00004 - Vale.";
        QTest::newRow("8") << "8"
                           << "";
        QTest::newRow("4") << "4"
                           << "";
        QTest::newRow("blank") << " "
                               << "";
    }
    void particularityText() {
        QFETCH(QString, type);
        QFETCH(QString, text);
        TWorkingSet* list = s->data().cdsMarcaPref2;
        list->loadFromPacket(
            rowsOf(contracts::marcaPref2Fields(), {{dest, "0001", "A101", p1.tree, p1.name, p1.unit,
                                                    QStringLiteral("00004 - Vale"), type}}));
        list->first();
        const sup::data::TField* f = list->fieldByName(u"CDTIPPART");
        QCOMPARE(f->text(), text);
        QCOMPARE(s->cdsMarcaPref2CDTIPPARTGetText(*f), text);
        list->loadFromPacket(rowsOf(contracts::marcaPref2Fields(), {}));
        QCOMPARE(s->cdsMarcaPref2CDTIPPARTGetText(*list->fieldByName(u"CDTIPPART")), QString());
    }

    // The reservation check asks only for a reservation item whose quantity changed to more
    // than 0, with the item's whole destination field and the processing branch's central.
    void reservationCheckRunsOnlyWhenItApplies_data() {
        QTest::addColumn<QString>("reserves");
        QTest::addColumn<double>("qty");
        QTest::addColumn<bool>("asks");
        QTest::newRow("new quantity") << "S" << 15.5 << true;
        QTest::newRow("not a reservation item") << "N" << 15.5 << false;
        QTest::newRow("quantity 0") << "S" << 0.0 << false;
        QTest::newRow("quantity as loaded") << "S" << 10.0 << false;
    }
    void reservationCheckRunsOnlyWhenItApplies() {
        QFETCH(QString, reserves);
        QFETCH(double, qty);
        QFETCH(bool, asks);
        host->values().FiliProc = storeProc;
        load({itemRow(p1, p1.brands[0], 10, 1, {{"IDUTRESPEDEXOL", reserves}})}, "S");
        server->answer(QStringLiteral("GetVdReserva"), QVariantList{false, 0.0, 0.0, false});
        if (qty == 10.0)
            set("CDMARCA", p1.brands[1]);
        setQty(qty);
        QVERIFY(post());
        QCOMPARE(server->count(QStringLiteral("GetVdReserva")), asks ? 1 : 0);
        if (!asks)
            return;
        const sup::testkit::ServerCall call = server->last(QStringLiteral("GetVdReserva"));
        const QVariantList expected{dest + QStringLiteral(" - Loja Teste"),
                                    QStringLiteral("0001"),
                                    QStringLiteral("A101"),
                                    p1.code,
                                    p1.brands[0],
                                    QDate(2026, 3, 10),
                                    QDate(2026, 3, 8),
                                    QStringLiteral("0901"),
                                    centralProc,
                                    15.5};
        QCOMPARE(call.args.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(call.args[i].metaType(), expected[i].metaType());
            QCOMPARE(call.args[i], expected[i]);
        }
        QCOMPARE(host->busyShows(), 1); // the store takes any brand: no brand list is read
        QCOMPARE(host->busyLog.first().kind, int(aviRecebendo));
    }

    // What the reservation check tells is shown as an error and the post goes on; a server
    // fault refuses the post.
    void reservationCheckMessages_data() {
        QTest::addColumn<bool>("noRelation");
        QTest::addColumn<bool>("noStock");
        QTest::addColumn<QString>("key");
        QTest::newRow("no relationship")
            << true << false << "Erro_Relac"; // Produto sem relacionamento...
        QTest::newRow("no stock") << false << true << "Erro_Estoq";
        QTest::newRow("both: the stock") << true << true << "Erro_Estoq";
        QTest::newRow("neither") << false << false << "";
    }
    void reservationCheckMessages() {
        QFETCH(bool, noRelation);
        QFETCH(bool, noStock);
        QFETCH(QString, key);
        load({itemRow(p1, p1.brands[0], 10, 1, {{"IDUTRESPEDEXOL", "S"}})}, "S");
        server->answer(QStringLiteral("GetVdReserva"), QVariantList{noRelation, 3.0, 1.0, noStock});
        setQty(30);
        QVERIFY(post());
        QCOMPARE(items().state(), DataSetState::Browse);
        QCOMPARE(field("ALTERADO"), QStringLiteral("S"));
        QCOMPARE(errorKeys(*host), key.isEmpty() ? QStringList() : QStringList{key});
        if (!key.isEmpty())
            QCOMPARE(host->lastMessage().text,
                     key == u"Erro_Estoq"
                         ? QStringLiteral("Produto não disponível no estoque do OL.")
                         : QStringLiteral("Produto sem relacionamento do OL cadastrado e sem "
                                          "estoque do OL disponível."));
    }

    void reservationCheckFault() {
        load({itemRow(p1, p1.brands[0], 10, 1, {{"IDUTRESPEDEXOL", "S"}})}, "S");
        server->fail(QStringLiteral("GetVdReserva"), QStringLiteral("Estoque indisponível."));
        setQty(30);
        QVERIFY(!post());
        QCOMPARE(items().state(), DataSetState::Edit);
        QCOMPARE(host->lastMessage().text, QStringLiteral("Estoque indisponível."));
        QCOMPARE(field("ALTERADO"), QStringLiteral("N"));
    }

    // The OL stock warning of the save: seven values in order, a warning on shortage, never an
    // abandon; a server fault propagates.
    void stockWarning_data() {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<bool>("warns");
        QTest::newRow("short") << QVariant(false) << true;
        QTest::newRow("short, as text") << QVariant(QStringLiteral("N")) << true;
        QTest::newRow("enough") << QVariant(true) << false;
    }
    void stockWarning() {
        QFETCH(QVariant, answer);
        QFETCH(bool, warns);
        host->clearLog();
        server->answer(QStringLiteral("GetVd_Est_Disp"), answer);
        QVERIFY(Guarded([this] {
            s->Vd_Estoque_Disponivel(dest, QStringLiteral("0001"), QStringLiteral("0901"),
                                     p1.brands[0], p1.code, p1.tree, 7.25);
        }));
        const QVariantList expected{
            dest, QStringLiteral("0001"), QStringLiteral("0901"), p1.brands[0], p1.code, p1.tree,
            7.25};
        const QVariantList args = server->last(QStringLiteral("GetVd_Est_Disp")).args;
        QCOMPARE(args, expected);
        QCOMPARE(args.last().metaType(), QMetaType::fromType<double>());
        QCOMPARE(host->busyShows(), 1);
        QCOMPARE(host->busyLog.first().kind, int(aviRecebendo));
        QCOMPARE(host->messages.size(), warns ? 1 : 0);
        if (warns) {
            const LoggedMessage m = host->lastMessage();
            QCOMPARE(m.key, QStringLiteral("NAOHAESTOQUE"));
            QCOMPARE(m.text,
                     QStringLiteral("Existem itens que não possuem saldo disponível no estoque do "
                                    "OL."));
            QCOMPARE(m.type, mtWarning);
            QCOMPARE(m.buttons, TMsgDlgButtons(mbOK));
        }
    }

    void stockWarningFault() {
        server->fail(QStringLiteral("GetVd_Est_Disp"), QStringLiteral("OL fora do ar."));
        QVERIFY(!Guarded([this] {
            s->Vd_Estoque_Disponivel(dest, QStringLiteral("0001"), QStringLiteral("0901"),
                                     p1.brands[0], p1.code, p1.tree, 1);
        }));
        QCOMPARE(host->lastMessage().text, QStringLiteral("OL fora do ar."));
    }

    // The local queries of the rules, on both databases: a product with stock code, a brand,
    // the markings of products a store does not buy, and the central purchasing branch.
    void localQueries_data() { suptest::addDatabaseRows(); }
    void localQueries() {
        QFETCH(QString, db);
        suptest::SeededServer seeded(db, 300);
        sup::sql::Connection& c = *seeded.conn;
        TdmAltPedidosOL& dm = s->data();
        auto run = [&](TADOIBQuery* q, const QList<std::pair<const char*, QString>>& params) {
            q->setDatabase(c.database());
            q->Close();
            for (const auto& [name, value] : params)
                q->ParamByName(QString::fromLatin1(name)) = value;
            q->Open();
            return q;
        };
        const QString leaf =
            c.scalar(QStringLiteral("SELECT MIN(CDPRODUTO) FROM PRODUTO WHERE CDNVPRODUTO = '4'"))
                .toString();
        const QString node =
            c.scalar(QStringLiteral("SELECT MIN(CDPRODUTO) FROM PRODUTO WHERE CDNVPRODUTO = '3'"))
                .toString();
        TADOIBQuery* q = run(dm.qryVdProduto, {{"P_CDPRODUTO", leaf}});
        QCOMPARE(q->RecordCount(), 1);
        QCOMPARE(q->FieldByName(u"CDPRODUTO")->asString(), leaf);
        QCOMPARE(run(dm.qryVdProduto, {{"P_CDPRODUTO", node}})->RecordCount(), 0);

        q = run(dm.qryMarca, {{"P_CDMARCA", QStringLiteral("00001")}});
        QCOMPARE(q->RecordCount(), 1);
        QCOMPARE(q->FieldByName(u"NMMARCA")->asString(), QStringLiteral("Boa Safra"));

        const QString closed = c.scalar(QStringLiteral("SELECT MIN(N.CDFILIAL) FROM PRODNCMP N "
                                                       "JOIN PRODUTO P ON P.CDPRODUTO = "
                                                       "N.CDPRODUTO WHERE P.CDARVPROD = '04'"))
                                   .toString();
        auto blocked = [&](const QString& branch, const QString& likePattern) {
            const QString tree =
                c.scalar(QStringLiteral("SELECT MIN(CDARVPROD) FROM PRODUTO WHERE CDNVPRODUTO = "
                                        "'4' AND substr(CDARVPROD, 1, %2) = '%1'")
                             .arg(QString(likePattern).remove(u'%'))
                             .arg(likePattern.size() - 1))
                    .toString();
            return run(dm.qryVer_ProdNCmp, {{"P_CDFILDEST", branch}, {"P_CDPRODUTO", tree}})
                ->FieldByName(u"CONTA")
                ->asFloat();
        };
        QVERIFY(!closed.isEmpty());
        QCOMPARE(blocked(closed, QStringLiteral("0401%")), 1.0);
        QCOMPARE(blocked(closed, QStringLiteral("0403%")), 0.0); // bought again below the mark
        QCOMPARE(blocked(closed, QStringLiteral("01%")), 0.0);
        QCOMPARE(blocked(dest == closed ? QStringLiteral("0001") : dest, QStringLiteral("0401%")),
                 0.0);

        const QStringList store =
            c.scalar(QStringLiteral("SELECT CDFILIAL || '|' || CDFILCENTCMP FROM FILIAL WHERE "
                                    "CDFILCENTCMP IS NOT NULL AND CDFILCENTCMP <> CDFILIAL ORDER "
                                    "BY CDFILIAL"))
                .toString()
                .split(u'|');
        QCOMPARE(run(dm.qryFiliCent, {{"P_CDFILIAL", store[0]}})
                     ->FieldByName(u"CDFILCENTCMP")
                     ->asString(),
                 store[1]);
        QCOMPARE(run(dm.qryFiliCent, {{"P_CDFILIAL", QStringLiteral("0001")}})
                     ->FieldByName(u"CDFILCENTCMP")
                     ->asString(),
                 QStringLiteral("0001"));
        for (TADOIBQuery* each :
             {dm.qryVdProduto, dm.qryMarca, dm.qryVer_ProdNCmp, dm.qryFiliCent}) {
            each->Close();
            each->setDatabase(QSqlDatabase());
        }
    }

    // Real items of a store through the screen, checked by the reference server: a brand the
    // product is not bought in, a product no OL handles at a store that refuses such products,
    // and a quantity change that posts and marks the item.
    void rulesAgainstTheReferenceServer_data() { suptest::addDatabaseRows(); }
    void rulesAgainstTheReferenceServer() {
        QFETCH(QString, db);
        // This case talks to the reference server: the scripted one and its screen go.
        delete frmAltPedidosOL;
        frmAltPedidosOL = nullptr;
        server.reset();
        suptest::SeededServer seeded(db, 400);
        sup::sql::Connection& c = *seeded.conn;
        // The screen goes before its database, however the case ends.
        const auto drop = qScopeGuard([this] {
            delete frmAltPedidosOL;
            frmAltPedidosOL = nullptr;
            s = nullptr;
        });
        host->setDatabase(c.database());
        host->setVantrel(LoadSignOnValues(c.database(), sup::server::kDemoOperator));
        sup::server::useInProcess(seeded.server, sup::server::kDemoOperator);
        frmAltPedidosOL = CreateForm<TfrmAltPedidosOL>();
        s = frmAltPedidosOL;
        server = std::make_unique<ScriptedServer>(); // for cleanup's checks only

        const QString branch =
            c.scalar(QStringLiteral("SELECT MIN(F.CDFILIAL) FROM PARAMFILIAL F JOIN "
                                    "PARASUPRI S ON S.CDFILIAL = F.CDFILIAL WHERE "
                                    "S.IDBLQLANITSEMRELACOL = 'S' AND F.IDUTLMARPREFOL = "
                                    "'N' AND F.IDPROSEMMAR = 'N' AND NOT EXISTS (SELECT 1 "
                                    "FROM PRODNCMP N WHERE N.CDFILIAL = F.CDFILIAL) AND "
                                    "EXISTS (SELECT 1 FROM PEDIDOOLITEM I WHERE "
                                    "I.CDFILDEST = F.CDFILIAL AND I.IDSITUITEM = 'A')"))
                .toString();
        QVERIFY(!branch.isEmpty());
        contracts::ItemCriteria k;
        k.todasFiliais = QStringLiteral("N");
        k.filiais = u'_' + branch + u'_';
        k.todosOL = QStringLiteral("T");
        k.semDatasEmbarque = k.semDatasPedido = k.semDatasEntrega = QStringLiteral("T");
        k.todasRegioes = QStringLiteral("T");
        k.operador = sup::server::kDemoOperator;
        k.bloqueados = QStringLiteral("S");
        k.desbloqueados = QStringLiteral("N");
        k.semDatasBloqueio = k.semDatasDesbloqueio = QStringLiteral("T");
        k.pedidoExtra = QStringLiteral("T");
        k.reserva = QStringLiteral("1");
        k.lote = QStringLiteral("N");
        k.subgrupos = QStringLiteral("N");
        k.rotas = QStringLiteral("T");
        k.marcas = QStringLiteral("T");
        QVERIFY(Guarded([&] { s->data().loadItems(k); }));
        QVERIFY(items().recordCount() > 0);

        // An unblocked item outside the OL's purchase tree whose product an OL handles.
        QSqlQuery q = c.exec(
            QStringLiteral("SELECT I.NRPEDEXOL, I.CDPRODUTO, I.CDMARCA, I.QTPROGENPEOL FROM "
                           "PEDIDOOLITEM I WHERE I.CDFILDEST = ? AND I.IDSITUITEM = 'A' AND "
                           "I.IDITMPEDOLBLOQ = 'N' AND "
                           "NOT substr(I.CDARVPROD, 1, 4) = '0103' AND EXISTS (SELECT 1 FROM "
                           "PRODRELACOL R WHERE R.CDPRODUTO = I.CDPRODUTO) ORDER BY "
                           "I.CDRASTRITM"),
            {branch});
        QVERIFY(q.next());
        QVERIFY(items().locate(QStringLiteral("NRPEDEXOL;CDPRODUTO;CDMARCA"),
                               QVariantList{q.value(0), q.value(1), q.value(2)}));
        const double qty = q.value(3).toDouble();
        const QString brand = c.scalar(QStringLiteral("SELECT MIN(CDMARCA) FROM MARCA WHERE "
                                                      "CDMARCA NOT IN (SELECT CDMARCA FROM "
                                                      "PRODMARCA WHERE CDPRODUTO = ?)"),
                                       {q.value(1)})
                                  .toString();
        host->clearLog();

        focusOn("QTPROGENPEOL");
        set("CDMARCA", brand);
        QVERIFY(!post());
        QCOMPARE(errorKeys(*host), QStringList{"CDMARCA_N_EXISTE"});
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Marca não cadastrada para o produto informado."));
        QCOMPARE(focus(), QStringLiteral("CDMARCA"));
        items().cancel();

        host->clearLog();
        set("CDARVPROD", sup::server::kProductWithoutOlTree);
        set("CDMARCA", QStringLiteral("00001"));
        QVERIFY(!post());
        QCOMPARE(errorKeys(*host), QStringList{"Prod_Sem_Relac_OL"});
        QCOMPARE(host->lastMessage().text,
                 QStringLiteral("Produto sem relacionamento do OL cadastrado e sem estoque do OL "
                                "disponível."));
        QCOMPARE(focus(), QStringLiteral("CDARVPROD"));
        QCOMPARE(field("NMPRODUTO"), QStringLiteral("Xampu Anticaspa Importado 400ml"));
        items().cancel();

        // The store reserves stock: what the reservation check tells does not stop the post.
        host->clearLog();
        setQty(qty + 1);
        QVERIFY(post());
        for (const QString& key : errorKeys(*host))
            QVERIFY2(key == u"Erro_Estoq" || key == u"Erro_Relac", qPrintable(key));
        QCOMPARE(items().state(), DataSetState::Browse);
        QCOMPARE(field("ALTERADO"), QStringLiteral("S"));
        QVERIFY(s->lblContagem->text().endsWith(QStringLiteral(", 1 alterados")));
    }
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"

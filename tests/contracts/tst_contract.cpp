// The method contract: every method has its typed call, the typed calls and the server read the
// same table, and the test server refuses calls that break it.

#include "../server/ServerFixture.h"

#include "sup/contracts/MethodContract.h"
#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/ServerResult.h"
#include "sup/data/DataPacket.h"
#include "sup/testkit/ScriptedServer.h"

#include <QBitArray>
#include <QHash>
#include <QTest>

#include <functional>

using namespace sup;
using namespace sup::contracts;

namespace {

// Records what a typed call sends and writes a marker into every argument the caller passed by
// reference, as a server writing back would.
class Recorder final : public IAppServer {
public:
    QVariant call(const QString& method, QVariantList&) override {
        untyped << method;
        return {};
    }
    QVariant invoke(const MethodSpec& def, QVariantList& args, const QBitArray& byRef) override {
        last = &def;
        sent = args;
        mask = byRef;
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (!byRef.testBit(i))
                continue;
            switch (args[i].typeId()) {
            case QMetaType::QString:
                args[i] = QStringLiteral("volta%1").arg(i);
                break;
            case QMetaType::Double:
                args[i] = 1000.0 + double(i);
                break;
            case QMetaType::QVariantList:
                args[i] = QVariantList{i};
                break;
            default:
                break;
            }
        }
        return QStringLiteral("ok");
    }

    const MethodSpec* last = nullptr;
    QVariantList sent;
    QBitArray mask;
    QStringList untyped;
};

using Caller = std::function<QVariant(IAppServer&)>;

// One typed call of each method, with values of the right kinds. A method added to the contract
// without its typed call has no entry here and fails the walk below.
QHash<Method, Caller> typedCalls() {
    using M = Method;
    namespace c = calls;
    const QString t = QStringLiteral("x");
    static QString r;
    static double d = 1.5;
    static SelectedItems list;
    static ItemCriteria criteria;
    static calls::AltAtuItemArgs alt;
    const data::DataPacket packet;
    static data::DataPacket deltaRef;
    deltaRef = data::DataPacket::makeDelta({}, {}, {}, {});
    const QDate day(2026, 3, 10);
    return {
        {M::GetParametroOL,
         [=](IAppServer& s) {
             return c::GetParametroOL(s, t);
         }},
        {M::GetPesqProduto,
         [=](IAppServer& s) {
             return c::GetPesqProduto(s, t, t, byRef(r), t, t);
         }},
        {M::GetPesqMarca,
         [=](IAppServer& s) {
             return c::GetPesqMarca(s, t);
         }},
        {M::GetBloqIncluiProdCmpOL,
         [=](IAppServer& s) {
             return c::GetBloqIncluiProdCmpOL(s, t, t, t);
         }},
        {M::GetVd_Est_Disp,
         [=](IAppServer& s) {
             return c::GetVd_Est_Disp(s, r, r, r, r, r, r, d);
         }},
        {M::VerificaMarcaPref,
         [=](IAppServer& s) {
             return c::VerificaMarcaPref(s, r, t, t, r, r);
         }},
        {M::VerificaMarcaPref1,
         [=](IAppServer& s) {
             return c::VerificaMarcaPref1(s, r, t, t, r, r);
         }},
        {M::GetBloqProdSemRelacOL,
         [=](IAppServer& s) {
             return c::GetBloqProdSemRelacOL(s, t, t, t);
         }},
        {M::UpdItemPedidoOL,
         [=](IAppServer& s) {
             return c::UpdItemPedidoOL(s, deltaRef, t, t, t, true, t, t);
         }},
        {M::getParaSupri,
         [=](IAppServer& s) {
             return c::getParaSupri(s, t);
         }},
        {M::SetBloqItem,
         [=](IAppServer& s) {
             return c::SetBloqItem(s, packet, t);
         }},
        {M::GetVdReserva,
         [=](IAppServer& s) {
             return c::GetVdReserva(s, t, t, t, t, t, day, day, t, r, 2.0);
         }},
        {M::SetReserva,
         [=](IAppServer& s) {
             return c::SetReserva(s, packet);
         }},
        {M::GetItem,
         [=](IAppServer& s) {
             return c::GetItem(s, criteria);
         }},
        {M::GetAgruFili,
         [=](IAppServer& s) {
             return c::GetAgruFili(s);
         }},
        {M::GetFiliAgrupFili,
         [=](IAppServer& s) {
             return c::GetFiliAgrupFili(s, t, r, r, t);
         }},
        {M::GetProduto,
         [=](IAppServer& s) {
             return c::GetProduto(s, t);
         }},
        {M::GetLotePedOL,
         [=](IAppServer& s) {
             return c::GetLotePedOL(s);
         }},
        {M::GetFiltroSup,
         [=](IAppServer& s) {
             return c::GetFiltroSup(s);
         }},
        {M::SetFiltroSup,
         [=](IAppServer& s) {
             return c::SetFiltroSup(s, r);
         }},
        {M::GetProdutos,
         [=](IAppServer& s) {
             return c::GetProdutos(s, t, byRef(r), t);
         }},
        {M::Carrega_PeriFili,
         [=](IAppServer& s) {
             return c::Carrega_PeriFili(s, t, r, day);
         }},
        {M::GetAjusteUn,
         [=](IAppServer& s) {
             return c::GetAjusteUn(s, t);
         }},
        {M::GetVdMarcPref,
         [=](IAppServer& s) {
             return c::GetVdMarcPref(s, list, r, t, r);
         }},
        {M::AltAtuItem,
         [=](IAppServer& s) {
             return c::AltAtuItem(s, alt);
         }},
        {M::VisAltAtuItem,
         [=](IAppServer& s) {
             return c::VisAltAtuItem(s, alt);
         }},
        {M::GetVd_LotePedOL,
         [=](IAppServer& s) {
             return c::GetVd_LotePedOL(s, r);
         }},
        {M::SetCadLoteEnvPedOL,
         [=](IAppServer& s) {
             return c::SetCadLoteEnvPedOL(s, packet, t);
         }},
        {M::GetParaSupri,
         [=](IAppServer& s) {
             return c::GetParaSupri(s, t);
         }},
        {M::GetHistItem,
         [=](IAppServer& s) {
             return c::GetHistItem(s, 42);
         }},
    };
}

} // namespace

class TestContract : public QObject {
    Q_OBJECT

private slots:
    // Each method of the table is reached by its own typed call, whose arguments fit the table in
    // count, types and passing, and nothing goes by name alone.
    void everyMethodHasAFittingTypedCall() {
        const QHash<Method, Caller> all = typedCalls();
        QCOMPARE(all.size(), methodContract().size());
        for (const MethodSpec& def : methodContract()) {
            QVERIFY2(all.contains(def.id), qPrintable(def.name));
            Recorder rec;
            QCOMPARE(all[def.id](rec).toString(), QStringLiteral("ok"));
            QVERIFY2(rec.last == &def, qPrintable(def.name));
            QVERIFY(rec.untyped.isEmpty());
            QCOMPARE(checkArguments(def, rec.sent, &rec.mask), QString());
            QCOMPARE(&specOf(def.id), &def);
            QCOMPARE(findMethod(def.module, def.name), &def);
        }
    }

    // What the server writes back lands in the caller's variables, and only there.
    void byReferenceArgumentsComeBack() {
        Recorder rec;
        QString fil = QStringLiteral("0001"), lanc, ol, marca, prod, arv;
        double qt = 5;
        QCOMPARE(calls::GetVd_Est_Disp(rec, fil, lanc, ol, marca, prod, arv, qt).toString(),
                 QStringLiteral("ok"));
        QCOMPARE(rec.sent.first(), QVariant(QStringLiteral("0001")));
        QCOMPARE(fil, QStringLiteral("volta0"));
        QCOMPARE(arv, QStringLiteral("volta5"));
        QCOMPARE(qt, 1006.0);

        // Either passing: by value nothing comes back, through byRef() it does.
        QString code = QStringLiteral("01.01"), brand = QStringLiteral("M1");
        calls::GetPesqProduto(rec, QStringLiteral("0901"), {}, code, QStringLiteral("0"), brand);
        QCOMPARE(rec.mask, QBitArray(5));
        QCOMPARE(code, QStringLiteral("01.01"));
        calls::GetPesqProduto(rec, QStringLiteral("0901"), {}, byRef(code), QStringLiteral("1"),
                              byRef(brand));
        QCOMPARE(code, QStringLiteral("volta2"));
        QCOMPARE(brand, QStringLiteral("volta4"));

        // The item criteria: by-reference members rewritten, the others kept.
        ItemCriteria k;
        k.filiais = QStringLiteral("_0012_");
        k.operador = QStringLiteral("DEMO");
        k.bloqueioFimMaisUm = 46091.0;
        calls::GetItem(rec, k);
        QCOMPARE(rec.sent.size(), 34);
        QCOMPARE(rec.sent[7], QVariant(QStringLiteral("_0012_")));
        QCOMPARE(rec.sent[23], QVariant(46091.0));
        QCOMPARE(k.filiais, QStringLiteral("volta7"));
        QCOMPARE(k.operador, QStringLiteral("DEMO"));
        QCOMPARE(k.bloqueioFimMaisUm, 46091.0);
        QCOMPARE(ItemCriteria::fromArgs(rec.sent).filiais, QStringLiteral("_0012_"));
        QCOMPARE(ItemCriteria::fromArgs(rec.sent).bloqueioFimMaisUm, 46091.0);
    }

    // A call that breaks the table never reaches the server.
    void typedCallsCheckBeforeSending() {
        Recorder rec;
        data::DataPacket notADelta;
        const QVariant answer = calls::UpdItemPedidoOL(rec, notADelta, {}, {}, {}, true, {}, {});
        QCOMPARE(faultOf(answer).code, QStringLiteral("args"));
        QVERIFY(faultOf(answer).message.contains(u"delta de alterações"));
        QVERIFY(rec.last == nullptr);
    }

    // The server's dispatch reads the same table: every method known in its own module only,
    // written back where the table says, and refused with the table's reasons.
    void serverAndClientShareOneTable() {
        suptest::SeededServer s(QStringLiteral("sqlite"), 50);
        for (const MethodSpec& def : methodContract()) {
            QCOMPARE(server::ReferenceServer::byReferenceArguments(def.module, def.name),
                     def.byReferencePositions());
            QVariantList wrong{QVariant::fromValue(data::DataPacket()),
                               1,
                               2,
                               3,
                               4,
                               5,
                               6,
                               7,
                               8,
                               9,
                               10,
                               11,
                               12,
                               13,
                               14,
                               15,
                               16,
                               17,
                               18,
                               19,
                               20,
                               21,
                               22,
                               23,
                               24,
                               25,
                               26,
                               27,
                               28,
                               29,
                               30,
                               31,
                               32,
                               33,
                               34};
            const QVariant a = s.server->call(def.module, def.name, wrong, {});
            QVERIFY2(faultOf(a).code == u"args", qPrintable(def.name));
            QCOMPARE(faultOf(a).message, checkArguments(def, wrong));

            // Another module does not answer it (the two spellings of the supply parameters
            // are one name to a server that ignores letter case).
            for (const QString& module : knownModules()) {
                if (module == def.module || findMethod(module, def.name))
                    continue;
                QVariantList none;
                QCOMPARE(faultOf(s.server->call(module, def.name, none, {})).code,
                         QStringLiteral("method"));
            }
        }
        // What the server offers answers in the table's shape.
        QVariantList filial{QStringLiteral("0001")};
        const QVariant p = s.call(QStringLiteral("GetParametroOL"), filial);
        QCOMPARE(checkAnswer(specOf(Method::GetParametroOL), p), QString());
        QVERIFY(!checkAnswer(specOf(Method::GetItem), p).isEmpty());
        QVERIFY(!checkAnswer(specOf(Method::GetItem), QVariantList{p, p, p}).isEmpty());
        QCOMPARE(checkAnswer(specOf(Method::GetItem), QVariantList{p, p, p, p}), QString());
    }

    // The test server refuses what the real one would, and says why.
    void scriptedServerRefusesBreaches() {
        testkit::ScriptedServer server;
        server.setStrict(false);
        server.answer(QStringLiteral("GetVd_LotePedOL"), QVariant(true));
        server.answer(QStringLiteral("GetParametroOL"), QVariant(true));
        auto conn = server.connect(kModuleAltPedidosOL);

        // Wrong count, wrong type.
        QVariantList none;
        QCOMPARE(faultOf(conn->call(QStringLiteral("GetVd_LotePedOL"), none)).code,
                 QStringLiteral("args"));
        QVariantList number{42};
        QCOMPARE(faultOf(conn->call(QStringLiteral("GetParametroOL"), number)).code,
                 QStringLiteral("args"));
        // By value where the table says by reference, and the reverse.
        QVariantList lote{QStringLiteral("T")};
        QCOMPARE(faultOf(conn->invoke(specOf(Method::GetVd_LotePedOL), lote, QBitArray(1))).code,
                 QStringLiteral("args"));
        QCOMPARE(
            faultOf(conn->invoke(specOf(Method::GetParametroOL), lote, QBitArray(1, true))).code,
            QStringLiteral("args"));
        // A method of the other module, and one of no module.
        auto sup = server.connect(kModuleSuprimentos);
        QVERIFY(isFault(sup->call(QStringLiteral("GetVd_LotePedOL"), lote)));
        QVERIFY(isFault(conn->call(QStringLiteral("GetNada"), lote)));
        QCOMPARE(server.violations().size(), 6);
        QVERIFY(server.violations()[2].contains(u"por referência"));
        QCOMPARE(server.count(QStringLiteral("GetVd_LotePedOL")), 3);

        // The same calls through the typed functions pass, and are answered by the script.
        QString l = QStringLiteral("T");
        QVERIFY(calls::GetVd_LotePedOL(*conn, l).toBool());
        QVERIFY(calls::GetParametroOL(*conn, QStringLiteral("0001")).toBool());
        QCOMPARE(server.violations().size(), 6);
        QCOMPARE(server.last(QStringLiteral("GetVd_LotePedOL")).args, QVariantList{l});
    }
};

QTEST_MAIN(TestContract)
#include "tst_contract.moc"

#include "ServerFixture.h"

#include "sup/contracts/ServerResult.h"
#include "sup/data/DataPacket.h"
#include "sup/net/NetConnection.h"

#include <QTest>

using namespace sup;
using contracts::ServerFault;
using suptest::SeededServer;

namespace {

QString faultCode(const QVariant& v) {
    return contracts::faultOf(v).code;
}

data::DataPacket packetOf(const QVariant& v) {
    return v.value<data::DataPacket>();
}

} // namespace

class TestDispatch : public QObject {
    Q_OBJECT

private slots:
    void refusesBadCalls() {
        SeededServer s(QStringLiteral("sqlite"), 50);
        QVariant a = s.call(QStringLiteral("GetParametroOL"), {QStringLiteral("0001")},
                            QStringLiteral("Sup.Outro"));
        QCOMPARE(faultCode(a), QStringLiteral("module"));
        QVERIFY(contracts::faultOf(a).message.contains(u"Sup.Outro"));

        a = s.call(QStringLiteral("GetNada"), {});
        QCOMPARE(faultCode(a), QStringLiteral("method"));
        QVERIFY(contracts::faultOf(a).message.contains(u"GetNada"));

        a = s.call(QStringLiteral("GetParametroOL"), {});
        QCOMPARE(faultCode(a), QStringLiteral("args"));
        QCOMPARE(contracts::faultOf(a).message,
                 QStringLiteral("O método GetParametroOL espera 1 argumento(s), mas recebeu 0."));

        a = s.call(QStringLiteral("GetParametroOL"), {42});
        QCOMPARE(faultCode(a), QStringLiteral("args"));
        QVERIFY(contracts::faultOf(a).message.contains(u"texto no argumento 1"));

        // A delta is required where the table says so; a plain packet is not one.
        a = s.call(QStringLiteral("UpdItemPedidoOL"),
                   {QVariant::fromValue(data::DataPacket()), QStringLiteral("N"),
                    QStringLiteral("N"), QStringLiteral("DEMO"), true, QStringLiteral("a"),
                    QStringLiteral("b")});
        QCOMPARE(faultCode(a), QStringLiteral("args"));
        QVERIFY(contracts::faultOf(a).message.contains(u"delta de alterações"));

        // Date arguments take dates or day numbers; the 24th argument of GetItem is a double.
        QVariantList item(34, QString());
        for (int i : {0, 1, 2, 3, 4, 5, 22, 25})
            item[i] = QDate();
        item[23] = 1.0;
        item[26] = QStringLiteral("1");
        a = s.call(QStringLiteral("GetItem"), item);
        QCOMPARE(faultCode(a), QStringLiteral("args"));
        QVERIFY(contracts::faultOf(a).message.contains(u"argumento 27"));
    }

    void everyMethodIsRegisteredInItsModule() {
        SeededServer s(QStringLiteral("sqlite"), 50);
        const QStringList index = {
            "GetParametroOL",  "GetPesqProduto",    "GetPesqMarca",       "GetBloqIncluiProdCmpOL",
            "GetVd_Est_Disp",  "VerificaMarcaPref", "VerificaMarcaPref1", "GetBloqProdSemRelacOL",
            "UpdItemPedidoOL", "getParaSupri",      "SetBloqItem",        "GetVdReserva",
            "SetReserva",      "GetItem",           "GetAgruFili",        "GetFiliAgrupFili",
            "GetProduto",      "GetLotePedOL",      "GetFiltroSup",       "SetFiltroSup",
            "GetProdutos",     "Carrega_PeriFili",  "GetAjusteUn",        "GetVdMarcPref",
            "AltAtuItem",      "GetVd_LotePedOL",   "SetCadLoteEnvPedOL", "VisAltAtuItem",
            "GetHistItem"};
        auto known = [&](const QString& module, const QString& m) {
            QVariantList none;
            const QVariant a = s.server->call(module, m, none, {});
            // Registered: the call fails on its arguments (or runs), never as unknown.
            return faultCode(a) != u"method" && faultCode(a) != u"module";
        };
        for (const QString& m : index) {
            QVERIFY2(known(server::kModuleAltPedidosOL, m), qPrintable(m));
            // The supplies module serves its supply parameters only.
            if (m.compare(u"getParaSupri", Qt::CaseInsensitive) != 0)
                QVERIFY2(!known(server::kModuleSuprimentos, m), qPrintable(m));
        }
        QVERIFY(known(server::kModuleSuprimentos, QStringLiteral("GetParaSupri")));
        // A method without a handler yet says so clearly (GetFiltroSup takes no arguments, so
        // the argument check cannot answer first).
        const QVariant a = s.call(QStringLiteral("GetFiltroSup"), {});
        if (faultCode(a) == u"unavailable")
            QVERIFY(contracts::faultOf(a).message.contains(u"ainda não está disponível"));
    }

    void parameterMethods_data() { suptest::addDatabaseRows(); }
    void parameterMethods() {
        QFETCH(QString, db);
        SeededServer s(db, 50);
        data::DataPacket p =
            packetOf(s.call(QStringLiteral("GetParametroOL"), {QStringLiteral("0001")}));
        QCOMPARE(p.rowCount(), 1);
        QCOMPARE(p.fieldCount(), 3);
        QCOMPARE(p.value(0, u"IDUTLPRARVOLCMP").toString(), QStringLiteral("S"));
        QCOMPARE(p.value(0, u"CDGRUPPROD").toString(), QStringLiteral("01"));
        QCOMPARE(p.value(0, u"CDSUBGRARVOR").toString(), QStringLiteral("0103"));
        // A branch without OL parameters gives an empty packet with the fields.
        p = packetOf(s.call(QStringLiteral("GetParametroOL"), {QStringLiteral("0012")}));
        QCOMPARE(p.rowCount(), 0);
        QCOMPARE(p.fieldCount(), 3);
        QCOMPARE(faultCode(s.call(QStringLiteral("GetParametroOL"), {QStringLiteral("9999")})),
                 QStringLiteral("notfound"));

        // Both spellings, on both modules, answer the same supply parameters.
        const data::DataPacket a =
            packetOf(s.call(QStringLiteral("getParaSupri"), {QStringLiteral("0001")}));
        const data::DataPacket b = packetOf(s.call(
            QStringLiteral("GetParaSupri"), {QStringLiteral("0001")}, server::kModuleSuprimentos));
        QCOMPARE(a, b);
        QCOMPARE(a.rowCount(), 1);
        QCOMPARE(a.value(0, u"CDGRUPPROD").toString(), QStringLiteral("01"));
        QCOMPARE(a.value(0, u"IDBLOQIMPOL").toString(), QStringLiteral("S"));
        QCOMPARE(a.value(0, u"IDUTRESPEDEXOL").toString(), QStringLiteral("S"));
        QCOMPARE(a.value(0, u"IDUTILCONSSOLIOL").toString(), QStringLiteral("S"));
        // Codes are found whatever their letter case.
        QCOMPARE(packetOf(s.call(QStringLiteral("GetParaSupri"), {QStringLiteral(" 0002 ")}))
                     .value(0, u"CDGRUPPROD"),
                 QVariant(QStringLiteral("03")));
    }

    void netConnectionInProcess() {
        SeededServer s(QStringLiteral("sqlite"), 50);
        sup::net::TNetConnection net(nullptr, QStringLiteral("netAltPedidosOL"));
        net.setServerName(server::kModuleAltPedidosOL);
        int before = 0;
        net.BeforeConnect = [&](sup::net::TNetConnection& c) {
            ++before;
            c.setHost(QString());
            c.setPort(0);
        };
        contracts::setInProcessFactory({});
        QVERIFY(!net.connect());
        QVERIFY(!net.Connected());
        QVariantList args{QStringLiteral("0001")};
        QVariant answer = net.AppServer().call(QStringLiteral("GetParametroOL"), args);
        QCOMPARE(faultCode(answer), QStringLiteral("network"));
        QVERIFY(
            contracts::faultOf(answer).message.contains(u"O servidor local não foi configurado"));

        server::useInProcess(s.server, server::kDemoOperator);
        QVERIFY(net.connect());
        QCOMPARE(before, 2);
        QVERIFY(net.Connected());
        answer = net.AppServer().call(QStringLiteral("GetParametroOL"), args);
        const QVariant payload = contracts::CheckResultServ(answer, true, 0);
        QCOMPARE(packetOf(payload).rowCount(), 1);

        QVariantList bad{QStringLiteral("9999")};
        answer = net.AppServer().call(QStringLiteral("GetParametroOL"), bad);
        try {
            contracts::CheckResultServ(answer, true, 0);
            QFAIL("a server fault passed the check");
        } catch (const contracts::EServerError& e) {
            QCOMPARE(e.message(), QStringLiteral("Filial 9999 não cadastrada."));
            QCOMPARE(e.code(), QStringLiteral("notfound"));
        }
        QVERIFY(!contracts::CheckResultServ(answer, false, 0).isValid());
        // A packet where a single value is expected is a fault too.
        QVERIFY_THROWS_EXCEPTION(contracts::EServerError,
                                 contracts::CheckResultServ(payload, true, 1));
        QCOMPARE(contracts::CheckResultServ(QVariant(QStringLiteral("S")), true, 1),
                 QVariant(QStringLiteral("S")));
        QVERIFY(contracts::resultAsBoolean(QStringLiteral("s")));
        QVERIFY(!contracts::resultAsBoolean(QStringLiteral("N")));

        sup::net::TNetConnection sup(nullptr, QStringLiteral("netSuprimentos"));
        sup.setServerName(QStringLiteral("Sup.Desconhecido"));
        QVERIFY(!sup.connect());
        QVERIFY(sup.lastError().contains(u"Sup.Desconhecido"));
        net.disconnect();
        QVERIFY(!net.Connected());
        contracts::setInProcessFactory({});
    }
};

QTEST_GUILESS_MAIN(TestDispatch)
#include "tst_dispatch.moc"

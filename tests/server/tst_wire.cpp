#include "sup/contracts/RpcWire.h"
#include "sup/contracts/ServerResult.h"
#include "sup/data/DataPacket.h"

#include <QDateTime>
#include <QPoint>
#include <QTest>

#include <ctime>

using namespace sup;
using contracts::rpc::WireError;

namespace {

data::DataPacket samplePacket() {
    data::DataPacketBuilder b({data::FieldDef::text(QStringLiteral("CDFILIAL"), 4),
                               data::FieldDef::real(QStringLiteral("QT")),
                               data::FieldDef::dateTime(QStringLiteral("DT"))});
    b.appendRow({QStringLiteral("0001"), 1.5, QDateTime(QDate(2026, 3, 2), QTime(0, 0))});
    b.appendRow({QStringLiteral("açaí"), QVariant(), QVariant()});
    return b.finish();
}

} // namespace

class TestWire : public QObject {
    Q_OBJECT

private slots:
    // Wall-clock values must not depend on the machine's time zone rules.
    void initTestCase() {
        qputenv("TZ", "America/Sao_Paulo");
        tzset();
    }

    void valuesRoundTrip() {
        const data::DataPacket p = samplePacket();
        std::vector<data::Column> cur{p.column(0), p.column(1), p.column(2)}, old = cur;
        cur[1].setReal(0, 7);
        const data::DataPacket delta = data::DataPacket::makeDelta(
            p.fields(), cur, old, {data::RowKind::Modified, data::RowKind::Unmodified});
        const QVariantList args{QString(), QStringLiteral("texto ção"), 3, qlonglong(1) << 40, -5,
                                2.0, 0.1, true, false, QVariant(), QDate(2026, 3, 2), QDate(),
                                QDateTime(QDate(2026, 3, 2), QTime(13, 45, 10, 250), Qt::UTC),
                                // A midnight that daylight saving skipped in São Paulo.
                                QDateTime(QDate(2018, 11, 4), QTime(0, 0), Qt::UTC),
                                QVariant::fromValue(p), QVariant::fromValue(delta),
                                QVariantList{QVariantList{1, QStringLiteral("a")}, QVariantList{}},
                                QVariantMap{{QStringLiteral("k"), 1}}, QByteArray("\x00\x01", 2),
                                QVariant::fromValue(contracts::ServerFault{QStringLiteral("falhou"),
                                                                           QStringLiteral("x")})};
        const QVariantList back = contracts::rpc::decodeCall(contracts::rpc::encodeCall(args));
        QCOMPARE(back.size(), args.size());
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (args[i].metaType() == QMetaType::fromType<data::DataPacket>()) {
                const auto a = args[i].value<data::DataPacket>(),
                           b = back[i].value<data::DataPacket>();
                QCOMPARE(b, a);
                QCOMPARE(b.isDelta(), a.isDelta());
                QCOMPARE(b.deltaId(), a.deltaId());
                continue;
            }
            QVERIFY2(back[i] == args[i], qPrintable(QString::number(i)));
        }
        // Integers and doubles keep their kinds (a double 2.0 is not an integer).
        QCOMPARE(back[2].typeId(), int(QMetaType::Int));
        QCOMPARE(back[3].typeId(), int(QMetaType::LongLong));
        QCOMPARE(back[5].typeId(), int(QMetaType::Double));
        QCOMPARE(back[0].typeId(), int(QMetaType::QString));

        const contracts::rpc::Answer a = contracts::rpc::decodeAnswer(contracts::rpc::encodeAnswer(
            QVariant::fromValue(p), {{2, QStringLiteral("novo")}, {0, 1.5}}));
        QCOMPARE(a.result.value<data::DataPacket>(), p);
        QCOMPARE(a.refs.value(2), QVariant(QStringLiteral("novo")));
        QCOMPARE(a.refs.value(0), QVariant(1.5));
        const contracts::rpc::Answer f = contracts::rpc::decodeAnswer(contracts::rpc::encodeAnswer(
            QVariant::fromValue(contracts::ServerFault{QStringLiteral("Filial 9 não cadastrada."),
                                                       QStringLiteral("notfound")}),
            {{0, 1}}));
        QVERIFY(contracts::isFault(f.result));
        QCOMPARE(contracts::faultOf(f.result).message, QStringLiteral("Filial 9 não cadastrada."));
        QVERIFY(f.refs.isEmpty());

        QVERIFY_THROWS_EXCEPTION(WireError,
                                 contracts::rpc::encodeCall({QVariant::fromValue(QPoint(1, 2))}));
    }

    // A message is written into a buffer sized for its packets; texts beside them outgrow it
    // many times over, between and after the packets, and must come back whole.
    void messagesOutgrowingTheirBuffer() {
        const data::DataPacket p = samplePacket();
        QVariantList texts;
        for (int i = 0; i < 3000; ++i)
            texts << QStringLiteral("item %1 ").arg(i).repeated(12);
        const QVariantList result{QVariant::fromValue(p), texts, QVariant::fromValue(p),
                                  QStringLiteral("fim")};
        const contracts::rpc::Answer a =
            contracts::rpc::decodeAnswer(contracts::rpc::encodeAnswer(result, {}));
        const QVariantList back = a.result.toList();
        QCOMPARE(back.size(), 4);
        QCOMPARE(back[0].value<data::DataPacket>(), p);
        QCOMPARE(back[1].toList(), texts);
        QCOMPARE(back[2].value<data::DataPacket>(), p);
        QCOMPARE(back[3].toString(), QStringLiteral("fim"));
        QCOMPARE(contracts::rpc::decodeCall(contracts::rpc::encodeCall(texts)), texts);
    }

    void hostileBytesAreRefused() {
        const QByteArray good =
            contracts::rpc::encodeCall({QStringLiteral("0001"), QVariant::fromValue(samplePacket()),
                                        QDate(2026, 1, 2), QVariantList{1, 2.5}});
        QCOMPARE(contracts::rpc::decodeCall(good).size(), 4);
        // Every cut of a good message is refused, never crashes.
        for (qsizetype n = 0; n < good.size(); ++n) {
            bool refused = false;
            try {
                contracts::rpc::decodeCall(good.left(n));
            } catch (const WireError&) {
                refused = true;
            }
            QVERIFY2(
                refused,
                qPrintable(QStringLiteral("cut at %1 of %2 accepted").arg(n).arg(good.size())));
        }
        // Trailing bytes, other versions, wrong shapes.
        QVERIFY_THROWS_EXCEPTION(WireError, contracts::rpc::decodeCall(good + '\x00'));
        QVERIFY_THROWS_EXCEPTION(
            WireError, contracts::rpc::decodeCall(contracts::rpc::encodeValue(QVariantMap{
                           {QStringLiteral("v"), 2}, {QStringLiteral("args"), QVariantList{}}})));
        QVERIFY_THROWS_EXCEPTION(
            WireError, contracts::rpc::decodeCall(contracts::rpc::encodeValue(
                           QVariantMap{{QStringLiteral("v"), 1}, {QStringLiteral("args"), 5}})));
        QVERIFY_THROWS_EXCEPTION(
            WireError, contracts::rpc::decodeCall(contracts::rpc::encodeValue(QVariantList{})));
        // A map whose key is not a text, an unknown tag, a bad date.
        QVERIFY_THROWS_EXCEPTION(WireError,
                                 contracts::rpc::decodeValue(QByteArray("\xa1\x01\x02", 3)));
        QVERIFY_THROWS_EXCEPTION(WireError,
                                 contracts::rpc::decodeValue(QByteArray("\xd8\x64\x01", 3)));
        QVERIFY_THROWS_EXCEPTION(WireError,
                                 contracts::rpc::decodeValue(QByteArray("\xd9\x03\xec\x63"
                                                                        "abc",
                                                                        7)));
        // Deep nesting and huge declared sizes.
        QVERIFY_THROWS_EXCEPTION(WireError,
                                 contracts::rpc::decodeValue(QByteArray(200000, '\x81')));
        QVERIFY_THROWS_EXCEPTION(WireError, contracts::rpc::decodeValue(QByteArray(
                                                "\x9b\xff\xff\xff\xff\xff\xff\xff\xff", 9)));
        QVERIFY_THROWS_EXCEPTION(WireError, contracts::rpc::decodeValue(QByteArray(
                                                "\x7b\x00\x00\x00\x7f\xff\xff\xff\xff", 9)));
        // A packet tag around something that is not a packet.
        QVERIFY_THROWS_EXCEPTION(
            WireError, contracts::rpc::decodeValue(QByteArray("\xda\x53\x55\x00\x02\x01", 6)));
        // Many small values are bounded (by more than a share of the message's bytes).
        QByteArray many("\x9f", 1);
        many += QByteArray(2 * contracts::rpc::kMaxValues, '\x01');
        many += '\xff';
        QVERIFY_THROWS_EXCEPTION(WireError, contracts::rpc::decodeValue(many));
        // A large selection of items (15 values each, several bytes a value) is no flood.
        QVariantList codes;
        codes.reserve(contracts::rpc::kMaxValues + 100000);
        for (qsizetype i = 0; i < contracts::rpc::kMaxValues + 100000; ++i)
            codes.append(QStringLiteral("0012"));
        const QVariantList selection{QVariant(QVariantList{QVariant(codes)})};
        QCOMPARE(contracts::rpc::decodeCall(contracts::rpc::encodeCall(selection)), selection);
    }

    void signOnMessages() {
        const auto s = contracts::rpc::decodeSignOn(
            contracts::rpc::encodeSignOn({QStringLiteral("DEMO"), QStringLiteral("s3nh@")}));
        QCOMPARE(s.operatorCode, QStringLiteral("DEMO"));
        QCOMPARE(s.password, QStringLiteral("s3nh@"));
        QVERIFY_THROWS_EXCEPTION(
            WireError, contracts::rpc::decodeSignOn(contracts::rpc::encodeValue(QVariantMap{
                           {QStringLiteral("v"), 1}, {QStringLiteral("operator"), 5}})));
        const auto t = contracts::rpc::decodeSession(contracts::rpc::encodeSession(
            {QStringLiteral("abc"), 60, QStringLiteral("0001"), true}));
        QCOMPARE(t.token, QStringLiteral("abc"));
        QCOMPARE(t.expiresIn, 60);
        QVERIFY(t.branchBound);
    }
};

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"

// The sign-on slow-down: per operator and address, bounded without forgetting running waits.

#include "SignOnThrottle.h"

#include <QTest>

using sup::server::SignOnThrottle;

class TestThrottle : public QObject {
    Q_OBJECT

private slots:
    void operatorsAtOneAddressAreApart() {
        SignOnThrottle t(3);
        const QStringList loja = SignOnThrottle::keys(QStringLiteral("LOJA0012"), "10.0.0.9");
        const QStringList demo = SignOnThrottle::keys(QStringLiteral("DEMO"), "10.0.0.9");
        for (int i = 0; i < 3; ++i)
            t.failed(loja);
        QVERIFY(t.retryAfter(loja) > 0);
        QCOMPARE(t.retryAfter(demo), 0);
        // The same operator from another address is not held either.
        QCOMPARE(t.retryAfter(SignOnThrottle::keys(QStringLiteral("LOJA0012"), "10.0.0.8")), 0);
    }

    void anAddressTryingManyOperatorsIsSlowedDown() {
        SignOnThrottle t(3);
        for (int i = 0; i < 30; ++i)
            t.failed(SignOnThrottle::keys(QStringLiteral("OP%1").arg(i), "10.0.0.7"));
        QVERIFY(t.retryAfter(SignOnThrottle::keys(QStringLiteral("DEMO"), "10.0.0.7")) > 0);
        QCOMPARE(t.retryAfter(SignOnThrottle::keys(QStringLiteral("DEMO"), "10.0.0.6")), 0);
    }

    void boundedWithoutForgettingRunningWaits() {
        SignOnThrottle t(3, 20);
        const QStringList locked = SignOnThrottle::keys(QStringLiteral("LOJA0012"), "10.0.0.1");
        for (int i = 0; i < 3; ++i)
            t.failed(locked);
        for (int i = 0; i < 200; ++i)
            t.failed(SignOnThrottle::keys(QStringLiteral("OP%1").arg(i),
                                          QStringLiteral("10.1.%1.1").arg(i)));
        QVERIFY(t.size() <= 20);
        QVERIFY(t.retryAfter(locked) > 0);
        // A success clears the operator's own count only.
        t.succeeded(SignOnThrottle::keys(QStringLiteral("OP199"), QStringLiteral("10.1.199.1")));
        QVERIFY(t.retryAfter(locked) > 0);
    }
};

QTEST_GUILESS_MAIN(TestThrottle)
#include "tst_throttle.moc"

// The host shell's start: command line, the embedded default's first run, and sign-on.

#include "SignOnDialog.h"
#include "Startup.h"

#include "sup/server/Schema.h"
#include "sup/server/Seed.h"
#include "sup/sql/Database.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestShell : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString seededDatabase() {
        const QString url = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("seeded.db"));
        if (!QFileInfo::exists(dir.filePath(QStringLiteral("seeded.db")))) {
            auto conn = sup::sql::Connection::open(url);
            sup::server::installSchema(*conn);
            sup::server::SeedOptions o;
            o.items = 20;
            o.fastHash = true;
            sup::server::seedDatabase(*conn, o);
        }
        return url;
    }

private slots:
    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("none") << QStringList{} << QString();
        QTest::newRow("demo sign-on")
            << QStringList{"--operator", "DEMO", "--password", "x", "--routine", "sup07700"}
            << QString();
        QTest::newRow("three tier")
            << QStringList{"--server", "http://127.0.0.1:8080", "--db", "postgresql://u@h/db"}
            << QString();
        QTest::newRow("server without database")
            << QStringList{"--server", "http://127.0.0.1:8080"}
            << QStringLiteral("Com --server informe também --db, o banco das consultas locais.");
        QTest::newRow("server not http") << QStringList{"--server", "ftp://x", "--db", "sqlite:a"}
                                         << QStringLiteral("Endereço de servidor inválido: ftp://x "
                                                           "(use http://máquina:porta).");
        QTest::newRow("missing value")
            << QStringList{"--db"} << QStringLiteral("A opção --db precisa de um valor.");
        QTest::newRow("unknown option")
            << QStringList{"--nada"} << QStringLiteral("Opção desconhecida: --nada");
        QTest::newRow("unknown routine") << QStringList{"--routine", "SUP99999"}
                                         << QStringLiteral("Rotina desconhecida: SUP99999");
    }

    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        StartupOptions o;
        QCOMPARE(parseStartup(QStringList{"sup-host"} + args, o), error);
    }

    void embeddedDefaultIsCreatedOnceAndSeeded() {
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
        const QString url = defaultDatabaseUrl();
        QVERIFY(url.startsWith(QStringLiteral("sqlite:") + dir.path()));
        {
            Platform first{StartupOptions{}};
            QVERIFY(first.seededNow());
            QSqlQuery q(first.connection()->database());
            QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM OPERADOR")));
            QVERIFY(q.next());
            QVERIFY(q.value(0).toInt() >= 4);
        }
        {
            // The demo data of an earlier version: brought up to date on the next start.
            Platform second{StartupOptions{}};
            QVERIFY(!second.seededNow()); // the demo data are kept, not seeded again
            QSqlQuery q(second.connection()->database());
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE AUDITORIA DROP COLUMN DSMOTIVO")));
            QVERIFY(q.exec(QStringLiteral("DROP TABLE CHAMADAAPLICADA")));
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE LOTENVITOL DROP COLUMN DTFECHAMENTO")));
            QVERIFY(q.exec(QStringLiteral("UPDATE SCHEMAVERSAO SET NRVERSAO = 1")));
        }
        Platform third{StartupOptions{}};
        QSqlQuery q(third.connection()->database());
        QVERIFY(q.exec(QStringLiteral("SELECT DSMOTIVO FROM AUDITORIA")));
    }

    void aDatabaseWithoutTheSchemaIsRefused() {
        StartupOptions o;
        o.dbUrl = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("empty.db"));
        try {
            Platform p(o);
            QFAIL("opened a database without the schema");
        } catch (const std::exception& e) {
            QVERIFY(QString::fromUtf8(e.what()).contains(QStringLiteral("sup-seed")));
        }
    }

    void signOnChecksThePassword() {
        StartupOptions o;
        o.dbUrl = seededDatabase();
        Platform p(o);
        sup::host::TVantrel values;
        QCOMPARE(p.signOn(QStringLiteral("DEMO"), QStringLiteral("errada"), values),
                 QStringLiteral("Operador ou senha inválidos."));
        QCOMPARE(p.signOn(QStringLiteral("NINGUEM"), QStringLiteral("sup07700"), values),
                 QStringLiteral("Operador ou senha inválidos."));
        QVERIFY(values.Operador.isEmpty());
        QCOMPARE(p.signOn(QStringLiteral("demo"), QStringLiteral("sup07700"), values), QString());
        QCOMPARE(values.Operador, QStringLiteral("DEMO"));
        QCOMPARE(values.FiliProc, QStringLiteral("0001"));
        QVERIFY(!values.ModuFili);
        QVERIFY(!values.DBPict(sup::host::ptProduto).isEmpty());

        sup::host::TVantrel store;
        QCOMPARE(p.signOn(QStringLiteral("LOJA0012"), QStringLiteral("sup07700"), store),
                 QString());
        QVERIFY(store.ModuFili);
        QCOMPARE(store.FiliProc, QStringLiteral("0012"));
    }

    void signOnDialogStaysOpenOnAWrongPassword() {
        int checks = 0;
        SignOnDialog dialog([&](const QString& code, const QString& password) {
            ++checks;
            return code == u"DEMO" && password == u"certa"
                       ? QString()
                       : QStringLiteral("Operador ou senha inválidos.");
        });
        dialog.show();
        auto* ok = dialog.findChild<QPushButton*>();
        QVERIFY(ok);

        // No operator: asked for, the check does not run.
        QTest::keyClick(dialog.passwordEdit(), Qt::Key_Return);
        QCOMPARE(checks, 0);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.messageLabel()->text(), QStringLiteral("Informe o código do operador."));

        QTest::keyClicks(dialog.operatorEdit(), QStringLiteral("DEMO"));
        QTest::keyClicks(dialog.passwordEdit(), QStringLiteral("errada"));
        QTest::keyClick(dialog.passwordEdit(), Qt::Key_Return);
        QCOMPARE(checks, 1);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.messageLabel()->text(), QStringLiteral("Operador ou senha inválidos."));
        QVERIFY(dialog.passwordEdit()->text().isEmpty());

        QTest::keyClicks(dialog.passwordEdit(), QStringLiteral("certa"));
        QTest::keyClick(dialog.passwordEdit(), Qt::Key_Return);
        QCOMPARE(checks, 2);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"

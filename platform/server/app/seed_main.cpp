// sup-seed: creates the schema and a deterministic data set on an empty database.

#include "sup/server/Schema.h"
#include "sup/server/Seed.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sup-seed"));
    QTextStream out(stdout), err(stderr);

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Cria o esquema do servidor de aplicação e uma "
                                               "carga de dados de demonstração num banco vazio."));
    p.addHelpOption();
    p.addOption({QStringLiteral("db"),
                 QStringLiteral(
                     "Banco de dados: sqlite:ARQUIVO ou postgresql://usuario@maquina:porta/banco."),
                 QStringLiteral("url")});
    p.addOption({QStringLiteral("items"),
                 QStringLiteral("Número de itens de pedido (padrão 3000)."), QStringLiteral("n"),
                 QStringLiteral("3000")});
    p.addOption({QStringLiteral("seed"),
                 QStringLiteral("Semente: a mesma semente gera os mesmos dados (padrão 7700)."),
                 QStringLiteral("s"), QStringLiteral("7700")});
    p.addOption({QStringLiteral("base-date"),
                 QStringLiteral("Data de referência dos pedidos, AAAA-MM-DD (padrão 2026-03-02)."),
                 QStringLiteral("data"), QStringLiteral("2026-03-02")});
    p.addOption({QStringLiteral("password"),
                 QStringLiteral("Senha de todos os operadores (padrão sup07700)."),
                 QStringLiteral("senha"), QStringLiteral("sup07700")});
    p.process(app);

    if (!p.isSet(QStringLiteral("db"))) {
        err << "sup-seed: informe o banco com --db (veja --help).\n";
        return 2;
    }
    sup::server::SeedOptions o;
    bool ok = false;
    o.items = p.value(QStringLiteral("items")).toLongLong(&ok);
    if (!ok || o.items < 0) {
        err << "sup-seed: --items deve ser um número inteiro não negativo.\n";
        return 2;
    }
    o.seed = p.value(QStringLiteral("seed")).toULongLong(&ok);
    if (!ok) {
        err << "sup-seed: --seed deve ser um número inteiro.\n";
        return 2;
    }
    o.baseDate = QDate::fromString(p.value(QStringLiteral("base-date")), Qt::ISODate);
    if (!o.baseDate.isValid()) {
        err << "sup-seed: --base-date deve ser uma data AAAA-MM-DD.\n";
        return 2;
    }
    o.password = p.value(QStringLiteral("password"));
    if (o.password.size() < 6) {
        err << "sup-seed: a senha deve ter ao menos 6 caracteres.\n";
        return 2;
    }
    try {
        QElapsedTimer t;
        t.start();
        auto conn = sup::sql::Connection::open(p.value(QStringLiteral("db")));
        sup::server::installSchema(*conn);
        sup::server::seedDatabase(*conn, o);
        out << "sup-seed: " << o.items << " itens gravados em " << conn->url().toString() << " ("
            << t.elapsed() << " ms).\n"
            << "Operador de demonstração: " << sup::server::kDemoOperator
            << ", senha: " << o.password << "\n";
        return 0;
    } catch (const std::exception& e) {
        err << "sup-seed: " << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
}

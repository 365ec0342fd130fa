// sup-appserver: the reference application server over HTTP.

#include "sup/data/Memory.h"
#include "sup/server/HttpServer.h"
#include "sup/server/Schema.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QTextStream>

#include <csignal>
#include <iostream>
#include <mutex>
#include <pthread.h>

int main(int argc, char** argv) {
    sup::data::tuneAllocator();
    // SIGINT and SIGTERM are taken by sigwait below; every thread started later inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sup-appserver"));
    QTextStream err(stderr);

    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Servidor de aplicação de referência (HTTP + CBOR)."));
    p.addHelpOption();
    p.addOption({QStringLiteral("db"),
                 QStringLiteral(
                     "Banco de dados: sqlite:ARQUIVO ou postgresql://usuario@maquina:porta/banco."),
                 QStringLiteral("url")});
    p.addOption({QStringLiteral("listen"),
                 QStringLiteral("Endereço e porta, por exemplo 127.0.0.1:8077."),
                 QStringLiteral("maquina:porta"), QStringLiteral("127.0.0.1:8077")});
    p.addOption({QStringLiteral("threads"),
                 QStringLiteral("Threads de atendimento, cada uma com sua conexão (padrão 4)."),
                 QStringLiteral("n"), QStringLiteral("4")});
    p.addOption({QStringLiteral("max-connections"),
                 QStringLiteral("Conexões simultâneas aceitas (padrão 64)."), QStringLiteral("n"),
                 QStringLiteral("64")});
    p.addOption({QStringLiteral("session-hours"),
                 QStringLiteral("Validade das sessões em horas (padrão 12)."), QStringLiteral("h"),
                 QStringLiteral("12")});
    p.addOption({QStringLiteral("quiet"), QStringLiteral("Não registra cada chamada.")});
    p.process(app);

    if (!p.isSet(QStringLiteral("db"))) {
        err << "sup-appserver: informe o banco com --db (veja --help).\n";
        return 2;
    }
    const QString listen = p.value(QStringLiteral("listen"));
    const qsizetype colon = listen.lastIndexOf(u':');
    bool portOk = false;
    const int port = colon > 0 ? listen.mid(colon + 1).toInt(&portOk) : 0;
    if (colon <= 0 || !portOk || port <= 0 || port > 65535) {
        err << "sup-appserver: --listen deve ter a forma maquina:porta.\n";
        return 2;
    }
    sup::server::HttpServerOptions o;
    o.databaseUrl = p.value(QStringLiteral("db"));
    o.host = listen.left(colon);
    o.port = port;
    o.threads = qBound(1, p.value(QStringLiteral("threads")).toInt(), 64);
    o.maxConnections = qBound(1, p.value(QStringLiteral("max-connections")).toInt(), 1024);
    o.tokenLifetimeSecs =
        qBound(1, p.value(QStringLiteral("session-hours")).toInt(), 24 * 30) * 3600;
    if (!p.isSet(QStringLiteral("quiet"))) {
        static std::mutex logMutex;
        o.log = [](const QString& line) {
            std::lock_guard<std::mutex> l(logMutex);
            std::cerr << QDateTime::currentDateTime().toString(Qt::ISODate).toStdString() << ' '
                      << line.toStdString() << std::endl;
        };
    }

    // Open the database once here, to report a wrong address or schema before serving.
    try {
        if (sup::sql::DatabaseUrl::parse(o.databaseUrl).isMemory()) {
            err << "sup-appserver: um banco em memória não pode ser compartilhado pelas threads do "
                   "servidor; use "
                   "um arquivo (sqlite:ARQUIVO) ou PostgreSQL.\n";
            return 2;
        }
        auto conn = sup::sql::Connection::open(o.databaseUrl);
        sup::server::installSchema(*conn);
        if (conn->scalar(QStringLiteral("SELECT COUNT(*) FROM OPERADOR")).toInt() == 0)
            err << "sup-appserver: aviso: o banco não tem operadores; carregue dados com "
                   "sup-seed.\n";
    } catch (const std::exception& e) {
        err << "sup-appserver: " << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }

    sup::server::HttpServer server(o);
    QString error;
    if (!server.start(&error)) {
        err << "sup-appserver: " << error << "\n";
        return 1;
    }
    err << "sup-appserver: atendendo em http://" << o.host << ':' << server.port() << " (banco "
        << sup::sql::DatabaseUrl::parse(o.databaseUrl).toString() << ")\n";
    err.flush();
    int sig = 0;
    sigwait(&stopSignals, &sig);
    err << "sup-appserver: encerrando.\n";
    err.flush();
    server.stop();
    return 0;
}

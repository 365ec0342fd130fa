#include "Startup.h"

#include "sup/contracts/ServerResult.h"
#include "sup/host/SignOn.h"
#include "sup/net/NetConnection.h"
#include "sup/server/ReferenceServer.h"
#include "sup/server/Schema.h"
#include "sup/server/Seed.h"
#include "sup/sql/Database.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <stdexcept>

QString parseStartup(const QStringList& arguments, StartupOptions& options) {
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        auto value = [&](QString& target) -> bool {
            if (i + 1 >= arguments.size()) {
                return false;
            }
            target = arguments[++i];
            return true;
        };
        bool ok = true;
        if (a == u"--db") {
            ok = value(options.dbUrl);
        } else if (a == u"--server") {
            ok = value(options.serverUrl);
        } else if (a == u"--operator") {
            ok = value(options.operatorCode);
        } else if (a == u"--password") {
            ok = value(options.password);
        } else if (a == u"--routine") {
            ok = value(options.routine);
        } else {
            return QStringLiteral("Opção desconhecida: %1").arg(a);
        }
        if (!ok) {
            return QStringLiteral("A opção %1 precisa de um valor.").arg(a);
        }
    }
    if (!options.routine.isEmpty() &&
        options.routine.compare(u"SUP07700", Qt::CaseInsensitive) != 0) {
        return QStringLiteral("Rotina desconhecida: %1").arg(options.routine);
    }
    if (!options.serverUrl.isEmpty()) {
        const QUrl u(options.serverUrl);
        if (!u.isValid() || (u.scheme() != u"http" && u.scheme() != u"https")) {
            return QStringLiteral("Endereço de servidor inválido: %1 (use http://máquina:porta).")
                .arg(options.serverUrl);
        }
        if (options.dbUrl.isEmpty()) {
            return QStringLiteral(
                "Com --server informe também --db, o banco das consultas locais.");
        }
    }
    return {};
}

QString defaultDatabaseUrl() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(dir);
    return QStringLiteral("sqlite:") + QDir(dir).filePath(QStringLiteral("sup07700-demo.db"));
}

Platform::Platform(const StartupOptions& options)
    : options_(options) {
    const bool embedded = options_.dbUrl.isEmpty();
    if (embedded) {
        options_.dbUrl = defaultDatabaseUrl();
    }
    conn_ = sup::sql::Connection::open(options_.dbUrl);
    if (embedded && !sup::server::schemaInstalled(*conn_)) {
        // First run of the embedded default: the demo data set.
        sup::server::installSchema(*conn_);
        sup::server::SeedOptions seed;
        seed.items = 3000;
        sup::server::seedDatabase(*conn_, seed);
        seededNow_ = true;
    }
    if (!sup::server::schemaInstalled(*conn_)) {
        throw std::runtime_error(
            QStringLiteral("O banco %1 não tem o esquema do sistema (crie-o com sup-seed).")
                .arg(options_.dbUrl)
                .toStdString());
    }
    // A database of an earlier version is brought up to date, its data kept.
    sup::server::installSchema(*conn_);
    if (options_.serverUrl.isEmpty()) {
        server_ = std::make_shared<sup::server::ReferenceServer>(conn_);
    }
}

Platform::~Platform() {
    if (!options_.serverUrl.isEmpty()) {
        sup::net::signOff(QUrl(options_.serverUrl));
    }
}

QString Platform::signOn(const QString& operatorCode, const QString& password,
                         sup::host::TVantrel& values) {
    const QString wrong = QStringLiteral("Operador ou senha inválidos.");
    try {
        const auto op = sup::host::FindOperator(conn_->database(), operatorCode);
        if (!op || !sup::host::VerifyPassword(op->passwordHash, password)) {
            return wrong;
        }
        if (!options_.serverUrl.isEmpty()) {
            const QVariant fault = sup::net::signOn(QUrl(options_.serverUrl), op->code, password);
            if (fault.isValid()) {
                return sup::contracts::faultOf(fault).message;
            }
            values = sup::host::LoadSignOnValues(conn_->database(), op->code, options_.serverUrl);
        } else {
            values = sup::host::LoadSignOnValues(conn_->database(), op->code);
            sup::server::useInProcess(server_, values.Operador);
        }
        return {};
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

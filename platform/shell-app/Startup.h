#pragma once

#include "sup/contracts/host/Vantrel.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace sup::sql {
class Connection;
}
namespace sup::server {
class ReferenceServer;
}

// How the host shell runs: which database the local queries read, which application server
// the routine calls, and who signs on.
struct StartupOptions {
    QString dbUrl;     // empty: the demo database in the user's data folder
    QString serverUrl; // empty: the reference server in-process over dbUrl
    QString operatorCode;
    QString password;
    QString routine; // opened right after sign-on ("SUP07700")
    bool signOnGiven() const { return !operatorCode.isEmpty(); }
};

// Reads the command line: --db URL, --server URL, --operator CODE, --password TEXT,
// --routine SUP07700.
// Returns an error text (Portuguese) for a bad command line, empty when it is fine.
QString parseStartup(const QStringList& arguments, StartupOptions& options);

// The demo database of the embedded default: sqlite:<user data folder>/sup07700-demo.db.
QString defaultDatabaseUrl();

// The running platform: the local database and, in-process, the reference server over it.
class Platform {
public:
    // Opens the database; for the embedded default creates and seeds it on first use.
    // Throws std::exception with a Portuguese message.
    explicit Platform(const StartupOptions& options);
    ~Platform();

    // Checks the operator's password (against the local database, and against the application
    // server when one is used) and fills the values of the signed-on user. Returns an error text,
    // empty on success.
    QString signOn(const QString& operatorCode, const QString& password,
                   sup::host::TVantrel& values);

    std::shared_ptr<sup::sql::Connection> connection() const { return conn_; }
    bool seededNow() const { return seededNow_; }
    const StartupOptions& options() const { return options_; }

private:
    StartupOptions options_;
    std::shared_ptr<sup::sql::Connection> conn_;
    std::shared_ptr<sup::server::ReferenceServer> server_;
    bool seededNow_ = false;
};

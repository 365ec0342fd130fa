// sup-host: the host shell. With no arguments it runs the embedded default (the demo database
// in the user's data folder, created and seeded on first use, and the reference server
// in-process); --db and --server select a three-tier setup; --operator and --password sign on
// without the dialog.
#include "MainWindow.h"
#include "SignOnDialog.h"
#include "Startup.h"

#include "sup/contracts/host/Host.h"
#include "sup/data/Memory.h"
#include "sup/host/DesktopHost.h"
#include "sup/sql/Database.h"
#include "sup/widgetkit/Glyphs.h"

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    sup::data::tuneAllocator();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Sup"));
    QApplication::setApplicationName(QStringLiteral("sup-host"));
    QApplication::setWindowIcon(sup::host::ApplicationIcon());
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));

    StartupOptions options;
    const QString usage = parseStartup(QApplication::arguments(), options);
    if (!usage.isEmpty()) {
        std::fprintf(stderr, "sup-host: %s\n", qPrintable(usage));
        std::fprintf(stderr, "uso: sup-host [--db URL] [--server http://HOST:PORTA] "
                             "[--operator CODIGO --password SENHA] [--routine SUP07700]\n");
        return 2;
    }

    std::unique_ptr<Platform> platform;
    try {
        platform = std::make_unique<Platform>(options);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Erro"), QString::fromUtf8(e.what()));
        return 1;
    }

    MainWindow window;
    sup::host::DesktopHost host(&window, platform->connection()->database(), {});
    sup::host::HostScope scope(&host);

    sup::host::TVantrel values;
    if (options.signOnGiven()) {
        const QString error = platform->signOn(options.operatorCode, options.password, values);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "sup-host: %s\n", qPrintable(error));
            QMessageBox::critical(nullptr, QStringLiteral("Identificação do Operador"), error);
            return 1;
        }
    } else {
        SignOnDialog dialog([&](const QString& code, const QString& password) {
            return platform->signOn(code, password, values);
        });
        if (dialog.exec() != QDialog::Accepted) {
            return 0;
        }
    }
    host.setVantrel(values);
    // Who is signed on, and which application server the routine talks to.
    const QString server = options.serverUrl.isEmpty()
                               ? QStringLiteral("embutido")
                               : QUrl(options.serverUrl).toString(QUrl::RemoveUserInfo);
    window.setSignedOn(QStringLiteral("Operador: %1   Filial: %2   Servidor: %3")
                           .arg(values.Operador, values.FiliProc, server));
    window.show();
    if (!options.routine.isEmpty()) {
        QTimer::singleShot(0, &window, [&window] { window.openSup07700(); });
    }
    return app.exec();
}

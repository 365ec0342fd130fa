#include "sup/contracts/host/Host.h"

#include <stdexcept>

namespace sup::host {

Host* Host::current_ = nullptr;

Host& Host::instance() {
    if (!current_)
        throw std::logic_error("sup::host::Host::instance(): no host was set");
    return *current_;
}

Host* Host::setInstance(Host* host) {
    Host* previous = current_;
    current_ = host;
    return previous;
}

void Host::showHelp(const QString& screenCode, int helpContext) {
    QString text = QStringLiteral("Não há ajuda instalada para esta tela");
    if (!screenCode.isEmpty())
        text +=
            QStringLiteral(" (%1").arg(screenCode) +
            (helpContext ? QStringLiteral(", tópico %1)").arg(helpContext) : QStringLiteral(")"));
    text += QLatin1Char('.');
    showMessage(text, mtInformation, mbOK);
}

const TVantrel& Vantrel() {
    return Host::instance().vantrel();
}

} // namespace sup::host

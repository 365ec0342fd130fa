#include "sup/widgetkit/Busy.h"

#include "sup/contracts/host/Host.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace sup::host {

namespace {

struct Shown {
    QPointer<QWidget> owner;
    int kind = 0;
    QString text;
};

std::vector<Shown>& stack() {
    static std::vector<Shown> s;
    return s;
}

void showTop() {
    const Shown& top = stack().back();
    Host::instance().busyShow(top.owner, top.kind, top.text);
}

} // namespace

QString AviDefaultText(int kind) {
    switch (kind) {
    case aviConectando:
        return QStringLiteral("Conectando ao servidor...");
    case aviGravando:
        return QStringLiteral("Gravando dados no servidor...");
    case aviExcluindo:
        return QStringLiteral("Excluindo dados no servidor...");
    case aviProcessando:
        return QStringLiteral("Processando...");
    case aviImprimindo:
        return QStringLiteral("Preparando impressão...");
    case aviPesquisando:
        return QStringLiteral("Pesquisando...");
    case aviRecebendo:
        return QStringLiteral("Recebendo dados do servidor...");
    default:
        return QStringLiteral("Aguarde...");
    }
}

void ActiveShowAvi(QWidget* owner, int kind, const QString& text) {
    Host& host = Host::instance();
    const QString shown = text.trimmed().isEmpty() ? AviDefaultText(kind) : text;
    stack().push_back({owner ? owner : host.mainWindow(), kind, shown});
    showTop();
}

void DeactiveShowAvi() {
    auto& s = stack();
    if (s.empty())
        return;
    s.pop_back();
    Host* host = Host::current();
    if (!host)
        return;
    if (s.empty())
        host->busyHide();
    else
        showTop();
}

int BusyDepth() {
    return int(stack().size());
}

void RestoreBusyDepth(int depth) {
    auto& s = stack();
    if (int(s.size()) <= depth)
        return;
    while (int(s.size()) > depth + 1)
        s.pop_back();
    DeactiveShowAvi();
}

TBusyGuard::TBusyGuard(QWidget* owner, int kind, const QString& text) {
    ActiveShowAvi(owner, kind, text);
}

TBusyGuard::~TBusyGuard() {
    hide();
}

void TBusyGuard::hide() {
    if (!shown_)
        return;
    shown_ = false;
    DeactiveShowAvi();
}

THourGlass::THourGlass() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
THourGlass::~THourGlass() {
    QApplication::restoreOverrideCursor();
}

} // namespace sup::host

#pragma once

#include <QString>

class QWidget;

namespace sup::host {

// Kinds of the busy indicator.
enum TAviKind : int {
    aviConectando = 0,  // "Conectando ao servidor..."
    aviGravando = 1,    // "Gravando dados no servidor..."
    aviExcluindo = 2,   // "Excluindo dados no servidor..."
    aviProcessando = 3, // "Processando..."
    aviImprimindo = 4,  // "Preparando impressão..."
    aviPesquisando = 5, // "Pesquisando..."
    aviRecebendo = 6,   // "Recebendo dados do servidor..."
};

// The default text of a kind.
QString AviDefaultText(int kind);

// Shows the busy indicator over `owner` (the main window when null) with the kind's animation
// and `text` (the kind's default text when blank). It is painted before this returns, so a
// synchronous call that follows blocks with the indicator on screen.
//
// Indicators stack: a second ActiveShowAvi while one is shown replaces it on screen, and its
// DeactiveShowAvi brings the first back; the last DeactiveShowAvi hides it. A DeactiveShowAvi
// without a shown indicator does nothing. The guard (Guard.h) hides what a failing handler left
// shown.
void ActiveShowAvi(QWidget* owner, int kind, const QString& text = {});
void DeactiveShowAvi();

// Number of indicators shown (the depth of the stack).
int BusyDepth();
// Hides indicators until only `depth` remain.
void RestoreBusyDepth(int depth);

// Shows the indicator for its lifetime: hidden on scope exit, on success and failure alike.
class TBusyGuard {
public:
    TBusyGuard(QWidget* owner, int kind, const QString& text = {});
    ~TBusyGuard();
    void hide(); // hides now (once)
    TBusyGuard(const TBusyGuard&) = delete;
    TBusyGuard& operator=(const TBusyGuard&) = delete;

private:
    bool shown_ = true;
};

// The hour-glass cursor for its lifetime.
class THourGlass {
public:
    THourGlass();
    ~THourGlass();
    THourGlass(const THourGlass&) = delete;
    THourGlass& operator=(const THourGlass&) = delete;
};

} // namespace sup::host

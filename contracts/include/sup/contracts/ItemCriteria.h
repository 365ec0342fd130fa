#pragma once

#include <QDate>
#include <QString>
#include <QVariantList>

namespace sup::contracts {

// The criteria of GetItem, one member per argument, in the order of the arguments. Flags are
// texts as the filter sends them ("T", "S", "N", " " or empty); key lists travel unparsed.
struct ItemCriteria {
    QDate pedidoIni;                 // 1  order date range (null: empty)
    QDate pedidoFim;                 // 2
    QDate entregaIni;                // 3  delivery date range
    QDate entregaFim;                // 4
    QDate embarqueIni;               // 5  shipping date range
    QDate embarqueFim;               // 6
    QString todasFiliais;            // 7  "T": every destination branch
    QString filiais;                 // 8  key list of destination branches
    QString todosOL;                 // 9  "T": every logistics operator
    QString ol;                      // 10 key list of logistics operators
    QString agrupamento;             // 11 branch grouping
    QString produtoIni;              // 12 product tree code range
    QString produtoFim;              // 13 (padded with "Z" to the code width)
    QString semDatasEmbarque;        // 14 "T": the shipping date pair is empty
    QString semDatasPedido;          // 15 "T": the order date pair is empty
    QString semDatasEntrega;         // 16 "T": the delivery date pair is empty
    QString regioes;                 // 17 key list of regions
    QString todasRegioes;            // 18 "T": every region
    QString operador;                // 19 operator
    QString bloqueados;              // 20 "S": blocked items
    QString desbloqueados;           // 21 "N": unblocked items
    QString semDatasBloqueio;        // 22 "T": no blocking date window
    QDate bloqueioIni;               // 23 blocking date window
    double bloqueioFimMaisUm = 1;    // 24 day number of the last blocking day plus one
    QString semDatasDesbloqueio;     // 25 "T": no unblocking date window
    QDate desbloqueioIni;            // 26 unblocking date window
    double desbloqueioFimMaisUm = 1; // 27 day number of the last unblocking day plus one
    QString pedidoExtra;             // 28 "S", "N", "T" or empty
    QString reserva;                 // 29 "1" both, "2" reserved, "3" not reserved, or empty
    QString lote;                    // 30 "T" without batch, "N" any, else a key list of batches
    QString subgrupos;               // 31 "N" any, else a key list of sub-groups
    QString grupoProduto;            // 32 product group of the sub-groups
    QString rotas;                   // 33 "T" any, else a key list of routes
    QString marcas;                  // 34 "T" any, else a key list of brands

    // Calls f(member, byReference) for each argument, in order. The one list both sides read:
    // the typed call builds the arguments from it, the server reads them back through it.
    template <class Self, class F> static void visit(Self& c, F&& f) {
        f(c.pedidoIni, false);
        f(c.pedidoFim, false);
        f(c.entregaIni, false);
        f(c.entregaFim, false);
        f(c.embarqueIni, false);
        f(c.embarqueFim, false);
        f(c.todasFiliais, true);
        f(c.filiais, true);
        f(c.todosOL, true);
        f(c.ol, true);
        f(c.agrupamento, false);
        f(c.produtoIni, true);
        f(c.produtoFim, true);
        f(c.semDatasEmbarque, true);
        f(c.semDatasPedido, true);
        f(c.semDatasEntrega, true);
        f(c.regioes, true);
        f(c.todasRegioes, true);
        f(c.operador, false);
        f(c.bloqueados, true);
        f(c.desbloqueados, true);
        f(c.semDatasBloqueio, true);
        f(c.bloqueioIni, false);
        f(c.bloqueioFimMaisUm, false);
        f(c.semDatasDesbloqueio, true);
        f(c.desbloqueioIni, false);
        f(c.desbloqueioFimMaisUm, false);
        f(c.pedidoExtra, true);
        f(c.reserva, true);
        f(c.lote, true);
        f(c.subgrupos, true);
        f(c.grupoProduto, true);
        f(c.rotas, true);
        f(c.marcas, true);
    }

    // The criteria of a GetItem call's arguments (the server's side; the arguments were checked
    // against the contract first).
    static ItemCriteria fromArgs(const QVariantList& args);
};

} // namespace sup::contracts

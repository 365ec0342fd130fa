// Parameter methods: OL parameters of a branch and supply parameters.

#include "Methods.h"
#include "SqlValues.h"

#include "sup/contracts/record/OrderItem.h"

namespace sup::server {

namespace {

void requireBranch(const sql::Connection& conn, const QString& branch) {
    if (branch.trimmed().isEmpty())
        throw MethodFault(QStringLiteral("A filial deve ser informada."), QStringLiteral("args"));
    if (!conn.scalar(QStringLiteral("SELECT 1 FROM FILIAL WHERE CDFILIAL = ?"), {branch.trimmed()})
             .isValid())
        throw MethodFault(QStringLiteral("Filial %1 não cadastrada.").arg(branch.trimmed()),
                          QStringLiteral("notfound"));
}

} // namespace

// GetParametroOL(branch): the OL parameters of the (central purchasing) branch, one row
// (IDUTLPRARVOLCMP, CDGRUPPROD, CDSUBGRARVOR); no row when the branch has none.
QVariant GetParametroOL(MethodContext& ctx, QVariantList& args) {
    const QString branch = args[0].toString().trimmed();
    requireBranch(ctx.conn, branch);
    return QVariant::fromValue(selectPacket(
        ctx.conn, contracts::parametroOLFields(),
        QStringLiteral(
            "SELECT IDUTLPRARVOLCMP, CDGRUPPROD, CDSUBGRARVOR FROM PARAMOL WHERE CDFILIAL = ?"),
        {branch}));
}

// GetParaSupri / getParaSupri(branch): the supply parameters of the branch, one row
// (IDUTRESPEDEXOL, CDGRUPPROD, IDUTILCONSSOLIOL, IDBLOQIMPOL); no row when it has none.
QVariant GetParaSupri(MethodContext& ctx, QVariantList& args) {
    const QString branch = args[0].toString().trimmed();
    requireBranch(ctx.conn, branch);
    return QVariant::fromValue(
        selectPacket(ctx.conn, contracts::paraSupriEDFields(),
                     QStringLiteral("SELECT IDUTRESPEDEXOL, CDGRUPPROD, IDUTILCONSSOLIOL,"
                                    " IDBLOQIMPOL FROM PARASUPRI WHERE CDFILIAL = ?"),
                     {branch}));
}

} // namespace sup::server

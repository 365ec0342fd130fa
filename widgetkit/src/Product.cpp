#include "sup/widgetkit/Product.h"

#include "sup/contracts/host/Host.h"
#include "sup/data/DataSource.h"
#include "sup/widgetkit/EditMask.h"
#include "sup/widgetkit/Messages.h"

#include <QSqlError>
#include <QSqlQuery>

namespace sup::host {

namespace {

struct ProductRow {
    bool found = false;
    QString treeCode, name, code, unit;
};

ProductRow lookUp(const QString& treeCode) {
    QSqlQuery q(Host::instance().database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT CDARVPROD, NMPRODUTO, CDPRODUTO, SGUNIDADE FROM PRODUTO "
                                  "WHERE CDARVPROD = ?")))
        throw EHostError(QStringLiteral("Erro ao consultar o produto %1: %2")
                             .arg(treeCode, q.lastError().text()));
    q.addBindValue(treeCode);
    if (!q.exec())
        throw EHostError(QStringLiteral("Erro ao consultar o produto %1: %2")
                             .arg(treeCode, q.lastError().text()));
    ProductRow row;
    if (q.next()) {
        row.found = true;
        row.treeCode = q.value(0).toString().trimmed();
        row.name = q.value(1).toString();
        row.code = q.value(2).toString().trimmed();
        row.unit = q.value(3).toString().trimmed();
    }
    return row;
}

TEditMask pictureOf(int pictureType) {
    if (pictureType != ptProduto)
        throw EHostError(QStringLiteral("Tipo de máscara %1 desconhecido.").arg(pictureType));
    return TEditMask(Host::instance().vantrel().DBPict(pictureType));
}

bool inSource(sup::data::TDataSource* source, const QString& stored) {
    if (!source || !source->dataSet())
        return false;
    sup::data::TWorkingSet* set = source->dataSet();
    if (!set->active() || !set->findField(QStringLiteral("CDARVPROD")))
        return false;
    sup::data::LocateOptions options;
    options.caseInsensitive = true;
    return set->locate(QStringLiteral("CDARVPROD"), stored, options);
}

} // namespace

QVariantList Dados_Produto(const QString& treeCode) {
    QVariantList out{QString(), QString(), QString(), QString()};
    if (treeCode.trimmed().isEmpty())
        return out;
    const TEditMask::Fit fit = pictureOf(ptProduto).fit(treeCode);
    if (!fit.fits)
        return out;
    const ProductRow row = lookUp(fit.stored);
    if (row.found)
        out = {row.treeCode, row.name, row.code, row.unit};
    return out;
}

bool ValidEx(sup::data::TDataSource* source, int pictureType, QString& code,
             TValidExOptions options, const QString& label, bool raiseError) {
    if (code.trimmed().isEmpty())
        return true;
    const QString what = label.trimmed().isEmpty() ? QStringLiteral("Produto") : label.trimmed();
    const TEditMask mask = pictureOf(pictureType);
    const TEditMask::Fit fit = mask.fit(code);
    auto fail = [&](const QString& message) {
        if (raiseError)
            throw EHostError(message);
        return false;
    };
    if (!fit.fits)
        return fail(QStringLiteral("Código %1 inválido. Informe o %2 no formato %3.")
                        .arg(code.trimmed(), what.toLower(), mask.pictureText()));
    code = fit.stored;
    if (options.has(voCadastroLivre))
        return true;
    if (inSource(source, fit.stored) || lookUp(fit.stored).found)
        return true;
    return fail(QStringLiteral("%1 %2 não cadastrado.").arg(what, fit.display));
}

} // namespace sup::host

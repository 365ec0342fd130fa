// VisAltAtuItem: what the automatic alteration would make of the selected items, with
// AltAtuItem's arguments and nothing kept.
//
// The run is AltAtuItem's own (runAlteration, MethodsAutoApply.cpp), every statement of it, in a
// savepoint that is always rolled back: no item, reservation, purchase request or audit row is
// left of it, whatever happens. What differs is the refusal policy: a refused item does not fail
// the call; its refusal and reason are kept and the run goes on without it, so that one preview
// shows every item the alteration would refuse (each for the first reason met, in the order the
// alteration checks them). What refuses the call as a whole (its arguments, the operator's
// branches, the replacement product or brand) fails the preview as it fails the alteration.
//
// Answer: one row per selected item in their order (contracts::visAltAtuItemFields()): the item
// as loaded, what it becomes, whether it is altered and why not, and whether the OL's free stock
// of its new product and brand falls short (the alteration goes on and warns about it).

#include "AutoApply.h"

#include "sup/contracts/record/AutoPreview.h"
#include "sup/data/DataPacket.h"

namespace sup::server {

namespace {

namespace refusal = contracts::refusal;

data::DataPacket previewRows(const AlterationRun& run) {
    data::DataPacketBuilder b(contracts::visAltAtuItemFields());
    b.reserve(run.items.size());
    const NewProduct& p = run.product;
    for (qsizetype i = 0; i < run.items.size(); ++i) {
        const SelectedItem& k = run.selected[i];
        const AlteredItem& s = run.items[i];
        const QString tree = k.tree.isEmpty() ? s.tree : k.tree;
        const QString name = k.name.isEmpty() ? s.name : k.name;
        QString refused = s.refusal;
        QString reason = s.reason;
        if (!s.alter && refused.isEmpty()) {
            refused = refusal::kUnchanged;
            reason = QStringLiteral("Nada muda no item com os valores informados.");
        } else if (s.alter && s.shortOfStock) {
            reason = QStringLiteral("O estoque livre do OL não cobre a quantidade do item "
                                    "neste produto e marca.");
        }
        const bool product = s.planned && s.newProduct;
        b.appendRow({s.found ? QVariant(s.id) : QVariant(k.id), k.dest, k.lanc, k.order, tree, name,
                     k.brand, k.qty, k.date, product ? p.tree : tree, product ? p.name : name,
                     product ? p.brand : k.brand, s.planned ? s.qtyAfter : k.qty,
                     s.planned ? s.dateAfter : k.date,
                     s.alter ? QStringLiteral("S") : QStringLiteral("N"), refused,
                     s.shortOfStock ? QStringLiteral("S") : QStringLiteral("N"), reason});
    }
    return b.finish();
}

} // namespace

QVariant VisAltAtuItem(MethodContext& ctx, QVariantList& a) {
    sql::Connection& conn = ctx.conn;
    // The call's transaction reads; on SQLite it takes the write lock before reading anything,
    // so that the run's writes wait for other writers instead of failing on an old snapshot.
    if (conn.dialect() == sql::Dialect::SQLite)
        conn.exec(QStringLiteral("DELETE FROM CHAMADAAPLICADA WHERE 1 = 0"));
    KeepRefusals policy;
    sql::Transaction scratch(conn);
    const AlterationRun run = runAlteration(ctx, a, policy);
    const data::DataPacket rows = previewRows(run);
    scratch.rollback();
    return QVariant::fromValue(rows);
}

} // namespace sup::server

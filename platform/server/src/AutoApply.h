#pragma once

// What the automatic alteration's methods share: the selected items as the launcher gathers
// them, the replacement product with its brand, the particularities of the destination branches
// that the product in that brand breaks and the checks that no two items end equal
// (MethodsAutoApplyCheck.cpp); what AltAtuItem makes of each item and the follow-ups of its
// writes (MethodsAutoApplyFollow.cpp); the one run of the alteration that AltAtuItem and its
// preview VisAltAtuItem share (MethodsAutoApply.cpp), told apart by what a refused item does.

#include "ItemKeys.h"
#include "Methods.h"

#include "sup/contracts/record/AutoPreview.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace sup::server {

// One selected item: its key and what the launcher read of it when the items were loaded.
struct SelectedItem : ItemKey {
    QString op;     // the operator who gathered it
    QString ol;     // CDFILIOPELOG
    QString tree;   // CDARVPROD
    QString name;   // NMPRODUTO
    double qty = 0; // QTPROGENPEOL
    qint64 id = 0;  // CDRASTRITM
};

// The selected-items array (contracts::SelectedItems, typed columns or nested lists): 15
// attributes (operator, destination, launching branch, order, product, delivery date, brand,
// factor, stock product, tree code, quantity, product name, OL, import sequence, item id), one
// value per item each. Anything else refuses the call ("args").
QList<SelectedItem> readSelectedItems(const MethodContext& ctx, const QVariant& array);

// The operator a call acts for: the signed-on one, else `fallback`; refused when neither is
// known.
QString callOperator(const MethodContext& ctx, const QString& fallback);

// The replacement product, bought (it has a stock product) and active, in a brand it is bought in
// or the OL holds stock of; a blank brand takes the one the OL serves (chooseBrand). Refuses an
// unknown product or brand.
struct NewProduct {
    QString code, tree, name, unit, stock, brand, brandName;
    QVariant factor;
    QVariant unitWeight; // of its stock product, as the product lookups serve it
};
NewProduct replacementProduct(const MethodContext& ctx, const QString& code, const QString& brand,
                              const QString& ol);

// The particularity a product in a brand breaks at a destination branch: its type and what it
// names (brands as "code - name", or the preferential products' tree codes for type "0").
struct Breach {
    QString type, names;
};
// By upper-case branch code, the branches among `branches` that check brand preferences
// (IDUTLMARPREFOL) and whose particularities on the product's path the product in the brand
// breaks: the brand rules first (BrandCheck), then the preferential products. One statement.
QHash<QString, Breach> particularityBreaches(const sql::Connection& conn,
                                             const QList<SelectedItem>& items,
                                             const QString& product, const QString& brand);

// A selected item as stored, and what the alteration makes of it.
struct AlteredItem {
    bool found = false;
    qint64 id = 0;
    ItemKey stored;
    QString tree, situation, blocked, adjustment, ol, name, ship, emission;
    double qty = 0, reserved = 0;
    double originalQty = 0;              // of the product the order first named
    QVariant originFactor, originWeight; // of that product

    bool alter = false;
    bool newProduct = false; // product or brand change
    bool newQty = false, newDate = false;
    bool planned = false; // qtyAfter, dateAfter and shipAfter are worked out
    double qtyAfter = 0;
    QString dateAfter, shipAfter;

    // Why the item is not altered (contracts::refusal; empty while it is) and the message.
    QString refusal, reason;
    // Altered beyond what the OL's free stock of its product and brand covers.
    bool shortOfStock = false;
};

// What a refused item does to the run of the alteration. AltAtuItem fails the call with the first
// refusal (the items changed by another user: all of them at once), nothing written; its preview
// keeps each item's refusal and reason, leaves the item out of what follows and goes on.
class RefusalPolicy {
public:
    virtual ~RefusalPolicy() = default;
    // Item `s` refused with the call's fault `message` ("code"): returns when the run goes on
    // without it.
    void refuse(AlteredItem& s, const QString& kind, const QString& message, const char* code);
    // Every item changed since it was loaded is known (each already refused as a conflict).
    virtual void conflictsFound(const ItemConflicts& conflicts) = 0;

protected:
    virtual void refused(const QString& message, const char* code) = 0;
};

// AltAtuItem's: the call fails.
class FailTheCall final : public RefusalPolicy {
public:
    void conflictsFound(const ItemConflicts& conflicts) override;

protected:
    [[noreturn]] void refused(const QString& message, const char* code) override;
};

// VisAltAtuItem's: the refusal is kept with the item.
class KeepRefusals final : public RefusalPolicy {
public:
    void conflictsFound(const ItemConflicts&) override {}

protected:
    void refused(const QString&, const char*) override {}
};

// The automatic alteration run on the arguments of AltAtuItem, written in the caller's
// transaction, under `policy`: the items as selected and what became of each.
struct AlterationRun {
    QList<SelectedItem> selected;
    QList<AlteredItem> items;
    NewProduct product; // when the product changes
    int altered = 0, left = 0;
    bool noOrder = false, shortStock = false;
};
AlterationRun runAlteration(MethodContext& ctx, const QVariantList& a, RefusalPolicy& policy);

// An altered item's key afterwards.
ItemKey keyAfter(const SelectedItem& k, const AlteredItem& s, const NewProduct& p);
// No two altered items may end equal ("business"): the later of two is refused.
void refuseEqualAfter(const QList<SelectedItem>& selected, QList<AlteredItem>& items,
                      const NewProduct& p, RefusalPolicy& policy);
// Refuses the altered items that would end equal to a stored one, once the table's key refused
// the items' UPDATE ("business"); fails the call when it cannot name one.
void refuseEqualToStored(const sql::Connection& conn, const QList<SelectedItem>& selected,
                         QList<AlteredItem>& items, const NewProduct& p, RefusalPolicy& policy);

// The open purchase requests of the altered items follow them, each change added to `audit`.
// True when open requests of the items' branches, products and dates (as loaded) have no OL
// order item behind them.
bool followRequests(const sql::Connection& conn, const NewProduct& p,
                    const QList<SelectedItem>& selected, const QList<AlteredItem>& items,
                    QList<AuditEntry>& audit);

// The altered items (their positions) that need more of a product and brand at their OL than
// they hold, where the OL's free stock does not cover what the altered items need of it beyond
// what they hold.
QList<qsizetype> shortOfStock(const sql::Connection& conn, const NewProduct& p,
                              const QList<SelectedItem>& selected, const QList<AlteredItem>& items);

} // namespace sup::server

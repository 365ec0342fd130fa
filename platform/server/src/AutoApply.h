#pragma once

// What the automatic alteration's methods share: the selected items as the launcher gathers
// them, the replacement product with its brand, the particularities of the destination branches
// that the product in that brand breaks and the checks that no two items end equal
// (MethodsAutoApplyCheck.cpp); what AltAtuItem makes of each item and the follow-ups of its
// writes (MethodsAutoApplyFollow.cpp).

#include "ItemKeys.h"
#include "Methods.h"

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
    double qtyAfter = 0;
    QString dateAfter, shipAfter;
};

// An altered item's key afterwards.
ItemKey keyAfter(const SelectedItem& k, const AlteredItem& s, const NewProduct& p);
// No two altered items may end equal ("business").
void refuseEqualAfter(const QList<SelectedItem>& selected, const QList<AlteredItem>& items,
                      const NewProduct& p);
// Names the altered item that would end equal to a stored one, once the table's key refused the
// items' UPDATE ("business").
[[noreturn]] void refuseEqualToStored(const sql::Connection& conn,
                                      const QList<SelectedItem>& selected,
                                      const QList<AlteredItem>& items, const NewProduct& p);

// The open purchase requests of the altered items follow them, each change added to `audit`.
// True when open requests of the items' branches, products and dates (as loaded) have no OL
// order item behind them.
bool followRequests(const sql::Connection& conn, const NewProduct& p,
                    const QList<SelectedItem>& selected, const QList<AlteredItem>& items,
                    QList<AuditEntry>& audit);

// True when the OL's free stock of a product and brand does not cover what the altered items
// need of it beyond what they hold.
bool shortOfStock(const sql::Connection& conn, const NewProduct& p,
                  const QList<SelectedItem>& selected, const QList<AlteredItem>& items);

} // namespace sup::server

// After a round: what the database holds against what the users were told. Every write of the
// round leaves audit rows; per item, the saves, block flag turns and automatic alterations the
// users were told succeeded must each be there once, in an unbroken chain of old and new values
// from the value before the round to the stored one. A call whose answer was lost with the
// connection may be there once or not at all; nothing may be there twice.

#include "Load.h"

#include <QSet>
#include <QSqlQuery>

#include <cmath>
#include <set>

using namespace sup;

namespace loadbench {

namespace {

struct AuditRow {
    QString method, field, oldValue, newValue, delta;
};

bool same(double a, double b) {
    return std::fabs(a - b) < 1e-6;
}

double numberOf(const QString& v, bool* ok) {
    return v.trimmed().toDouble(ok);
}

class Checker {
public:
    explicit Checker(Reconciliation& r)
        : r_(r) {}
    void mismatch(const QString& what) {
        ++r_.mismatches;
        if (r_.lines.size() < 12)
            r_.lines << what;
    }

private:
    Reconciliation& r_;
};

const QString kSave = QStringLiteral("UpdItemPedidoOL");
const QString kBlock = QStringLiteral("SetBloqItem");
const QString kAlter = QStringLiteral("AltAtuItem");

} // namespace

Marks marks(sql::Connection& conn) {
    Marks m;
    m.audit = conn.scalar(QStringLiteral("SELECT COALESCE(MAX(NRSEQAUDIT), 0) FROM AUDITORIA"))
                  .toLongLong();
    QSqlQuery q = conn.exec(
        QStringLiteral("SELECT NMMETODO, COUNT(*) FROM CHAMADAAPLICADA GROUP BY NMMETODO"));
    while (q.next())
        m.calls[q.value(0).toString()] = q.value(1).toLongLong();
    return m;
}

Reconciliation reconcile(sql::Connection& conn, const std::map<qint64, ItemState>& before,
                         const Marks& from, const Record& told, const Database& db) {
    Reconciliation r;
    Checker check(r);

    // Which pool each item is in.
    std::map<qint64, Kind> poolOf;
    for (const Group& g : db.groups())
        for (auto [pool, kind] : {std::pair{&g.save, Kind::Save}, std::pair{&g.block, Kind::Block},
                                  std::pair{&g.alter, Kind::Alter}}) {
            for (qint64 id : pool->shared)
                poolOf[id] = kind;
            for (const auto& s : pool->perSlot)
                for (qint64 id : s)
                    poolOf[id] = kind;
        }
    QHash<QString, qint64> idOfKey;
    for (const auto& [id, s] : before)
        if (!s.auditKey.isEmpty())
            idOfKey.insert(s.auditKey, id);
    if (idOfKey.size() != qsizetype(before.size()))
        check.mismatch(QStringLiteral("%1 of %2 items have no audit key")
                           .arg(qsizetype(before.size()) - idOfKey.size())
                           .arg(before.size()));

    // The round's audit rows of the items, in the order they were written.
    std::map<qint64, std::vector<AuditRow>> trail;
    QSqlQuery q =
        conn.exec(QStringLiteral("SELECT NMMETODO, NMTABELA, DSCHAVE, NMCAMPO, DSVALORANT,"
                                 " DSVALORNOVO, IDDELTA FROM AUDITORIA"
                                 " WHERE NRSEQAUDIT > ? ORDER BY NRSEQAUDIT"),
                  {from.audit});
    while (q.next()) {
        ++r.auditRows;
        const QString method = q.value(0).toString();
        if (q.value(1).toString().compare(u"PEDIDOOLITEM", Qt::CaseInsensitive) != 0)
            continue;
        const QString key = q.value(2).toString().trimmed().toUpper();
        const auto it = idOfKey.constFind(key);
        if (it == idOfKey.cend()) {
            check.mismatch(QStringLiteral("%1 wrote an audit row for an item no user touched: %2")
                               .arg(method, key));
            continue;
        }
        trail[*it].push_back({method, q.value(3).toString().trimmed().toUpper(),
                              q.value(4).toString(), q.value(5).toString(), q.value(6).toString()});
    }

    // The items now.
    std::map<qint64, std::pair<double, QString>> now;
    {
        QStringList ids;
        for (const auto& [id, s] : before)
            ids << QString::number(id);
        QSqlQuery n = conn.exec(QStringLiteral("SELECT CDRASTRITM, QTPROGENPEOL, IDITMPEDOLBLOQ"
                                               " FROM PEDIDOOLITEM WHERE CDRASTRITM IN (%1)")
                                    .arg(ids.join(u',')));
        while (n.next())
            now[n.value(0).toLongLong()] = {n.value(1).toDouble(),
                                            n.value(2).toString().trimmed().toUpper()};
    }

    // The quantities the round's alterations set, whichever item they reached.
    std::set<double> alterations;
    for (const auto& [id, rows] : trail)
        for (const AuditRow& a : rows)
            if (a.method == kAlter && a.field == u"QTPROGENPEOL")
                alterations.insert(a.newValue.trimmed().toDouble());
    for (const auto& [value, message] : told.lostAlterations)
        if (alterations.count(value))
            r.lostAppliedMessages << message;

    const auto count = [](const std::map<qint64, int>& m, qint64 id) {
        const auto it = m.find(id);
        return it == m.end() ? 0 : it->second;
    };

    for (const auto& [id, was] : before) {
        ++r.checkedItems;
        const Kind kind = poolOf.at(id);
        const auto stored = now.find(id);
        if (stored == now.end()) {
            check.mismatch(QStringLiteral("item %1 is gone").arg(id));
            continue;
        }
        const std::vector<AuditRow>& rows = trail[id];
        const QString method = kind == Kind::Save ? kSave : kind == Kind::Block ? kBlock : kAlter;
        const QString field =
            kind == Kind::Block ? QStringLiteral("IDITMPEDOLBLOQ") : QStringLiteral("QTPROGENPEOL");
        std::vector<const AuditRow*> writes;
        for (const AuditRow& a : rows) {
            if (a.method != method) {
                check.mismatch(QStringLiteral("item %1: %2 wrote to it; only %3 was sent")
                                   .arg(id)
                                   .arg(a.method, method));
                continue;
            }
            if (a.field == field)
                writes.push_back(&a);
        }
        const int applied = int(writes.size());

        // The chain of values from the one before the round to the stored one.
        if (kind == Kind::Block) {
            QString flag = was.blocked;
            for (const AuditRow* a : writes) {
                if (a->oldValue.trimmed().toUpper() != flag ||
                    a->newValue.trimmed().toUpper() == flag)
                    check.mismatch(QStringLiteral("item %1: block flag %2 -> %3 written over %4")
                                       .arg(id)
                                       .arg(a->oldValue, a->newValue, flag));
                flag = a->newValue.trimmed().toUpper();
            }
            if (stored->second.second != flag)
                check.mismatch(QStringLiteral("item %1: block flag %2 stored, %3 audited")
                                   .arg(id)
                                   .arg(stored->second.second, flag));
        } else {
            double qty = was.qty;
            for (const AuditRow* a : writes) {
                bool okOld = false, okNew = false;
                const double o = numberOf(a->oldValue, &okOld), n = numberOf(a->newValue, &okNew);
                if (!okOld || !okNew || !same(o, qty))
                    check.mismatch(QStringLiteral("item %1: quantity %2 -> %3 written over %4 (a"
                                                  " lost update)")
                                       .arg(id)
                                       .arg(a->oldValue, a->newValue)
                                       .arg(qty));
                qty = n;
            }
            if (!same(stored->second.first, qty))
                check.mismatch(QStringLiteral("item %1: quantity %2 stored, %3 audited")
                                   .arg(id)
                                   .arg(stored->second.first)
                                   .arg(qty));
        }

        // Each call told as applied there once; a call with its answer lost at most once.
        if (kind == Kind::Alter) {
            std::multiset<double> audited;
            for (const AuditRow* a : writes)
                audited.insert(a->newValue.trimmed().toDouble());
            const auto toldOk = told.altered.find(id);
            const auto toldUnknown = told.alteredUnknown.find(id);
            std::multiset<double> expected, maybe;
            if (toldOk != told.altered.end())
                expected.insert(toldOk->second.begin(), toldOk->second.end());
            if (toldUnknown != told.alteredUnknown.end())
                maybe.insert(toldUnknown->second.begin(), toldUnknown->second.end());
            for (double v : audited)
                if (audited.count(v) > 1)
                    check.mismatch(QStringLiteral("item %1: the alteration to %2 applied twice")
                                       .arg(id)
                                       .arg(v));
            for (double v : expected)
                if (!audited.count(v))
                    check.mismatch(
                        QStringLiteral("item %1: the alteration to %2 was told applied, and is not")
                            .arg(id)
                            .arg(v));
            for (double v : audited)
                if (!expected.count(v) && !maybe.count(v))
                    check.mismatch(
                        QStringLiteral("item %1: an alteration to %2 applied that no user was told"
                                       " of")
                            .arg(id)
                            .arg(v));
        } else {
            const bool save = kind == Kind::Save;
            const int ok = count(save ? told.saved : told.toggled, id);
            const int unknown = count(save ? told.savedUnknown : told.toggledUnknown, id);
            if (applied < ok || applied > ok + unknown)
                check.mismatch(QStringLiteral("item %1: %2 %3 applied, users were told of %4"
                                              " (and %5 unknown)")
                                   .arg(id)
                                   .arg(applied)
                                   .arg(method)
                                   .arg(ok)
                                   .arg(unknown));
            if (save) {
                QSet<QString> deltas;
                for (const AuditRow* a : writes) {
                    if (!a->delta.isEmpty() && deltas.contains(a->delta))
                        check.mismatch(QStringLiteral("item %1: delta %2 applied twice")
                                           .arg(id)
                                           .arg(a->delta));
                    deltas.insert(a->delta);
                }
            }
        }
    }

    // The applied-once table: one row per write call applied.
    const Marks to = marks(conn);
    for (auto [method, kind] : {std::pair{kSave, Kind::Save}, std::pair{kBlock, Kind::Block},
                                std::pair{kAlter, Kind::Alter}}) {
        const qint64 added = (to.calls.count(method) ? to.calls.at(method) : 0) -
                             (from.calls.count(method) ? from.calls.at(method) : 0);
        const int ok = told.writesOk[std::size_t(kind)];
        const int unknown = told.writesUnknown[std::size_t(kind)];
        if (added >= ok && added <= ok + unknown) {
            r.lostApplied[std::size_t(kind)] = int(added - ok);
            r.lostNotApplied[std::size_t(kind)] = ok + unknown - int(added);
        }
        if (added < ok || added > ok + unknown)
            check.mismatch(QStringLiteral("%1: %2 calls recorded as applied, users were told of %3"
                                          " (and %4 unknown)")
                               .arg(method)
                               .arg(added)
                               .arg(ok)
                               .arg(unknown));
    }
    return r;
}

} // namespace loadbench

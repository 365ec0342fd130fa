// A simulated purchasing user: the day's mix in a loop, through the HTTP transport and the typed
// calls, as the screens send them, and a record of what the server answered.

#include "Load.h"

#include "SqlValues.h"
#include "sup/contracts/ItemCriteria.h"
#include "sup/contracts/ServerCalls.h"
#include "sup/contracts/ServerResult.h"
#include "sup/contracts/record/OrderItem.h"
#include "sup/data/DataPacket.h"
#include "sup/data/WorkingSet.h"
#include "sup/net/NetConnection.h"
#include "sup/server/Seed.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QThread>
#include <QUrl>

#include <array>
#include <atomic>
#include <random>
#include <stdexcept>

using namespace sup;

namespace loadbench {

namespace {

using contracts::IAppServer;
using data::Column;
using data::DataPacket;
namespace calls = contracts::calls;

const QString kPassword = QStringLiteral("sup07700");
const QString& kOperator = server::kDemoOperator;

enum class Outcome { Ok, Conflict, Error, Lost };

std::size_t at(Kind k) {
    return std::size_t(k);
}

QString textAt(const Column& c, qsizetype r) {
    return c.isNull(r) ? QString() : c.text(r).trimmed();
}

qint64 idAt(const Column& c, qsizetype r) {
    if (c.isNull(r))
        return 0;
    return c.type() == data::FieldType::Integer ? c.integer(r) : qint64(c.real(r));
}

// The criteria of the filter as the filter screen sends them for a list of destination branches,
// every OL, region and operator, no dates.
contracts::ItemCriteria criteriaOf(const Group& g) {
    contracts::ItemCriteria c;
    c.todasFiliais = QStringLiteral("N");
    for (const QString& b : g.branches)
        c.filiais += u'_' + b.leftJustified(4, u' ') + u'_';
    c.todosOL = c.todasRegioes = QStringLiteral("T");
    c.semDatasEmbarque = c.semDatasPedido = c.semDatasEntrega = QStringLiteral("T");
    c.semDatasBloqueio = c.semDatasDesbloqueio = QStringLiteral("T");
    c.operador = kOperator;
    c.bloqueados = QStringLiteral("S");
    c.desbloqueados = QStringLiteral("N");
    c.pedidoExtra = QStringLiteral("T");
    c.reserva = QStringLiteral("1");
    c.lote = c.subgrupos = QStringLiteral("N");
    c.rotas = c.marcas = QStringLiteral("T");
    return c;
}

// The items of a GetItem answer; a fault or a wrong shape throws.
DataPacket itemsOf(const QVariant& answer) {
    if (contracts::isFault(answer))
        throw std::runtime_error(contracts::faultOf(answer).message.toStdString());
    const QVariant items = answer.toList().value(0);
    if (items.metaType() != QMetaType::fromType<DataPacket>())
        throw std::runtime_error("GetItem answered no item packet");
    return items.value<DataPacket>();
}

// An item's key as the audit log names it.
QString auditKeyOf(const DataPacket& items, qsizetype r) {
    const Column& date = items.column(items.indexOf(u"DTPROGENPEOL"));
    const auto text = [&](QStringView f) {
        return textAt(items.column(items.indexOf(f)), r);
    };
    return QStringList{
        text(u"CDFILDEST").left(4).trimmed(),
        text(u"CDFILLANC"),
        text(u"NRPEDEXOL"),
        date.isNull(r) ? QString() : QString::fromLatin1(server::msToSqlText(date.dateTimeMs(r))),
        text(u"CDPRODUTO"),
        text(u"CDMARCA")}
        .join(u'|')
        .toUpper();
}

// Quantities the automatic alteration sets: one of its own per call, so that the audit log tells
// every call's writes apart.
std::atomic<int> gNextQuantity{0};

std::array<std::atomic<int>, 2> gWritesUnderWay{};

// Counts a write call under way to its server for as long as it lives.
class UnderWay {
public:
    explicit UnderWay(int server)
        : n_(gWritesUnderWay[std::size_t(server)]) {
        ++n_;
    }
    ~UnderWay() { --n_; }
    UnderWay(const UnderWay&) = delete;
    UnderWay& operator=(const UnderWay&) = delete;

private:
    std::atomic<int>& n_;
};

class Session {
public:
    Session(const User& u, Record& rec)
        : user_(u)
        , rec_(rec)
        , origin_(u.origin)
        , criteria_(criteriaOf(*u.group))
        , rng_(std::uint32_t(u.index) * 7919u + 17u) {
        conn_.setServerName(contracts::kModuleAltPedidosOL);
        conn_.setHost(u.origin);
        conn_.setTimeoutMs(60000);
        conn_.connect();
    }

    // One loop of the day's mix; false when it stopped early (the next loop starts over).
    bool loop() {
        if (note(Kind::SignOn, [&] { return net::signOn(origin_, kOperator, kPassword); }) !=
            Outcome::Ok)
            return false;
        QVariant answer;
        if (note(Kind::Load, [&] {
                contracts::ItemCriteria c = criteria_;
                answer = calls::GetItem(server(), c);
                return answer;
            }) != Outcome::Ok)
            return false;
        items_ = itemsOf(answer);
        if (items_.rowCount() != user_.loaded) {
            error(Kind::Load, QStringLiteral("GetItem loaded %1 items, %2 expected")
                                  .arg(items_.rowCount())
                                  .arg(user_.loaded));
            return false;
        }
        rowOf_.clear();
        const Column& ids = items_.column(items_.indexOf(u"CDRASTRITM"));
        for (qsizetype r = 0; r < items_.rowCount(); ++r)
            rowOf_.insert(idAt(ids, r), r);
        save();
        block();
        alter();
        return true;
    }

private:
    IAppServer& server() { return conn_.AppServer(); }

    // The slot's own items of a pool; in one call of four, the last of them gives way to one of
    // the shared items.
    std::vector<qint64> pick(const Group::Pool& pool) {
        std::vector<qint64> out = pool.perSlot[std::size_t(user_.slot)];
        if (std::uniform_int_distribution<int>(0, 3)(rng_) == 0)
            out.back() = pool.shared[std::uniform_int_distribution<std::size_t>(
                0, pool.shared.size() - 1)(rng_)];
        return out;
    }

    // The loaded rows of `ids`; empty (an error noted) when one is missing.
    std::vector<qsizetype> rowsOf(Kind k, const std::vector<qint64>& ids) {
        std::vector<qsizetype> out;
        for (qint64 id : ids) {
            const auto it = rowOf_.constFind(id);
            if (it == rowOf_.cend()) {
                error(k, QStringLiteral("item %1 was not loaded").arg(id));
                return {};
            }
            out.push_back(*it);
        }
        return out;
    }

    // Quantity + 1 on each item, as the grid posts it, and the save with the delta.
    void save() {
        const std::vector<qint64> ids = pick(user_.group->save);
        const std::vector<qsizetype> rows = rowsOf(Kind::Save, ids);
        if (rows.empty())
            return;
        data::TWorkingSet set;
        set.setFieldDefs(contracts::orderItemFields());
        set.loadFromPacket(items_);
        data::TField* qty = set.fieldByName(u"QTPROGENPEOL");
        data::TField* changed = set.fieldByName(u"ALTERADO");
        for (qsizetype r : rows) {
            set.moveTo(int(r));
            set.edit();
            qty->setAsFloat(qty->asFloat() + 1);
            changed->setAsString(u"S");
            set.post();
        }
        DataPacket delta = set.delta();
        const Outcome o = note(Kind::Save, [&] {
            return calls::UpdItemPedidoOL(server(), delta, QStringLiteral("N"), QStringLiteral("N"),
                                          kOperator, false,
                                          QStringLiteral("Alteração do Pedido OL."),
                                          QStringLiteral("Remanejamento OL para ED"));
        });
        written(Kind::Save, o, ids, rec_.saved, rec_.savedUnknown);
    }

    // Each item's block flag turned over, as the marked-items operation sends it.
    void block() {
        const std::vector<qint64> ids = pick(user_.group->block);
        const std::vector<qsizetype> rows = rowsOf(Kind::Block, ids);
        if (rows.empty())
            return;
        const data::FieldDefs f = contracts::bloqItemFields();
        const int flag = data::indexOfField(f, u"IDITMPEDOLBLOQ");
        const Column& loaded = items_.column(items_.indexOf(u"IDITMPEDOLBLOQ"));
        data::DataPacketBuilder b(f);
        b.reserve(qsizetype(rows.size()));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const qsizetype r = rows[i];
            for (int c = 0; c < int(f.size()); ++c) {
                const int from = items_.indexOf(f[c].name);
                if (from < 0)
                    b.column(c).appendNull();
                else if (f[c].name == u"CDFILDEST")
                    b.column(c).appendText(items_.column(from).text(r).left(4));
                else
                    b.column(c).appendCell(items_.column(from), r);
            }
            b.column(flag).setText(qsizetype(i), textAt(loaded, r).toUpper() == u"S" ? u"N" : u"S");
        }
        const DataPacket request = b.finish();
        const Outcome o =
            note(Kind::Block, [&] { return calls::SetBloqItem(server(), request, kOperator); });
        written(Kind::Block, o, ids, rec_.toggled, rec_.toggledUnknown);
    }

    // The automatic alteration of the items' quantity to a value of this call's own.
    void alter() {
        const std::vector<qint64> ids = pick(user_.group->alter);
        const std::vector<qsizetype> rows = rowsOf(Kind::Alter, ids);
        if (rows.empty())
            return;
        const double value = 1000 + gNextQuantity.fetch_add(1);
        calls::AltAtuItemArgs a;
        a.itens = contracts::SelectedItems::gather(
            [&](QStringView f) -> const Column& { return items_.column(items_.indexOf(f)); }, rows,
            kOperator);
        a.alteraQuantidade = true;
        a.novaQuantidade = value;
        a.textoRecusaPeriodicidade =
            QStringLiteral("Operação bloqueada. Nova data não contemplada pela periodicidade da "
                           "filial %s para o produto %s .");
        a.operador = kOperator;
        a.descricaoAlteracao = QStringLiteral("Alteração automática de quantidade.");
        a.filialCentral = server::kCentralBranch;
        a.respostaParticularidade = QStringLiteral("S");
        QVariant answer;
        Outcome o = note(Kind::Alter, [&] {
            answer = calls::AltAtuItem(server(), a);
            return answer;
        });
        if (o == Outcome::Ok && answer.toList().value(0).toInt() != int(ids.size())) {
            // Told it succeeded with fewer items: a wrong answer, never an expected one.
            --rec_.counts[at(Kind::Alter)].ok;
            error(Kind::Alter, QStringLiteral("AltAtuItem altered %1 of %2 items")
                                   .arg(answer.toList().value(0).toInt())
                                   .arg(ids.size()));
            o = Outcome::Lost; // the items' outcome is not known
        }
        if (o == Outcome::Ok) {
            ++rec_.writesOk[at(Kind::Alter)];
            for (qint64 id : ids)
                rec_.altered[id].push_back(value);
        } else if (o == Outcome::Lost) {
            ++rec_.writesUnknown[at(Kind::Alter)];
            for (qint64 id : ids)
                rec_.alteredUnknown[id].push_back(value);
            rec_.lostAlterations.emplace_back(value, contracts::faultOf(answer).message);
        }
    }

    void written(Kind k, Outcome o, const std::vector<qint64>& ids, std::map<qint64, int>& ok,
                 std::map<qint64, int>& unknown) {
        if (o == Outcome::Ok) {
            ++rec_.writesOk[at(k)];
            for (qint64 id : ids)
                ++ok[id];
        } else if (o == Outcome::Lost) {
            ++rec_.writesUnknown[at(k)];
            for (qint64 id : ids)
                ++unknown[id];
        }
    }

    void error(Kind k, const QString& message) {
        ++rec_.counts[at(k)].errors;
        sample(QStringLiteral("%1: %2").arg(kindName(k), message));
    }

    void sample(const QString& message) {
        if (rec_.errorSamples.size() < 8 && !rec_.errorSamples.contains(message))
            rec_.errorSamples << message;
    }

    // Times one call and sorts its answer: a success, a conflict of the optimistic checks, a
    // network failure (the outcome of a write is then unknown to the user) or another fault.
    template <class Call> Outcome note(Kind k, Call&& call) {
        QElapsedTimer t;
        t.start();
        QVariant answer;
        if (k == Kind::Save || k == Kind::Block || k == Kind::Alter) {
            UnderWay w(user_.server);
            answer = call();
        } else {
            answer = call();
        }
        rec_.ms[at(k)].push_back(double(t.nsecsElapsed()) / 1e6);
        Record::Count& c = rec_.counts[at(k)];
        ++c.calls;
        if (!contracts::isFault(answer)) {
            ++c.ok;
            return Outcome::Ok;
        }
        const contracts::ServerFault f = contracts::faultOf(answer);
        if (f.code == u"conflict") {
            ++c.conflicts;
            return Outcome::Conflict;
        }
        if (f.code == u"network") {
            ++c.lost;
            sample(QStringLiteral("%1 (network): %2").arg(kindName(k), f.message));
            return Outcome::Lost;
        }
        error(k, QStringLiteral("[%1] %2").arg(f.code, f.message.left(300)));
        return Outcome::Error;
    }

    const User& user_;
    Record& rec_;
    QUrl origin_;
    contracts::ItemCriteria criteria_;
    std::mt19937 rng_;
    net::TNetConnection conn_;
    DataPacket items_;
    QHash<qint64, qsizetype> rowOf_;
};

} // namespace

const char* kindName(Kind k) {
    static const char* names[] = {"sign-on", "load (GetItem)", "save 20 (UpdItemPedidoOL)",
                                  "block 10 (SetBloqItem)", "alter 10 (AltAtuItem)"};
    return names[int(k)];
}

void Record::merge(const Record& o) {
    for (std::size_t k = 0; k < std::size_t(kKinds); ++k) {
        counts[k].calls += o.counts[k].calls;
        counts[k].ok += o.counts[k].ok;
        counts[k].conflicts += o.counts[k].conflicts;
        counts[k].errors += o.counts[k].errors;
        counts[k].lost += o.counts[k].lost;
        ms[k].insert(ms[k].end(), o.ms[k].begin(), o.ms[k].end());
        writesOk[k] += o.writesOk[k];
        writesUnknown[k] += o.writesUnknown[k];
    }
    loops += o.loops;
    lostAlterations.insert(lostAlterations.end(), o.lostAlterations.begin(),
                           o.lostAlterations.end());
    for (const QString& e : o.errorSamples)
        if (errorSamples.size() < 12 && !errorSamples.contains(e))
            errorSamples << e;
    for (auto [m, from] :
         {std::pair{&saved, &o.saved}, std::pair{&savedUnknown, &o.savedUnknown},
          std::pair{&toggled, &o.toggled}, std::pair{&toggledUnknown, &o.toggledUnknown}})
        for (const auto& [id, n] : *from)
            (*m)[id] += n;
    for (auto [m, from] :
         {std::pair{&altered, &o.altered}, std::pair{&alteredUnknown, &o.alteredUnknown}})
        for (const auto& [id, v] : *from)
            (*m)[id].insert((*m)[id].end(), v.begin(), v.end());
}

Record runUser(const User& user, qint64 deadline, int loops) {
    Record rec;
    try {
        Session session(user, rec);
        for (int n = 0; (loops == 0 || n < loops) && QDateTime::currentMSecsSinceEpoch() < deadline;
             ++n) {
            ++rec.loops;
            if (!session.loop())
                QThread::msleep(200); // the server is away or refused: a moment before again
        }
    } catch (const std::exception& e) {
        ++rec.counts[at(Kind::Load)].errors;
        rec.errorSamples << QStringLiteral("user %1 stopped: %2").arg(user.index).arg(e.what());
    }
    return rec;
}

int writesUnderWay(int server) {
    return gWritesUnderWay[std::size_t(server)].load();
}

qsizetype loadKeys(const QString& origin, const Group& g, std::map<qint64, QString>& keys) {
    if (const QVariant f = net::signOn(QUrl(origin), kOperator, kPassword); f.isValid())
        throw std::runtime_error(contracts::faultOf(f).message.toStdString());
    net::TNetConnection conn;
    conn.setServerName(contracts::kModuleAltPedidosOL);
    conn.setHost(origin);
    conn.setTimeoutMs(120000);
    conn.connect();
    contracts::ItemCriteria c = criteriaOf(g);
    const DataPacket items = itemsOf(calls::GetItem(conn.AppServer(), c));
    const Column& ids = items.column(items.indexOf(u"CDRASTRITM"));
    for (qsizetype r = 0; r < items.rowCount(); ++r)
        keys[idAt(ids, r)] = auditKeyOf(items, r);
    return items.rowCount();
}

} // namespace loadbench

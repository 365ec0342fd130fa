#include "sup/server/Seed.h"

#include "SqlValues.h"

#include "sup/server/Schema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <sodium.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>

namespace sup::server {

QString hashPassword(const QString& password, bool fast) {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium não pôde ser iniciada");
    const QByteArray pw = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    const auto ops = fast ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const auto mem = fast ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE;
    if (crypto_pwhash_str(out, pw.constData(), quint64(pw.size()), ops, mem) != 0)
        throw std::runtime_error("memória insuficiente para calcular o hash da senha");
    return QString::fromLatin1(out);
}

bool verifyPassword(const QString& hash, const QString& password) {
    if (sodium_init() < 0)
        return false;
    const QByteArray h = hash.toLatin1();
    const QByteArray pw = password.toUtf8();
    if (h.isEmpty() || h.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(h.constData(), pw.constData(), quint64(pw.size())) == 0;
}

namespace {

// splitmix64: small, fast and the same on every platform (the standard distributions are not).
class Random {
public:
    explicit Random(quint64 seed)
        : s_(seed) {}
    quint64 next() {
        quint64 z = (s_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int range(int lo, int hi) { return lo + int(next() % quint64(hi - lo + 1)); } // inclusive
    bool chance(int percent) { return int(next() % 100) < percent; }
    template <typename T> const T& pick(const QList<T>& list) {
        return list[qsizetype(next() % quint64(list.size()))];
    }

private:
    quint64 s_;
};

// Buffers the rows of one table and writes them: SQLite through one prepared statement,
// PostgreSQL in chunks through json_populate_recordset (one round trip per chunk).
class TableWriter {
public:
    TableWriter(sql::Connection& conn, QString table, QStringList columns)
        : conn_(conn)
        , table_(std::move(table))
        , columns_(std::move(columns)) {
        if (conn.dialect() == sql::Dialect::SQLite) {
            QStringList marks(columns_.size(), QStringLiteral("?"));
            stmt_ = std::make_unique<SqliteStatement>(
                conn, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(table_, columns_.join(u','), marks.join(u',')));
        }
    }
    ~TableWriter() noexcept(false) {
        if (std::uncaught_exceptions() == 0)
            flush();
    }
    void add(const QVariantList& row) {
        if (stmt_) {
            try {
                stmt_->bindAll(row);
                stmt_->step();
                stmt_->reset();
            } catch (const sql::SqlError& e) {
                throw sql::SqlError(QStringLiteral("%1 (tabela %2)").arg(e.message(), table_),
                                    e.driverText(), e.kind());
            }
            return;
        }
        QJsonObject o;
        for (qsizetype i = 0; i < columns_.size(); ++i)
            o.insert(columns_[i].toLower(), QJsonValue::fromVariant(row.value(i)));
        rows_.append(o);
        if (rows_.size() >= 2000)
            flush();
    }
    // Rows of this table reference rows of `parent`: the parent's pending rows go first.
    void setParent(TableWriter* parent) { parent_ = parent; }
    void flush() {
        if (rows_.isEmpty())
            return;
        if (parent_)
            parent_->flush();
        const QString json = QString::fromUtf8(QJsonDocument(rows_).toJson(QJsonDocument::Compact));
        rows_ = QJsonArray();
        try {
            conn_.exec(QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM "
                                      "json_populate_recordset(NULL::%1, CAST(? AS json))")
                           .arg(table_, columns_.join(u',')),
                       {json});
        } catch (const sql::SqlError& e) {
            throw sql::SqlError(QStringLiteral("%1 (tabela %2)").arg(e.message(), table_),
                                e.driverText(), e.kind());
        }
    }

private:
    sql::Connection& conn_;
    QString table_;
    QStringList columns_;
    std::unique_ptr<SqliteStatement> stmt_;
    QJsonArray rows_;
    TableWriter* parent_ = nullptr;
};

QString dateText(const QDate& d) {
    return d.toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
}

const QVariant Null;

struct Region {
    const char* code;
    const char* name;
    QList<const char*> cities;
};

const QList<Region> kRegions = {
    {"001",
     "Grande São Paulo",
     {"São Paulo Centro", "Santo André", "Guarulhos", "Osasco", "São Bernardo", "Diadema",
      "Mogi das Cruzes", "Barueri"}},
    {"002",
     "Interior Paulista",
     {"Campinas", "Ribeirão Preto", "Sorocaba", "São José dos Campos", "Piracicaba", "Bauru",
      "Jundiaí"}},
    {"003",
     "Sul",
     {"Curitiba", "Londrina", "Joinville", "Florianópolis", "Porto Alegre", "Caxias do Sul"}},
    {"004",
     "Minas Gerais",
     {"Belo Horizonte", "Uberlândia", "Juiz de Fora", "Contagem", "Montes Claros"}},
    {"005",
     "Rio de Janeiro",
     {"Rio de Janeiro", "Niterói", "Nova Iguaçu", "Duque de Caxias", "Petrópolis"}},
    {"006", "Nordeste", {"Salvador", "Recife", "Fortaleza", "Natal", "João Pessoa"}},
};

struct Category {
    const char* name;
    QList<const char*> types;
};
struct Group {
    const char* name;
    QList<const char*> packs;
    const char* unit;
    QList<Category> categories;
};

const QList<Group> kGroups = {
    {"Mercearia",
     {"500g", "1kg", "2kg", "5kg"},
     "PCT",
     {{"Grãos e Cereais", {"Arroz Agulhinha", "Feijão Carioca", "Milho de Pipoca"}},
      {"Massas", {"Espaguete", "Macarrão Parafuso", "Massa para Lasanha"}},
      {"Óleos e Azeites", {"Óleo de Soja", "Azeite de Oliva", "Óleo de Girassol"}},
      {"Açúcares e Doces", {"Açúcar Refinado", "Açúcar Cristal", "Achocolatado"}}}},
    {"Higiene e Beleza",
     {"90g", "200ml", "350ml", "1L"},
     "UN",
     {{"Cabelos", {"Xampu", "Condicionador", "Creme para Pentear"}},
      {"Banho", {"Sabonete", "Sabonete Líquido", "Desodorante"}},
      {"Higiene Bucal", {"Creme Dental", "Escova Dental", "Fio Dental"}},
      {"Papéis", {"Papel Higiênico", "Lenço de Papel", "Guardanapo"}}}},
    {"Limpeza",
     {"500ml", "1L", "2L", "5L"},
     "UN",
     {{"Roupas", {"Sabão em Pó", "Amaciante", "Alvejante"}},
      {"Cozinha", {"Detergente", "Esponja Multiuso", "Limpa-Forno"}},
      {"Casa", {"Desinfetante", "Limpador Multiuso", "Cera Líquida"}},
      {"Utilidades", {"Saco de Lixo", "Pano de Chão", "Luva de Borracha"}}}},
    {"Bebidas",
     {"350ml", "600ml", "1L", "2L"},
     "UN",
     {{"Refrigerantes", {"Refrigerante Cola", "Refrigerante Guaraná", "Refrigerante Laranja"}},
      {"Sucos", {"Suco de Uva", "Suco de Laranja", "Néctar de Pêssego"}},
      {"Águas", {"Água Mineral", "Água com Gás", "Água de Coco"}},
      {"Cafés e Chás", {"Café Torrado", "Café Solúvel", "Chá Mate"}}}},
};

const QList<const char*> kQualifiers = {"Tradicional", "Premium", "Integral", "Light",
                                        "Econômico",   "Extra",   "Zero",     "Orgânico"};

const QList<const char*> kBrands = {
    "Boa Safra",  "Vale Verde",     "Sol Nascente", "Bom Gosto", "Da Fazenda",   "Aurora",
    "Primor",     "Estrela do Sul", "Campo Belo",   "Nobre",     "Tropical",     "Serra Azul",
    "Real",       "Delícia",        "Pureza",       "Brilho",    "Limpinho",     "Cristal",
    "Floral",     "Suave",          "Fresco",       "Ouro Fino", "Monte Alegre", "Santa Clara",
    "Bela Vista", "Imperial",       "Popular",      "Qualitá",   "Família",      "Sabor de Casa"};

struct Branch {
    QString code, name, region, central, route;
    bool reservation = false;
};

struct Product {
    QString code, tree, name, unit, stock;
    int level = 4;
    double factor = 1.0;
    double weight = 1.0;
    QString subgroup;
    QStringList brands;
    int typeIndex = -1; // index of the level-3 node
    bool packaging = false;
};

} // namespace

void seedDatabase(sql::Connection& conn, const SeedOptions& o) {
    if (!schemaInstalled(conn))
        installSchema(conn);
    sql::Transaction tx(conn, sql::Transaction::Write);
    if (conn.scalar(QStringLiteral("SELECT COUNT(*) FROM FILIAL")).toInt() > 0)
        throw sql::SqlError(
            QStringLiteral("O banco de dados já tem dados; a carga inicial exige um banco vazio."));
    Random rnd(o.seed);
    const QDate base = o.baseDate;

    // Regions, routes, branches.
    {
        TableWriter w(conn, QStringLiteral("REGIAO"),
                      {QStringLiteral("CDREGIAO"), QStringLiteral("NMREGIAO")});
        for (const Region& r : kRegions)
            w.add({QString::fromLatin1(r.code), QString::fromUtf8(r.name)});
    }
    QList<Branch> stores;
    {
        TableWriter routes(conn, QStringLiteral("ROTATRANS"),
                           {QStringLiteral("CDROTATRANS"), QStringLiteral("NMROTATRANS")});
        int n = 0;
        for (const Region& r : kRegions) {
            for (int k = 1; k <= 2; ++k)
                routes.add({QStringLiteral("R%1%2")
                                .arg(QString::fromLatin1(r.code))
                                .arg(k, 2, 10, QLatin1Char('0')),
                            QStringLiteral("Rota %1 %2")
                                .arg(QString::fromUtf8(r.name),
                                     k == 1 ? QStringLiteral("Norte") : QStringLiteral("Sul"))});
            int i = 0;
            for (const char* city : r.cities) {
                Branch b;
                b.code = QStringLiteral("%1").arg(10 + n++, 4, 10, QLatin1Char('0'));
                b.name = QStringLiteral("Loja ") + QString::fromUtf8(city);
                b.region = QString::fromLatin1(r.code);
                b.central = b.region == u"003" ? QStringLiteral("0002") : QStringLiteral("0001");
                b.route = QStringLiteral("R%1%2").arg(b.region).arg(1 + (i++ % 2), 2, 10,
                                                                    QLatin1Char('0'));
                b.reservation = b.region == u"001" || b.region == u"002";
                stores << b;
            }
        }
    }
    const QStringList ols = {QStringLiteral("0901"), QStringLiteral("0902"), QStringLiteral("0903"),
                             QStringLiteral("0904")};
    {
        TableWriter w(conn, QStringLiteral("FILIAL"),
                      {QStringLiteral("CDFILIAL"), QStringLiteral("NMFILIAL"),
                       QStringLiteral("CDREGIAO"), QStringLiteral("CDROTATRANS"),
                       QStringLiteral("CDFILCENTCMP"), QStringLiteral("IDFUNCAOFILI")});
        w.add({kCentralBranch, QStringLiteral("Central de Compras São Paulo"),
               QStringLiteral("001"), Null, Null, QStringLiteral("C")});
        w.add({QStringLiteral("0002"), QStringLiteral("Central de Compras Sul"),
               QStringLiteral("003"), Null, Null, QStringLiteral("C")});
        w.add({QStringLiteral("0005"), QStringLiteral("Centro de Distribuição Cajamar"),
               QStringLiteral("001"), Null, QStringLiteral("0001"), QStringLiteral("D")});
        const QStringList olNames = {
            QStringLiteral("OL Rápido Paulista Logística"), QStringLiteral("OL TransSul Armazéns"),
            QStringLiteral("OL Minas Cargas"), QStringLiteral("OL Nordeste Distribuição")};
        const QStringList olRegions = {QStringLiteral("001"), QStringLiteral("003"),
                                       QStringLiteral("004"), QStringLiteral("006")};
        for (int i = 0; i < ols.size(); ++i)
            w.add({ols[i], olNames[i], olRegions[i], Null, Null, QStringLiteral("O")});
        for (const Branch& b : stores)
            w.add({b.code, b.name, b.region, b.route, b.central, QStringLiteral("L")});
    }
    auto olsOf = [&](const Branch& b) -> QStringList {
        if (b.region == u"003")
            return {QStringLiteral("0902"), QStringLiteral("0901")};
        if (b.region == u"004")
            return {QStringLiteral("0903"), QStringLiteral("0901")};
        if (b.region == u"006")
            return {QStringLiteral("0904")};
        return {QStringLiteral("0901"), QStringLiteral("0903")};
    };

    // Branch parameters.
    {
        TableWriter w(conn, QStringLiteral("PARAMFILIAL"),
                      {QStringLiteral("CDFILIAL"), QStringLiteral("IDUTRESPEDEXOL"),
                       QStringLiteral("IDPROSEMMAR"), QStringLiteral("IDUTLMARPREFOL")});
        w.add({kCentralBranch, QStringLiteral("S"), QStringLiteral("N"), QStringLiteral("S")});
        w.add({QStringLiteral("0002"), QStringLiteral("N"), QStringLiteral("N"),
               QStringLiteral("N")});
        for (int i = 0; i < stores.size(); ++i)
            w.add({stores[i].code,
                   stores[i].reservation ? QStringLiteral("S") : QStringLiteral("N"),
                   i % 5 == 2 ? QStringLiteral("S") : QStringLiteral("N"),
                   i % 3 == 1 ? QStringLiteral("S") : QStringLiteral("N")});
    }

    // Product groups, tree and brands.
    {
        TableWriter g(conn, QStringLiteral("GRUPPROD"),
                      {QStringLiteral("CDGRUPPROD"), QStringLiteral("NMGRUPPROD")});
        TableWriter s(conn, QStringLiteral("SUBGRUPPROD"),
                      {QStringLiteral("CDSUBGRPROD"), QStringLiteral("NMSUBGRPROD"),
                       QStringLiteral("CDGRUPPROD")});
        for (int gi = 0; gi < kGroups.size(); ++gi) {
            const QString gc = QStringLiteral("%1").arg(gi + 1, 2, 10, QLatin1Char('0'));
            g.add({gc, QString::fromUtf8(kGroups[gi].name)});
            for (int ci = 0; ci < kGroups[gi].categories.size(); ++ci)
                s.add({gc + QStringLiteral("%1").arg(ci + 1, 2, 10, QLatin1Char('0')),
                       QString::fromUtf8(kGroups[gi].categories[ci].name), gc});
        }
        g.flush();
    }
    {
        TableWriter w(conn, QStringLiteral("MARCA"),
                      {QStringLiteral("CDMARCA"), QStringLiteral("NMMARCA")});
        for (int i = 0; i < kBrands.size(); ++i)
            w.add({QStringLiteral("%1").arg(i + 1, 5, 10, QLatin1Char('0')),
                   QString::fromUtf8(kBrands[i])});
    }
    auto brandCode = [](int i) {
        return QStringLiteral("%1").arg(i + 1, 5, 10, QLatin1Char('0'));
    };

    QList<Product> nodes;  // levels 1 to 3
    QList<Product> leaves; // level 4
    QList<qsizetype> typeNodes;
    int seq = 1000;
    const qsizetype leafCount = std::clamp<qsizetype>(o.items / 10, 192, 5000);
    for (int gi = 0; gi < kGroups.size(); ++gi) {
        const Group& g = kGroups[gi];
        Product n1;
        n1.code = QString::number(seq++);
        n1.tree = QStringLiteral("%1").arg(gi + 1, 2, 10, QLatin1Char('0'));
        n1.name = QString::fromUtf8(g.name);
        n1.level = 1;
        nodes << n1;
        for (int ci = 0; ci < g.categories.size(); ++ci) {
            Product n2;
            n2.code = QString::number(seq++);
            n2.tree = n1.tree + QStringLiteral("%1").arg(ci + 1, 2, 10, QLatin1Char('0'));
            n2.name = QString::fromUtf8(g.categories[ci].name);
            n2.level = 2;
            nodes << n2;
            for (int ti = 0; ti < g.categories[ci].types.size(); ++ti) {
                Product n3;
                n3.code = QString::number(seq++);
                n3.tree = n2.tree + QStringLiteral("%1").arg(ti + 1, 3, 10, QLatin1Char('0'));
                n3.name = QString::fromUtf8(g.categories[ci].types[ti]);
                n3.level = 3;
                n3.subgroup = n2.tree;
                typeNodes << nodes.size();
                nodes << n3;
            }
        }
    }
    // Leaves: spread over the type nodes; every fourth one is a bigger packaging of the one
    // before (same stock product, conversion factor 6 or 12).
    for (qsizetype i = 0; i < leafCount; ++i) {
        const int t = int(i % typeNodes.size());
        const Product& type = nodes[typeNodes[t]];
        const int gi = type.tree.left(2).toInt() - 1;
        const int inType = int(i / typeNodes.size());
        Product p;
        p.code = QString::number(seq++);
        p.tree = type.tree + QStringLiteral("%1").arg(inType + 1, 4, 10, QLatin1Char('0'));
        p.level = 4;
        p.subgroup = type.subgroup;
        p.typeIndex = t;
        const bool packaging = inType % 4 == 3;
        const QString pack =
            QString::fromUtf8(kGroups[gi].packs[inType % kGroups[gi].packs.size()]);
        const QString qual = QString::fromUtf8(kQualifiers[(inType / 4 + t) % kQualifiers.size()]);
        if (packaging && leaves.size() >= typeNodes.size()) {
            // The leaves of one type lie typeNodes.size() apart.
            const Product& prev = leaves[leaves.size() - typeNodes.size()];
            const int mult = inType % 8 == 3 ? 6 : 12;
            p.name = (prev.name + QStringLiteral(" c/%1").arg(mult)).left(50);
            p.unit = mult == 6 ? QStringLiteral("FD") : QStringLiteral("CX");
            p.stock = prev.stock;
            p.factor = mult;
            p.weight = prev.weight * mult;
            p.brands = prev.brands;
            p.packaging = true;
        } else {
            p.name = QStringLiteral("%1 %2 %3").arg(type.name, qual, pack).left(50);
            p.unit = QString::fromLatin1(kGroups[gi].unit);
            p.stock = p.code;
            p.weight = 0.1 * rnd.range(1, 50);
            const int nb = rnd.range(2, 4);
            while (p.brands.size() < nb) {
                const QString b = brandCode(rnd.range(0, int(kBrands.size()) - 1));
                if (!p.brands.contains(b))
                    p.brands << b;
            }
        }
        leaves << p;
    }
    {
        TableWriter w(conn, QStringLiteral("PRODUTO"),
                      {QStringLiteral("CDPRODUTO"), QStringLiteral("CDARVPROD"),
                       QStringLiteral("CDNVPRODUTO"), QStringLiteral("NMPRODUTO"),
                       QStringLiteral("SGUNIDADE"), QStringLiteral("CDPRODESTO"),
                       QStringLiteral("VRFATOCONV"), QStringLiteral("VRPESOUNID"),
                       QStringLiteral("SGUNIDESTOQUE"), QStringLiteral("IDPRODATIVPR"),
                       QStringLiteral("CDSUBGRPROD")});
        for (const Product& n : nodes)
            w.add({n.code, n.tree, QString::number(n.level), n.name, Null, Null, Null, Null, Null,
                   QStringLiteral("S"), n.level == 3 ? QVariant(n.subgroup) : Null});
        // Leaves go in two passes so that a packaging's stock product exists before it.
        for (int pass = 0; pass < 2; ++pass)
            for (qsizetype i = 0; i < leaves.size(); ++i) {
                const Product& p = leaves[i];
                if (p.packaging != (pass == 1))
                    continue;
                w.add({p.code, p.tree, QStringLiteral("4"), p.name, p.unit, p.stock, p.factor,
                       p.weight, QString::fromLatin1(kGroups[p.tree.left(2).toInt() - 1].unit),
                       i % 37 == 36 ? QStringLiteral("N") : QStringLiteral("S"), p.subgroup});
            }
        w.flush();
        TableWriter pm(conn, QStringLiteral("PRODMARCA"),
                       {QStringLiteral("CDPRODUTO"), QStringLiteral("CDMARCA")});
        for (const Product& p : leaves)
            for (const QString& b : p.brands)
                pm.add({p.code, b});
        TableWriter adj(conn, QStringLiteral("AJUSTEQTDE"),
                        {QStringLiteral("CDPRODORIG"), QStringLiteral("CDPRODDEST"),
                         QStringLiteral("VRPEAJQTDSOL")});
        for (const Product& p : leaves)
            if (p.packaging && p.stock != p.code) {
                adj.add({p.stock, p.code, double(rnd.range(-10, 10))});
                adj.add({p.code, p.stock, double(rnd.range(-10, 10))});
            }
    }
    auto nodeCode = [&](const QString& tree) {
        for (const Product& n : nodes)
            if (n.tree == tree)
                return n.code;
        return QString();
    };

    // Purchasable and not purchasable products per branch.
    {
        TableWriter ncmp(conn, QStringLiteral("PRODNCMP"),
                         {QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO")});
        TableWriter cmp(conn, QStringLiteral("PRODCMPFILI"),
                        {QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO")});
        for (int i = 0; i < stores.size(); ++i) {
            if (i % 7 == 3) { // no beverages, except water
                ncmp.add({stores[i].code, nodeCode(QStringLiteral("04"))});
                cmp.add({stores[i].code, nodeCode(QStringLiteral("0403"))});
            }
            if (i % 11 == 5)
                ncmp.add({stores[i].code, leaves[(i * 7) % leaves.size()].code});
        }
    }

    // Operators, groups and authorisations.
    const QString hash = hashPassword(o.password, o.fastHash);
    {
        TableWriter w(conn, QStringLiteral("OPERADOR"),
                      {QStringLiteral("CDOPERADOR"), QStringLiteral("NMOPERADOR"),
                       QStringLiteral("DSSENHAHASH"), QStringLiteral("CDFILPROC"),
                       QStringLiteral("IDOPERFILI")});
        w.add({kDemoOperator, QStringLiteral("Operador de Demonstração"), hash, kCentralBranch,
               QStringLiteral("N")});
        w.add({kPlainOperator, QStringLiteral("Ana Compradora"), hash, kCentralBranch,
               QStringLiteral("N")});
        w.add({kManagerOperator, QStringLiteral("Carlos Gerente"), hash, kCentralBranch,
               QStringLiteral("N")});
        w.add({QStringLiteral("GERENTE2"), QStringLiteral("Beatriz Gerente"), hash,
               QStringLiteral("0002"), QStringLiteral("N")});
        w.add({kBranchOperator, QStringLiteral("Operador da Loja Guarulhos"), hash,
               QStringLiteral("0012"), QStringLiteral("S")});
        w.flush();
        TableWriter g(conn, QStringLiteral("GRUPOPER"),
                      {QStringLiteral("CDGRUPOPER"), QStringLiteral("DSGRUPOPER")});
        g.add({QStringLiteral("GERENCIA"), QStringLiteral("Gerência de Compras")});
        g.add({QStringLiteral("COMPRAS"), QStringLiteral("Compradores")});
        g.add({QStringLiteral("CALENDARIO"), QStringLiteral("Compras fora do calendário")});
        g.flush();
        TableWriter a(conn, QStringLiteral("AUTGRUPOP"),
                      {QStringLiteral("CDGRUPOPER"), QStringLiteral("IDAUTGRUPOP"),
                       QStringLiteral("NRAUTGRUPOP")});
        a.add({QStringLiteral("GERENCIA"), QStringLiteral("BLIP"), QString()});
        a.add({QStringLiteral("CALENDARIO"), QStringLiteral("PEOL"), QStringLiteral("001")});
        TableWriter og(conn, QStringLiteral("OPERGRUPOP"),
                       {QStringLiteral("CDOPERADOR"), QStringLiteral("CDGRUPOPER")});
        og.add({kDemoOperator, QStringLiteral("COMPRAS")});
        og.add({kDemoOperator, QStringLiteral("GERENCIA")});
        og.add({kPlainOperator, QStringLiteral("COMPRAS")});
        og.add({kManagerOperator, QStringLiteral("GERENCIA")});
        og.add({kManagerOperator, QStringLiteral("CALENDARIO")});
        og.add({QStringLiteral("GERENTE2"), QStringLiteral("GERENCIA")});
        og.add({kBranchOperator, QStringLiteral("COMPRAS")});
        TableWriter fo(conn, QStringLiteral("FILIOPER"),
                       {QStringLiteral("CDFILIAL"), QStringLiteral("CDOPERADOR")});
        for (const Branch& b : stores) {
            fo.add({b.code, kDemoOperator});
            fo.add({b.code, kManagerOperator});
            if (b.region == u"001" || b.region == u"002")
                fo.add({b.code, kPlainOperator});
            if (b.region == u"003")
                fo.add({b.code, QStringLiteral("GERENTE2")});
        }
        fo.add({QStringLiteral("0012"), kBranchOperator});
    }
    conn.exec(QStringLiteral("INSERT INTO PARAMGERAL (NRPARAMGERAL, IDRESTRFILIOPER, DSPICTPROD) "
                             "VALUES (1, 'S', ?)"),
              {QStringLiteral("99.99.999.9999;0;_")});

    // Parameters of the central branches and the stores.
    {
        TableWriter w(conn, QStringLiteral("PARAMOL"),
                      {QStringLiteral("CDFILIAL"), QStringLiteral("IDUTLPRARVOLCMP"),
                       QStringLiteral("CDGRUPPROD"), QStringLiteral("CDSUBGRARVOR")});
        w.add({kCentralBranch, QStringLiteral("S"), QStringLiteral("01"), QStringLiteral("0103")});
        w.add({QStringLiteral("0002"), QStringLiteral("N"), QStringLiteral("03"), Null});
        TableWriter s(conn, QStringLiteral("PARASUPRI"),
                      {QStringLiteral("CDFILIAL"), QStringLiteral("CDGRUPPROD"),
                       QStringLiteral("IDUTRESPEDEXOL"), QStringLiteral("IDUTILCONSSOLIOL"),
                       QStringLiteral("IDBLOQIMPOL"), QStringLiteral("IDBLQLANITSEMRELACOL")});
        s.add({kCentralBranch, QStringLiteral("01"), QStringLiteral("S"), QStringLiteral("S"),
               QStringLiteral("S"), QStringLiteral("S")});
        s.add({QStringLiteral("0002"), QStringLiteral("03"), QStringLiteral("N"),
               QStringLiteral("N"), QStringLiteral("N"), QStringLiteral("N")});
        for (const Branch& b : stores)
            s.add({b.code,
                   b.central == kCentralBranch ? QStringLiteral("01") : QStringLiteral("03"),
                   b.reservation ? QStringLiteral("S") : QStringLiteral("N"), QStringLiteral("N"),
                   QStringLiteral("N"),
                   b.central == kCentralBranch ? QStringLiteral("S") : QStringLiteral("N")});
    }

    // Branch groupings.
    {
        TableWriter g(conn, QStringLiteral("GRUPFILI"),
                      {QStringLiteral("CDGRUPFILI"), QStringLiteral("NMGRUPFILI")});
        TableWriter gf(conn, QStringLiteral("GRUPFILIFILI"),
                       {QStringLiteral("CDGRUPFILI"), QStringLiteral("CDFILIAL")});
        const QList<QPair<QString, QStringList>> groupings = {
            {QStringLiteral("Lojas da Capital"), {QStringLiteral("001")}},
            {QStringLiteral("Lojas do Interior"), {QStringLiteral("002")}},
            {QStringLiteral("Lojas do Sul"), {QStringLiteral("003")}},
            {QStringLiteral("Lojas de Minas e Rio"),
             {QStringLiteral("004"), QStringLiteral("005")}},
            {QStringLiteral("Lojas do Nordeste"), {QStringLiteral("006")}}};
        for (int i = 0; i < groupings.size(); ++i) {
            const QString code = QStringLiteral("%1").arg(i + 1, 10, 10, QLatin1Char('0'));
            g.add({code, groupings[i].first});
            g.flush();
            for (const Branch& b : stores)
                if (groupings[i].second.contains(b.region))
                    gf.add({code, b.code});
        }
    }

    // OL relationships and stock; products that an OL does not handle stay without relationship.
    QHash<QString, QSet<QString>> related; // OL -> products
    QHash<QString, double> stock;          // OL|product|brand -> balance
    QHash<QString, double> reservedOf;     // OL|product|brand -> reserved by the items
    {
        TableWriter r(conn, QStringLiteral("PRODRELACOL"),
                      {QStringLiteral("CDFILIOPELOG"), QStringLiteral("CDPRODUTO"),
                       QStringLiteral("CDPRODARVOL")});
        for (int oi = 0; oi < ols.size(); ++oi)
            for (const Product& p : leaves)
                if (rnd.chance(p.packaging ? 60 : 85)) {
                    related[ols[oi]].insert(p.code);
                    r.add({ols[oi], p.code, QString(QChar(u'A' + oi)) + p.code});
                    for (const QString& b : p.brands)
                        stock.insert(ols[oi] + u'|' + p.code + u'|' + b,
                                     rnd.chance(15) ? 0.0 : double(rnd.range(10, 3000)));
                }
    }

    // Dispatch batches.
    QHash<QString, QStringList> batchesOf;
    {
        TableWriter w(conn, QStringLiteral("LOTENVITOL"),
                      {QStringLiteral("CDLOTENVITOL"), QStringLiteral("NMLOTENVITOL"),
                       QStringLiteral("CDFILIOPELOG"), QStringLiteral("DTCRIACAO")});
        for (int i = 0; i < 12; ++i) {
            const QString code = QStringLiteral("%1").arg(i + 1, 10, 10, QLatin1Char('0'));
            const QString ol = ols[i % ols.size()];
            batchesOf[ol] << code;
            w.add({code,
                   QStringLiteral("Lote %1 semana %2")
                       .arg(ol)
                       .arg(i / ols.size() + 1, 2, 10, QLatin1Char('0')),
                   ol, dateText(base.addDays(-7 * (i / ols.size())))});
        }
    }

    // Particularities and purchase calendar.
    {
        TableWriter w(conn, QStringLiteral("PARTFILIPROD"),
                      {QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO"),
                       QStringLiteral("CDTIPPART"), QStringLiteral("CDMARCA"),
                       QStringLiteral("CDPRODPREF")});
        for (int i = 0; i < stores.size(); ++i) {
            const Product& leaf = leaves[(i * 13) % leaves.size()];
            const QString type = nodes[typeNodes[leaf.typeIndex]].code;
            switch (i % 6) {
            case 1:
                w.add({stores[i].code, nodeCode(leaf.tree.left(4)), QStringLiteral("1"),
                       leaf.brands.first(), Null});
                break;
            case 2:
                w.add({stores[i].code, type, QStringLiteral("2"), leaf.brands.last(), Null});
                break;
            case 3:
                w.add({stores[i].code, nodeCode(leaf.tree.left(2)), QStringLiteral("3"),
                       brandCode(int((i * 5) % kBrands.size())), Null});
                break;
            case 4:
                w.add({stores[i].code, type, QStringLiteral("0"), Null, leaf.code});
                break;
            default:
                break;
            }
        }
        TableWriter c(conn, QStringLiteral("PERIFILIPROD"),
                      {QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO"),
                       QStringLiteral("DSDIASENTREGA")});
        const QStringList patterns = {QStringLiteral("NSNSNSN"), QStringLiteral("NNSNSNN"),
                                      QStringLiteral("NSSSSSN"), QStringLiteral("SSSSSSS")};
        for (int i = 0; i < stores.size(); ++i)
            for (int gi = 0; gi < kGroups.size(); ++gi)
                c.add({stores[i].code, nodes[gi * 17].code, patterns[(i + gi) % patterns.size()]});
    }

    // Option profiles of the automatic alteration.
    {
        TableWriter w(conn, QStringLiteral("OPCAOFILTRO"),
                      {QStringLiteral("CDTELA"), QStringLiteral("DSOPCAO"),
                       QStringLiteral("NMCOMPONENTE"), QStringLiteral("IDVALOR")});
        const QStringList boxes = {QStringLiteral("chbProduto"), QStringLiteral("chbEntrega"),
                                   QStringLiteral("chbQuantidade"), QStringLiteral("chbAtuSoli")};
        const QList<QPair<QString, QString>> options = {
            {QStringLiteral("mnuEmbalagemDiferente"), QStringLiteral("SNNS")},
            {QStringLiteral("mnuProdutoDiferente"), QStringLiteral("SNNS")},
            {QStringLiteral("mnuProdutoEntrega"), QStringLiteral("SSNS")},
            {QStringLiteral("mnuEntrega"), QStringLiteral("NSNS")},
            {QStringLiteral("mnuQuantidade"), QStringLiteral("NNSN")}};
        for (const auto& [name, values] : options)
            for (int b = 0; b < boxes.size(); ++b)
                w.add({QStringLiteral("SUP07702"), name, boxes[b], QString(values[b])});
        TableWriter f(conn, QStringLiteral("FILTROSUP"),
                      {QStringLiteral("CDOPERADOR"), QStringLiteral("CDTELA"),
                       QStringLiteral("NMCOMPONENTE"), QStringLiteral("DSOPCAO"),
                       QStringLiteral("IDSELECIONADO"), QStringLiteral("IDVALOR")});
        for (int b = 0; b < boxes.size(); ++b)
            f.add({kPlainOperator, QStringLiteral("SUP07702"), boxes[b],
                   QStringLiteral("mnuEntrega"), QStringLiteral("S"),
                   QString(QStringLiteral("NSNS")[b])});
    }

    // Order items, with their reservations, blocking history and purchase requests.
    {
        TableWriter items(conn, QStringLiteral("PEDIDOOLITEM"),
                          {QStringLiteral("CDRASTRITM"),        QStringLiteral("CDARVPROD"),
                           QStringLiteral("CDPRODUTO"),         QStringLiteral("NMPRODUTO"),
                           QStringLiteral("SGUNIDADE"),         QStringLiteral("CDPRODESTO"),
                           QStringLiteral("QTPROGENPEOL"),      QStringLiteral("NRPEDEXOL"),
                           QStringLiteral("CDFILLANC"),         QStringLiteral("CDFILDEST"),
                           QStringLiteral("DTPROGENPEOL"),      QStringLiteral("DTPROGEMBARQ"),
                           QStringLiteral("NMMARCA"),           QStringLiteral("CDMARCA"),
                           QStringLiteral("CDFILIOPELOG"),      QStringLiteral("VRFATOCONV"),
                           QStringLiteral("IDTIPOEXOL"),        QStringLiteral("IDITMPEDOLBLOQ"),
                           QStringLiteral("DTBLOQITMPEDOL"),    QStringLiteral("QTRESERVESTOL"),
                           QStringLiteral("IDUTRESPEDEXOL"),    QStringLiteral("CDLOTENVITOL"),
                           QStringLiteral("IDITEMAJUSTE"),      QStringLiteral("NRSEQLOGIMPOL"),
                           QStringLiteral("CDPRODORIGPEDOL"),   QStringLiteral("QTORIGPRODPED"),
                           QStringLiteral("DTEMISPEDOL"),       QStringLiteral("IDPEDEXTRA"),
                           QStringLiteral("DTDESBLOQITMPEDOL"), QStringLiteral("IDSITUITEM")});
        TableWriter reservations(conn, QStringLiteral("RESERVAESTOL"),
                                 {QStringLiteral("CDRASTRITM"), QStringLiteral("CDFILIOPELOG"),
                                  QStringLiteral("CDPRODUTO"), QStringLiteral("CDMARCA"),
                                  QStringLiteral("QTRESERVADA"), QStringLiteral("DTRESERVA"),
                                  QStringLiteral("CDOPERADOR")});
        TableWriter history(conn, QStringLiteral("BLOQITEMHIST"),
                            {QStringLiteral("CDRASTRITM"), QStringLiteral("IDITMPEDOLBLOQ"),
                             QStringLiteral("DTEVENTO"), QStringLiteral("CDOPERADOR")});
        TableWriter requests(conn, QStringLiteral("SOLICOMPRA"),
                             {QStringLiteral("NRSOLICOMPRA"), QStringLiteral("CDRASTRITM"),
                              QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO"),
                              QStringLiteral("CDMARCA"), QStringLiteral("QTSOLICITADA"),
                              QStringLiteral("QTORIGSOLIC"), QStringLiteral("DTENTREGA"),
                              QStringLiteral("IDSITUSOLIC")});
        reservations.setParent(&items);
        history.setParent(&items);
        requests.setParent(&items);
        QHash<QString, int> leafIndex;
        for (int i = 0; i < leaves.size(); ++i)
            leafIndex.insert(leaves[i].code, i);
        QList<QStringList> relatedList(ols.size());
        for (int oi = 0; oi < ols.size(); ++oi) {
            QStringList l = related.value(ols[oi]).values();
            std::sort(l.begin(), l.end()); // QSet order is not stable across runs
            relatedList[oi] = l;
        }
        qint64 itemSeq = 0, requestSeq = 0;
        int order = 0;
        while (itemSeq < o.items) {
            ++order;
            const Branch& dest = stores[rnd.range(0, int(stores.size()) - 1)];
            const QStringList destOls = olsOf(dest);
            const QString ol = destOls.size() > 1 && rnd.chance(20) ? destOls[1] : destOls[0];
            const int oi = int(ols.indexOf(ol));
            const bool manual = rnd.chance(15);
            const QString lanc = manual ? dest.code : dest.central;
            const QDate emission = base.addDays(-rnd.range(0, 20));
            const QDate delivery = emission.addDays(rnd.range(5, 25));
            const QDate shipping = delivery.addDays(-rnd.range(1, 2));
            const QString number = QString::number(2026000000LL + order);
            const bool extra = rnd.chance(10);
            const int lines = int(qMin<qint64>(rnd.range(3, 18), o.items - itemSeq));
            QSet<QString> used;
            for (int l = 0; l < lines; ++l) {
                const bool unrelated = rnd.chance(6) || relatedList[oi].isEmpty();
                const Product& p = unrelated ? leaves[rnd.range(0, int(leaves.size()) - 1)]
                                             : leaves[leafIndex.value(rnd.pick(relatedList[oi]))];
                const QString brand = rnd.pick(p.brands);
                if (used.contains(p.code + u'|' + brand))
                    continue;
                used.insert(p.code + u'|' + brand);
                const qint64 id = ++itemSeq;
                double qty = rnd.range(1, 300);
                if (rnd.chance(10))
                    qty += rnd.range(1, 999) / 1000.0;
                const bool blocked = rnd.chance(7);
                const bool unblocked = !blocked && rnd.chance(4);
                const bool adjustment = rnd.chance(3);
                const QString situation =
                    rnd.chance(96) ? QStringLiteral("A")
                                   : (rnd.chance(50) ? QStringLiteral("B") : QStringLiteral("E"));
                double reserved = 0;
                const QString stockKey = ol + u'|' + p.code + u'|' + brand;
                if (dest.reservation && !adjustment && situation == u"A" && rnd.chance(30) &&
                    stock.value(stockKey) > 0) {
                    reserved = qMin(qty, stock.value(stockKey));
                    stock[stockKey] -= reserved;
                    reservedOf[stockKey] += reserved;
                }
                const QStringList& batches = batchesOf[ol];
                const QVariant batch = rnd.chance(15) ? QVariant(rnd.pick(batches)) : Null;
                QString original = p.code;
                double originalQty = qty;
                if (rnd.chance(5)) {
                    original = leaves[(leafIndex.value(p.code) + 96) % leaves.size()].code;
                    originalQty = double(rnd.range(1, 300));
                }
                const QDate blockDate = emission.addDays(1);
                items.add({id,
                           p.tree,
                           p.code,
                           p.name,
                           p.unit,
                           p.stock,
                           qty,
                           number,
                           lanc,
                           dest.code,
                           dateText(delivery),
                           dateText(shipping),
                           QString::fromUtf8(kBrands[brand.toInt() - 1]),
                           brand,
                           ol,
                           p.factor,
                           manual ? QStringLiteral("M") : QStringLiteral("A"),
                           blocked ? QStringLiteral("S") : QStringLiteral("N"),
                           blocked || unblocked ? QVariant(dateText(blockDate)) : Null,
                           reserved,
                           dest.reservation ? QStringLiteral("S") : QStringLiteral("N"),
                           batch,
                           adjustment ? QStringLiteral("S") : QStringLiteral("N"),
                           QString::number(500000 + order),
                           original,
                           originalQty,
                           dateText(emission),
                           extra ? QStringLiteral("S") : QStringLiteral("N"),
                           unblocked ? QVariant(dateText(blockDate.addDays(2))) : Null,
                           situation});
                if (reserved > 0)
                    reservations.add({id, ol, p.code, brand, reserved,
                                      dateText(emission.addDays(1)), kDemoOperator});
                if (blocked || unblocked)
                    history.add({id, QStringLiteral("S"), dateText(blockDate), kManagerOperator});
                if (unblocked)
                    history.add({id, QStringLiteral("N"), dateText(blockDate.addDays(2)),
                                 kManagerOperator});
                if (rnd.chance(50))
                    requests.add({++requestSeq, id, dest.code, p.code, brand, qty, originalQty,
                                  dateText(delivery), QStringLiteral("A")});
                else if (rnd.chance(4))
                    requests.add({++requestSeq, Null, dest.code, p.code, brand, qty, qty,
                                  dateText(delivery), QStringLiteral("A")});
            }
        }
    }
    {
        TableWriter w(conn, QStringLiteral("ESTOQUEOL"),
                      {QStringLiteral("CDFILIOPELOG"), QStringLiteral("CDPRODUTO"),
                       QStringLiteral("CDMARCA"), QStringLiteral("QTSALDO"),
                       QStringLiteral("QTRESERVADO"), QStringLiteral("DTATUALIZ")});
        QStringList keys = stock.keys();
        std::sort(keys.begin(), keys.end());
        for (const QString& k : keys) {
            const QStringList parts = k.split(u'|');
            // The balance includes the reserved part, the sum of the item reservations.
            const double reserved = reservedOf.value(k);
            w.add({parts[0], parts[1], parts[2], stock.value(k) + reserved, reserved,
                   dateText(base)});
        }
    }
    tx.commit();
}

} // namespace sup::server

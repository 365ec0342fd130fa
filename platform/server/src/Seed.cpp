#include "sup/server/Seed.h"

#include "SqlValues.h"

#include "sup/server/Schema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSqlQuery>

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

// The logistics operators (OL); their relationships are drawn in this order.
const QStringList kOls = {QStringLiteral("0901"), QStringLiteral("0902"), QStringLiteral("0903"),
                          QStringLiteral("0904")};

QString brandCode(int i) {
    return QStringLiteral("%1").arg(i + 1, 5, 10, QLatin1Char('0'));
}

// The OLs that serve a store, the usual one first.
QStringList olsOf(const Branch& b) {
    if (b.region == u"003")
        return {QStringLiteral("0902"), QStringLiteral("0901")};
    if (b.region == u"004")
        return {QStringLiteral("0903"), QStringLiteral("0901")};
    if (b.region == u"006")
        return {QStringLiteral("0904")};
    return {QStringLiteral("0901"), QStringLiteral("0903")};
}

// ---------------------------------------------------------------- regions and branches

void writeRegions(sql::Connection& conn) {
    TableWriter w(conn, QStringLiteral("REGIAO"),
                  {QStringLiteral("CDREGIAO"), QStringLiteral("NMREGIAO")});
    for (const Region& r : kRegions)
        w.add({QString::fromLatin1(r.code), QString::fromUtf8(r.name)});
}

// Two routes per region, north and south.
void writeRoutes(sql::Connection& conn) {
    TableWriter routes(conn, QStringLiteral("ROTATRANS"),
                       {QStringLiteral("CDROTATRANS"), QStringLiteral("NMROTATRANS")});
    for (const Region& r : kRegions)
        for (int k = 1; k <= 2; ++k)
            routes.add({QStringLiteral("R%1%2")
                            .arg(QString::fromLatin1(r.code))
                            .arg(k, 2, 10, QLatin1Char('0')),
                        QStringLiteral("Rota %1 %2")
                            .arg(QString::fromUtf8(r.name),
                                 k == 1 ? QStringLiteral("Norte") : QStringLiteral("Sul"))});
}

// One store per city, numbered from 0010 in region order; the routes of a region alternate.
QList<Branch> planStores() {
    QList<Branch> stores;
    int n = 0;
    for (const Region& r : kRegions) {
        int i = 0;
        for (const char* city : r.cities) {
            Branch b;
            b.code = QStringLiteral("%1").arg(10 + n++, 4, 10, QLatin1Char('0'));
            b.name = QStringLiteral("Loja ") + QString::fromUtf8(city);
            b.region = QString::fromLatin1(r.code);
            b.central = b.region == u"003" ? QStringLiteral("0002") : QStringLiteral("0001");
            b.route =
                QStringLiteral("R%1%2").arg(b.region).arg(1 + (i++ % 2), 2, 10, QLatin1Char('0'));
            b.reservation = b.region == u"001" || b.region == u"002";
            stores << b;
        }
    }
    return stores;
}

// Central branches, the distribution centre, the OLs and the stores.
void writeBranches(sql::Connection& conn, const QList<Branch>& stores) {
    TableWriter w(conn, QStringLiteral("FILIAL"),
                  {QStringLiteral("CDFILIAL"), QStringLiteral("NMFILIAL"),
                   QStringLiteral("CDREGIAO"), QStringLiteral("CDROTATRANS"),
                   QStringLiteral("CDFILCENTCMP"), QStringLiteral("IDFUNCAOFILI")});
    w.add({kCentralBranch, QStringLiteral("Central de Compras São Paulo"), QStringLiteral("001"),
           Null, Null, QStringLiteral("C")});
    w.add({QStringLiteral("0002"), QStringLiteral("Central de Compras Sul"), QStringLiteral("003"),
           Null, Null, QStringLiteral("C")});
    w.add({QStringLiteral("0005"), QStringLiteral("Centro de Distribuição Cajamar"),
           QStringLiteral("001"), Null, QStringLiteral("0001"), QStringLiteral("D")});
    const QStringList olNames = {
        QStringLiteral("OL Rápido Paulista Logística"), QStringLiteral("OL TransSul Armazéns"),
        QStringLiteral("OL Minas Cargas"), QStringLiteral("OL Nordeste Distribuição")};
    const QStringList olRegions = {QStringLiteral("001"), QStringLiteral("003"),
                                   QStringLiteral("004"), QStringLiteral("006")};
    for (int i = 0; i < kOls.size(); ++i)
        w.add({kOls[i], olNames[i], olRegions[i], Null, Null, QStringLiteral("O")});
    for (const Branch& b : stores)
        w.add({b.code, b.name, b.region, b.route, b.central, QStringLiteral("L")});
}

void writeBranchParameters(sql::Connection& conn, const QList<Branch>& stores) {
    TableWriter w(conn, QStringLiteral("PARAMFILIAL"),
                  {QStringLiteral("CDFILIAL"), QStringLiteral("IDUTRESPEDEXOL"),
                   QStringLiteral("IDPROSEMMAR"), QStringLiteral("IDUTLMARPREFOL")});
    w.add({kCentralBranch, QStringLiteral("S"), QStringLiteral("N"), QStringLiteral("S")});
    w.add({QStringLiteral("0002"), QStringLiteral("N"), QStringLiteral("N"), QStringLiteral("N")});
    for (int i = 0; i < stores.size(); ++i)
        w.add({stores[i].code, stores[i].reservation ? QStringLiteral("S") : QStringLiteral("N"),
               i % 5 == 2 ? QStringLiteral("S") : QStringLiteral("N"),
               i % 3 == 1 ? QStringLiteral("S") : QStringLiteral("N")});
}

// ---------------------------------------------------------------- products

void writeProductGroups(sql::Connection& conn) {
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

void writeBrands(sql::Connection& conn) {
    TableWriter w(conn, QStringLiteral("MARCA"),
                  {QStringLiteral("CDMARCA"), QStringLiteral("NMMARCA")});
    for (int i = 0; i < kBrands.size(); ++i)
        w.add({brandCode(i), QString::fromUtf8(kBrands[i])});
}

// The product tree: groups, categories and types (levels 1 to 3), and the products (level 4).
struct Catalog {
    QList<Product> nodes;       // levels 1 to 3
    QList<Product> leaves;      // level 4
    QList<qsizetype> typeNodes; // indexes in `nodes` of the level-3 nodes

    QString nodeCode(const QString& tree) const {
        for (const Product& n : nodes)
            if (n.tree == tree)
                return n.code;
        return QString();
    }
};

// Levels 1 to 3, from the group table; `seq` numbers the products in tree order.
void addTreeNodes(Catalog& c, int& seq) {
    for (int gi = 0; gi < kGroups.size(); ++gi) {
        const Group& g = kGroups[gi];
        Product n1;
        n1.code = QString::number(seq++);
        n1.tree = QStringLiteral("%1").arg(gi + 1, 2, 10, QLatin1Char('0'));
        n1.name = QString::fromUtf8(g.name);
        n1.level = 1;
        c.nodes << n1;
        for (int ci = 0; ci < g.categories.size(); ++ci) {
            Product n2;
            n2.code = QString::number(seq++);
            n2.tree = n1.tree + QStringLiteral("%1").arg(ci + 1, 2, 10, QLatin1Char('0'));
            n2.name = QString::fromUtf8(g.categories[ci].name);
            n2.level = 2;
            c.nodes << n2;
            for (int ti = 0; ti < g.categories[ci].types.size(); ++ti) {
                Product n3;
                n3.code = QString::number(seq++);
                n3.tree = n2.tree + QStringLiteral("%1").arg(ti + 1, 3, 10, QLatin1Char('0'));
                n3.name = QString::fromUtf8(g.categories[ci].types[ti]);
                n3.level = 3;
                n3.subgroup = n2.tree;
                c.typeNodes << c.nodes.size();
                c.nodes << n3;
            }
        }
    }
}

// Leaves: spread over the type nodes; every fourth one is a bigger packaging of the one
// before (same stock product, conversion factor 6 or 12).
void addLeaves(Catalog& c, Random& rnd, qsizetype leafCount, int& seq) {
    const QList<Product>& nodes = c.nodes;
    const QList<qsizetype>& typeNodes = c.typeNodes;
    QList<Product>& leaves = c.leaves;
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
}

Catalog buildCatalog(Random& rnd, qsizetype items) {
    Catalog c;
    int seq = 1000;
    addTreeNodes(c, seq);
    addLeaves(c, rnd, std::clamp<qsizetype>(items / 10, 192, 5000), seq);
    return c;
}

// Products with their brands and the quantity adjustments between a packaging and its stock
// product.
void writeProducts(sql::Connection& conn, Random& rnd, const Catalog& catalog) {
    TableWriter w(conn, QStringLiteral("PRODUTO"),
                  {QStringLiteral("CDPRODUTO"), QStringLiteral("CDARVPROD"),
                   QStringLiteral("CDNVPRODUTO"), QStringLiteral("NMPRODUTO"),
                   QStringLiteral("SGUNIDADE"), QStringLiteral("CDPRODESTO"),
                   QStringLiteral("VRFATOCONV"), QStringLiteral("VRPESOUNID"),
                   QStringLiteral("SGUNIDESTOQUE"), QStringLiteral("IDPRODATIVPR"),
                   QStringLiteral("CDSUBGRPROD")});
    for (const Product& n : catalog.nodes)
        w.add({n.code, n.tree, QString::number(n.level), n.name, Null, Null, Null, Null, Null,
               QStringLiteral("S"), n.level == 3 ? QVariant(n.subgroup) : Null});
    // Leaves go in two passes so that a packaging's stock product exists before it.
    const QList<Product>& leaves = catalog.leaves;
    for (int pass = 0; pass < 2; ++pass)
        for (qsizetype i = 0; i < leaves.size(); ++i) {
            const Product& p = leaves[i];
            if (p.packaging != (pass == 1))
                continue;
            w.add({p.code, p.tree, QStringLiteral("4"), p.name, p.unit, p.stock, p.factor, p.weight,
                   QString::fromLatin1(kGroups[p.tree.left(2).toInt() - 1].unit),
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

// Purchasable and not purchasable products per branch.
void writePurchasableProducts(sql::Connection& conn, const QList<Branch>& stores,
                              const Catalog& catalog) {
    TableWriter ncmp(conn, QStringLiteral("PRODNCMP"),
                     {QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO")});
    TableWriter cmp(conn, QStringLiteral("PRODCMPFILI"),
                    {QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO")});
    for (int i = 0; i < stores.size(); ++i) {
        if (i % 7 == 3) { // no beverages, except water
            ncmp.add({stores[i].code, catalog.nodeCode(QStringLiteral("04"))});
            cmp.add({stores[i].code, catalog.nodeCode(QStringLiteral("0403"))});
        }
        if (i % 11 == 5)
            ncmp.add({stores[i].code, catalog.leaves[(i * 7) % catalog.leaves.size()].code});
    }
}

// ---------------------------------------------------------------- operators and parameters

// Operators, groups and authorisations; every operator has the password of the options.
void writeOperators(sql::Connection& conn, const QList<Branch>& stores, const SeedOptions& o) {
    // One hash each: the same password gets a salt of its own per operator.
    const auto hash = [&o] {
        return hashPassword(o.password, o.fastHash);
    };
    TableWriter w(conn, QStringLiteral("OPERADOR"),
                  {QStringLiteral("CDOPERADOR"), QStringLiteral("NMOPERADOR"),
                   QStringLiteral("DSSENHAHASH"), QStringLiteral("CDFILPROC"),
                   QStringLiteral("IDOPERFILI")});
    w.add({kDemoOperator, QStringLiteral("Operador de Demonstração"), hash(), kCentralBranch,
           QStringLiteral("N")});
    w.add({kPlainOperator, QStringLiteral("Ana Compradora"), hash(), kCentralBranch,
           QStringLiteral("N")});
    w.add({kManagerOperator, QStringLiteral("Carlos Gerente"), hash(), kCentralBranch,
           QStringLiteral("N")});
    w.add({QStringLiteral("GERENTE2"), QStringLiteral("Beatriz Gerente"), hash(),
           QStringLiteral("0002"), QStringLiteral("N")});
    w.add({kBranchOperator, QStringLiteral("Operador da Loja Guarulhos"), hash(),
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

void writeGeneralParameters(sql::Connection& conn) {
    conn.exec(QStringLiteral("INSERT INTO PARAMGERAL (NRPARAMGERAL, IDRESTRFILIOPER, DSPICTPROD) "
                             "VALUES (1, 'S', ?)"),
              {QStringLiteral("99.99.999.9999;0;_")});
}

// Parameters of the central branches and the stores.
void writeSupplyParameters(sql::Connection& conn, const QList<Branch>& stores) {
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
    s.add({QStringLiteral("0002"), QStringLiteral("03"), QStringLiteral("N"), QStringLiteral("N"),
           QStringLiteral("N"), QStringLiteral("N")});
    for (const Branch& b : stores)
        s.add({b.code, b.central == kCentralBranch ? QStringLiteral("01") : QStringLiteral("03"),
               b.reservation ? QStringLiteral("S") : QStringLiteral("N"), QStringLiteral("N"),
               QStringLiteral("N"),
               b.central == kCentralBranch ? QStringLiteral("S") : QStringLiteral("N")});
}

void writeBranchGroupings(sql::Connection& conn, const QList<Branch>& stores) {
    TableWriter g(conn, QStringLiteral("GRUPFILI"),
                  {QStringLiteral("CDGRUPFILI"), QStringLiteral("NMGRUPFILI")});
    TableWriter gf(conn, QStringLiteral("GRUPFILIFILI"),
                   {QStringLiteral("CDGRUPFILI"), QStringLiteral("CDFILIAL")});
    const QList<QPair<QString, QStringList>> groupings = {
        {QStringLiteral("Lojas da Capital"), {QStringLiteral("001")}},
        {QStringLiteral("Lojas do Interior"), {QStringLiteral("002")}},
        {QStringLiteral("Lojas do Sul"), {QStringLiteral("003")}},
        {QStringLiteral("Lojas de Minas e Rio"), {QStringLiteral("004"), QStringLiteral("005")}},
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

// ---------------------------------------------------------------- OL relationships and stock

struct OlStock {
    QHash<QString, QSet<QString>> related; // OL -> products
    QHash<QString, double> stock;          // OL|product|brand -> balance
    QHash<QString, double> reservedOf;     // OL|product|brand -> reserved by the items
};

// OL relationships and stock; products that an OL does not handle stay without relationship.
OlStock writeOlRelationships(sql::Connection& conn, Random& rnd, const QList<Product>& leaves) {
    OlStock s;
    TableWriter r(conn, QStringLiteral("PRODRELACOL"),
                  {QStringLiteral("CDFILIOPELOG"), QStringLiteral("CDPRODUTO"),
                   QStringLiteral("CDPRODARVOL")});
    for (int oi = 0; oi < kOls.size(); ++oi)
        for (const Product& p : leaves)
            if (rnd.chance(p.packaging ? 60 : 85)) {
                s.related[kOls[oi]].insert(p.code);
                r.add({kOls[oi], p.code, QString(QChar(u'A' + oi)) + p.code});
                for (const QString& b : p.brands)
                    s.stock.insert(kOls[oi] + u'|' + p.code + u'|' + b,
                                   rnd.chance(15) ? 0.0 : double(rnd.range(10, 3000)));
            }
    return s;
}

// Dispatch batches, three per OL, one a week; the oldest week's are closed. Returns the batch
// codes by OL.
QHash<QString, QStringList> writeDispatchBatches(sql::Connection& conn, const QDate& base) {
    QHash<QString, QStringList> batchesOf;
    TableWriter w(conn, QStringLiteral("LOTENVITOL"),
                  {QStringLiteral("CDLOTENVITOL"), QStringLiteral("NMLOTENVITOL"),
                   QStringLiteral("CDFILIOPELOG"), QStringLiteral("DTCRIACAO"),
                   QStringLiteral("DTFECHAMENTO")});
    for (int i = 0; i < 12; ++i) {
        const QString code = QStringLiteral("%1").arg(i + 1, 10, 10, QLatin1Char('0'));
        const QString ol = kOls[i % kOls.size()];
        const int week = i / int(kOls.size());
        batchesOf[ol] << code;
        const QDate created = base.addDays(-7 * week);
        w.add({code,
               QStringLiteral("Lote %1 semana %2").arg(ol).arg(week + 1, 2, 10, QLatin1Char('0')),
               ol, dateText(created), week == 2 ? QVariant(dateText(created.addDays(4))) : Null});
    }
    return batchesOf;
}

// Balances with their reserved part, the sum of the item reservations.
void writeOlStock(sql::Connection& conn, const OlStock& s, const QDate& base) {
    TableWriter w(conn, QStringLiteral("ESTOQUEOL"),
                  {QStringLiteral("CDFILIOPELOG"), QStringLiteral("CDPRODUTO"),
                   QStringLiteral("CDMARCA"), QStringLiteral("QTSALDO"),
                   QStringLiteral("QTRESERVADO"), QStringLiteral("DTATUALIZ")});
    QStringList keys = s.stock.keys();
    std::sort(keys.begin(), keys.end());
    for (const QString& k : keys) {
        const QStringList parts = k.split(u'|');
        const double reserved = s.reservedOf.value(k);
        w.add(
            {parts[0], parts[1], parts[2], s.stock.value(k) + reserved, reserved, dateText(base)});
    }
}

// ---------------------------------------------------------------- particularities and profiles

void addParticularities(TableWriter& w, const QList<Branch>& stores, const Catalog& catalog) {
    for (int i = 0; i < stores.size(); ++i) {
        const Product& leaf = catalog.leaves[(i * 13) % catalog.leaves.size()];
        const QString type = catalog.nodes[catalog.typeNodes[leaf.typeIndex]].code;
        switch (i % 6) {
        case 1:
            w.add({stores[i].code, catalog.nodeCode(leaf.tree.left(4)), QStringLiteral("1"),
                   leaf.brands.first(), Null});
            break;
        case 2:
            w.add({stores[i].code, type, QStringLiteral("2"), leaf.brands.last(), Null});
            break;
        case 3:
            w.add({stores[i].code, catalog.nodeCode(leaf.tree.left(2)), QStringLiteral("3"),
                   brandCode(int((i * 5) % kBrands.size())), Null});
            break;
        case 4:
            w.add({stores[i].code, type, QStringLiteral("0"), Null, leaf.code});
            break;
        default:
            break;
        }
    }
}

// Delivery weekdays per store and product group.
void addPurchaseCalendar(TableWriter& c, const QList<Branch>& stores, const Catalog& catalog) {
    const QStringList patterns = {QStringLiteral("NSNSNSN"), QStringLiteral("NNSNSNN"),
                                  QStringLiteral("NSSSSSN"), QStringLiteral("SSSSSSS")};
    for (int i = 0; i < stores.size(); ++i)
        for (int gi = 0; gi < kGroups.size(); ++gi)
            c.add({stores[i].code, catalog.nodes[gi * 17].code,
                   patterns[(i + gi) % patterns.size()]});
}

// Particularities of the stores and their purchase calendar.
void writeParticularitiesAndCalendar(sql::Connection& conn, const QList<Branch>& stores,
                                     const Catalog& catalog) {
    TableWriter w(conn, QStringLiteral("PARTFILIPROD"),
                  {QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO"),
                   QStringLiteral("CDTIPPART"), QStringLiteral("CDMARCA"),
                   QStringLiteral("CDPRODPREF")});
    addParticularities(w, stores, catalog);
    TableWriter c(
        conn, QStringLiteral("PERIFILIPROD"),
        {QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO"), QStringLiteral("DSDIASENTREGA")});
    addPurchaseCalendar(c, stores, catalog);
}

// Option profiles of the automatic alteration.
void writeOptionProfiles(sql::Connection& conn) {
    TableWriter w(conn, QStringLiteral("OPCAOFILTRO"),
                  {QStringLiteral("CDTELA"), QStringLiteral("DSOPCAO"),
                   QStringLiteral("NMCOMPONENTE"), QStringLiteral("IDVALOR")});
    // Each option turns on the attributes it alters; only "Produto + Entrega" updates the
    // purchase requests from the start (the screen turns that on once a date is typed).
    const QStringList boxes = {QStringLiteral("chbProduto"), QStringLiteral("chbEntrega"),
                               QStringLiteral("chbQuantidade"), QStringLiteral("chbAtuSoli"),
                               QStringLiteral("chbConsideraSol")};
    const QList<QPair<QString, QString>> options = {
        {QStringLiteral("mnuEmbalagemDiferente"), QStringLiteral("SNNNN")},
        {QStringLiteral("mnuProdutoDiferente"), QStringLiteral("SNNNN")},
        {QStringLiteral("mnuProdutoEntrega"), QStringLiteral("SSNSN")},
        {QStringLiteral("mnuEntrega"), QStringLiteral("NSNNN")},
        {QStringLiteral("mnuQuantidade"), QStringLiteral("NNSNN")}};
    for (const auto& [name, values] : options)
        for (int b = 0; b < boxes.size(); ++b)
            w.add({QStringLiteral("SUP07702"), name, boxes[b], QString(values[b])});
    TableWriter f(conn, QStringLiteral("FILTROSUP"),
                  {QStringLiteral("CDOPERADOR"), QStringLiteral("CDTELA"),
                   QStringLiteral("NMCOMPONENTE"), QStringLiteral("DSOPCAO"),
                   QStringLiteral("IDSELECIONADO"), QStringLiteral("IDVALOR")});
    for (int b = 0; b < boxes.size(); ++b)
        f.add({kPlainOperator, QStringLiteral("SUP07702"), boxes[b], QStringLiteral("mnuEntrega"),
               QStringLiteral("S"), QString(QStringLiteral("NSNNN")[b])});
}

// ---------------------------------------------------------------- order items

// The writers of the order items and of the rows that reference them: on PostgreSQL a
// referencing writer flushes the pending items before its own rows.
struct ItemWriters {
    explicit ItemWriters(sql::Connection& conn)
        : items(conn, QStringLiteral("PEDIDOOLITEM"),
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
                 QStringLiteral("DTDESBLOQITMPEDOL"), QStringLiteral("IDSITUITEM")})
        , reservations(conn, QStringLiteral("RESERVAESTOL"),
                       {QStringLiteral("CDRASTRITM"), QStringLiteral("CDFILIOPELOG"),
                        QStringLiteral("CDPRODUTO"), QStringLiteral("CDMARCA"),
                        QStringLiteral("QTRESERVADA"), QStringLiteral("DTRESERVA"),
                        QStringLiteral("CDOPERADOR")})
        , history(conn, QStringLiteral("BLOQITEMHIST"),
                  {QStringLiteral("CDRASTRITM"), QStringLiteral("IDITMPEDOLBLOQ"),
                   QStringLiteral("DTEVENTO"), QStringLiteral("CDOPERADOR")})
        , requests(conn, QStringLiteral("SOLICOMPRA"),
                   {QStringLiteral("NRSOLICOMPRA"), QStringLiteral("CDRASTRITM"),
                    QStringLiteral("CDFILIAL"), QStringLiteral("CDPRODUTO"),
                    QStringLiteral("CDMARCA"), QStringLiteral("QTSOLICITADA"),
                    QStringLiteral("QTORIGSOLIC"), QStringLiteral("DTENTREGA"),
                    QStringLiteral("IDSITUSOLIC")}) {
        reservations.setParent(&items);
        history.setParent(&items);
        requests.setParent(&items);
    }

    TableWriter items;
    TableWriter reservations;
    TableWriter history;
    TableWriter requests;
};

// Draws the products of the order lines: mostly one related to the line's OL.
class LeafPicker {
public:
    LeafPicker(const QList<Product>& leaves, const QHash<QString, QSet<QString>>& related)
        : leaves_(leaves)
        , related_(kOls.size()) {
        for (int i = 0; i < leaves.size(); ++i)
            index_.insert(leaves[i].code, i);
        for (int oi = 0; oi < kOls.size(); ++oi) {
            QStringList l = related.value(kOls[oi]).values();
            std::sort(l.begin(), l.end()); // QSet order is not stable across runs
            related_[oi] = l;
        }
    }

    const Product& pick(Random& rnd, int olIndex) const {
        const bool unrelated = rnd.chance(6) || related_[olIndex].isEmpty();
        return unrelated ? leaves_[rnd.range(0, int(leaves_.size()) - 1)]
                         : leaves_[index_.value(rnd.pick(related_[olIndex]))];
    }

    // The leaf 96 places after `p` (wrapping round): another product of the catalogue.
    const Product& farFrom(const Product& p) const {
        return leaves_[(index_.value(p.code) + 96) % leaves_.size()];
    }

private:
    const QList<Product>& leaves_;
    QHash<QString, int> index_;  // code -> index in leaves_
    QList<QStringList> related_; // by OL index: the codes of its related products, sorted
};

// One order: its destination, OL, dates and line count, drawn once for all its lines.
struct Order {
    int serial = 0;
    const Branch* dest = nullptr;
    QString ol;
    int olIndex = -1;
    bool manual = false;
    QString lanc; // branch that placed it: the store (manual) or its central branch
    QDate emission, delivery, shipping;
    QString number;
    bool extra = false;
    int lines = 0;
};

Order drawOrder(Random& rnd, int serial, qint64 remaining, const QList<Branch>& stores,
                const QDate& base) {
    Order order;
    order.serial = serial;
    order.dest = &stores[rnd.range(0, int(stores.size()) - 1)];
    const QStringList destOls = olsOf(*order.dest);
    order.ol = destOls.size() > 1 && rnd.chance(20) ? destOls[1] : destOls[0];
    order.olIndex = int(kOls.indexOf(order.ol));
    order.manual = rnd.chance(15);
    order.lanc = order.manual ? order.dest->code : order.dest->central;
    order.emission = base.addDays(-rnd.range(0, 20));
    order.delivery = order.emission.addDays(rnd.range(5, 25));
    order.shipping = order.delivery.addDays(-rnd.range(1, 2));
    order.number = QString::number(2026000000LL + serial);
    order.extra = rnd.chance(10);
    order.lines = int(qMin<qint64>(rnd.range(3, 18), remaining));
    return order;
}

// One order line with what was drawn for it.
struct ItemLine {
    qint64 id = 0;
    const Product* product = nullptr;
    QString brand;
    double qty = 0;
    bool blocked = false;
    bool unblocked = false; // blocked, then released two days later
    bool adjustment = false;
    QString situation;
    double reserved = 0;
    QVariant batch;
    QString original; // the product first ordered, and its quantity
    double originalQty = 0;
};

// Draws the state of a line; a reservation takes its quantity from the OL's stock.
ItemLine drawItem(Random& rnd, qint64 id, const Order& order, const Product& p,
                  const QString& brand, const QStringList& batches, const LeafPicker& picker,
                  OlStock& olStock) {
    ItemLine item;
    item.id = id;
    item.product = &p;
    item.brand = brand;
    item.qty = rnd.range(1, 300);
    if (rnd.chance(10))
        item.qty += rnd.range(1, 999) / 1000.0;
    item.blocked = rnd.chance(7);
    item.unblocked = !item.blocked && rnd.chance(4);
    item.adjustment = rnd.chance(3);
    item.situation = rnd.chance(96) ? QStringLiteral("A")
                                    : (rnd.chance(50) ? QStringLiteral("B") : QStringLiteral("E"));
    const QString stockKey = order.ol + u'|' + p.code + u'|' + brand;
    if (order.dest->reservation && !item.adjustment && item.situation == u"A" && rnd.chance(30) &&
        olStock.stock.value(stockKey) > 0) {
        item.reserved = qMin(item.qty, olStock.stock.value(stockKey));
        olStock.stock[stockKey] -= item.reserved;
        olStock.reservedOf[stockKey] += item.reserved;
    }
    item.batch = rnd.chance(15) ? QVariant(rnd.pick(batches)) : Null;
    item.original = p.code;
    item.originalQty = item.qty;
    if (rnd.chance(5)) {
        item.original = picker.farFrom(p).code;
        item.originalQty = double(rnd.range(1, 300));
    }
    return item;
}

// The item, its reservation and its blocking history.
void writeItem(ItemWriters& w, const Order& order, const ItemLine& item) {
    const Product& p = *item.product;
    const QDate blockDate = order.emission.addDays(1);
    w.items.add({item.id,
                 p.tree,
                 p.code,
                 p.name,
                 p.unit,
                 p.stock,
                 item.qty,
                 order.number,
                 order.lanc,
                 order.dest->code,
                 dateText(order.delivery),
                 dateText(order.shipping),
                 QString::fromUtf8(kBrands[item.brand.toInt() - 1]),
                 item.brand,
                 order.ol,
                 p.factor,
                 order.manual ? QStringLiteral("M") : QStringLiteral("A"),
                 item.blocked ? QStringLiteral("S") : QStringLiteral("N"),
                 item.blocked || item.unblocked ? QVariant(dateText(blockDate)) : Null,
                 item.reserved,
                 order.dest->reservation ? QStringLiteral("S") : QStringLiteral("N"),
                 item.batch,
                 item.adjustment ? QStringLiteral("S") : QStringLiteral("N"),
                 QString::number(500000 + order.serial),
                 item.original,
                 item.originalQty,
                 dateText(order.emission),
                 order.extra ? QStringLiteral("S") : QStringLiteral("N"),
                 item.unblocked ? QVariant(dateText(blockDate.addDays(2))) : Null,
                 item.situation});
    if (item.reserved > 0)
        w.reservations.add({item.id, order.ol, p.code, item.brand, item.reserved,
                            dateText(order.emission.addDays(1)), kDemoOperator});
    if (item.blocked || item.unblocked)
        w.history.add({item.id, QStringLiteral("S"), dateText(blockDate), kManagerOperator});
    if (item.unblocked)
        w.history.add(
            {item.id, QStringLiteral("N"), dateText(blockDate.addDays(2)), kManagerOperator});
}

// Half of the items have a purchase request; a few requests are not linked to their item.
void addRequest(Random& rnd, TableWriter& requests, qint64& requestSeq, const Order& order,
                const ItemLine& item) {
    const Product& p = *item.product;
    if (rnd.chance(50))
        requests.add({++requestSeq, item.id, order.dest->code, p.code, item.brand, item.qty,
                      item.originalQty, dateText(order.delivery), QStringLiteral("A")});
    else if (rnd.chance(4))
        requests.add({++requestSeq, Null, order.dest->code, p.code, item.brand, item.qty, item.qty,
                      dateText(order.delivery), QStringLiteral("A")});
}

// Orders of 3 to 18 lines until `o.items` items are written; a product and brand appear once
// per order.
void writeOrderItems(sql::Connection& conn, Random& rnd, const SeedOptions& o,
                     const QList<Branch>& stores, const QList<Product>& leaves,
                     const QHash<QString, QStringList>& batchesOf, OlStock& olStock) {
    ItemWriters w(conn);
    const LeafPicker picker(leaves, olStock.related);
    qint64 itemSeq = 0, requestSeq = 0;
    int serial = 0;
    while (itemSeq < o.items) {
        const Order order = drawOrder(rnd, ++serial, o.items - itemSeq, stores, o.baseDate);
        const QStringList batches = batchesOf.value(order.ol);
        QSet<QString> used;
        for (int l = 0; l < order.lines; ++l) {
            const Product& p = picker.pick(rnd, order.olIndex);
            const QString brand = rnd.pick(p.brands);
            if (used.contains(p.code + u'|' + brand))
                continue;
            used.insert(p.code + u'|' + brand);
            const ItemLine item =
                drawItem(rnd, ++itemSeq, order, p, brand, batches, picker, olStock);
            writeItem(w, order, item);
            addRequest(rnd, w.requests, requestSeq, order, item);
        }
    }
}

// ---------------------------------------------------------------- cases of the editing rules

// A shampoo that no OL handles: no relationship and no stock anywhere. Typed into an item of a
// branch that refuses such products, it is turned down.
void writeProductWithoutOl(sql::Connection& conn) {
    const QString tree = kProductWithoutOlTree;
    const QString code = QStringLiteral("90001");
    conn.exec(QStringLiteral("INSERT INTO PRODUTO (CDPRODUTO, CDARVPROD, CDNVPRODUTO, NMPRODUTO,"
                             " SGUNIDADE, CDPRODESTO, VRFATOCONV, VRPESOUNID, SGUNIDESTOQUE,"
                             " IDPRODATIVPR, CDSUBGRPROD) VALUES (?, ?, '4', ?, 'UN', ?, 1.0, 0.4,"
                             " 'UN', 'S', ?)"),
              {code, tree, QStringLiteral("Xampu Anticaspa Importado 400ml"), code, tree.left(4)});
    for (const int brand : {0, 18})
        conn.exec(QStringLiteral("INSERT INTO PRODMARCA (CDPRODUTO, CDMARCA) VALUES (?, ?)"),
                  {code, brandCode(brand)});
}

// Particularities on the products of the first open items of two stores that check brand
// preferences, one of each kind: brand kinds 1, 2, 3 on the product itself, 7, 8, 9 on its type
// node; the preferential product (0) on the type node names another product of that type.
// Changing the brand of those items (or, for the restricted brand, choosing it) raises the
// question of each kind.
void writePreferenceCases(sql::Connection& conn, const Catalog& catalog) {
    QHash<QString, const Product*> leafOf;
    for (const Product& p : catalog.leaves)
        leafOf.insert(p.code, &p);
    const QList<QPair<QString, QStringList>> cases = {
        {kPreferenceBranch,
         {QStringLiteral("1"), QStringLiteral("8"), QStringLiteral("3"), QStringLiteral("0")}},
        {QStringLiteral("0014"),
         {QStringLiteral("7"), QStringLiteral("2"), QStringLiteral("9"), QStringLiteral("0")}}};
    for (const auto& [branch, types] : cases) {
        QSqlQuery q = conn.exec(QStringLiteral("SELECT CDPRODUTO, CDMARCA FROM PEDIDOOLITEM"
                                               " WHERE CDFILDEST = ? AND IDSITUITEM = 'A'"
                                               " AND IDITMPEDOLBLOQ = 'N' ORDER BY CDRASTRITM"),
                                {branch});
        QList<QPair<const Product*, QString>> items; // distinct products, in item order
        QSet<QString> seen;
        while (q.next()) {
            const Product* p = leafOf.value(q.value(0).toString());
            if (p && !seen.contains(p->code) && p->brands.size() > 1 &&
                items.size() < types.size()) {
                seen.insert(p->code);
                items.append({p, q.value(1).toString()});
            }
        }
        for (qsizetype k = 0; k < items.size(); ++k) {
            const Product& p = *items[k].first;
            const QString& brand = items[k].second;
            const QString type = types[k];
            const bool onTypeNode = type == u"0" || type.toInt() >= 7;
            const QString target = onTypeNode ? catalog.nodeCode(p.tree.left(7)) : p.code;
            QVariant named = brand, preferred;
            if (type == u"3" || type == u"9") {
                for (const QString& b : p.brands)
                    if (b != brand) {
                        named = b;
                        break;
                    }
            } else if (type == u"0") {
                named = QVariant();
                for (const Product& other : catalog.leaves)
                    if (other.typeIndex == p.typeIndex && other.code != p.code) {
                        preferred = other.code;
                        break;
                    }
                if (!preferred.isValid())
                    continue;
            }
            conn.exec(QStringLiteral("INSERT INTO PARTFILIPROD (CDFILIAL, CDPRODUTO, CDTIPPART,"
                                     " CDMARCA, CDPRODPREF) VALUES (?, ?, ?, ?, ?)"),
                      {branch, target, type, named, preferred});
        }
    }
}

} // namespace

void seedDatabase(sql::Connection& conn, const SeedOptions& o) {
    if (!schemaInstalled(conn))
        installSchema(conn);
    sql::Transaction tx(conn, sql::Transaction::Write);
    if (conn.scalar(QStringLiteral("SELECT COUNT(*) FROM FILIAL")).toInt() > 0)
        throw sql::SqlError(
            QStringLiteral("O banco de dados já tem dados; a carga inicial exige um banco vazio."));
    // One generator for the whole data set: the steps below draw from it in this order.
    Random rnd(o.seed);
    const QList<Branch> stores = planStores();
    writeRegions(conn);
    writeRoutes(conn);
    writeBranches(conn, stores);
    writeBranchParameters(conn, stores);
    writeProductGroups(conn);
    writeBrands(conn);
    const Catalog catalog = buildCatalog(rnd, o.items);
    writeProducts(conn, rnd, catalog);
    writePurchasableProducts(conn, stores, catalog);
    writeOperators(conn, stores, o);
    writeGeneralParameters(conn);
    writeSupplyParameters(conn, stores);
    writeBranchGroupings(conn, stores);
    OlStock olStock = writeOlRelationships(conn, rnd, catalog.leaves);
    const QHash<QString, QStringList> batchesOf = writeDispatchBatches(conn, o.baseDate);
    writeParticularitiesAndCalendar(conn, stores, catalog);
    writeOptionProfiles(conn);
    writeOrderItems(conn, rnd, o, stores, catalog.leaves, batchesOf, olStock);
    writeOlStock(conn, olStock, o.baseDate);
    // Fixed cases, after every random draw: the data above stays as it was.
    writeProductWithoutOl(conn);
    writePreferenceCases(conn, catalog);
    tx.commit();
}

} // namespace sup::server

#include "sup/server/Schema.h"

#include <QRegularExpression>

namespace sup::server {

namespace {

// One DDL text for both databases; $CODE, $TXT, $NUM, $INT, $BIGINT, $TS and $AUTOID are
// replaced by the dialect's types. Dates are naive local date-times (SQLite: text
// "YYYY-MM-DD HH:MM:SS"; PostgreSQL: timestamp without time zone).
const char* const kSchema = R"SQL(
CREATE TABLE SCHEMAVERSAO (
    NRVERSAO        $INT NOT NULL
);

-- Reference tables, read also by the routine's local queries.
CREATE TABLE REGIAO (
    CDREGIAO        $CODE NOT NULL PRIMARY KEY,
    NMREGIAO        $TXT NOT NULL
);
CREATE TABLE ROTATRANS (
    CDROTATRANS     $CODE NOT NULL PRIMARY KEY,
    NMROTATRANS     $TXT NOT NULL
);
-- IDFUNCAOFILI: 'L' store, 'C' central purchasing branch, 'D' distribution centre,
-- 'O' logistics operator (OL).
CREATE TABLE FILIAL (
    CDFILIAL        $CODE NOT NULL PRIMARY KEY,
    NMFILIAL        $TXT NOT NULL,
    CDREGIAO        $CODE REFERENCES REGIAO (CDREGIAO),
    CDROTATRANS     $CODE REFERENCES ROTATRANS (CDROTATRANS),
    CDFILCENTCMP    $CODE REFERENCES FILIAL (CDFILIAL),
    IDFUNCAOFILI    $TXT NOT NULL DEFAULT 'L'
);
CREATE INDEX FILIAL_REGIAO ON FILIAL (CDREGIAO);
CREATE TABLE MARCA (
    CDMARCA         $CODE NOT NULL PRIMARY KEY,
    NMMARCA         $TXT NOT NULL
);
CREATE TABLE GRUPPROD (
    CDGRUPPROD      $CODE NOT NULL PRIMARY KEY,
    NMGRUPPROD      $TXT NOT NULL
);
CREATE TABLE SUBGRUPPROD (
    CDSUBGRPROD     $CODE NOT NULL PRIMARY KEY,
    NMSUBGRPROD     $TXT NOT NULL,
    CDGRUPPROD      $CODE NOT NULL REFERENCES GRUPPROD (CDGRUPPROD)
);
-- The product tree: every node is a product row; a node's tree code is a prefix of the codes
-- below it. CDNVPRODUTO is the level (1 = top). Items are bought only for rows with a stock
-- product (CDPRODESTO): packagings of one stock product share it.
CREATE TABLE PRODUTO (
    CDPRODUTO       $CODE NOT NULL PRIMARY KEY,
    CDARVPROD       $CODE NOT NULL UNIQUE,
    CDNVPRODUTO     $TXT NOT NULL,
    NMPRODUTO       $TXT NOT NULL,
    SGUNIDADE       $TXT,
    CDPRODESTO      $CODE REFERENCES PRODUTO (CDPRODUTO),
    VRFATOCONV      $NUM,
    VRPESOUNID      $NUM,
    SGUNIDESTOQUE   $TXT,
    IDPRODATIVPR    $TXT NOT NULL DEFAULT 'S',
    CDSUBGRPROD     $CODE REFERENCES SUBGRUPPROD (CDSUBGRPROD)
);
CREATE INDEX PRODUTO_ESTOQUE ON PRODUTO (CDPRODESTO);
-- Brands a product is bought in.
CREATE TABLE PRODMARCA (
    CDPRODUTO       $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    CDMARCA         $CODE NOT NULL REFERENCES MARCA (CDMARCA),
    PRIMARY KEY (CDPRODUTO, CDMARCA)
);
-- Products (or tree nodes) that may not / may be bought for a branch.
CREATE TABLE PRODNCMP (
    CDFILIAL        $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDPRODUTO       $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    PRIMARY KEY (CDFILIAL, CDPRODUTO)
);
CREATE TABLE PRODCMPFILI (
    CDFILIAL        $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDPRODUTO       $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    PRIMARY KEY (CDFILIAL, CDPRODUTO)
);
-- Operators. DSSENHAHASH is an Argon2id string (never the password). IDOPERFILI 'S': the
-- operator works bound to the processing branch CDFILPROC.
CREATE TABLE OPERADOR (
    CDOPERADOR      $CODE NOT NULL PRIMARY KEY,
    NMOPERADOR      $TXT NOT NULL,
    DSSENHAHASH     $TXT NOT NULL,
    CDFILPROC       $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    IDOPERFILI      $TXT NOT NULL DEFAULT 'N',
    IDATIVO         $TXT NOT NULL DEFAULT 'S'
);
CREATE TABLE GRUPOPER (
    CDGRUPOPER      $CODE NOT NULL PRIMARY KEY,
    DSGRUPOPER      $TXT NOT NULL
);
CREATE TABLE OPERGRUPOP (
    CDOPERADOR      $CODE NOT NULL REFERENCES OPERADOR (CDOPERADOR),
    CDGRUPOPER      $CODE NOT NULL REFERENCES GRUPOPER (CDGRUPOPER),
    PRIMARY KEY (CDOPERADOR, CDGRUPOPER)
);
-- Authorisations of operator groups: 'BLIP' (release of direct delivery, alteration of blocked
-- items), 'PEOL' (exempt from the purchase calendar; NRAUTGRUPOP: the branch number).
CREATE TABLE AUTGRUPOP (
    CDGRUPOPER      $CODE NOT NULL REFERENCES GRUPOPER (CDGRUPOPER),
    IDAUTGRUPOP     $CODE NOT NULL,
    NRAUTGRUPOP     $CODE NOT NULL DEFAULT '',
    PRIMARY KEY (CDGRUPOPER, IDAUTGRUPOP, NRAUTGRUPOP)
);
CREATE TABLE FILIOPER (
    CDFILIAL        $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDOPERADOR      $CODE NOT NULL REFERENCES OPERADOR (CDOPERADOR),
    PRIMARY KEY (CDFILIAL, CDOPERADOR)
);
-- One row. DSPICTPROD: edit mask of product tree codes.
CREATE TABLE PARAMGERAL (
    NRPARAMGERAL    $INT NOT NULL PRIMARY KEY,
    IDRESTRFILIOPER $TXT NOT NULL DEFAULT 'S',
    DSPICTPROD      $TXT NOT NULL
);

-- Parameters.
CREATE TABLE PARAMFILIAL (
    CDFILIAL        $CODE NOT NULL PRIMARY KEY REFERENCES FILIAL (CDFILIAL),
    IDUTRESPEDEXOL  $TXT NOT NULL DEFAULT 'N',
    IDPROSEMMAR     $TXT NOT NULL DEFAULT 'N',
    IDUTLMARPREFOL  $TXT NOT NULL DEFAULT 'N'
);
CREATE TABLE PARAMOL (
    CDFILIAL        $CODE NOT NULL PRIMARY KEY REFERENCES FILIAL (CDFILIAL),
    IDUTLPRARVOLCMP $TXT NOT NULL DEFAULT 'N',
    CDGRUPPROD      $CODE REFERENCES GRUPPROD (CDGRUPPROD),
    CDSUBGRARVOR    $CODE REFERENCES SUBGRUPPROD (CDSUBGRPROD)
);
CREATE TABLE PARASUPRI (
    CDFILIAL              $CODE NOT NULL PRIMARY KEY REFERENCES FILIAL (CDFILIAL),
    CDGRUPPROD            $CODE REFERENCES GRUPPROD (CDGRUPPROD),
    IDUTRESPEDEXOL        $TXT NOT NULL DEFAULT 'N',
    IDUTILCONSSOLIOL      $TXT NOT NULL DEFAULT 'N',
    IDBLOQIMPOL           $TXT NOT NULL DEFAULT 'N',
    IDBLQLANITSEMRELACOL  $TXT NOT NULL DEFAULT 'N'
);

-- Branch groupings.
CREATE TABLE GRUPFILI (
    CDGRUPFILI      $CODE NOT NULL PRIMARY KEY,
    NMGRUPFILI      $TXT NOT NULL
);
CREATE TABLE GRUPFILIFILI (
    CDGRUPFILI      $CODE NOT NULL REFERENCES GRUPFILI (CDGRUPFILI),
    CDFILIAL        $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    PRIMARY KEY (CDGRUPFILI, CDFILIAL)
);

-- Products a logistics operator handles, with the operator's own code for them.
CREATE TABLE PRODRELACOL (
    CDFILIOPELOG    $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDPRODUTO       $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    CDPRODARVOL     $CODE NOT NULL,
    PRIMARY KEY (CDFILIOPELOG, CDPRODUTO)
);
-- Stock kept by a logistics operator; QTRESERVADO is the part reserved for order items.
CREATE TABLE ESTOQUEOL (
    CDFILIOPELOG    $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDPRODUTO       $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    CDMARCA         $CODE NOT NULL REFERENCES MARCA (CDMARCA),
    QTSALDO         $NUM NOT NULL DEFAULT 0,
    QTRESERVADO     $NUM NOT NULL DEFAULT 0,
    DTATUALIZ       $TS,
    PRIMARY KEY (CDFILIOPELOG, CDPRODUTO, CDMARCA)
);
-- Dispatch batches of order items to an OL. DTFECHAMENTO: when the batch was closed for
-- dispatch; a batch without it is open, and only open batches take items or give them up.
CREATE TABLE LOTENVITOL (
    CDLOTENVITOL    $CODE NOT NULL PRIMARY KEY,
    NMLOTENVITOL    $TXT NOT NULL,
    CDFILIOPELOG    $CODE REFERENCES FILIAL (CDFILIAL),
    DTCRIACAO       $TS,
    DTFECHAMENTO    $TS
);
-- Particularities of a branch for a product or tree node: CDTIPPART '1' mandatory brand,
-- '2' preferential brand, '3' restricted brand (CDMARCA), '0' preferential product (CDPRODPREF).
-- '7', '8' and '9' are further codes of the three brand kinds, checked as '1', '2' and '3'.
CREATE TABLE PARTFILIPROD (
    NRPARTFILI      $AUTOID,
    CDFILIAL        $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDPRODUTO       $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    CDTIPPART       $TXT NOT NULL,
    CDMARCA         $CODE REFERENCES MARCA (CDMARCA),
    CDPRODPREF      $CODE REFERENCES PRODUTO (CDPRODUTO)
);
CREATE INDEX PARTFILIPROD_FILIAL ON PARTFILIPROD (CDFILIAL, CDPRODUTO);
-- Purchase calendar: weekdays on which a branch receives a product or tree node
-- (DSDIASENTREGA: seven 'S'/'N', Sunday first).
CREATE TABLE PERIFILIPROD (
    CDFILIAL        $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDPRODUTO       $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    DSDIASENTREGA   $TXT NOT NULL,
    PRIMARY KEY (CDFILIAL, CDPRODUTO)
);
-- Quantity adjustment (percent) when an original product is replaced by a destination product.
CREATE TABLE AJUSTEQTDE (
    CDPRODORIG      $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    CDPRODDEST      $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    VRPEAJQTDSOL    $NUM NOT NULL,
    PRIMARY KEY (CDPRODORIG, CDPRODDEST)
);
-- Option profiles of the screens: which check boxes an option turns on, and the option each
-- operator chose.
CREATE TABLE OPCAOFILTRO (
    CDTELA          $CODE NOT NULL,
    DSOPCAO         $CODE NOT NULL,
    NMCOMPONENTE    $TXT NOT NULL,
    IDVALOR         $TXT NOT NULL,
    PRIMARY KEY (CDTELA, DSOPCAO, NMCOMPONENTE)
);
CREATE TABLE FILTROSUP (
    CDOPERADOR      $CODE NOT NULL REFERENCES OPERADOR (CDOPERADOR),
    CDTELA          $CODE NOT NULL,
    NMCOMPONENTE    $TXT NOT NULL,
    DSOPCAO         $CODE NOT NULL,
    IDSELECIONADO   $TXT NOT NULL DEFAULT 'S',
    IDVALOR         $TXT NOT NULL,
    PRIMARY KEY (CDOPERADOR, CDTELA, NMCOMPONENTE)
);

-- OL order items: every field of the item record, keyed by the item key. CDFILDEST holds the
-- destination branch code (the record shows it with the branch name). IDSITUITEM: 'A' open,
-- 'B' written off, 'E' moved to direct delivery. DTEMISPEDOL order date, IDPEDEXTRA extra order,
-- DTDESBLOQITMPEDOL last unblocking date. CALC and ALTERADO are the client's marker and
-- change flags, served as 'N'.
CREATE TABLE PEDIDOOLITEM (
    CDRASTRITM        $BIGINT NOT NULL PRIMARY KEY,
    CALC              $TXT NOT NULL DEFAULT 'N',
    ALTERADO          $TXT NOT NULL DEFAULT 'N',
    CDARVPROD         $CODE NOT NULL,
    CDPRODUTO         $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    NMPRODUTO         $TXT NOT NULL,
    SGUNIDADE         $TXT,
    CDPRODESTO        $CODE,
    QTPROGENPEOL      $NUM NOT NULL,
    NRPEDEXOL         $CODE NOT NULL,
    CDFILLANC         $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDFILDEST         $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    DTPROGENPEOL      $TS NOT NULL,
    DTPROGEMBARQ      $TS,
    NMMARCA           $TXT,
    CDMARCA           $CODE NOT NULL REFERENCES MARCA (CDMARCA),
    CDFILIOPELOG      $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    VRFATOCONV        $NUM,
    IDTIPOEXOL        $TXT NOT NULL DEFAULT 'A',
    IDITMPEDOLBLOQ    $TXT NOT NULL DEFAULT 'N',
    DTBLOQITMPEDOL    $TS,
    QTRESERVESTOL     $NUM NOT NULL DEFAULT 0,
    IDUTRESPEDEXOL    $TXT NOT NULL DEFAULT 'N',
    CDLOTENVITOL      $CODE REFERENCES LOTENVITOL (CDLOTENVITOL),
    IDITEMAJUSTE      $TXT NOT NULL DEFAULT 'N',
    NRSEQLOGIMPOL     $CODE,
    CDPRODORIGPEDOL   $CODE REFERENCES PRODUTO (CDPRODUTO),
    QTORIGPRODPED     $NUM,
    DTEMISPEDOL       $TS NOT NULL,
    IDPEDEXTRA        $TXT NOT NULL DEFAULT 'N',
    DTDESBLOQITMPEDOL $TS,
    IDSITUITEM        $TXT NOT NULL DEFAULT 'A',
    UNIQUE (CDFILDEST, CDFILLANC, NRPEDEXOL, DTPROGENPEOL, CDPRODUTO, CDMARCA)
);
CREATE INDEX PEDIDOOLITEM_OL ON PEDIDOOLITEM (CDFILIOPELOG, DTPROGENPEOL);
CREATE INDEX PEDIDOOLITEM_LOTE ON PEDIDOOLITEM (CDLOTENVITOL);
-- The item filter's date and product ranges.
CREATE INDEX PEDIDOOLITEM_EMISSAO ON PEDIDOOLITEM (DTEMISPEDOL);
CREATE INDEX PEDIDOOLITEM_ENTREGA ON PEDIDOOLITEM (DTPROGENPEOL);
CREATE INDEX PEDIDOOLITEM_PRODUTO ON PEDIDOOLITEM (CDARVPROD);
-- Reservations of OL stock per item (the item's QTRESERVESTOL is their sum).
CREATE TABLE RESERVAESTOL (
    NRRESERVA       $AUTOID,
    CDRASTRITM      $BIGINT NOT NULL REFERENCES PEDIDOOLITEM (CDRASTRITM),
    CDFILIOPELOG    $CODE NOT NULL,
    CDPRODUTO       $CODE NOT NULL,
    CDMARCA         $CODE NOT NULL,
    QTRESERVADA     $NUM NOT NULL,
    DTRESERVA       $TS NOT NULL,
    CDOPERADOR      $CODE NOT NULL
);
CREATE INDEX RESERVAESTOL_ITEM ON RESERVAESTOL (CDRASTRITM);
-- Blocking history of items.
CREATE TABLE BLOQITEMHIST (
    NRSEQBLOQ       $AUTOID,
    CDRASTRITM      $BIGINT NOT NULL REFERENCES PEDIDOOLITEM (CDRASTRITM),
    IDITMPEDOLBLOQ  $TXT NOT NULL,
    DTEVENTO        $TS NOT NULL,
    CDOPERADOR      $CODE NOT NULL
);
CREATE INDEX BLOQITEMHIST_ITEM ON BLOQITEMHIST (CDRASTRITM);
-- Purchase requests behind the order items.
CREATE TABLE SOLICOMPRA (
    NRSOLICOMPRA    $BIGINT NOT NULL PRIMARY KEY,
    CDRASTRITM      $BIGINT REFERENCES PEDIDOOLITEM (CDRASTRITM),
    CDFILIAL        $CODE NOT NULL REFERENCES FILIAL (CDFILIAL),
    CDPRODUTO       $CODE NOT NULL REFERENCES PRODUTO (CDPRODUTO),
    CDMARCA         $CODE REFERENCES MARCA (CDMARCA),
    QTSOLICITADA    $NUM NOT NULL,
    QTORIGSOLIC     $NUM NOT NULL,
    DTENTREGA       $TS NOT NULL,
    IDSITUSOLIC     $TXT NOT NULL DEFAULT 'A'
);
CREATE INDEX SOLICOMPRA_ITEM ON SOLICOMPRA (CDRASTRITM);

-- Deltas already applied (a delta sent twice is refused) and the audit log of every change
-- (DSMOTIVO: the reason the calling screen gives for it).
CREATE TABLE DELTAAPLICADO (
    IDDELTA         $TXT NOT NULL PRIMARY KEY,
    NMMETODO        $TXT NOT NULL,
    CDOPERADOR      $CODE NOT NULL,
    DTAPLIC         $TS NOT NULL,
    QTLINHAS        $INT NOT NULL
);
-- Write calls already answered, by the id their transport gave them: a call repeated because
-- its answer was lost gets the first answer (the CBOR of result and by-reference arguments, in
-- base64) and changes nothing again.
CREATE TABLE CHAMADAAPLICADA (
    IDCHAMADA       $TXT NOT NULL PRIMARY KEY,
    NMMETODO        $TXT NOT NULL,
    CDOPERADOR      $CODE NOT NULL,
    DTAPLIC         $TS NOT NULL,
    DSRESPOSTA      $TXT NOT NULL
);
CREATE INDEX CHAMADAAPLICADA_DATA ON CHAMADAAPLICADA (DTAPLIC);
CREATE TABLE AUDITORIA (
    NRSEQAUDIT      $AUTOID,
    DTEVENTO        $TS NOT NULL,
    CDOPERADOR      $CODE NOT NULL,
    NMMETODO        $TXT NOT NULL,
    NMTABELA        $TXT NOT NULL,
    DSCHAVE         $TXT NOT NULL,
    NMCAMPO         $TXT NOT NULL,
    DSVALORANT      $TXT,
    DSVALORNOVO     $TXT,
    IDDELTA         $TXT,
    DSMOTIVO        $TXT
);
-- An item's history: its rows by the first parts of their key, compared byte by byte.
CREATE INDEX AUDITORIA_CHAVE ON AUDITORIA (NMTABELA, DSCHAVE$BYTES);
-- Sign-on sessions of the HTTP transport (the token's BLAKE2b hash, never the token).
CREATE TABLE SESSAO (
    DSTOKENHASH     $TXT NOT NULL PRIMARY KEY,
    CDOPERADOR      $CODE NOT NULL REFERENCES OPERADOR (CDOPERADOR),
    DTCRIACAO       $TS NOT NULL,
    DTEXPIRA        $TS NOT NULL
)
)SQL";

} // namespace

QStringList schemaStatements(sql::Dialect dialect) {
    const bool pg = dialect == sql::Dialect::PostgreSQL;
    QString ddl = QString::fromUtf8(kSchema);
    ddl.replace(QStringLiteral("$AUTOID"),
                pg ? QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                   : QStringLiteral("INTEGER PRIMARY KEY"));
    ddl.replace(QStringLiteral("$CODE"), sql::codeType(dialect));
    ddl.replace(QStringLiteral("$TXT"), pg ? QStringLiteral("text") : QStringLiteral("TEXT"));
    ddl.replace(QStringLiteral("$NUM"),
                pg ? QStringLiteral("double precision") : QStringLiteral("REAL"));
    ddl.replace(QStringLiteral("$BIGINT"),
                pg ? QStringLiteral("bigint") : QStringLiteral("INTEGER"));
    ddl.replace(QStringLiteral("$INT"), pg ? QStringLiteral("integer") : QStringLiteral("INTEGER"));
    ddl.replace(QStringLiteral("$TS"),
                pg ? QStringLiteral("timestamp(0)") : QStringLiteral("TEXT"));
    ddl.replace(QStringLiteral("$BYTES"), pg ? QStringLiteral(" COLLATE \"C\"") : QString());
    static const QRegularExpression comment(QStringLiteral("--[^\n]*"));
    ddl.remove(comment);
    QStringList out;
    for (const QString& s : ddl.split(u';')) {
        const QString t = s.trimmed();
        if (!t.isEmpty())
            out << t;
    }
    return out;
}

QStringList schemaTables() {
    QStringList out;
    static const QRegularExpression re(QStringLiteral("CREATE TABLE (\\w+)"));
    auto it = re.globalMatch(QString::fromUtf8(kSchema));
    while (it.hasNext())
        out << it.next().captured(1);
    return out;
}

bool schemaInstalled(const sql::Connection& conn) {
    const QString sql =
        conn.dialect() == sql::Dialect::SQLite
            ? QStringLiteral(
                  "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'SCHEMAVERSAO'")
            : QStringLiteral(
                  "SELECT 1 FROM information_schema.tables WHERE table_schema = current_schema()"
                  " AND table_name = 'schemaversao'");
    return conn.scalar(sql).isValid();
}

namespace {

// Version 5 on PostgreSQL: codes kept in the extension type citext become text in the codes'
// collation. The foreign keys between them are dropped while the columns change type (a key may
// not join the two types) and made again after; each table is rewritten once.
const char* const kCodesToCollation = R"SQL( DO $$
DECLARE
    fk record;
    fks text[] := '{}';
    t record;
BEGIN
    FOR fk IN SELECT c.conrelid::regclass AS tab, c.conname, pg_get_constraintdef(c.oid) AS def
              FROM pg_constraint c
              WHERE c.contype = 'f' AND c.connamespace = to_regnamespace(current_schema()) LOOP
        fks := fks || format('ALTER TABLE %s ADD CONSTRAINT %I %s', fk.tab, fk.conname, fk.def);
        EXECUTE format('ALTER TABLE %s DROP CONSTRAINT %I', fk.tab, fk.conname);
    END LOOP;
    FOR t IN SELECT table_name,
                    string_agg(format('ALTER COLUMN %I TYPE $CODE',
                                      column_name), ', ') AS changes
             FROM information_schema.columns
             WHERE table_schema = current_schema() AND udt_name = 'citext'
             GROUP BY table_name LOOP
        EXECUTE format('ALTER TABLE %I %s', t.table_name, t.changes);
    END LOOP;
    FOR i IN 1 .. coalesce(array_length(fks, 1), 0) LOOP
        EXECUTE fks[i];
    END LOOP;
END $$)SQL";

// What brings a database of the version before each one up to it: statement texts with the
// same placeholders as the schema's; those starting with $PG run on PostgreSQL alone.
const QList<QPair<int, QStringList>>& migrations() {
    static const QList<QPair<int, QStringList>> steps = {
        {2, {QStringLiteral("ALTER TABLE AUDITORIA ADD COLUMN DSMOTIVO $TXT")}},
        {3,
         {QStringLiteral("CREATE TABLE CHAMADAAPLICADA (IDCHAMADA $TXT NOT NULL PRIMARY KEY, "
                         "NMMETODO $TXT NOT NULL, CDOPERADOR $CODE NOT NULL, DTAPLIC $TS NOT NULL, "
                         "DSRESPOSTA $TXT NOT NULL)"),
          QStringLiteral("CREATE INDEX CHAMADAAPLICADA_DATA ON CHAMADAAPLICADA (DTAPLIC)")}},
        {4, {QStringLiteral("ALTER TABLE LOTENVITOL ADD COLUMN DTFECHAMENTO $TS")}},
        {5, {QStringLiteral("$PG") + kCodesToCollation}},
        {6,
         {QStringLiteral(
             "CREATE INDEX IF NOT EXISTS AUDITORIA_CHAVE ON AUDITORIA (NMTABELA, DSCHAVE$BYTES)")}},
    };
    return steps;
}

QString withTypes(QString statement, sql::Dialect dialect) {
    const bool pg = dialect == sql::Dialect::PostgreSQL;
    statement.replace(QStringLiteral("$TXT"), pg ? QStringLiteral("text") : QStringLiteral("TEXT"));
    statement.replace(QStringLiteral("$CODE"), sql::codeType(dialect));
    statement.replace(QStringLiteral("$TS"),
                      pg ? QStringLiteral("timestamp(0)") : QStringLiteral("TEXT"));
    statement.replace(QStringLiteral("$BYTES"), pg ? QStringLiteral(" COLLATE \"C\"") : QString());
    return statement;
}

} // namespace

void installSchema(sql::Connection& conn) {
    sql::installSqlFunctions(conn);
    if (schemaInstalled(conn)) {
        int v = conn.scalar(QStringLiteral("SELECT MAX(NRVERSAO) FROM SCHEMAVERSAO")).toInt();
        if (v < kSchemaVersion && v >= 1) {
            // An older database (the demo data of an earlier version) is brought up to date in
            // one transaction; its data stays.
            sql::Transaction tx(conn, sql::Transaction::Write);
            for (const auto& [version, statements] : migrations()) {
                if (version <= v)
                    continue;
                for (QString stmt : statements) {
                    if (stmt.startsWith(QStringLiteral("$PG"))) {
                        if (conn.dialect() != sql::Dialect::PostgreSQL)
                            continue;
                        stmt.remove(0, 3);
                    }
                    conn.exec(withTypes(stmt, conn.dialect()));
                }
                conn.exec(QStringLiteral("INSERT INTO SCHEMAVERSAO (NRVERSAO) VALUES (?)"),
                          {version});
            }
            tx.commit();
            v = kSchemaVersion;
        }
        if (v != kSchemaVersion)
            throw sql::SqlError(
                QStringLiteral(
                    "O banco de dados tem a versão %1 do esquema; este servidor usa a versão %2.")
                    .arg(v)
                    .arg(kSchemaVersion));
        return;
    }
    sql::Transaction tx(conn, sql::Transaction::Write);
    for (const QString& stmt : schemaStatements(conn.dialect()))
        conn.exec(stmt);
    conn.exec(QStringLiteral("INSERT INTO SCHEMAVERSAO (NRVERSAO) VALUES (?)"), {kSchemaVersion});
    tx.commit();
}

} // namespace sup::server

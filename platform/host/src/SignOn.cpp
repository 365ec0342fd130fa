#include "sup/host/SignOn.h"

#include "sup/widgetkit/Messages.h"

#include <QSqlError>
#include <QSqlQuery>

#include <sodium.h>

namespace sup::host {

bool VerifyPassword(const QString& hash, const QString& password) {
    if (sodium_init() < 0)
        throw EHostError(QStringLiteral("A biblioteca de criptografia não pôde ser iniciada."));
    const QByteArray h = hash.trimmed().toUtf8();
    const QByteArray p = password.toUtf8();
    if (h.isEmpty() || h.size() >= crypto_pwhash_STRBYTES)
        return false;
    char stored[crypto_pwhash_STRBYTES] = {};
    std::copy(h.cbegin(), h.cend(), stored);
    return crypto_pwhash_str_verify(stored, p.constData(), quint64(p.size())) == 0;
}

QString HashPassword(const QString& password, bool fast) {
    if (sodium_init() < 0)
        throw EHostError(QStringLiteral("A biblioteca de criptografia não pôde ser iniciada."));
    const QByteArray p = password.toUtf8();
    char out[crypto_pwhash_STRBYTES] = {};
    const auto ops = fast ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const auto mem = fast ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE;
    if (crypto_pwhash_str(out, p.constData(), quint64(p.size()), ops, mem) != 0)
        throw EHostError(QStringLiteral("Memória insuficiente para proteger a senha."));
    return QString::fromLatin1(out);
}

std::optional<OperatorRecord> FindOperator(const QSqlDatabase& db, const QString& code) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const QString sql =
        QStringLiteral("SELECT CDOPERADOR, NMOPERADOR, DSSENHAHASH, CDFILPROC, IDOPERFILI "
                       "FROM OPERADOR WHERE UPPER(CDOPERADOR) = UPPER(?)");
    if (!q.prepare(sql))
        throw EHostError(
            QStringLiteral("Erro ao consultar o operador: %1").arg(q.lastError().text()));
    QString trimmed = code;
    while (trimmed.endsWith(QLatin1Char(' ')))
        trimmed.chop(1);
    q.addBindValue(trimmed);
    if (!q.exec())
        throw EHostError(
            QStringLiteral("Erro ao consultar o operador: %1").arg(q.lastError().text()));
    if (!q.next())
        return std::nullopt;
    OperatorRecord r;
    r.code = q.value(0).toString().trimmed();
    r.name = q.value(1).toString().trimmed();
    r.passwordHash = q.value(2).toString().trimmed();
    r.branch = q.value(3).toString().trimmed();
    r.branchBound =
        q.value(4).toString().trimmed().compare(QLatin1String("S"), Qt::CaseInsensitive) == 0;
    return r;
}

TVantrel LoadSignOnValues(const QSqlDatabase& db, const QString& operatorCode,
                          const QString& webUrl, int webPort) {
    const auto op = FindOperator(db, operatorCode);
    if (!op)
        throw EHostError(QStringLiteral("Operador %1 não cadastrado.").arg(operatorCode.trimmed()));
    TVantrel v;
    v.Operador = op->code;
    v.FiliProc = op->branch;
    v.ModuFili = op->branchBound;
    v.WebURL = webUrl;
    v.WebPort = webPort;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT DSPICTPROD FROM PARAMGERAL")))
        throw EHostError(
            QStringLiteral("Erro ao ler os parâmetros gerais: %1").arg(q.lastError().text()));
    v.Pictures << (q.next() ? q.value(0).toString().trimmed() : QString());
    return v;
}

} // namespace sup::host

#include "sup/widgetkit/Messages.h"

#include "sup/contracts/ServerResult.h"
#include "sup/data/WorkingSet.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QtDebug>

#include <new>
#include <typeinfo>

namespace sup::host {

namespace {

// Text -> the catalogue key it was last looked up with. Bounded: a catalogue lookup adds one
// entry, and the whole table is dropped when it grows past a few thousand texts.
QHash<QString, QString>& keyOfTextTable() {
    static QHash<QString, QString> table;
    return table;
}

void rememberKey(const QString& text, const QString& key) {
    if (text.isEmpty())
        return;
    auto& table = keyOfTextTable();
    if (table.size() > 4096)
        table.clear();
    table.insert(text, key);
}

} // namespace

void Abort() {
    throw EAbort();
}

EHostError::EHostError(const QString& message)
    : std::runtime_error(message.toStdString())
    , message_(message) {}

TMessages::TMessages(QObject* parent, const QString& name)
    : QObject(parent) {
    setObjectName(name);
}

void TMessages::loadFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EHostError(QStringLiteral("O catálogo de mensagens %1 não pôde ser lido.").arg(path));
    setText(QString::fromUtf8(file.readAll()));
}

void TMessages::setText(const QString& text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    setLines(text.split(lineBreak));
}

void TMessages::setLines(const QStringList& lines) {
    entries_.clear();
    exact_.clear();
    folded_.clear();
    for (const QString& line : lines) {
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar <= 0)
            continue;
        const QString key = line.left(bar).trimmed();
        if (key.isEmpty())
            continue;
        const int index = int(entries_.size());
        entries_.push_back({key, line.mid(bar + 1)});
        if (!exact_.contains(key))
            exact_.insert(key, index);
        const QString folded = key.toLower();
        if (!folded_.contains(folded))
            folded_.insert(folded, index);
    }
}

QStringList TMessages::lines() const {
    QStringList out;
    out.reserve(qsizetype(entries_.size()));
    for (const Entry& e : entries_)
        out << e.key + QLatin1Char('|') + e.text;
    return out;
}

bool TMessages::contains(const QString& key) const {
    return exact_.contains(key) || folded_.contains(key.toLower());
}

QString TMessages::Msg(const QString& key) const {
    int index = -1;
    if (const auto it = exact_.constFind(key); it != exact_.cend())
        index = *it;
    else if (const auto f = folded_.constFind(key.toLower()); f != folded_.cend())
        index = *f;
    if (index < 0) {
        qWarning().noquote() << "Catálogo" << objectName() << "sem a chave" << key;
        return {};
    }
    const QString& text = entries_[std::size_t(index)].text;
    rememberKey(text, key);
    return text;
}

int TMessages::ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons,
                       int /*helpContext*/) const {
    return Host::instance().showMessage(Msg(key), type, buttons, key);
}

QString Format(const QString& pattern, const QStringList& args) {
    QString out;
    out.reserve(pattern.size() + 16);
    int next = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('%') && i + 1 < pattern.size()) {
            const QChar k = pattern.at(i + 1);
            if (k == QLatin1Char('s') || k == QLatin1Char('d')) {
                if (next < args.size())
                    out += args.at(next);
                ++next;
                ++i;
                continue;
            }
            if (k == QLatin1Char('%')) {
                out += QLatin1Char('%');
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

int MsgAlert(const QString& text, TMsgDlgType type, const QStringList& captions,
             int defaultButton) {
    return Host::instance().askCaptioned(text, type, captions, defaultButton, KeyOfText(text));
}

int MsgAlertEx(const QString& text, TMsgDlgType type, const QStringList& captions,
               int defaultButton, int /*helpContext*/, int /*reserved*/) {
    return Host::instance().askCaptioned(text, type, captions, defaultButton, KeyOfText(text));
}

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int) {
    return Host::instance().showMessage(text, type, buttons, KeyOfText(text));
}

void MensErro(const QString& text, bool abandon) {
    Host::instance().showError(text, KeyOfText(text));
    if (abandon)
        Abort();
}

QString ErrorText(std::exception_ptr error) {
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return {};
    } catch (const sup::contracts::EServerError& e) {
        return e.message().isEmpty() ? QStringLiteral("O servidor de aplicação informou um erro.")
                                     : e.message();
    } catch (const EHostError& e) {
        return e.message();
    } catch (const sup::data::DataSetError& e) {
        return QString::fromUtf8(e.what());
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Memória insuficiente para concluir a operação.");
    } catch (const std::exception& e) {
        const QString what = QString::fromUtf8(e.what());
        return what.isEmpty() ? QStringLiteral("Erro inesperado.")
                              : QStringLiteral("Erro inesperado: %1").arg(what);
    } catch (...) {
        return QStringLiteral("Erro inesperado.");
    }
}

void ReportException(std::exception_ptr error) {
    const QString text = ErrorText(error);
    if (text.isEmpty())
        return;
    if (Host* host = Host::current())
        host->showError(text, KeyOfText(text));
    else
        qCritical().noquote() << text;
}

QString KeyOfText(const QString& text) {
    return keyOfTextTable().value(text);
}

} // namespace sup::host

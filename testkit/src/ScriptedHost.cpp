#include "sup/testkit/ScriptedHost.h"

#include "sup/data/DataSource.h"
#include "sup/data/WorkingSet.h"
#include "sup/host/SignOn.h"
#include "sup/widgetkit/Messages.h"

#include <QApplication>
#include <QDialog>
#include <QSettings>
#include <QTest>
#include <QWidget>

namespace sup::testkit {

using namespace sup::host;

ScriptedHost::ScriptedHost()
    : previous_(Host::setInstance(this)) {
    vantrel_.Operador = QStringLiteral("000001");
    vantrel_.FiliProc = QStringLiteral("0001");
    vantrel_.Pictures << QStringLiteral("99.99.999.9999;0;_"); // as the demo data
}

ScriptedHost::~ScriptedHost() {
    if (Host::current() == this)
        Host::setInstance(previous_);
}

void ScriptedHost::missing(const QString& what) {
    unanswered << what;
    if (strict_)
        QTest::qFail(qPrintable(QStringLiteral("ScriptedHost: sem resposta para %1").arg(what)),
                     __FILE__, __LINE__);
}

void ScriptedHost::answerMessage(int result) {
    messageAnswers_.push_back(result);
}
void ScriptedHost::answerCaptioned(int result) {
    captionedAnswers_.push_back(result);
}

void ScriptedHost::answerPick(std::function<int(sup::data::TWorkingSet&)> chooser) {
    pickAnswers_.push_back(std::move(chooser));
}

void ScriptedHost::answerPickRow(int position) {
    answerPick([position](sup::data::TWorkingSet&) { return position; });
}

void ScriptedHost::answerPickWhere(const QString& field, const QVariant& value) {
    answerPick([field, value](sup::data::TWorkingSet& set) {
        const int f = set.fieldByName(field)->index();
        const QString wanted = value.toString().trimmed();
        for (int r = 0; r < set.recordCount(); ++r)
            if (set.valueAt(r, f).toString().trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
                return r;
        QTest::qFail(
            qPrintable(QStringLiteral("ScriptedHost: a lista não tem %1 = %2").arg(field, wanted)),
            __FILE__, __LINE__);
        return -1;
    });
}

void ScriptedHost::cancelPick() {
    answerPick([](sup::data::TWorkingSet&) { return -1; });
}

void ScriptedHost::answerPickKeys(const QStringList& keys) {
    listAnswers_.push_back({false, false, keys});
}
void ScriptedHost::answerPickMarked() {
    listAnswers_.push_back({false, true, {}});
}
void ScriptedHost::cancelPickList() {
    listAnswers_.push_back({true, false, {}});
}

void ScriptedHost::answerPassword(const QString& typed) {
    passwordAnswers_.push_back({true, typed, false});
}
void ScriptedHost::answerPasswordResult(bool confirmed) {
    passwordAnswers_.push_back({false, {}, confirmed});
}

void ScriptedHost::onModal(const QString& screen, std::function<void(QDialog&)> script) {
    modalScripts_[screen].push_back({std::move(script), false});
}

void ScriptedHost::onModalAlways(const QString& screen, std::function<void(QDialog&)> script) {
    modalScripts_[screen].push_back({std::move(script), true});
}

void ScriptedHost::setRegistryValue(const QString& keyPath, const QString& name,
                                    const QString& value) {
    registry_[keyPath.toLower()][name.toLower()] = value;
}

QString ScriptedHost::optionFile() const {
    return dir_.filePath(QStringLiteral("opcoes.ini"));
}

QStringList ScriptedHost::texts() const {
    QStringList out;
    for (const LoggedMessage& m : messages)
        out << m.text;
    return out;
}

QStringList ScriptedHost::keys() const {
    QStringList out;
    for (const LoggedMessage& m : messages)
        out << m.key;
    return out;
}

LoggedMessage ScriptedHost::lastMessage() const {
    return messages.isEmpty() ? LoggedMessage{} : messages.back();
}

int ScriptedHost::busyShows() const {
    int n = 0;
    for (const BusyEvent& e : busyLog)
        n += e.shown ? 1 : 0;
    return n;
}

int ScriptedHost::busyHides() const {
    int n = 0;
    for (const BusyEvent& e : busyLog)
        n += e.shown ? 0 : 1;
    return n;
}

void ScriptedHost::clearLog() {
    messages.clear();
    busyLog.clear();
    picks.clear();
    modalScreens.clear();
    unanswered.clear();
}

bool ScriptedHost::answersLeft() const {
    return !messageAnswers_.empty() || !captionedAnswers_.empty() || !pickAnswers_.empty() ||
           !listAnswers_.empty() || !passwordAnswers_.empty();
}

QWidget* ScriptedHost::focusIn(QWidget* window) {
    if (!window)
        return QApplication::focusWidget();
    if (QWidget* f = window->window()->focusWidget())
        return f;
    return QApplication::focusWidget();
}

int ScriptedHost::showMessage(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                              const QString& key) {
    LoggedMessage m;
    m.kind = LoggedMessage::Message;
    m.key = key;
    m.text = text;
    m.type = type;
    m.buttons = buttons;
    const bool onlyOk = (buttons & ~(mbOK | mbHelp)) == 0;
    if (onlyOk) {
        m.answer = mrOk;
    } else if (!messageAnswers_.empty()) {
        m.answer = messageAnswers_.front();
        messageAnswers_.pop_front();
    } else {
        missing(QStringLiteral("a pergunta \"%1\"").arg(text));
        m.answer = (buttons & mbCancel) ? mrCancel : (buttons & mbNo) ? mrNo : mrOk;
    }
    messages << m;
    return m.answer;
}

int ScriptedHost::askCaptioned(const QString& text, TMsgDlgType type, const QStringList& captions,
                               int, const QString& key) {
    LoggedMessage m;
    m.kind = LoggedMessage::Question;
    m.key = key;
    m.text = text;
    m.type = type;
    m.captions = captions;
    if (!captionedAnswers_.empty()) {
        m.answer = captionedAnswers_.front();
        captionedAnswers_.pop_front();
    } else {
        missing(QStringLiteral("a pergunta \"%1\"").arg(text));
        m.answer = 0;
    }
    messages << m;
    return m.answer;
}

void ScriptedHost::showError(const QString& text, const QString& key) {
    LoggedMessage m;
    m.kind = LoggedMessage::Error;
    m.key = key;
    m.text = text;
    m.type = mtError;
    m.buttons = mbOK;
    m.answer = mrOk;
    messages << m;
}

PickResult ScriptedHost::pick(const PickRequest& request) {
    PickLog log;
    log.caption = request.caption;
    log.emptyText = request.emptyText;
    log.multiple = request.multiple;
    log.keyField = request.keyField;
    log.marked = request.marked;
    sup::data::TWorkingSet* set = request.source ? request.source->dataSet() : nullptr;
    log.rows = set ? set->recordCount() : 0;
    PickResult result;
    if (!request.multiple) {
        if (pickAnswers_.empty() || !set) {
            missing(QStringLiteral("a pesquisa \"%1\"").arg(request.caption));
        } else {
            const PickChooser chooser = pickAnswers_.front();
            pickAnswers_.pop_front();
            const int pos = chooser(*set);
            result.chosen = pos >= 0 && pos < set->recordCount();
            result.position = result.chosen ? pos : -1;
        }
    } else {
        if (listAnswers_.empty() || !set) {
            missing(QStringLiteral("a lista \"%1\"").arg(request.caption));
        } else {
            const ListAnswer a = listAnswers_.front();
            listAnswers_.pop_front();
            if (!a.cancel) {
                result.chosen = true;
                result.keys = a.keepMarked ? request.marked : a.keys;
            }
        }
    }
    log.chosen = result.chosen;
    picks << log;
    return result;
}

void ScriptedHost::busyShow(QWidget*, int kind, const QString& text) {
    busyLog << BusyEvent{true, kind, text};
    busyVisible_ = true;
}

void ScriptedHost::busyHide() {
    busyLog << BusyEvent{false, -1, {}};
    busyVisible_ = false;
}

int ScriptedHost::showModal(QDialog* screen) {
    const QString name = screen->objectName();
    const QString cls = QString::fromLatin1(screen->metaObject()->className());
    modalScreens << (name.isEmpty() ? cls : name);
    std::function<void(QDialog&)> script;
    for (const QString& k : {name, cls}) {
        auto it = modalScripts_.find(k);
        if (k.isEmpty() || it == modalScripts_.end() || it->empty())
            continue;
        script = it->front().script;
        if (!it->front().always)
            it->pop_front();
        break;
    }
    int result = 0;
    QPointer<QDialog> guard(screen);
    const auto conn =
        QObject::connect(screen, &QDialog::finished, screen, [&result](int r) { result = r; });
    screen->show();
    QCoreApplication::processEvents(); // the screen's activation
    if (script) {
        script(*screen);
    } else {
        missing(QStringLiteral("a tela %1").arg(name.isEmpty() ? cls : name));
    }
    if (guard && guard->isVisible()) {
        if (script)
            missing(QStringLiteral("o fechamento da tela %1 pelo seu roteiro")
                        .arg(name.isEmpty() ? cls : name));
        guard->done(mrCancel);
        if (guard && guard->isVisible())
            guard->hide();
    }
    if (guard)
        QObject::disconnect(conn);
    return result;
}

bool ScriptedHost::confirmPassword(const QString& operatorCode, const QString& caption,
                                   const QString& label) {
    LoggedMessage m;
    m.kind = LoggedMessage::Question;
    m.text = caption + QStringLiteral(" | ") + label + QStringLiteral(" | ") + operatorCode;
    m.type = mtConfirmation;
    if (passwordAnswers_.empty()) {
        missing(QStringLiteral("a senha de %1").arg(operatorCode));
        messages << m;
        return false;
    }
    const PasswordAnswer a = passwordAnswers_.front();
    passwordAnswers_.pop_front();
    bool ok = a.result;
    if (a.typed) {
        const auto op = FindOperator(db_, operatorCode);
        ok = op && VerifyPassword(op->passwordHash, a.password);
    }
    m.answer = ok ? mrOk : mrCancel;
    messages << m;
    return ok;
}

std::unique_ptr<QSettings> ScriptedHost::optionStore() {
    return std::make_unique<QSettings>(optionFile(), QSettings::IniFormat);
}

RegistryValue ScriptedHost::readMachineRegistry(const QString& keyPath, const QString& valueName) {
    RegistryValue r;
    if (registryUnavailable_)
        return r;
    r.keyOpened = true;
    const auto key = registry_.constFind(keyPath.toLower());
    if (key != registry_.cend() && !valueName.isEmpty()) {
        const auto v = key->constFind(valueName.toLower());
        if (v != key->cend())
            r.value = *v;
    }
    return r;
}

} // namespace sup::testkit

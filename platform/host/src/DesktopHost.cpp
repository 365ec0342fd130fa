#include "sup/host/DesktopHost.h"

#include "sup/host/Dialogs.h"
#include "sup/host/SignOn.h"
#include "sup/widgetkit/Messages.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QSettings>
#include <QTextStream>

namespace sup::host {

DesktopHost::DesktopHost(QWidget* mainWindow, const QSqlDatabase& db, const TVantrel& values)
    : mainWindow_(mainWindow)
    , db_(db)
    , vantrel_(values) {}

DesktopHost::~DesktopHost() {
    delete busy_;
}

QWidget* DesktopHost::dialogParent() const {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return mainWindow_;
}

int DesktopHost::showMessage(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                             const QString&) {
    return RunMessageBox(dialogParent(), text, type, buttons);
}

int DesktopHost::askCaptioned(const QString& text, TMsgDlgType type, const QStringList& captions,
                              int defaultButton, const QString&) {
    return RunCaptionedBox(dialogParent(), text, type, captions, defaultButton);
}

void DesktopHost::showError(const QString& text, const QString&) {
    RunMessageBox(dialogParent(), text, mtError, mbOK);
}

PickResult DesktopHost::pick(const PickRequest& request) {
    PickerDialog dialog(request, dialogParent());
    dialog.exec();
    return dialog.pickResult();
}

void DesktopHost::busyShow(QWidget* owner, int kind, const QString& text) {
    if (!busy_)
        busy_ = new BusyWindow(mainWindow_);
    busy_->showBusy(owner ? owner : mainWindow_.data(), kind, text);
}

void DesktopHost::busyHide() {
    if (busy_)
        busy_->hideBusy();
}

int DesktopHost::showModal(QDialog* screen) {
    screen->setWindowModality(Qt::ApplicationModal);
    return screen->exec();
}

bool DesktopHost::confirmPassword(const QString& operatorCode, const QString& caption,
                                  const QString& label) {
    const auto op = FindOperator(db_, operatorCode);
    if (!op) {
        showError(QStringLiteral("Operador %1 não cadastrado.").arg(operatorCode), {});
        return false;
    }
    if (op->passwordHash.isEmpty()) {
        showError(QStringLiteral("O operador %1 não tem senha cadastrada.").arg(op->code), {});
        return false;
    }
    const QString who = op->name.isEmpty() ? op->code : op->code + QStringLiteral(" - ") + op->name;
    const QString hash = op->passwordHash;
    PasswordDialog dialog(
        who, caption, label, [hash](const QString& pw) { return VerifyPassword(hash, pw); },
        dialogParent());
    dialog.exec();
    return dialog.confirmed();
}

std::unique_ptr<QSettings> DesktopHost::optionStore() {
    if (!optionFile_.isEmpty())
        return std::make_unique<QSettings>(optionFile_, QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Sup"), QStringLiteral("opcoes"));
}

QString DesktopHost::registryFile() const {
    if (!registryFile_.isEmpty())
        return registryFile_;
    const QString env = qEnvironmentVariable("SUP_MACHINE_REGISTRY");
    if (!env.isEmpty())
        return env;
    return QStringLiteral("/etc/xdg/Sup/registry.ini");
}

RegistryValue DesktopHost::readMachineRegistry(const QString& keyPath, const QString& valueName) {
#ifdef Q_OS_WIN
    if (registryFile_.isEmpty() && qEnvironmentVariableIsEmpty("SUP_MACHINE_REGISTRY")) {
        QSettings reg(QStringLiteral("HKEY_LOCAL_MACHINE\\") + keyPath, QSettings::NativeFormat);
        RegistryValue r;
        r.keyOpened = reg.status() == QSettings::NoError;
        if (r.keyOpened && !valueName.isEmpty() && reg.contains(valueName))
            r.value = reg.value(valueName).toString();
        return r;
    }
#endif
    return ReadRegistryFile(registryFile(), keyPath, valueName);
}

RegistryValue ReadRegistryFile(const QString& file, const QString& keyPath,
                               const QString& valueName) {
    RegistryValue r;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return r;
    r.keyOpened = true;
    if (valueName.isEmpty())
        return r;
    auto normal = [](QString path) {
        path.replace(QLatin1Char('/'), QLatin1Char('\\'));
        while (path.startsWith(QLatin1Char('\\')))
            path.remove(0, 1);
        while (path.endsWith(QLatin1Char('\\')))
            path.chop(1);
        return path;
    };
    const QString wanted = normal(keyPath);
    QTextStream in(&f);
    in.setEncoding(QStringConverter::Utf8);
    bool inKey = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inKey = normal(line.mid(1, line.size() - 2).trimmed())
                        .compare(wanted, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inKey)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        if (line.left(eq).trimmed().compare(valueName, Qt::CaseInsensitive) == 0) {
            QString value = line.mid(eq + 1).trimmed();
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
                value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            r.value = value;
            return r;
        }
    }
    return r;
}

} // namespace sup::host

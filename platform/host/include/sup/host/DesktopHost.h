#pragma once

#include "sup/contracts/host/Host.h"

#include <QPointer>
#include <QSqlDatabase>
#include <QString>
#include <QWidget>

namespace sup::host {

class BusyWindow;

// The host of the desktop product: real dialogs over the main window.
//
// Option storage: an INI file per user, by default QSettings' user place for organisation
// "Sup", application "opcoes" (on Linux ~/.config/Sup/opcoes.ini).
//
// Machine registry: on Windows, HKEY_LOCAL_MACHINE. Elsewhere an INI file stands for it: the
// file named by setRegistryFile, else by the environment variable SUP_MACHINE_REGISTRY, else
// /etc/xdg/Sup/registry.ini. Its sections are key paths written as on Windows and its lines
// values, letter case ignored:
//     [SOFTWARE\QUORVEL\Sistemas Integrados Quorvel\WebSrv]
//     StringConex=Provider=...
// A missing or unreadable file is a key that cannot be opened; a readable file opens every key.
class DesktopHost : public Host {
public:
    DesktopHost(QWidget* mainWindow, const QSqlDatabase& db, const TVantrel& values);
    ~DesktopHost() override;

    void setMainWindow(QWidget* window) { mainWindow_ = window; }
    void setDatabase(const QSqlDatabase& db) { db_ = db; }
    void setVantrel(const TVantrel& values) { vantrel_ = values; }
    void setOptionFile(const QString& path) { optionFile_ = path; }
    void setRegistryFile(const QString& path) { registryFile_ = path; }
    QString registryFile() const;

    QWidget* mainWindow() const override { return mainWindow_; }
    const TVantrel& vantrel() const override { return vantrel_; }
    QSqlDatabase database() const override { return db_; }
    int showMessage(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                    const QString& key) override;
    int askCaptioned(const QString& text, TMsgDlgType type, const QStringList& captions,
                     int defaultButton, const QString& key) override;
    void showError(const QString& text, const QString& key) override;
    PickResult pick(const PickRequest& request) override;
    void busyShow(QWidget* owner, int kind, const QString& text) override;
    void busyHide() override;
    int showModal(QDialog* screen) override;
    bool confirmPassword(const QString& operatorCode, const QString& caption,
                         const QString& label) override;
    std::unique_ptr<QSettings> optionStore() override;
    RegistryValue readMachineRegistry(const QString& keyPath, const QString& valueName) override;

private:
    QWidget* dialogParent() const;
    QPointer<QWidget> mainWindow_;
    QSqlDatabase db_;
    TVantrel vantrel_;
    QString optionFile_;
    QString registryFile_;
    QPointer<BusyWindow> busy_;
};

// Reads a value from an INI file laid out as DesktopHost describes.
RegistryValue ReadRegistryFile(const QString& file, const QString& keyPath,
                               const QString& valueName);

} // namespace sup::host

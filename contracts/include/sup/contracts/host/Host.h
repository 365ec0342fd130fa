#pragma once

#include "sup/contracts/host/Vantrel.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QDialog;
class QSqlDatabase;
class QSettings;
class QWidget;

namespace sup::data {
class TDataSource;
} // namespace sup::data

namespace sup::host {

// Kind of a message box; it decides the icon and the window title.
enum TMsgDlgType : int {
    mtWarning = 0,      // "Atenção"
    mtError = 1,        // "Erro"
    mtInformation = 2,  // "Informação"
    mtConfirmation = 3, // "Confirmação"
    mtCustom = 4,       // no icon, the routine's title
};

// Buttons of a message box, combined with |.
enum TMsgDlgBtn : int {
    mbYes = 0x001,
    mbNo = 0x002,
    mbOK = 0x004,
    mbCancel = 0x008,
    mbAbort = 0x010,
    mbRetry = 0x020,
    mbIgnore = 0x040,
    mbAll = 0x080,
    mbHelp = 0x100,
};
using TMsgDlgButtons = int;
inline constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
inline constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
inline constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

// Answers of a message box and modal results of screens.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
};

// A question with buttons of given captions answers 10 for the first button, 11 for the second
// and so on; closing it without choosing answers 0.
inline constexpr int kFirstCaptionedAnswer = 10;

// One request for a pick list.
struct PickRequest {
    sup::data::TDataSource* source = nullptr; // its set is open and not empty
    QString caption;                          // window title
    QString emptyText;                        // text for an empty list (after "|" in a title)
    bool multiple = false;                    // mark rows (PesquisaLista) instead of one pick
    QString keyField;                         // multiple: the field whose values are returned
    QStringList marked;                       // multiple: keys marked when the list opens
    bool anyColumn = false;      // the search text matches any visible column (else the start of
                                 // the column the list is ordered by)
    bool searchAsYouType = true; // filter on every key (else when Enter is pressed in the box)
};

// What the user did in a pick list.
struct PickResult {
    bool chosen = false; // false: cancelled (Esc, "Cancelar", window closed)
    int position = -1;   // single pick: visible position of the chosen row in the set
    QStringList keys;    // multiple: values of the key field of the marked rows, list order
};

// A value of the machine-wide registry, read only.
struct RegistryValue {
    bool keyOpened = false;       // the key exists (or could be created) and was opened
    std::optional<QString> value; // empty when the value does not exist
};

// The host framework as the screens see it: one object, set by the host shell before the module
// starts and by the tests (ScriptedHost). Every dialog the screens show goes through here, so
// that the product shows real windows and the tests play the user's part.
class Host {
public:
    virtual ~Host() = default;

    // The current host. Throws std::logic_error when none was set.
    static Host& instance();
    static Host* current() { return current_; }
    // Sets the host (nullptr clears it); returns the previous one.
    static Host* setInstance(Host* host);

    // The main window: owner of child screens and of the busy indicator.
    virtual QWidget* mainWindow() const = 0;

    // Values of the signed-on user.
    virtual const TVantrel& vantrel() const = 0;

    // The local database that the routine's local queries run on.
    virtual QSqlDatabase database() const = 0;

    // A message box; returns the answer (mrYes, mrNo, mrOk, ...). `key` is the catalogue key the
    // text came from when known (for logs); it is never shown.
    virtual int showMessage(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons,
                            const QString& key = {}) = 0;

    // A question with buttons captioned by `captions`; `defaultButton` (1-based, 0 = none) is
    // the button Enter chooses. Returns 10 + index of the chosen button, 0 when closed without
    // a choice (the desktop host gives Esc and the close box to the last button).
    virtual int askCaptioned(const QString& text, TMsgDlgType type, const QStringList& captions,
                             int defaultButton, const QString& key = {}) = 0;

    // The error report: an error box with OK.
    virtual void showError(const QString& text, const QString& key = {}) = 0;

    // A pick list over the request's source.
    virtual PickResult pick(const PickRequest& request) = 0;

    // The busy indicator. The stack of shown indicators is kept by ActiveShowAvi and
    // DeactiveShowAvi (Busy.h); the host shows the top one (`show`) or hides it (`hide`).
    virtual void busyShow(QWidget* owner, int kind, const QString& text) = 0;
    virtual void busyHide() = 0;

    // Shows a modal screen and returns its modal result. The product runs the screen's own
    // event loop; the tests run the script registered for the screen.
    virtual int showModal(QDialog* screen) = 0;

    // Asks for the password of `operatorCode` and checks it against the stored hash.
    virtual bool confirmPassword(const QString& operatorCode, const QString& caption,
                                 const QString& label) = 0;

    // Storage of the options of filter screens, per user: a settings object owned by the caller.
    virtual std::unique_ptr<QSettings> optionStore() = 0;

    // A value of the machine-wide registry (HKEY_LOCAL_MACHINE), read only. `keyPath` uses "\".
    virtual RegistryValue readMachineRegistry(const QString& keyPath, const QString& valueName) = 0;

    // Help for a screen's help context.
    virtual void showHelp(const QString& screenCode, int helpContext);

private:
    static Host* current_;
};

// Installs a host for the lifetime of the object and restores the previous one afterwards.
class HostScope {
public:
    explicit HostScope(Host* host)
        : previous_(Host::setInstance(host)) {}
    ~HostScope() { Host::setInstance(previous_); }
    HostScope(const HostScope&) = delete;
    HostScope& operator=(const HostScope&) = delete;

private:
    Host* previous_;
};

} // namespace sup::host

#pragma once

#include "sup/contracts/host/Host.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <deque>
#include <functional>

class QDialog;

namespace sup::data {
class TWorkingSet;
}

namespace sup::testkit {

// What a screen showed to the user.
struct LoggedMessage {
    enum Kind { Message, Question, Error };
    Kind kind = Message;
    QString key; // the catalogue key, when the text came from a catalogue lookup
    QString text;
    sup::host::TMsgDlgType type = sup::host::mtInformation;
    sup::host::TMsgDlgButtons buttons = 0; // Message
    QStringList captions;                  // Question
    int answer = 0;
};

// One show or hide of the busy indicator as the host saw it.
struct BusyEvent {
    bool shown = false;
    int kind = -1;
    QString text;
};

// One pick list that was opened.
struct PickLog {
    QString caption;
    QString emptyText;
    bool multiple = false;
    QString keyField;
    int rows = 0;
    QStringList marked; // keys marked when it opened
    bool chosen = false;
};

// The host of the tests. Installs itself as Host::instance() for its lifetime (the previous host
// comes back afterwards) and plays the user's part from queued answers:
//
//   ScriptedHost host;
//   host.answerMessage(sup::host::mrYes);      // the next question with Yes/No
//   host.answerCaptioned(10);                  // the next MsgAlert/MsgAlertEx: the first button
//   host.answerPickWhere("CDMARCA", "00012");  // the next single pick chooses that row
//   host.answerPickKeys({"0001", "0002"});     // the next multiple pick marks those keys
//   host.answerPassword("segredo");            // typed into the next password dialog
//   host.onModal("frmFiltroAltPedidoOL", [](QDialog& d) { ... d.done(mrOk); });
//
// A box with only an OK button needs no answer. Strict mode (the default) fails the running
// test (QTest::qFail) when a question, pick, password or modal screen comes without an answer,
// and then answers No / cancels. Every message, pick, busy-indicator show and hide and modal
// screen is logged; focus is read from the widgets themselves (focusIn).
class ScriptedHost : public sup::host::Host {
public:
    ScriptedHost();
    ~ScriptedHost() override;
    ScriptedHost(const ScriptedHost&) = delete;
    ScriptedHost& operator=(const ScriptedHost&) = delete;

    // Values of the signed-on user, the local database, the main window.
    sup::host::TVantrel& values() { return vantrel_; }
    void setVantrel(const sup::host::TVantrel& v) { vantrel_ = v; }
    void setDatabase(const QSqlDatabase& db) { db_ = db; }
    void setMainWindow(QWidget* w) { mainWindow_ = w; }
    void setStrict(bool on) { strict_ = on; }

    // Answers, taken in order.
    void answerMessage(int result);
    void answerCaptioned(int result);
    void answerPick(std::function<int(sup::data::TWorkingSet&)> chooser); // -1 cancels
    void answerPickRow(int position);
    void answerPickWhere(const QString& field, const QVariant& value);
    void cancelPick();
    void answerPickKeys(const QStringList& keys);
    void answerPickMarked(); // confirms with the keys that were marked when it opened
    void cancelPickList();
    void answerPassword(const QString& typed); // checked against OPERADOR.DSSENHAHASH
    void answerPasswordResult(bool confirmed);
    // A script for the next opening of a screen (objectName or class name); onModalAlways keeps
    // it for every opening. The script acts in the screen and closes it.
    void onModal(const QString& screen, std::function<void(QDialog&)> script);
    void onModalAlways(const QString& screen, std::function<void(QDialog&)> script);

    // The machine registry: by default every key opens and holds no value.
    void setRegistryValue(const QString& keyPath, const QString& name, const QString& value);
    void setRegistryUnavailable(bool on) { registryUnavailable_ = on; }
    QString optionFile() const;

    // Logs.
    QList<LoggedMessage> messages;
    QList<BusyEvent> busyLog;
    QList<PickLog> picks;
    QStringList modalScreens;
    QStringList unanswered; // what came without an answer
    QStringList texts() const;
    QStringList keys() const;
    LoggedMessage lastMessage() const;
    bool busyVisible() const { return busyVisible_; }
    int busyShows() const;
    int busyHides() const;
    void clearLog();
    bool answersLeft() const;

    // The widget that has (or would have, in an inactive window) the focus in `window`.
    static QWidget* focusIn(QWidget* window);

    // Host
    QWidget* mainWindow() const override { return mainWindow_; }
    const sup::host::TVantrel& vantrel() const override { return vantrel_; }
    QSqlDatabase database() const override { return db_; }
    int showMessage(const QString& text, sup::host::TMsgDlgType type,
                    sup::host::TMsgDlgButtons buttons, const QString& key) override;
    int askCaptioned(const QString& text, sup::host::TMsgDlgType type, const QStringList& captions,
                     int defaultButton, const QString& key) override;
    void showError(const QString& text, const QString& key) override;
    sup::host::PickResult pick(const sup::host::PickRequest& request) override;
    void busyShow(QWidget* owner, int kind, const QString& text) override;
    void busyHide() override;
    int showModal(QDialog* screen) override;
    bool confirmPassword(const QString& operatorCode, const QString& caption,
                         const QString& label) override;
    std::unique_ptr<QSettings> optionStore() override;
    sup::host::RegistryValue readMachineRegistry(const QString& keyPath,
                                                 const QString& valueName) override;

private:
    void missing(const QString& what);
    struct PasswordAnswer {
        bool typed = false;
        QString password;
        bool result = false;
    };
    using PickChooser = std::function<int(sup::data::TWorkingSet&)>;
    struct ListAnswer {
        bool cancel = false;
        bool keepMarked = false;
        QStringList keys;
    };
    struct ModalScript {
        std::function<void(QDialog&)> script;
        bool always = false;
    };

    sup::host::Host* previous_ = nullptr;
    sup::host::TVantrel vantrel_;
    QSqlDatabase db_;
    QPointer<QWidget> mainWindow_;
    bool strict_ = true;
    bool busyVisible_ = false;
    bool registryUnavailable_ = false;
    std::deque<int> messageAnswers_;
    std::deque<int> captionedAnswers_;
    std::deque<PickChooser> pickAnswers_;
    std::deque<ListAnswer> listAnswers_;
    std::deque<PasswordAnswer> passwordAnswers_;
    QHash<QString, std::deque<ModalScript>> modalScripts_;
    QHash<QString, QHash<QString, QString>> registry_; // lower-case key -> lower-case name -> value
    QTemporaryDir dir_;
};

} // namespace sup::testkit

#pragma once

#include "sup/contracts/host/Host.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <exception>
#include <stdexcept>
#include <vector>

namespace sup::host {

// The silent abandon of the running action: the guard swallows it without a message.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operação abandonada."; }
};

// Abandons the running action silently.
[[noreturn]] void Abort();

// A failure whose message is shown to the user as it stands (Portuguese): a wrong date, a code
// that does not fit its picture, a query that failed, ...
class EHostError : public std::runtime_error {
public:
    explicit EHostError(const QString& message);
    const QString& message() const { return message_; }

private:
    QString message_;
};

// A message catalogue of a screen: lines "key|text" kept in a resource file beside the screen.
//
// Msg(key) gives the text of the first line with that key: a key that stands twice gives its
// first text. A key that does not stand exactly is looked up once more ignoring letter case
// ("PRODUTO" finds "Produto"). A missing key gives an empty text.
class TMessages : public QObject {
    Q_OBJECT
public:
    explicit TMessages(QObject* parent = nullptr, const QString& name = {});

    // Replaces the lines by those of a resource or file (UTF-8). Throws EHostError when the file
    // cannot be read.
    void loadFromFile(const QString& path);
    // Replaces the lines. Empty lines and lines without "|" are skipped; the text is everything
    // after the first "|", kept as it stands (spaces included).
    void setLines(const QStringList& lines);
    void setText(const QString& text); // the lines of a text
    QStringList lines() const;
    int count() const { return int(entries_.size()); }

    bool contains(const QString& key) const;
    QString Msg(const QString& key) const;

    // Shows the text of `key` in a message box and returns the answer (mrYes = 6, ...).
    // `helpContext` is kept for the host's help (0 = none).
    int ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons,
                int helpContext = 0) const;

private:
    struct Entry {
        QString key;
        QString text;
    };
    std::vector<Entry> entries_;
    QHash<QString, int> exact_;  // key -> first entry
    QHash<QString, int> folded_; // lower-case key -> first entry
};

// Replaces each "%s" (and "%d") of `pattern` by the next argument, in order.
QString Format(const QString& pattern, const QStringList& args);

// A question with buttons captioned by `captions`; 10 = the first button, 11 the second, ...,
// 0 = closed without choosing. `defaultButton` is the 1-based number of the button that Enter
// chooses (MsgAlert passes 1: the first).
int MsgAlert(const QString& text, TMsgDlgType type, const QStringList& captions,
             int defaultButton = 1);
// The same, with the default button, a help context (0 = none) and a reserved value (0).
// The screens call it with (…, 2, 0, 0): the second button is the default, so that Enter on a
// question that refuses a change does not accept it by accident.
int MsgAlertEx(const QString& text, TMsgDlgType type, const QStringList& captions,
               int defaultButton, int helpContext, int reserved);

// A message box with the given text, outside of any catalogue.
int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0);

// Shows `text` as an error; with `abandon` it then abandons the running action (EAbort).
void MensErro(const QString& text, bool abandon = true);

// The text the error report shows for an exception: the server's message for EServerError,
// the message of EHostError and of data-access errors, a generic Portuguese text otherwise.
// Returns an empty text for EAbort.
QString ErrorText(std::exception_ptr error);

// The host's error report for an exception (nothing for EAbort).
void ReportException(std::exception_ptr error);

// The catalogue key a text was last looked up with (empty when the text came from nowhere);
// lets the host's logs name the key of a text shown by MensErro.
QString KeyOfText(const QString& text);

} // namespace sup::host

#pragma once

#include "sup/contracts/host/Host.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

namespace sup::host {

// The window title of a message box of a kind: "Atenção", "Erro", "Informação", "Confirmação".
QString MessageTitle(TMsgDlgType type);

// A message box with the buttons of `buttons` in the order Sim, Não, OK, Cancelar, Abortar,
// Repetir, Ignorar, Todos, Ajuda. Enter chooses the first button; Esc and the close box choose
// Cancelar, else Não, else OK (a box with only other buttons ignores Esc). Returns mrYes, mrNo,
// mrOk, ...
int RunMessageBox(QWidget* parent, const QString& text, TMsgDlgType type, TMsgDlgButtons buttons);

// A question with buttons captioned in order. Enter chooses button `defaultButton` (1-based; 0:
// the first); Esc and the close box choose the last one. Returns 10 + index of the button.
int RunCaptionedBox(QWidget* parent, const QString& text, TMsgDlgType type,
                    const QStringList& captions, int defaultButton);

// The pick list: the visible fields of the request's set with their labels and widths, a search
// box that filters the list as the user types (ignoring letter case and accents), a count of
// the rows shown, "OK" and "Cancelar". The search box has the focus: Up, Down, Page Up and Page
// Down move in the list from there and typing in the list goes to the search box. Enter or a
// double click picks the current row; Esc cancels. A title click orders the list by that
// column (and, for a single pick, makes it the column the search text starts).
// For a multiple pick the first column holds the marks: Space or a click marks the current
// row, "Marcar todos" (Alt+T) marks or unmarks every row shown, Enter confirms.
class PickerDialog : public QDialog {
    Q_OBJECT
public:
    explicit PickerDialog(const PickRequest& request, QWidget* parent = nullptr);
    ~PickerDialog() override;

    PickResult pickResult() const;

    QLineEdit* searchBox() const { return search_; }
    QTableView* list() const { return view_; }
    QCheckBox* markAllBox() const { return markAll_; }
    int visibleRows() const;
    int markedCount() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applySearch();
    void acceptCurrent();
    void toggleCurrent();
    void updateCount();
    int currentPosition() const; // the set's position of the highlighted row; -1 when none
    void showPosition(int position);
    class Model;
    PickRequest request_;
    Model* model_ = nullptr;
    int sortSection_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    QLineEdit* search_ = nullptr;
    QTableView* view_ = nullptr;
    QCheckBox* markAll_ = nullptr;
    QLabel* count_ = nullptr;
    QPushButton* ok_ = nullptr;
    int chosen_ = -1;
};

// The busy indicator: a small window without frame over the owner's window, with an animated
// wheel, the kind's picture and the text. It takes no focus and no activation.
class BusyWindow : public QWidget {
    Q_OBJECT
public:
    explicit BusyWindow(QWidget* parent = nullptr);
    // Shows (or updates) the indicator and paints it before returning.
    void showBusy(QWidget* owner, int kind, const QString& text);
    void hideBusy();
    QString text() const;
    int kind() const { return kind_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* icon_ = nullptr;
    QLabel* text_ = nullptr;
    QTimer* timer_ = nullptr;
    int angle_ = 0;
    int kind_ = -1;
};

// Asks for an operator's password. `verify` answers whether a typed password matches; a wrong
// one shows "Senha não confere." and lets the user try again, three times in all.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    PasswordDialog(const QString& operatorText, const QString& caption, const QString& label,
                   std::function<bool(const QString&)> verify, QWidget* parent = nullptr);

    bool confirmed() const { return confirmed_; }
    QLineEdit* passwordBox() const { return password_; }
    QLabel* errorLabel() const { return error_; }
    int attempts() const { return attempts_; }
    static constexpr int kMaxAttempts = 3;

private:
    void tryPassword();
    std::function<bool(const QString&)> verify_;
    QLineEdit* password_ = nullptr;
    QLabel* error_ = nullptr;
    bool confirmed_ = false;
    int attempts_ = 0;
};

} // namespace sup::host

#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringView>

namespace sup::host {

// An edit mask in the form the screens and the database give them: "mask;saveLiterals;blank".
//
//   mask characters   0 digit        9 digit, optional     # digit or sign, optional
//                     L letter       l letter, optional
//                     A letter or digit                     a letter or digit, optional
//                     C any character                       c any character, optional
//                     > upper case from here   < lower case from here   <> no case change
//                     \x the literal x         ! (blanks trimmed; accepted and ignored)
//                     any other character is a literal ("." "/" "-" ...)
//   saveLiterals      "1": the stored text keeps the literals; "0": only what was typed
//   blank             the character shown in empty places (default "_")
//
// Examples: "9999999999;0; " (up to ten digits), ">aaaa;0; " (four letters or digits, upper
// case), "9.99.999.9999;1;_" (a product tree code stored with its points).
class TEditMask {
public:
    enum class SlotKind { Literal, Digit, DigitOrSign, Letter, AlphaNum, Any };
    enum class Case { Keep, Upper, Lower };
    struct Slot {
        SlotKind kind = SlotKind::Literal;
        bool required = false;
        Case caseMode = Case::Keep;
        QChar literal;
        bool accepts(QChar c) const;
    };

    TEditMask() = default;
    explicit TEditMask(const QString& editMask);

    bool isEmpty() const { return slots_.isEmpty(); }
    const QString& source() const { return source_; }
    const QList<Slot>& places() const { return slots_; }
    bool saveLiterals() const { return saveLiterals_; }
    QChar blank() const { return blank_; }
    int inputPlaces() const; // number of non-literal places
    int length() const { return int(slots_.size()); }

    // The equivalent QLineEdit input mask ("" for an empty mask).
    QString qtInputMask() const;

    // The stored text of what a masked edit shows (QLineEdit::displayText()): typed characters
    // without blanks, and the literals when they are saved and something follows them.
    QString storedText(QStringView display) const;

    // Normalising a typed code to the mask: the code's characters fill the places in order, the
    // mask's literals are inserted where the code lacks them (or taken where it has them), case
    // rules apply. A code fits when every character found a place of its kind and it ends at the
    // end of the mask or just before one of its literals (a complete group, which for a tree
    // code is a node of the tree) with every required place before that end filled.
    struct Fit {
        bool fits = false;
        bool complete = false; // it fills the whole mask
        QString stored;        // the stored form (literals kept or not, per the mask)
        QString display;       // with the literals, as the user reads it
    };
    Fit fit(QStringView code) const;

    // The mask as a user reads it in a message: digits as "9", letters as "A", literals kept
    // ("9.99.999.9999").
    QString pictureText() const;

private:
    QString source_;
    QList<Slot> slots_;
    bool saveLiterals_ = true;
    QChar blank_ = QLatin1Char('_');
};

} // namespace sup::host

#include "sup/widgetkit/EditMask.h"

namespace sup::host {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

QChar applyCase(QChar c, TEditMask::Case mode) {
    switch (mode) {
    case TEditMask::Case::Upper:
        return c.toUpper();
    case TEditMask::Case::Lower:
        return c.toLower();
    case TEditMask::Case::Keep:
        break;
    }
    return c;
}

} // namespace

bool TEditMask::Slot::accepts(QChar c) const {
    switch (kind) {
    case SlotKind::Literal:
        return c == literal;
    case SlotKind::Digit:
        return isAsciiDigit(c);
    case SlotKind::DigitOrSign:
        return isAsciiDigit(c) || c == QLatin1Char('+') || c == QLatin1Char('-');
    case SlotKind::Letter:
        return c.isLetter();
    case SlotKind::AlphaNum:
        return c.isLetter() || isAsciiDigit(c);
    case SlotKind::Any:
        return c.isPrint();
    }
    return false;
}

TEditMask::TEditMask(const QString& editMask)
    : source_(editMask) {
    // The mask part ends at the first ';' that is not escaped.
    qsizetype i = 0;
    Case mode = Case::Keep;
    auto input = [&](SlotKind kind, bool required) {
        Slot s;
        s.kind = kind;
        s.required = required;
        s.caseMode = mode;
        slots_.append(s);
    };
    auto literal = [&](QChar c) {
        Slot s;
        s.kind = SlotKind::Literal;
        s.literal = c;
        slots_.append(s);
    };
    for (; i < editMask.size(); ++i) {
        const QChar c = editMask.at(i);
        if (c == QLatin1Char(';'))
            break;
        switch (c.unicode()) {
        case '\\':
            if (i + 1 < editMask.size())
                literal(editMask.at(++i));
            break;
        case '!':
            break;
        case '>':
            mode = Case::Upper;
            break;
        case '<':
            if (i + 1 < editMask.size() && editMask.at(i + 1) == QLatin1Char('>')) {
                mode = Case::Keep;
                ++i;
            } else {
                mode = Case::Lower;
            }
            break;
        case '0':
            input(SlotKind::Digit, true);
            break;
        case '9':
            input(SlotKind::Digit, false);
            break;
        case '#':
            input(SlotKind::DigitOrSign, false);
            break;
        case 'L':
            input(SlotKind::Letter, true);
            break;
        case 'l':
            input(SlotKind::Letter, false);
            break;
        case 'A':
            input(SlotKind::AlphaNum, true);
            break;
        case 'a':
            input(SlotKind::AlphaNum, false);
            break;
        case 'C':
            input(SlotKind::Any, true);
            break;
        case 'c':
            input(SlotKind::Any, false);
            break;
        default:
            literal(c);
            break;
        }
    }
    // ";saveLiterals;blank"
    if (i < editMask.size()) {
        const QString rest = editMask.mid(i + 1);
        const qsizetype semi = rest.indexOf(QLatin1Char(';'));
        const QString save = semi < 0 ? rest : rest.left(semi);
        saveLiterals_ = save.trimmed() != QLatin1String("0");
        if (semi >= 0 && semi + 1 < rest.size())
            blank_ = rest.at(semi + 1);
    }
}

int TEditMask::inputPlaces() const {
    int n = 0;
    for (const Slot& s : slots_)
        if (s.kind != SlotKind::Literal)
            ++n;
    return n;
}

QString TEditMask::qtInputMask() const {
    if (slots_.isEmpty())
        return {};
    static const QString meta = QStringLiteral("AaNnXx90DdHhBb#><!\\[]{}");
    QString out;
    Case mode = Case::Keep;
    for (const Slot& s : slots_) {
        if (s.kind == SlotKind::Literal) {
            if (meta.contains(s.literal))
                out += QLatin1Char('\\');
            out += s.literal;
            continue;
        }
        if (s.caseMode != mode) {
            out += s.caseMode == Case::Upper   ? QLatin1Char('>')
                   : s.caseMode == Case::Lower ? QLatin1Char('<')
                                               : QLatin1Char('!');
            mode = s.caseMode;
        }
        switch (s.kind) {
        case SlotKind::Digit:
            out += s.required ? QLatin1Char('9') : QLatin1Char('0');
            break;
        case SlotKind::DigitOrSign:
            out += QLatin1Char('#');
            break;
        case SlotKind::Letter:
            out += s.required ? QLatin1Char('A') : QLatin1Char('a');
            break;
        case SlotKind::AlphaNum:
            out += s.required ? QLatin1Char('N') : QLatin1Char('n');
            break;
        case SlotKind::Any:
            out += s.required ? QLatin1Char('X') : QLatin1Char('x');
            break;
        case SlotKind::Literal:
            break;
        }
    }
    return out + QLatin1Char(';') + blank_;
}

QString TEditMask::storedText(QStringView display) const {
    if (slots_.isEmpty() || display.size() != slots_.size())
        return display.trimmed().toString();
    QString out;
    QString pendingLiterals;
    for (qsizetype i = 0; i < slots_.size(); ++i) {
        const Slot& s = slots_.at(i);
        const QChar c = display.at(i);
        if (s.kind == SlotKind::Literal) {
            if (saveLiterals_)
                pendingLiterals += s.literal;
            continue;
        }
        if (c == blank_ || c.isSpace())
            continue;
        out += pendingLiterals;
        pendingLiterals.clear();
        out += c;
    }
    return out;
}

TEditMask::Fit TEditMask::fit(QStringView typed) const {
    Fit result;
    const QStringView code = typed.trimmed();
    if (slots_.isEmpty()) {
        result.fits = true;
        result.complete = true;
        result.stored = result.display = code.toString();
        return result;
    }
    QString display;
    QString stored;
    QString pendingLiterals;
    qsizetype i = 0;
    qsizetype s = 0;
    qsizetype end = 0; // slot after the last one that took a character
    for (; s < slots_.size() && i < code.size(); ++s) {
        const Slot& slot = slots_.at(s);
        const QChar c = code.at(i);
        if (slot.kind == SlotKind::Literal) {
            if (c == slot.literal)
                ++i;
            pendingLiterals += slot.literal;
            continue;
        }
        if (!slot.accepts(c)) {
            // A short group: the code already has the literal that ends it and the places left
            // in the group are optional. Only where literals are stored: without them the short
            // group would run into the next one ("1.1" is not "11").
            if (!saveLiterals_)
                return result;
            qsizetype next = s;
            bool optionalRest = true;
            while (next < slots_.size() && slots_.at(next).kind != SlotKind::Literal) {
                optionalRest = optionalRest && !slots_.at(next).required;
                ++next;
            }
            if (optionalRest && next < slots_.size() && slots_.at(next).literal == c) {
                s = next - 1;
                continue;
            }
            return result; // does not fit
        }
        display += pendingLiterals;
        if (saveLiterals_)
            stored += pendingLiterals;
        pendingLiterals.clear();
        const QChar placed = applyCase(c, slot.caseMode);
        display += placed;
        stored += placed;
        ++i;
        end = s + 1;
    }
    if (i < code.size())
        return result; // longer than the mask
    // What follows the last filled place: the end of the mask, a literal (a complete group), or
    // only optional places up to one of those.
    qsizetype next = end;
    bool requiredLeftInGroup = false;
    bool placesLeftInGroup = false;
    while (next < slots_.size() && slots_.at(next).kind != SlotKind::Literal) {
        requiredLeftInGroup = requiredLeftInGroup || slots_.at(next).required;
        placesLeftInGroup = true;
        ++next;
    }
    // Where literals are not stored, a group left short would read as part of the next one
    // ("010" of "99.99.999" is neither "01.0" nor a node): only a mask of one group (a plain
    // code of variable length) may end inside it.
    bool hasLiterals = false;
    for (const Slot& slot : slots_)
        hasLiterals = hasLiterals || slot.kind == SlotKind::Literal;
    if (!saveLiterals_ && hasLiterals && placesLeftInGroup)
        return result;
    if (requiredLeftInGroup || code.isEmpty())
        return result;
    result.fits = true;
    bool requiredAfter = false;
    for (qsizetype k = next; k < slots_.size(); ++k)
        requiredAfter = requiredAfter || (slots_.at(k).kind != SlotKind::Literal);
    result.complete = !requiredAfter;
    result.display = display;
    result.stored = stored;
    return result;
}

QString TEditMask::pictureText() const {
    QString out;
    for (const Slot& s : slots_) {
        switch (s.kind) {
        case SlotKind::Literal:
            out += s.literal;
            break;
        case SlotKind::Digit:
        case SlotKind::DigitOrSign:
            out += QLatin1Char('9');
            break;
        case SlotKind::Letter:
            out += QLatin1Char('A');
            break;
        case SlotKind::AlphaNum:
        case SlotKind::Any:
            out += QLatin1Char('X');
            break;
        }
    }
    return out;
}

} // namespace sup::host

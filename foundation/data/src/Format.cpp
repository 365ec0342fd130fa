#include "sup/data/Format.h"

#include "sup/data/Column.h"

#include <QTime>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sup::data {

namespace {

// One section of a number format.
struct NumberSection {
    QString prefix;
    QString suffix;
    int minInt = 0;
    int minDec = 0;
    int maxDec = 0;
    bool group = false;
    bool hasDigits = false;
};

QList<QStringView> splitSections(QStringView format) {
    QList<QStringView> out;
    qsizetype start = 0;
    QChar quote;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (!quote.isNull()) {
            if (c == quote) {
                quote = QChar();
            }
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u';') {
            out.append(format.sliced(start, i - start));
            start = i + 1;
        }
    }
    out.append(format.sliced(start));
    return out;
}

NumberSection parseSection(QStringView s) {
    NumberSection sec;
    bool inFraction = false;
    bool seenZero = false;
    int fractionPos = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = s.indexOf(c, i + 1);
            const QStringView lit = s.sliced(i + 1, (end < 0 ? s.size() : end) - i - 1);
            (sec.hasDigits ? sec.suffix : sec.prefix).append(lit);
            i = end < 0 ? s.size() : end;
            continue;
        }
        if (c == u'0' || c == u'#') {
            sec.hasDigits = true;
            if (inFraction) {
                ++fractionPos;
                sec.maxDec = fractionPos;
                if (c == u'0') {
                    sec.minDec = fractionPos;
                }
            } else {
                if (c == u'0') {
                    seenZero = true;
                }
                if (seenZero) {
                    ++sec.minInt;
                }
            }
            continue;
        }
        if (c == u'.' && !inFraction) {
            inFraction = true;
            sec.hasDigits = true;
            continue;
        }
        if (c == u',' && !inFraction) {
            sec.group = true;
            continue;
        }
        (sec.hasDigits ? sec.suffix : sec.prefix).append(c);
    }
    return sec;
}

// Decimal digits of |value| rounded half away from zero to `decimals` places, after a first
// rounding to 15 significant digits (so 1.0005 shows as 1,001 at three places, as people
// expect, not as its binary value 1.000499...). Returns integer and fraction digit strings.
void decimalDigits(double value, int decimals, QString* intPart, QString* fracPart) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    // buf: d.dddddddddddddde[+-]xx
    QString digits;
    digits.reserve(16);
    const char* p = buf;
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') {
            digits.append(QChar(*p));
        }
    }
    int exp = *p == 'e' ? std::atoi(p + 1) : 0;
    if (std::fabs(value) == 0.0) {
        exp = 0;
    }
    // value = 0.<digits> * 10^(exp + 1)
    const int keep = exp + 1 + decimals; // digits kept from the start
    if (keep < 0) {
        digits.clear();
    } else if (keep < digits.size()) {
        const bool up = digits[keep].unicode() >= u'5';
        digits.truncate(keep);
        if (up) {
            int i = keep - 1;
            while (i >= 0 && digits[i] == u'9') {
                digits[i] = u'0';
                --i;
            }
            if (i >= 0) {
                digits[i] = QChar(digits[i].unicode() + 1);
            } else {
                digits.prepend(u'1');
                ++exp;
            }
        }
    }
    // Place the decimal point.
    const int intDigits = exp + 1;
    QString ip, fp;
    if (intDigits <= 0) {
        fp = QString(-intDigits, u'0') + digits;
    } else if (intDigits >= digits.size()) {
        ip = digits + QString(intDigits - digits.size(), u'0');
    } else {
        ip = digits.left(intDigits);
        fp = digits.mid(intDigits);
    }
    if (fp.size() > decimals) {
        fp.truncate(decimals);
    }
    while (fp.size() < decimals) {
        fp.append(u'0');
    }
    // Leading zeros of the integer part go; the caller pads to its minimum.
    qsizetype lead = 0;
    while (lead < ip.size() && ip[lead] == u'0') {
        ++lead;
    }
    *intPart = ip.mid(lead);
    *fracPart = fp;
}

QString applySection(double value, const NumberSection& sec, bool withSign) {
    QString ip, fp;
    decimalDigits(value, sec.maxDec, &ip, &fp);
    while (fp.size() > sec.minDec && fp.endsWith(u'0')) {
        fp.chop(1);
    }
    while (ip.size() < sec.minInt) {
        ip.prepend(u'0');
    }
    if (sec.group && ip.size() > 3) {
        for (qsizetype i = ip.size() - 3; i > 0; i -= 3) {
            ip.insert(i, u'.');
        }
    }
    QString out = sec.prefix;
    if (withSign) {
        out.append(u'-');
    }
    out.append(ip);
    if (!fp.isEmpty()) {
        out.append(u',');
        out.append(fp);
    }
    out.append(sec.suffix);
    return out;
}

bool roundsToZero(double value, int decimals) {
    QString ip, fp;
    decimalDigits(value, decimals, &ip, &fp);
    if (!ip.isEmpty()) {
        return false;
    }
    for (QChar c : fp) {
        if (c != u'0') {
            return false;
        }
    }
    return true;
}

QString generalNumber(double value) {
    QLocale l = brazilianLocale();
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(value, 'g', 15);
}

QString twoDigits(int v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

QString defaultDateTime(const QDateTime& dt) {
    const QDate d = dt.date();
    QString out = QStringLiteral("%1/%2/%3")
                      .arg(twoDigits(d.day()), twoDigits(d.month()))
                      .arg(d.year(), 4, 10, QLatin1Char('0'));
    const QTime t = dt.time();
    if (t.msecsSinceStartOfDay() != 0) {
        out += QStringLiteral(" %1:%2:%3")
                   .arg(twoDigits(t.hour()), twoDigits(t.minute()), twoDigits(t.second()));
    }
    return out;
}

QString booleanText(bool v, QStringView format) {
    if (!format.isEmpty()) {
        const qsizetype semi = format.indexOf(u';');
        if (semi >= 0) {
            return (v ? format.first(semi) : format.sliced(semi + 1)).toString();
        }
        return v ? format.toString() : QString();
    }
    return v ? QStringLiteral("Sim") : QStringLiteral("Não");
}

} // namespace

const QLocale& brazilianLocale() {
    static const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    return locale;
}

QString formatNumber(double value, QStringView format) {
    if (!std::isfinite(value)) {
        return brazilianLocale().toString(value);
    }
    if (format.isEmpty()) {
        return generalNumber(value);
    }
    const QList<QStringView> parts = splitSections(format);
    const NumberSection pos = parseSection(parts[0]);
    if (!pos.hasDigits) {
        return pos.prefix + pos.suffix;
    }
    if (parts.size() >= 3 && !parts[2].isEmpty() && roundsToZero(value, pos.maxDec)) {
        const NumberSection zero = parseSection(parts[2]);
        return zero.hasDigits ? applySection(0.0, zero, false) : zero.prefix + zero.suffix;
    }
    if (value < 0 && parts.size() >= 2 && !parts[1].isEmpty()) {
        const NumberSection neg = parseSection(parts[1]);
        return neg.hasDigits ? applySection(-value, neg, false) : neg.prefix + neg.suffix;
    }
    return applySection(value, pos, value < 0 && !roundsToZero(value, pos.maxDec));
}

QString formatDateTime(const QDateTime& value, QStringView format) {
    if (!value.isValid()) {
        return {};
    }
    if (format.isEmpty()) {
        return defaultDateTime(value);
    }
    const QDate d = value.date();
    const QTime t = value.time();
    const QLocale& loc = brazilianLocale();
    QString out;
    bool afterHour = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = format.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? format.size() : end;
            out.append(format.sliced(i + 1, stop - i - 1));
            i = stop + 1;
            continue;
        }
        const QChar lc = c.toLower();
        qsizetype n = 1;
        while (i + n < format.size() && format[i + n].toLower() == lc) {
            ++n;
        }
        switch (lc.unicode()) {
        case u'd':
            if (n == 1) {
                out += QString::number(d.day());
            } else if (n == 2) {
                out += twoDigits(d.day());
            } else if (n == 3) {
                out += loc.dayName(d.dayOfWeek(), QLocale::ShortFormat);
            } else {
                out += loc.dayName(d.dayOfWeek(), QLocale::LongFormat);
            }
            afterHour = false;
            break;
        case u'm':
            if (afterHour && n <= 2) {
                out += n == 1 ? QString::number(t.minute()) : twoDigits(t.minute());
            } else if (n == 1) {
                out += QString::number(d.month());
            } else if (n == 2) {
                out += twoDigits(d.month());
            } else if (n == 3) {
                out += loc.monthName(d.month(), QLocale::ShortFormat);
            } else {
                out += loc.monthName(d.month(), QLocale::LongFormat);
            }
            afterHour = false;
            break;
        case u'n':
            out += n == 1 ? QString::number(t.minute()) : twoDigits(t.minute());
            afterHour = false;
            break;
        case u'y':
            if (n <= 2) {
                out += twoDigits(d.year() % 100);
            } else {
                out += QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0'));
            }
            afterHour = false;
            break;
        case u'h':
            out += n == 1 ? QString::number(t.hour()) : twoDigits(t.hour());
            afterHour = true;
            break;
        case u's':
            out += n == 1 ? QString::number(t.second()) : twoDigits(t.second());
            afterHour = false;
            break;
        case u'z':
            out += n >= 3 ? QStringLiteral("%1").arg(t.msec(), 3, 10, QLatin1Char('0'))
                          : QString::number(t.msec());
            afterHour = false;
            break;
        default:
            // Separators and any other character stand as they are.
            out += format.sliced(i, n);
            break;
        }
        i += n;
    }
    return out;
}

QString formatValue(const QVariant& value, FieldType type, const QString& format) {
    if (!value.isValid() || value.isNull()) {
        return {};
    }
    switch (type) {
    case FieldType::Text:
        return value.toString();
    case FieldType::Integer:
        return format.isEmpty() ? QString::number(value.toLongLong())
                                : formatNumber(value.toDouble(), format);
    case FieldType::Double:
        return formatNumber(value.toDouble(), format);
    case FieldType::Boolean:
        return booleanText(value.toBool(), format);
    case FieldType::DateTime: {
        if (value.typeId() == QMetaType::QDate) {
            return formatDateTime(QDateTime(value.toDate(), QTime(0, 0), Qt::UTC), format);
        }
        return formatDateTime(value.toDateTime(), format);
    }
    }
    return {};
}

QString formatCell(const Column& column, qsizetype row, QStringView format) {
    if (column.isNull(row)) {
        return {};
    }
    switch (column.type()) {
    case FieldType::Text:
        return column.text(row);
    case FieldType::Integer:
        return format.isEmpty() ? QString::number(column.integer(row))
                                : formatNumber(double(column.integer(row)), format);
    case FieldType::Double:
        return formatNumber(column.real(row), format);
    case FieldType::Boolean:
        return booleanText(column.boolean(row), format);
    case FieldType::DateTime:
        return formatDateTime(fromStoredMs(column.dateTimeMs(row)), format);
    }
    return {};
}

QString formatMasked(const QString& value, QStringView editMask) {
    // The mask ends at its first unescaped ';'; the flag after it says whether literals are
    // stored with the value.
    qsizetype end = 0;
    while (end < editMask.size() && editMask.at(end) != QLatin1Char(';'))
        end += editMask.at(end) == QLatin1Char('\\') ? 2 : 1;
    end = std::min(end, editMask.size());
    const bool literalsStored =
        end + 1 >= editMask.size() || editMask.at(end + 1) != QLatin1Char('0');
    if (literalsStored || value.isEmpty())
        return value;
    static const QString places = QStringLiteral("09#LlAaCc");
    QString out;
    out.reserve(end + 1);
    QString pending; // literals waiting for the next character
    qsizetype next = 0;
    for (qsizetype i = 0; i < end && next < value.size(); ++i) {
        const QChar c = editMask.at(i);
        if (c == QLatin1Char('\\') && i + 1 < end) {
            pending += editMask.at(++i);
        } else if (places.contains(c)) {
            out += pending;
            pending.clear();
            out += value.at(next++);
        } else if (c != QLatin1Char('>') && c != QLatin1Char('<') && c != QLatin1Char('!')) {
            pending += c;
        }
    }
    out += QStringView(value).mid(next); // characters beyond the mask's places
    return out;
}

bool parseNumber(QStringView text, double* value) {
    const QStringView t = text.trimmed();
    if (t.isEmpty()) {
        return false;
    }
    bool ok = false;
    double v = brazilianLocale().toDouble(t, &ok);
    if (!ok) {
        v = QLocale::c().toDouble(t, &ok);
    }
    if (ok && value) {
        *value = v;
    }
    return ok;
}

QDateTime parseDateTime(QStringView text) {
    const QString t = text.trimmed().toString();
    if (t.isEmpty()) {
        return {};
    }
    qsizetype cut = t.indexOf(u' ');
    if (cut < 0 && t.contains(u'-')) {
        cut = t.indexOf(u'T');
    }
    const QString datePart = cut < 0 ? t : t.left(cut);
    const QString timePart = cut < 0 ? QString() : t.mid(cut + 1).trimmed();
    QDate date;
    if (datePart.contains(u'/')) {
        date = QDate::fromString(datePart, QStringLiteral("d/M/yyyy"));
    } else {
        date = QDate::fromString(datePart, Qt::ISODate);
    }
    if (!date.isValid()) {
        return {};
    }
    QTime time(0, 0);
    if (!timePart.isEmpty()) {
        static const char* const formats[] = {"H:m:s.zzz", "H:m:s", "H:m"};
        time = QTime();
        for (const char* f : formats) {
            time = QTime::fromString(timePart, QString::fromLatin1(f));
            if (time.isValid()) {
                break;
            }
        }
        if (!time.isValid()) {
            return {};
        }
    }
    return QDateTime(date, time, Qt::UTC);
}

} // namespace sup::data

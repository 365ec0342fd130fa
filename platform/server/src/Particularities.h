#pragma once

// The brand particularities of a destination branch on a product (PARTFILIPROD), judged against
// a brand: one rule for the grid's brand check (VerificaMarcaPref) and the automatic
// alteration's conflict list (GetVdMarcPref, AltAtuItem).

#include <QString>
#include <QStringList>

#include <utility>

namespace sup::server {

enum class PartKind { Mandatory, Preferential, Restricted, Other };

// Brand particularity types: 1/7 mandatory, 2/8 preferential, 3/9 restricted.
inline PartKind partKindOf(const QString& type) {
    if (type == u"1" || type == u"7")
        return PartKind::Mandatory;
    if (type == u"2" || type == u"8")
        return PartKind::Preferential;
    if (type == u"3" || type == u"9")
        return PartKind::Restricted;
    return PartKind::Other;
}

// The brands a kind of particularity names on the product's path, the deepest node first.
struct BrandRule {
    QString type;        // of the deepest particularity of the kind
    QStringList codes;   // brand codes, without repetition
    QStringList display; // "code - name"

    bool names(const QString& brand) const { return codes.contains(brand, Qt::CaseInsensitive); }
    void add(const QString& t, const QString& code, const QString& name) {
        if (type.isEmpty())
            type = t;
        if (names(code))
            return;
        codes << code;
        display << (name.isEmpty() ? code : code + QStringLiteral(" - ") + name);
    }
};

// The brand particularities on a product's path, added deepest node first, against a brand: a
// mandatory brand must be chosen, a restricted one must not, and when preferential brands exist
// one of them should be. The first rule broken, in that order, is the answer.
class BrandCheck {
public:
    explicit BrandCheck(QString brand)
        : brand_(std::move(brand)) {}

    void add(const QString& type, const QString& code, const QString& name) {
        switch (partKindOf(type)) {
        case PartKind::Mandatory:
            mandatory_.add(type, code, name);
            break;
        case PartKind::Preferential:
            preferential_.add(type, code, name);
            break;
        case PartKind::Restricted: // only the brand judged, if named
            if (code.compare(brand_, Qt::CaseInsensitive) == 0)
                restricted_.add(type, code, name);
            break;
        case PartKind::Other:
            break;
        }
    }

    // The rule the brand breaks; nullptr when it agrees with all of them.
    const BrandRule* broken() const {
        if (!mandatory_.codes.isEmpty() && !mandatory_.names(brand_))
            return &mandatory_;
        if (!restricted_.codes.isEmpty())
            return &restricted_;
        if (!preferential_.codes.isEmpty() && !preferential_.names(brand_))
            return &preferential_;
        return nullptr;
    }

private:
    QString brand_;
    BrandRule mandatory_, preferential_, restricted_;
};

// Texts joined by ", " as far as `width` allows, whole texts only.
inline QString joinWithin(const QStringList& parts, qsizetype width) {
    QString out;
    for (const QString& p : parts) {
        const QString next = out.isEmpty() ? p : out + QStringLiteral(", ") + p;
        if (next.size() > width)
            break;
        out = next;
    }
    return out;
}

} // namespace sup::server

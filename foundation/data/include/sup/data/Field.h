#pragma once

#include <QList>
#include <QString>

namespace sup::data {

// Storage type of a field.
enum class FieldType : quint8 {
    Text = 1,    // characters; `size` bounds the length (0 = unbounded)
    Integer = 2, // 64-bit signed
    Double = 3,  // IEEE double
    Boolean = 4,
    DateTime = 5, // naive local date and time, millisecond precision
};

// Whether a field takes part in the update statements the server derives from a delta.
enum class UpdateMode : quint8 { Default = 0, None = 1 };

// Definition of one field of a working set or data packet.
struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    int size = 0;          // text: maximum characters, 0 = unbounded
    bool fixed = false;    // text padded with spaces to `size`
    QString label;         // display label; empty means the name
    QString displayFormat; // e.g. "###,##0.000" or "dd/mm/yyyy"
    QString editFormat;
    int displayWidth = 0; // characters; 0 means derived from the size
    bool visible = true;
    UpdateMode update = UpdateMode::Default;
    QString editMask; // e.g. "9999999999;0; "
    bool readOnly = false;

    QString displayLabel() const { return label.isEmpty() ? name : label; }
    bool operator==(const FieldDef&) const = default;

    // Short builders for the tables of field definitions.
    static FieldDef text(QString name, int size, QString label = {}, bool fixed = false);
    static FieldDef integer(QString name, QString label = {});
    static FieldDef real(QString name, QString label = {}, QString displayFormat = {});
    static FieldDef boolean(QString name, QString label = {});
    static FieldDef dateTime(QString name, QString label = {});
    FieldDef& hidden() {
        visible = false;
        return *this;
    }
    FieldDef& noUpdate() {
        update = UpdateMode::None;
        return *this;
    }
    FieldDef& width(int w) {
        displayWidth = w;
        return *this;
    }
    FieldDef& formats(QString display, QString edit = {}) {
        displayFormat = std::move(display);
        editFormat = std::move(edit);
        return *this;
    }
};

using FieldDefs = QList<FieldDef>;

// Index of the field named `name` (letter case ignored), or -1.
int indexOfField(const FieldDefs& defs, QStringView name);

QString fieldTypeName(FieldType type);

} // namespace sup::data

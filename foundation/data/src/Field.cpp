#include "sup/data/Field.h"

namespace sup::data {

FieldDef FieldDef::text(QString name, int size, QString label, bool fixed) {
    FieldDef f;
    f.name = std::move(name);
    f.type = FieldType::Text;
    f.size = size;
    f.fixed = fixed;
    f.label = std::move(label);
    return f;
}

FieldDef FieldDef::integer(QString name, QString label) {
    FieldDef f;
    f.name = std::move(name);
    f.type = FieldType::Integer;
    f.label = std::move(label);
    return f;
}

FieldDef FieldDef::real(QString name, QString label, QString displayFormat) {
    FieldDef f;
    f.name = std::move(name);
    f.type = FieldType::Double;
    f.label = std::move(label);
    f.displayFormat = std::move(displayFormat);
    return f;
}

FieldDef FieldDef::boolean(QString name, QString label) {
    FieldDef f;
    f.name = std::move(name);
    f.type = FieldType::Boolean;
    f.label = std::move(label);
    return f;
}

FieldDef FieldDef::dateTime(QString name, QString label) {
    FieldDef f;
    f.name = std::move(name);
    f.type = FieldType::DateTime;
    f.label = std::move(label);
    return f;
}

int indexOfField(const FieldDefs& defs, QStringView name) {
    for (int i = 0; i < defs.size(); ++i) {
        if (QStringView(defs[i].name).compare(name, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace sup::data

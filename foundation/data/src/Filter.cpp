#include "sup/data/Filter.h"

#include "Values.h"

#include "sup/data/Column.h"
#include "sup/data/Format.h"

#include <QString>

#include <cmath>
#include <cstring>

namespace sup::data {

FilterError::FilterError(const QString& message, int position)
    : std::runtime_error(message.toStdString())
    , position_(position) {}

namespace {

enum class Op : quint8 { Eq, Ne, Lt, Le, Gt, Ge };

bool applyOp(Op op, int cmp) {
    switch (op) {
    case Op::Eq:
        return cmp == 0;
    case Op::Ne:
        return cmp != 0;
    case Op::Lt:
        return cmp < 0;
    case Op::Le:
        return cmp <= 0;
    case Op::Gt:
        return cmp > 0;
    case Op::Ge:
        return cmp >= 0;
    }
    return false;
}

int compareBytes(QByteArrayView a, QByteArrayView b) {
    const qsizetype n = std::min(a.size(), b.size());
    const int c = n > 0 ? std::memcmp(a.data(), b.data(), std::size_t(n)) : 0;
    if (c != 0) {
        return c < 0 ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

template <typename T> int compareValues(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

double numberAt(const Column& c, qsizetype row) {
    return c.type() == FieldType::Double ? c.real(row) : double(c.integer(row));
}

// Bounds for hostile or runaway texts: nesting (the parser and the evaluator recurse) and the
// number of comparisons (a long AND/OR chain is a deep tree too).
constexpr int kMaxDepth = 200;
constexpr int kMaxComparisons = 1000;

} // namespace

struct FilterExpression::Node {
    virtual ~Node() = default;
    virtual bool eval(const std::vector<Column>& cols, qsizetype row) const = 0;
    // Appends the matching rows of [0, rows); nodes on a hot path do it in one tight loop.
    virtual void select(const std::vector<Column>& cols, qsizetype rows,
                        std::vector<int>& out) const {
        for (qsizetype r = 0; r < rows; ++r) {
            if (eval(cols, r)) {
                out.push_back(int(r));
            }
        }
    }
};

namespace {

using Node = FilterExpression::Node;
using NodePtr = std::unique_ptr<Node>;

struct ConstNode final : Node {
    bool value;
    explicit ConstNode(bool v)
        : value(v) {}
    bool eval(const std::vector<Column>&, qsizetype) const override { return value; }
};

struct AndNode final : Node {
    NodePtr a, b;
    bool eval(const std::vector<Column>& cols, qsizetype row) const override {
        return a->eval(cols, row) && b->eval(cols, row);
    }
};

struct OrNode final : Node {
    NodePtr a, b;
    bool eval(const std::vector<Column>& cols, qsizetype row) const override {
        return a->eval(cols, row) || b->eval(cols, row);
    }
};

struct NotNode final : Node {
    NodePtr a;
    bool eval(const std::vector<Column>& cols, qsizetype row) const override {
        return !a->eval(cols, row);
    }
};

struct IsNullNode final : Node {
    std::size_t field;
    bool trim;
    bool negate;
    bool eval(const std::vector<Column>& cols, qsizetype row) const override {
        const Column& c = cols[field];
        bool null = c.isNull(row);
        if (!null && c.type() == FieldType::Text) {
            QByteArrayView v = c.utf8(row);
            null = (trim ? detail::trimBlanks(v) : v).isEmpty();
        }
        return null != negate;
    }
};

// Text field against a constant, equality: the screens' "[ALTERADO]='S'" form.
struct TextEqNode final : Node {
    std::size_t field;
    bool trim;
    bool negate;
    QByteArray constant;
    bool test(const Column& c, qsizetype row) const {
        QByteArrayView v = c.utf8(row);
        if (trim) {
            v = detail::trimBlanks(v);
        }
        if (v.size() != constant.size()) {
            return negate;
        }
        // The constants are short ("S"): a byte loop beats a call to memcmp.
        const char* a = v.data();
        const char* b = constant.constData();
        for (qsizetype i = 0; i < v.size(); ++i) {
            if (a[i] != b[i]) {
                return negate;
            }
        }
        return !negate;
    }
    bool eval(const std::vector<Column>& cols, qsizetype row) const override {
        return test(cols[field], row);
    }
    void select(const std::vector<Column>& cols, qsizetype rows,
                std::vector<int>& out) const override {
        const Column& c = cols[field];
        const char* base = c.textSlots();
        const auto width = std::size_t(c.textSlotSize());
        if (!base) {
            for (qsizetype r = 0; r < rows; ++r) {
                if (test(c, r)) {
                    out.push_back(int(r));
                }
            }
            return;
        }
        // Fixed base: length byte and bytes read in place, no call per row.
        const char* k = constant.constData();
        const qsizetype kn = constant.size();
        for (qsizetype r = 0; r < rows; ++r) {
            const char* slot = base + std::size_t(r) * width;
            const auto len = static_cast<unsigned char>(slot[0]);
            bool hit;
            if (len == 255) {
                hit = test(c, r); // kept in the overflow table
            } else {
                qsizetype n = len;
                if (trim) {
                    while (n > 0 && slot[n] == ' ') {
                        --n;
                    }
                }
                hit = n == kn;
                for (qsizetype i = 0; hit && i < n; ++i) {
                    hit = slot[1 + i] == k[i];
                }
                hit = hit != negate;
            }
            if (hit) {
                out.push_back(int(r));
            }
        }
    }
};

struct TextCompareNode final : Node {
    std::size_t field;
    bool trim;
    Op op;
    QByteArray constant;
    bool eval(const std::vector<Column>& cols, qsizetype row) const override {
        QByteArrayView v = cols[field].utf8(row);
        if (trim) {
            v = detail::trimBlanks(v);
        }
        return applyOp(op, compareBytes(v, constant));
    }
};

struct NumberCompareNode final : Node {
    std::size_t field;
    Op op;
    double constant;
    bool eval(const std::vector<Column>& cols, qsizetype row) const override {
        const Column& c = cols[field];
        if (c.isNull(row)) {
            return op == Op::Ne;
        }
        return applyOp(op, compareValues(numberAt(c, row), constant));
    }
};

struct DateCompareNode final : Node {
    std::size_t field;
    Op op;
    qint64 constant;
    bool eval(const std::vector<Column>& cols, qsizetype row) const override {
        const Column& c = cols[field];
        if (c.isNull(row)) {
            return op == Op::Ne;
        }
        return applyOp(op, compareValues(c.dateTimeMs(row), constant));
    }
};

struct FieldCompareNode final : Node {
    std::size_t a, b;
    bool trimA, trimB;
    Op op;
    bool eval(const std::vector<Column>& cols, qsizetype row) const override {
        const Column& ca = cols[a];
        const Column& cb = cols[b];
        if (ca.type() == FieldType::Text) {
            QByteArrayView va = ca.utf8(row);
            QByteArrayView vb = cb.utf8(row);
            if (trimA) {
                va = detail::trimBlanks(va);
            }
            if (trimB) {
                vb = detail::trimBlanks(vb);
            }
            return applyOp(op, compareBytes(va, vb));
        }
        if (ca.isNull(row) || cb.isNull(row)) {
            return op == Op::Ne;
        }
        if (ca.type() == FieldType::DateTime) {
            return applyOp(op, compareValues(ca.dateTimeMs(row), cb.dateTimeMs(row)));
        }
        return applyOp(op, compareValues(numberAt(ca, row), numberAt(cb, row)));
    }
};

enum class Tok : quint8 { End, Field, String, Number, Ident, Op, LParen, RParen, Minus };

struct Token {
    Tok kind = Tok::End;
    QString text; // field name, string value, number text, identifier (upper case)
    Op op = Op::Eq;
    int pos = 0; // 1-based
};

class Parser {
public:
    Parser(const QString& text, const FieldDefs& fields)
        : text_(text)
        , fields_(fields) {
        advance();
    }

    NodePtr parseAll() {
        if (cur_.kind == Tok::End) {
            error(QStringLiteral("esperada uma condição"), cur_.pos);
        }
        NodePtr n = parseOr(0);
        if (cur_.kind != Tok::End) {
            error(QStringLiteral("esperado AND, OR ou o fim do filtro, encontrado %1")
                      .arg(describe(cur_)),
                  cur_.pos);
        }
        return n;
    }

private:
    struct Operand {
        bool isField = false;
        int field = -1;
        bool isNumber = false;
        bool isBool = false;
        bool boolValue = false;
        QString text; // string constant or number text
        double number = 0;
        int pos = 0;
    };

    [[noreturn]] void error(const QString& what, int pos) const {
        throw FilterError(QStringLiteral("Filtro inválido na posição %1: %2.").arg(pos).arg(what),
                          pos);
    }

    static QString describe(const Token& t) {
        switch (t.kind) {
        case Tok::End:
            return QStringLiteral("o fim do filtro");
        case Tok::Field:
            return QStringLiteral("o campo [%1]").arg(t.text);
        case Tok::String:
            return QStringLiteral("o texto '%1'").arg(t.text);
        case Tok::Number:
        case Tok::Ident:
            return QStringLiteral("\"%1\"").arg(t.text);
        case Tok::Op:
        case Tok::LParen:
        case Tok::RParen:
        case Tok::Minus:
            return QStringLiteral("\"%1\"").arg(t.text);
        }
        return {};
    }

    void advance() {
        const qsizetype n = text_.size();
        while (i_ < n && text_[i_].isSpace()) {
            ++i_;
        }
        cur_ = Token{};
        cur_.pos = int(i_) + 1;
        if (i_ >= n) {
            cur_.kind = Tok::End;
            return;
        }
        const QChar c = text_[i_];
        if (c == u'[') {
            const qsizetype end = text_.indexOf(u']', i_ + 1);
            if (end < 0) {
                error(QStringLiteral("falta o ']' que fecha o nome do campo"), cur_.pos);
            }
            cur_.kind = Tok::Field;
            cur_.text = text_.mid(i_ + 1, end - i_ - 1).trimmed();
            i_ = end + 1;
            return;
        }
        if (c == u'\'') {
            QString value;
            qsizetype j = i_ + 1;
            for (;;) {
                if (j >= n) {
                    error(QStringLiteral("falta o apóstrofo que fecha o texto"), cur_.pos);
                }
                if (text_[j] == u'\'') {
                    if (j + 1 < n && text_[j + 1] == u'\'') {
                        value.append(u'\'');
                        j += 2;
                        continue;
                    }
                    break;
                }
                value.append(text_[j]);
                ++j;
            }
            cur_.kind = Tok::String;
            cur_.text = value;
            i_ = j + 1;
            return;
        }
        if (c.isDigit() || (c == u'.' && i_ + 1 < n && text_[i_ + 1].isDigit())) {
            qsizetype j = i_;
            while (j < n && text_[j].isDigit()) {
                ++j;
            }
            if (j < n && text_[j] == u'.') {
                ++j;
                while (j < n && text_[j].isDigit()) {
                    ++j;
                }
            }
            if (j < n && (text_[j] == u'e' || text_[j] == u'E')) {
                qsizetype k = j + 1;
                if (k < n && (text_[k] == u'+' || text_[k] == u'-')) {
                    ++k;
                }
                if (k < n && text_[k].isDigit()) {
                    while (k < n && text_[k].isDigit()) {
                        ++k;
                    }
                    j = k;
                }
            }
            cur_.kind = Tok::Number;
            cur_.text = text_.mid(i_, j - i_);
            i_ = j;
            return;
        }
        if (c.isLetter() || c == u'_') {
            qsizetype j = i_;
            while (j < n && (text_[j].isLetterOrNumber() || text_[j] == u'_')) {
                ++j;
            }
            cur_.kind = Tok::Ident;
            cur_.text = text_.mid(i_, j - i_);
            i_ = j;
            return;
        }
        auto op = [&](Op o, int len) {
            cur_.kind = Tok::Op;
            cur_.op = o;
            cur_.text = text_.mid(i_, len);
            i_ += len;
        };
        const QChar next = i_ + 1 < n ? text_[i_ + 1] : QChar();
        switch (c.unicode()) {
        case u'=':
            return op(Op::Eq, 1);
        case u'<':
            if (next == u'>') {
                return op(Op::Ne, 2);
            }
            if (next == u'=') {
                return op(Op::Le, 2);
            }
            return op(Op::Lt, 1);
        case u'>':
            if (next == u'=') {
                return op(Op::Ge, 2);
            }
            return op(Op::Gt, 1);
        case u'!':
            if (next == u'=') {
                return op(Op::Ne, 2);
            }
            break;
        case u'(':
            cur_.kind = Tok::LParen;
            cur_.text = QStringLiteral("(");
            ++i_;
            return;
        case u')':
            cur_.kind = Tok::RParen;
            cur_.text = QStringLiteral(")");
            ++i_;
            return;
        case u'-':
            cur_.kind = Tok::Minus;
            cur_.text = QStringLiteral("-");
            ++i_;
            return;
        default:
            break;
        }
        error(QStringLiteral("caractere inesperado '%1'").arg(c), cur_.pos);
    }

    bool isKeyword(const char* word) const {
        return cur_.kind == Tok::Ident &&
               cur_.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }

    void checkDepth(int depth) const {
        if (depth > kMaxDepth) {
            error(QStringLiteral("expressão aninhada demais"), cur_.pos);
        }
    }

    NodePtr parseOr(int depth) {
        checkDepth(depth);
        NodePtr left = parseAnd(depth + 1);
        while (isKeyword("OR")) {
            advance();
            auto n = std::make_unique<OrNode>();
            n->a = std::move(left);
            n->b = parseAnd(depth + 1);
            left = std::move(n);
        }
        return left;
    }

    NodePtr parseAnd(int depth) {
        checkDepth(depth);
        NodePtr left = parseNot(depth + 1);
        while (isKeyword("AND")) {
            advance();
            auto n = std::make_unique<AndNode>();
            n->a = std::move(left);
            n->b = parseNot(depth + 1);
            left = std::move(n);
        }
        return left;
    }

    NodePtr parseNot(int depth) {
        checkDepth(depth);
        if (isKeyword("NOT")) {
            advance();
            auto n = std::make_unique<NotNode>();
            n->a = parseNot(depth + 1);
            return n;
        }
        if (cur_.kind == Tok::LParen) {
            advance();
            NodePtr inner = parseOr(depth + 1);
            if (cur_.kind != Tok::RParen) {
                error(QStringLiteral("esperado ')', encontrado %1").arg(describe(cur_)), cur_.pos);
            }
            advance();
            return inner;
        }
        return parseComparison();
    }

    Operand parseOperand() {
        Operand o;
        o.pos = cur_.pos;
        if (cur_.kind == Tok::Field ||
            (cur_.kind == Tok::Ident && !isKeyword("TRUE") && !isKeyword("FALSE") &&
             !isKeyword("NULL") && !isKeyword("AND") && !isKeyword("OR") && !isKeyword("NOT") &&
             !isKeyword("IS"))) {
            o.isField = true;
            o.field = indexOfField(fields_, cur_.text);
            if (o.field < 0) {
                error(QStringLiteral("campo \"%1\" não encontrado").arg(cur_.text), cur_.pos);
            }
            advance();
            return o;
        }
        if (isKeyword("TRUE") || isKeyword("FALSE")) {
            o.isBool = true;
            o.boolValue = isKeyword("TRUE");
            o.text = o.boolValue ? QStringLiteral("True") : QStringLiteral("False");
            advance();
            return o;
        }
        if (cur_.kind == Tok::String) {
            o.text = cur_.text;
            advance();
            return o;
        }
        bool negative = false;
        if (cur_.kind == Tok::Minus) {
            negative = true;
            advance();
            if (cur_.kind != Tok::Number) {
                error(QStringLiteral("esperado um número após '-'"), cur_.pos);
            }
        }
        if (cur_.kind == Tok::Number) {
            o.isNumber = true;
            o.text = (negative ? QStringLiteral("-") : QString()) + cur_.text;
            bool ok = false;
            o.number = QLocale::c().toDouble(o.text, &ok);
            if (!ok || !std::isfinite(o.number)) {
                error(QStringLiteral("número inválido \"%1\"").arg(o.text), o.pos);
            }
            advance();
            return o;
        }
        error(QStringLiteral("esperado um campo ou um valor, encontrado %1").arg(describe(cur_)),
              cur_.pos);
    }

    const FieldDef& def(int field) const { return fields_[field]; }

    NodePtr parseComparison() {
        if (++comparisons_ > kMaxComparisons) {
            error(QStringLiteral("filtro com mais de %1 comparações").arg(kMaxComparisons),
                  cur_.pos);
        }
        const Operand left = parseOperand();
        if (isKeyword("IS")) {
            const int isPos = cur_.pos;
            advance();
            bool negate = false;
            if (isKeyword("NOT")) {
                negate = true;
                advance();
            }
            if (!isKeyword("NULL")) {
                error(QStringLiteral("esperado NULL após IS"), cur_.pos);
            }
            advance();
            if (!left.isField) {
                error(QStringLiteral("IS NULL só se aplica a campos"), isPos);
            }
            auto n = std::make_unique<IsNullNode>();
            n->field = std::size_t(left.field);
            n->trim = def(left.field).fixed;
            n->negate = negate;
            return n;
        }
        if (cur_.kind != Tok::Op) {
            if (left.isField && def(left.field).type == FieldType::Boolean) {
                return compareFieldConst(left, Op::Eq, boolOperand(true, left.pos));
            }
            error(QStringLiteral("esperado um operador de comparação, encontrado %1")
                      .arg(describe(cur_)),
                  cur_.pos);
        }
        const Op op = cur_.op;
        advance();
        const Operand right = parseOperand();
        if (left.isField && right.isField) {
            return compareFields(left, op, right);
        }
        if (left.isField) {
            return compareFieldConst(left, op, right);
        }
        if (right.isField) {
            return compareFieldConst(right, mirror(op), left);
        }
        return compareConsts(left, op, right);
    }

    static Operand boolOperand(bool v, int pos) {
        Operand o;
        o.isBool = true;
        o.boolValue = v;
        o.pos = pos;
        return o;
    }

    static Op mirror(Op op) {
        switch (op) {
        case Op::Lt:
            return Op::Gt;
        case Op::Le:
            return Op::Ge;
        case Op::Gt:
            return Op::Lt;
        case Op::Ge:
            return Op::Le;
        default:
            return op;
        }
    }

    [[noreturn]] void incompatible(const Operand& value, int field) const {
        error(QStringLiteral("valor '%1' incompatível com o campo %2 (%3)")
                  .arg(value.text, def(field).name, fieldTypeName(def(field).type)),
              value.pos);
    }

    NodePtr compareFieldConst(const Operand& f, Op op, const Operand& v) {
        const FieldDef& fd = def(f.field);
        const auto field = std::size_t(f.field);
        switch (fd.type) {
        case FieldType::Text: {
            QString s = v.text;
            if (fd.fixed) {
                while (s.endsWith(u' ')) {
                    s.chop(1);
                }
            }
            if (op == Op::Eq || op == Op::Ne) {
                auto n = std::make_unique<TextEqNode>();
                n->field = field;
                n->trim = fd.fixed;
                n->negate = op == Op::Ne;
                n->constant = s.toUtf8();
                return n;
            }
            auto n = std::make_unique<TextCompareNode>();
            n->field = field;
            n->trim = fd.fixed;
            n->op = op;
            n->constant = s.toUtf8();
            return n;
        }
        case FieldType::Integer:
        case FieldType::Double:
        case FieldType::Boolean: {
            double x = 0;
            if (v.isNumber) {
                x = v.number;
            } else if (v.isBool) {
                x = v.boolValue ? 1 : 0;
            } else if (fd.type == FieldType::Boolean) {
                Column tmp(FieldType::Boolean, 0);
                tmp.resize(1);
                try {
                    tmp.setValue(0, v.text);
                } catch (const std::invalid_argument&) {
                    incompatible(v, f.field);
                }
                x = tmp.boolean(0) ? 1 : 0;
            } else if (!parseNumber(v.text, &x)) {
                incompatible(v, f.field);
            }
            auto n = std::make_unique<NumberCompareNode>();
            n->field = field;
            n->op = op;
            n->constant = x;
            return n;
        }
        case FieldType::DateTime: {
            qint64 ms = 0;
            if (v.isNumber) {
                ms = std::llround(v.number * 86400000.0);
            } else {
                const QDateTime dt = v.isBool ? QDateTime() : parseDateTime(v.text);
                if (!dt.isValid()) {
                    incompatible(v, f.field);
                }
                ms = toStoredMs(dt);
            }
            auto n = std::make_unique<DateCompareNode>();
            n->field = field;
            n->op = op;
            n->constant = ms;
            return n;
        }
        }
        incompatible(v, f.field);
    }

    static int typeClass(FieldType t) {
        switch (t) {
        case FieldType::Text:
            return 0;
        case FieldType::DateTime:
            return 1;
        default:
            return 2; // numbers and booleans
        }
    }

    NodePtr compareFields(const Operand& a, Op op, const Operand& b) {
        if (typeClass(def(a.field).type) != typeClass(def(b.field).type)) {
            error(QStringLiteral("os campos %1 e %2 têm tipos incompatíveis")
                      .arg(def(a.field).name, def(b.field).name),
                  b.pos);
        }
        auto n = std::make_unique<FieldCompareNode>();
        n->a = std::size_t(a.field);
        n->b = std::size_t(b.field);
        n->trimA = def(a.field).fixed;
        n->trimB = def(b.field).fixed;
        n->op = op;
        return n;
    }

    NodePtr compareConsts(const Operand& a, Op op, const Operand& b) {
        int cmp = 0;
        if ((a.isNumber || a.isBool) && (b.isNumber || b.isBool)) {
            const double x = a.isBool ? (a.boolValue ? 1 : 0) : a.number;
            const double y = b.isBool ? (b.boolValue ? 1 : 0) : b.number;
            cmp = compareValues(x, y);
        } else {
            cmp = a.text.compare(b.text);
            cmp = cmp < 0 ? -1 : (cmp > 0 ? 1 : 0);
        }
        return std::make_unique<ConstNode>(applyOp(op, cmp));
    }

    const QString& text_;
    const FieldDefs& fields_;
    qsizetype i_ = 0;
    int comparisons_ = 0;
    Token cur_;
};

} // namespace

FilterExpression::FilterExpression(const QString& text, const FieldDefs& fields)
    : root_(Parser(text, fields).parseAll()) {}

FilterExpression::~FilterExpression() = default;
FilterExpression::FilterExpression(FilterExpression&&) noexcept = default;
FilterExpression& FilterExpression::operator=(FilterExpression&&) noexcept = default;

bool FilterExpression::matches(const std::vector<Column>& columns, qsizetype row) const {
    return root_->eval(columns, row);
}

void FilterExpression::select(const std::vector<Column>& columns, qsizetype rows,
                              std::vector<int>& out) const {
    root_->select(columns, rows, out);
}

} // namespace sup::data

#include "data/NumberStatements.h"

#include "data/NumberCompare.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace jetnumber {
namespace {

struct Token
{
    enum Kind { Word, Quoted, Number, String, Other, Punct } kind = Other;
    size_t begin = 0;
    size_t end = 0;
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isIdentChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '_' || c == '$'
           || static_cast<unsigned char>(c) >= 0x80;
}

// SQLite's tokens, blanks and comments left out.
std::vector<Token> tokenize(std::string_view s)
{
    std::vector<Token> out;
    size_t i = 0;
    const size_t n = s.size();
    auto skipQuoted = [&](char close) {
        for (++i; i < n; ++i) {
            if (s[i] == close) {
                if (i + 1 < n && s[i + 1] == close && close != ']') {
                    ++i;
                    continue;
                }
                ++i;
                return;
            }
        }
    };
    while (i < n) {
        const char c = s[i];
        const size_t begin = i;
        Token::Kind kind = Token::Punct;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            while (i < n && s[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            const size_t close = s.find("*/", i + 2);
            i = close == std::string_view::npos ? n : close + 2;
            continue;
        }
        if ((c == 'x' || c == 'X') && i + 1 < n && s[i + 1] == '\'') {
            ++i;
            skipQuoted('\'');
            kind = Token::Other;
        } else if (c == '\'') {
            skipQuoted('\'');
            kind = Token::String;
        } else if (c == '"' || c == '`' || c == '[') {
            skipQuoted(c == '[' ? ']' : c);
            kind = Token::Quoted;
        } else if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(s[i + 1]))) {
            kind = Token::Number;
            if (c == '0' && i + 1 < n && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
                i += 2;
                kind = Token::Other; // hexadecimal: always a 64-bit integer
            }
            while (
                i < n
                && (isIdentChar(s[i]) || s[i] == '.'
                    || ((s[i] == '+' || s[i] == '-') && (s[i - 1] == 'e' || s[i - 1] == 'E') && kind == Token::Number)))
                ++i;
        } else if (isIdentChar(c)) {
            while (i < n && isIdentChar(s[i]))
                ++i;
            kind = Token::Word;
        } else if (c == '?' || c == ':' || c == '@' || c == '#') {
            for (++i; i < n && isIdentChar(s[i]);)
                ++i;
            kind = Token::Other;
        } else {
            static const char *const longer[] = {"->>", "||", "<=", ">=", "==", "!=", "<>", "<<", ">>", "->"};
            size_t length = 1;
            for (const char *op : longer)
                if (s.substr(i, std::strlen(op)) == op) {
                    length = std::strlen(op);
                    break;
                }
            i += length;
        }
        out.push_back({kind, begin, i});
    }
    return out;
}

bool equalsFolded(std::string_view a, const char *word)
{
    const size_t n = std::strlen(word);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if ((a[i] >= 'a' && a[i] <= 'z' ? char(a[i] - 32) : a[i]) != word[i])
            return false;
    return true;
}

bool inList(std::string_view text, std::initializer_list<const char *> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char *w) { return equalsFolded(text, w); });
}

// A numeric literal SQLite reads as a double that its own text form (15 digits) does not give
// back: more than 15 significant digits, and not an integer of 64 bits.
bool isLong(std::string_view number, bool negative)
{
    const size_t e = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, e);
    const size_t point = mantissa.find('.');
    std::string digits(mantissa.substr(0, point));
    if (point == std::string_view::npos && e == std::string_view::npos) {
        const size_t nonzero = std::min(digits.find_first_not_of('0'), digits.size());
        const std::string_view whole = std::string_view(digits).substr(nonzero);
        if (whole.size() < 19
            || (whole.size() == 19 && whole <= (negative ? "9223372036854775808" : "9223372036854775807")))
            return false;
    }
    if (point != std::string_view::npos)
        digits += mantissa.substr(point + 1);
    const size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return false;
    const size_t last = digits.find_last_not_of('0');
    return last - first + 1 > 15;
}

class Rewriter
{
public:
    Rewriter(std::string_view sql, const std::function<bool(std::string_view)> &isExact)
        : m_sql(sql), m_isExact(isExact), m_tokens(tokenize(sql))
    {
        markBetweenAnds();
    }

    std::string run()
    {
        for (size_t i = 0; i < m_tokens.size(); ++i) {
            const size_t end = exactOperand(i);
            if (end == 0)
                continue;
            if (isPunct(i, "-"))
                negate(i, end);
            comparison(i, end);
        }
        if (m_edits.empty())
            return std::string(m_sql);
        std::sort(m_edits.begin(), m_edits.end(), [](const Edit &a, const Edit &b) { return a.begin < b.begin; });
        std::string out;
        size_t at = 0;
        for (const Edit &e : m_edits) {
            if (e.begin < at)
                continue; // overlapping: never the case
            out.append(m_sql.substr(at, e.begin - at));
            out += e.text;
            at = e.end;
        }
        out.append(m_sql.substr(at));
        return out;
    }

private:
    struct Edit
    {
        size_t begin;
        size_t end;
        std::string text;
    };

    std::string_view text(size_t i) const
    {
        return m_sql.substr(m_tokens[i].begin, m_tokens[i].end - m_tokens[i].begin);
    }
    bool isPunct(size_t i, const char *op) const
    {
        return i < m_tokens.size() && m_tokens[i].kind == Token::Punct && text(i) == op;
    }
    bool isWord(size_t i, const char *word) const
    {
        return i < m_tokens.size() && m_tokens[i].kind == Token::Word && equalsFolded(text(i), word);
    }
    bool isName(size_t i) const
    {
        return i < m_tokens.size() && (m_tokens[i].kind == Token::Word || m_tokens[i].kind == Token::Quoted);
    }

    std::string unquoted(size_t i) const
    {
        const std::string_view t = text(i);
        if (m_tokens[i].kind != Token::Quoted || t.size() < 2)
            return std::string(t);
        const char close = t.front() == '[' ? ']' : t.front();
        std::string name;
        for (size_t k = 1; k + 1 < t.size(); ++k) {
            name += t[k];
            if (t[k] == close && close != ']' && k + 2 < t.size() && t[k + 1] == close)
                ++k;
        }
        return name;
    }

    // The AND that closes a BETWEEN.
    void markBetweenAnds()
    {
        m_betweenAnd.assign(m_tokens.size(), false);
        std::vector<int> open{0}; // BETWEENs waiting for their AND, per parenthesis depth
        for (size_t i = 0; i < m_tokens.size(); ++i) {
            if (isPunct(i, "(")) {
                open.push_back(0);
            } else if (isPunct(i, ")")) {
                if (open.size() > 1)
                    open.pop_back();
            } else if (isWord(i, "BETWEEN")) {
                ++open.back();
            } else if (isWord(i, "AND") && open.back() > 0) {
                --open.back();
                m_betweenAnd[i] = true;
            }
        }
    }

    // Whether a '-' is a sign (no operand ends before it).
    bool isUnary(size_t i) const
    {
        if (i == 0)
            return true;
        const Token &p = m_tokens[i - 1];
        if (p.kind == Token::Punct)
            return text(i - 1) != ")";
        return p.kind == Token::Word
               && inList(text(i - 1),
                         {"SELECT",  "WHERE", "AND",    "OR",       "NOT",  "WHEN",   "THEN",   "ELSE",      "CASE",
                          "BETWEEN", "IS",    "IN",     "LIKE",     "GLOB", "MATCH",  "REGEXP", "ON",        "BY",
                          "HAVING",  "LIMIT", "OFFSET", "DISTINCT", "ALL",  "ESCAPE", "VALUES", "RETURNING", "SET"});
    }

    // The end of a column reference (a.b.c) starting at i that names an exact column, or 0.
    size_t columnRef(size_t i) const
    {
        if (!isName(i) || (i > 0 && isPunct(i - 1, ".")))
            return 0;
        size_t last = i;
        for (int parts = 1; parts < 3 && isPunct(last + 1, ".") && isName(last + 2); ++parts)
            last += 2;
        if (isPunct(last + 1, ".") || isPunct(last + 1, "("))
            return 0;
        return m_isExact(unquoted(last)) ? last + 1 : 0;
    }

    // The end of an exact operand at i (a reference, or one negated), or 0.
    size_t exactOperand(size_t i) const
    {
        if (isPunct(i, "-") && isUnary(i)) {
            const size_t end = columnRef(i + 1);
            return end != 0 && !isWord(end, "COLLATE") ? end : 0;
        }
        return columnRef(i);
    }

    // The end of a numeric literal at i with its sign, or 0.
    size_t literal(size_t i) const
    {
        if ((isPunct(i, "-") || isPunct(i, "+")) && isUnary(i))
            ++i;
        return i < m_tokens.size() && m_tokens[i].kind == Token::Number ? i + 1 : 0;
    }

    // Operators that bind tighter than any comparison, and those of the comparisons.
    bool binds(size_t i) const
    {
        if (i >= m_tokens.size())
            return false;
        if (m_tokens[i].kind == Token::Punct)
            return inList(text(i), {"||", "->", "->>", "*", "/", "%", "+", "-", "&", "|", "<<", ">>", "~", "."});
        return isWord(i, "COLLATE") || isWord(i, "ESCAPE");
    }
    bool relational(size_t i) const
    {
        return i < m_tokens.size() && m_tokens[i].kind == Token::Punct && inList(text(i), {"<", "<=", ">", ">="});
    }
    bool equality(size_t i) const
    {
        if (i >= m_tokens.size())
            return false;
        if (m_tokens[i].kind == Token::Punct)
            return inList(text(i), {"=", "==", "!=", "<>"});
        if (isWord(i, "NOT"))
            return i > 0 && isWord(i - 1, "IS");
        return m_tokens[i].kind == Token::Word
               && (m_betweenAnd[i]
                   || inList(text(i), {"IS", "IN", "LIKE", "GLOB", "MATCH", "REGEXP", "BETWEEN", "ISNULL", "NOTNULL"}));
    }

    // Whether a comparison whose left operand starts at `begin` and whose right one ends before
    // `end` has them whole: no operator beside them takes them first.
    bool whole(size_t begin, size_t end, bool isEquality) const
    {
        const size_t before = begin - 1; // wraps to a huge index at the start: no token
        if (begin > 0 && (binds(before) || relational(before) || (isEquality && equality(before))))
            return false;
        return !binds(end) && !(isEquality && relational(end));
    }

    void quote(size_t begin, size_t end)
    {
        const size_t number = end - 1;
        if (!isLong(text(number), begin != number && isPunct(begin, "-")))
            return;
        std::string t = "'";
        if (begin != number && isPunct(begin, "-"))
            t += '-';
        t.append(text(number));
        t += '\'';
        m_edits.push_back({m_tokens[begin].begin, m_tokens[number].end, std::move(t)});
    }

    void negate(size_t begin, size_t end)
    {
        std::string t = "(CAST(";
        t += kNegate;
        t += '(';
        t.append(m_sql.substr(m_tokens[begin + 1].begin, m_tokens[end - 1].end - m_tokens[begin + 1].begin));
        t += ") AS TEXT) COLLATE ";
        t += kCollation;
        t += ')';
        m_edits.push_back({m_tokens[begin].begin, m_tokens[end - 1].end, std::move(t)});
    }

    // The literals an exact operand [begin, end) is compared with.
    void comparison(size_t begin, size_t end)
    {
        // literal <op> operand
        if (begin >= 2
            && (relational(begin - 1) || (equality(begin - 1) && m_tokens[begin - 1].kind == Token::Punct))) {
            const bool eq = equality(begin - 1);
            for (size_t from = begin - 1 >= 2 ? begin - 3 : 0; from < begin - 1; ++from) {
                if (literal(from) == begin - 1 && (from == 0 || !isPunct(from - 1, "-") || !isUnary(from - 1))
                    && whole(from, end, eq))
                    quote(from, begin - 1);
            }
        }
        // operand <op> literal
        size_t op = end;
        if (relational(op) || (equality(op) && m_tokens[op].kind == Token::Punct)) {
            const bool eq = equality(op);
            const size_t last = literal(op + 1);
            if (last != 0 && whole(begin, last, eq))
                quote(op + 1, last);
            return;
        }
        // operand [NOT] BETWEEN literal AND literal
        if (isWord(op, "NOT"))
            ++op;
        if (isWord(op, "BETWEEN")) {
            const size_t low = literal(op + 1);
            const size_t high = low != 0 && isWord(low, "AND") ? literal(low + 1) : 0;
            if (high != 0 && whole(begin, high, true)) {
                quote(op + 1, low);
                quote(low + 1, high);
            }
        } else if (isWord(op, "IN") && isPunct(op + 1, "(") && whole(begin, op, true)) {
            // operand [NOT] IN (literal, ...)
            std::vector<std::pair<size_t, size_t>> items;
            for (size_t i = op + 2;;) {
                const size_t last = literal(i);
                if (last == 0)
                    return;
                items.emplace_back(i, last);
                if (isPunct(last, ")"))
                    break;
                if (!isPunct(last, ","))
                    return;
                i = last + 1;
            }
            for (const auto &[from, to] : items)
                quote(from, to);
        }
    }

    std::string_view m_sql;
    const std::function<bool(std::string_view)> &m_isExact;
    std::vector<Token> m_tokens;
    std::vector<bool> m_betweenAnd;
    std::vector<Edit> m_edits;
};

} // namespace

std::string rewriteStatement(std::string_view sql, const std::function<bool(std::string_view name)> &isExact)
{
    return Rewriter(sql, isExact).run();
}

} // namespace jetnumber

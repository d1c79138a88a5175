#include "tools/CsvReader.h"

#include "tools/ToolSupport.h"

CsvReader::CsvReader(const QString &path) : m_file(path) {}

bool CsvReader::open(QString *error)
{
    if (!m_file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = fileErrorText(m_file);
        return false;
    }
    return true;
}

int CsvReader::peek()
{
    if (m_pos >= m_buf.size()) {
        if (m_eof)
            return -1;
        m_buf = m_file.read(1 << 16);
        m_pos = 0;
        if (m_buf.isEmpty()) {
            m_eof = true;
            return -1;
        }
    }
    return static_cast<unsigned char>(m_buf.at(m_pos));
}

int CsvReader::get()
{
    const int c = peek();
    if (c >= 0)
        ++m_pos;
    return c;
}

bool CsvReader::startsWithMark()
{
    // The three bytes may lie across the end of a read.
    if (peek() != 0xef)
        return false;
    if (m_buf.size() - m_pos < 3 && !m_eof) {
        m_buf = m_buf.mid(m_pos) + m_file.read(1 << 16);
        m_pos = 0;
    }
    return m_buf.mid(m_pos, 3) == QByteArray("\xef\xbb\xbf");
}

bool CsvReader::next(std::vector<Field> &fields)
{
    fields.clear();
    if (m_first) {
        m_first = false;
        // One byte order mark at the very start is not part of the first column name; a second
        // one there is a file joined to another, not a name.
        if (startsWithMark()) {
            m_pos += 3;
            if (startsWithMark())
                throw CsvError{1, QStringLiteral("文件开头有第二个字节顺序标记 (U+FEFF)")};
        }
    }
    // Blank lines carry no record unless the caller says they do.
    while (!m_blankLineIsRecord) {
        const int c = peek();
        if (c == '\r') {
            get();
            continue;
        }
        if (c == '\n') {
            get();
            ++m_line;
            continue;
        }
        if (c < 0)
            return false;
        break;
    }
    if (peek() < 0)
        return false;
    m_recordLine = m_line;
    Field field;
    for (;;) {
        int c = get();
        if (c == '"' && field.bytes.isEmpty() && !field.quoted) {
            field.quoted = true;
            for (;;) {
                c = get();
                if (c < 0)
                    throw CsvError{m_recordLine, QStringLiteral("引号括起的字段直到文件结尾都没有结束")};
                if (c == '"') {
                    if (peek() == '"') {
                        get();
                        field.bytes.append('"');
                        continue;
                    }
                    break;
                }
                if (c == '\n')
                    ++m_line;
                field.bytes.append(char(c));
            }
            c = get();
            if (c == '\r' && peek() == '\n')
                c = get();
            if (c != ',' && c != '\n' && c >= 0)
                throw CsvError{m_line, QStringLiteral("结束引号之后有多余的字符")};
        } else {
            while (c >= 0 && c != ',' && c != '\n') {
                if (c == '\r' && peek() == '\n') {
                    c = get();
                    break;
                }
                if (c == '"')
                    throw CsvError{m_line, QStringLiteral("没有引号括起的字段中有引号")};
                field.bytes.append(char(c));
                c = get();
            }
        }
        fields.push_back(std::move(field));
        field = Field();
        if (c == ',')
            continue;
        if (c == '\n')
            ++m_line;
        return true;
    }
}

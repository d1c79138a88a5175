#pragma once

#include <QString>
#include <exception>

// The system's error class: every error the program reports is one of these (or derived).
// The message is shown as is in the application's error box.
class Exception : public std::exception
{
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

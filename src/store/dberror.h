#pragma once

#include <QString>

#include <stdexcept>

// A failure of the database engine, carrying the engine's own message.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString &message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {
    }

    const QString &message() const { return m_message; }

private:
    QString m_message;
};

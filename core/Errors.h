// Exceptions that stop a handler and reach the default error box.
#pragma once

#include <QString>
#include <stdexcept>

// Base of the station's own errors; the message is shown to the operator as it is.
class EStationError : public std::runtime_error
{
public:
    explicit EStationError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// A statement or a connection the server refused, with the server's message.
class EDatabaseError : public EStationError
{
public:
    explicit EDatabaseError(const QString &message, unsigned int code = 0) : EStationError(message), m_code(code) {}
    unsigned int code() const { return m_code; }

private:
    unsigned int m_code;
};

// The one text the station shows for a value that should be a whole number and is not.
inline QString NotIntegerMessage(const QString &value)
{
    return QStringLiteral("'%1' は整数ではありません。").arg(value);
}

// A file the station could not read or write.
class EInOutError : public EStationError
{
public:
    using EStationError::EStationError;
};

#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <utility>

// Names, codes and the exception type shared by the finite-state-machine engine.

// Posted (synchronously, object = the machine) every time a fired event changes the state.
// The user info holds the caller's user info plus the transition under
// PLRFiniteStateMachineTransitionUserInfoKey.
inline constexpr char PLRFiniteStateMachineDidChangeStateNotification[] =
    "PLRFiniteStateMachineDidChangeStateNotification";
inline constexpr char PLRFiniteStateMachineTransitionUserInfoKey[] = "transition";

// Domain of the errors returned when a fire is refused.
inline constexpr char PLRFiniteStateMachineErrorDomain[] = "org.quenfield.pelloraapp.fsm.errors";

enum PLRFiniteStateMachineErrorCode : qint64 {
    // The event's source states do not include the current state.
    PLRFiniteStateMachineInvalidTransitionError = 1000,
    // The event's shouldFireEventBlock said no.
    PLRFiniteStateMachineTransitionDeclinedError = 1001,
};

// Exception names (the kinds of programming errors the engine reports by throwing).
inline constexpr char PLRFiniteStateMachineIsImmutableException[] =
    "PLRFiniteStateMachineIsImmutableException";
inline constexpr char PLRInvalidArgumentException[] = "NSInvalidArgumentException";
inline constexpr char PLRInternalInconsistencyException[] = "NSInternalInconsistencyException";

// Thrown for misuse of the engine: assembling an active machine, unknown names, bad arguments.
class PLRFiniteStateMachineException : public std::exception {
public:
    PLRFiniteStateMachineException(QString name, QString message)
        : m_name(std::move(name)), m_message(std::move(message)), m_what(m_message.toUtf8())
    {
    }

    static PLRFiniteStateMachineException immutable(const QString& message)
    {
        return {QString::fromLatin1(PLRFiniteStateMachineIsImmutableException), message};
    }
    static PLRFiniteStateMachineException invalidArgument(const QString& message)
    {
        return {QString::fromLatin1(PLRInvalidArgumentException), message};
    }
    static PLRFiniteStateMachineException internalInconsistency(const QString& message)
    {
        return {QString::fromLatin1(PLRInternalInconsistencyException), message};
    }

    const QString& name() const noexcept { return m_name; }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_name;
    QString m_message;
    QByteArray m_what;
};

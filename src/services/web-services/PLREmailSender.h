#pragma once

#include <QString>

// Hands a message to the user's mail program (xdg-email), with the values passed as
// arguments, never through a shell or a script.
class PLREmailSender {
public:
    // The attachment is added only when a file exists at that path. False when the mail
    // program could not be started.
    static bool sendEmailTo(const QString& recipient, const QString& subject, const QString& body,
                            const QString& attachmentPath = QString());
};

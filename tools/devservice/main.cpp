// pellora-devservice: the local development service.
//
//   pellora-devservice [--port N] [--data FILE] [--user EMAIL:PASSWORD]... [--users FILE]
//                      [--min-version VERSION]
//
// --port 0 picks a free port. On start it prints the address it listens on and the demo
// account, one per line, then serves until killed. SIGUSR1 ends a going down at once.
#include "DevServer.h"
#include "DevStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <QSocketNotifier>

#include <csignal>
#include <functional>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
std::function<void()> comeUp;

// SIGTERM and SIGINT end the event loop; SIGUSR1 makes a service that is down (see
// /__control/down) listen again at once. The handler only writes the signal's number to a pipe
// (nothing else is safe in a signal handler); the loop reads it, also when the signal came
// before the loop ran.
void handleSignals(QCoreApplication& app)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("devservice: no pipe for signals; SIGTERM ends the service at once");
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        unsigned char signal = 0;
        bool quit = false;
        bool up = false;
        while (::read(signalPipe[0], &signal, 1) > 0) {
            if (signal == SIGUSR1)
                up = true;
            else
                quit = true;
        }
        if (up && comeUp)
            comeUp();
        if (quit) {
            notifier->setEnabled(false);
            QCoreApplication::quit();
        }
    });
    struct sigaction action = {};
    action.sa_handler = [](int number) {
        const unsigned char byte = static_cast<unsigned char>(number);
        [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGUSR1, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pellora-devservice"));
    handleSignals(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local development service of Pellora."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free port)."),
                                        QStringLiteral("N"), QStringLiteral("4000"));
    const QCommandLineOption dataOption(QStringLiteral("data"), QStringLiteral("JSON file that keeps the data."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption userOption(QStringLiteral("user"), QStringLiteral("An account, EMAIL:PASSWORD (repeatable)."),
                                        QStringLiteral("EMAIL:PASSWORD"));
    const QCommandLineOption usersOption(QStringLiteral("users"),
                                         QStringLiteral("JSON file with accounts: [{\"email\", \"password\"}]."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption versionOption(QStringLiteral("min-version"),
                                           QStringLiteral("Minimum application version answered by /core/supported."),
                                           QStringLiteral("VERSION"));
    parser.addOptions({portOption, dataOption, userOption, usersOption, versionOption});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        err << "invalid --port " << parser.value(portOption) << Qt::endl;
        return 2;
    }

    DevStore store(parser.value(dataOption));
    QString message;
    if (!store.load(&message)) {
        err << "devservice: " << message << Qt::endl;
        return 2;
    }
    store.addUser(DevStore::demoEmail(), DevStore::demoPassword());
    for (const QString& entry : parser.values(userOption)) {
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        if (colon <= 0) {
            err << "invalid --user " << entry << " (EMAIL:PASSWORD)" << Qt::endl;
            return 2;
        }
        store.addUser(entry.left(colon), entry.mid(colon + 1));
    }
    if (parser.isSet(usersOption)) {
        QFile file(parser.value(usersOption));
        const QJsonDocument document = file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll())
                                                                      : QJsonDocument();
        if (!document.isArray()) {
            err << "devservice: " << file.fileName() << " is not a JSON array of accounts" << Qt::endl;
            return 2;
        }
        for (const QJsonValue& value : document.array()) {
            const QJsonObject account = value.toObject();
            const QString email = account.value(QStringLiteral("email")).toString();
            if (!email.isEmpty())
                store.addUser(email, account.value(QStringLiteral("password")).toString());
        }
    }
    if (parser.isSet(versionOption))
        store.setMinimumVersion(parser.value(versionOption));

    DevServer server(store);
    comeUp = [&server] { server.comeUp(); };
    registerAllRoutes(server);
    const quint16 bound = server.start(quint16(port));
    if (bound == 0)
        return 1;
    out << "pellora-devservice listening on http://127.0.0.1:" << bound << Qt::endl;
    out << "Demo account: " << DevStore::demoEmail() << " / " << DevStore::demoPassword() << Qt::endl;
    const int status = app.exec();
    comeUp = nullptr;
    return status;
}

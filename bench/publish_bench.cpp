// Publishing benchmark (not a test).
//
// Real photos (distinct 24-megapixel photos made from those in the folder given on the command
// line, each cropped and mirrored its own way), a post on them with every photo in its layout
// and their export files (the cache an upload reads) built beforehand. Then, against the
// development service on loopback, several rounds, each for a new user (so that the service
// wants every photo again), each publish paired with curl runs made right before it:
//  1. the upload pass (UPLOADING_IMAGES -> SERVER_BUILDING: the image-info batches and the
//     PUTs) against `curl --parallel --parallel-max 6` doing the same PUTs with the same six
//     connections per host (for another account, so the service wants every photo again);
//  2. the whole publish, from the publish call to the built state (SERVER_BUILDING -> IDLE),
//     against `curl --parallel` (50 transfers at once) of the same PUTs.
// Prints the times in milliseconds, the medians of the paired ratios, the peak memory of the
// publish and the export bytes sent (uploads stream from disk: the peak should stay far below
// the bytes sent). Every wait sleeps in the event loop; nothing spins.
//
// Usage: publish_bench PHOTOS_FOLDER [count=45] [--rounds N=3] [--work DIR]
//   --work DIR  where the photos are made and kept between runs (default: a temporary folder)

#include "BenchPhotos.h"
#include "BenchSupport.h"

#include "layout/PLRLayoutLibrary.h"
#include "layout/base/PLRLayoutManager.h"
#include "services/PLRServices.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/Keychain.h"
#include "platform/Resources.h"
#include "platform/Shutdown.h"
#include "platform/UserDefaults.h"
#include "publishing/PLRPublishing.h"
#include "publishing/publish/PLRWebServicePostPublisher.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRServiceReacher.h"
#include "services/web-services/PLRWebServiceManager.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

class Service {
public:
    ~Service()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            m_process.waitForFinished(3000);
        }
    }

    bool start()
    {
        QString path = QString::fromUtf8(PELLORA_DEVSERVICE_PATH);
        m_process.start(path, {QStringLiteral("--port"), QStringLiteral("0")});
        if (!m_process.waitForStarted(5000))
            return false;
        static const QRegularExpression listening(QStringLiteral("listening on http://127\\.0\\.0\\.1:(\\d+)"));
        QByteArray output;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            output += m_process.readAllStandardOutput();
            const QRegularExpressionMatch match = listening.match(QString::fromUtf8(output));
            if (match.hasMatch()) {
                m_port = quint16(match.captured(1).toUInt());
                return true;
            }
        }
        return false;
    }

    quint16 port() const { return m_port; }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    QJsonObject call(const QByteArray& method, const QString& path, const QJsonObject& body = {},
                     const QString& token = QString()) const
    {
        QNetworkAccessManager network;
        QNetworkRequest request(QUrl(base() + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
        QNetworkReply* reply = network.sendCustomRequest(request, method,
                                                         body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson());
        bench_support::waitUntil([reply] { return reply->isFinished(); }, 30000);
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        delete reply;
        return answer;
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

QString sha1Of(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex().toUpper());
}

// The anchor: the PUTs of the export files with curl --parallel, to addresses the service
// hands out for a second account. Answers the seconds, or a negative value on failure.
double runCurl(const Service& service, const QList<PLRSourceImagePtr>& images, int parallelMax, const QString& account)
{
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty())
        return -1;
    service.call("POST", QStringLiteral("/__control/users"),
                 {{QStringLiteral("email"), account}, {QStringLiteral("password"), QStringLiteral("x")}});
    const QString token =
        service.call("POST", QStringLiteral("/__control/tokens"), {{QStringLiteral("email"), account}})
            .value(QStringLiteral("jwt"))
            .toString();
    QJsonObject info;
    QHash<QString, QString> files;
    for (const PLRSourceImagePtr& image : images) {
        const QString path = image->exportFilePath();
        files.insert(image->identifier(), path);
        info.insert(image->identifier(), QJsonObject{{QStringLiteral("name"), image->fileName()},
                                                     {QStringLiteral("keywords"), QJsonArray()},
                                                     {QStringLiteral("hash"), sha1Of(path)}});
    }
    const QJsonObject created = service.call(
        "POST", QStringLiteral("/api/me/posts"),
        {{QStringLiteral("name"), QStringLiteral("anchor")},
         {QStringLiteral("post_revision"), QJsonObject{{QStringLiteral("blob"), QString()}, {QStringLiteral("keywords"), QJsonArray()}}},
         {QStringLiteral("image_info"), info},
         {QStringLiteral("publish"), false}},
        token);
    const QString postId = created.value(QStringLiteral("post")).toObject().value(QStringLiteral("id")).toString();
    QStringList ids = files.keys();
    QString config;
    for (qsizetype start = 0; start < ids.size(); start += 20) {
        QJsonArray batch;
        for (const QString& id : ids.mid(start, 20))
            batch.append(QJsonObject{{QStringLiteral("ref_id"), id}});
        const QJsonObject answer = service.call("POST", QStringLiteral("/api/me/posts/%1/images-batch").arg(postId),
                                                {{QStringLiteral("images"), batch}}, token);
        for (const QJsonValue& entry : answer.value(QStringLiteral("images")).toArray()) {
            const QJsonObject object = entry.toObject();
            // (No "Expect: 100-continue" wait: the service answers uploads directly.)
            config += QStringLiteral("upload-file = \"%1\"\nurl = \"%2\"\noutput = \"/dev/null\"\nheader = \"Expect:\"\n")
                          .arg(files.value(object.value(QStringLiteral("ref_id")).toString()),
                               object.value(QStringLiteral("signed_url")).toString());
        }
    }
    QTemporaryDir dir;
    QFile configFile(dir.filePath(QStringLiteral("curl.conf")));
    if (!configFile.open(QIODevice::WriteOnly))
        return -1;
    configFile.write(config.toUtf8());
    configFile.close();
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(curl, {QStringLiteral("--parallel"), QStringLiteral("--parallel-max"), QString::number(parallelMax),
                         QStringLiteral("--silent"), QStringLiteral("--fail"), QStringLiteral("--config"),
                         configFile.fileName()});
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return -1;
    return timer.elapsed() / 1000.0;
}


// One round's user: made on the service with the website set, signed in as the session.
bool signInNewUser(const Service& service, const QString& email)
{
    const QString userId = service.call("POST", QStringLiteral("/__control/users"),
                                        {{QStringLiteral("email"), email}, {QStringLiteral("password"), QStringLiteral("pw")}})
                               .value(QStringLiteral("user_id"))
                               .toString();
    service.call("POST", QStringLiteral("/__control/me"),
                 {{QStringLiteral("email"), email},
                  {QStringLiteral("publisher"), QJsonObject{{QStringLiteral("host"), QStringLiteral("photos.example.com")}}}});
    const QString token = service.call("POST", QStringLiteral("/__control/tokens"), {{QStringLiteral("email"), email}})
                              .value(QStringLiteral("jwt"))
                              .toString();
    if (userId.isEmpty() || token.isEmpty())
        return false;
    PLRCoreManager::completeSignIn(email, QStringLiteral("pw"), userId, token);
    // The previous round's session (and its post) goes now, not at the end of the run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    PLRWebServiceUserManager* users = PLRWebServiceUserManager::forSession(PLRCoreManager::userSession());
    return users && bench_support::waitUntil([users] { return users->remotePublisher() != nullptr; }, 10000);
}

struct Round {
    double curl50Ms = -1, curl6Ms = -1;
    double publishMs = 0, uploadMs = 0, createMs = 0, buildWaitMs = 0;
    double peakMiB = 0, growthMiB = 0, exportMiB = 0;
};

// A new post on the folder for the signed-in user, published once, with the curl runs made
// for other accounts right before it.
std::optional<Round> runRound(const Service& service, const QString& folder, int count, int round)
{
    Round result;
    PLRPostManager* manager = PLRCoreManager::userSession()->newPostManager();
    manager->createNewPostWithTitle(QStringLiteral("Bench %1").arg(round), QUrl::fromLocalFile(folder));
    if (!bench_support::waitUntil([&] { return manager->images().size() == count; }, 120000)) {
        std::fprintf(stderr, "the photos were not listed\n");
        return std::nullopt;
    }
    QStringList identifiers;
    for (const PLRSourceImagePtr& image : manager->images())
        identifiers << image->identifier();
    manager->layoutManager()->createAndAddBlocksForImages(identifiers);
    manager->refreshImagesInUse();
    // The export files exist before a publish (the image cache made them).
    QtConcurrent::blockingMap(manager->images(), [](const PLRSourceImagePtr& image) { image->exportFilePath(); });
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    qint64 exportBytes = 0;
    for (const PLRSourceImagePtr& image : manager->images())
        exportBytes += QFileInfo(image->exportFilePath()).size();
    result.exportMiB = exportBytes / 1048576.0;
    auto* publisher = manager->component<PLRWebServicePostPublisher>();
    if (!publisher || !bench_support::waitUntil([publisher] { return publisher->currentStateName() == QLatin1String("NOT_PUBLISHED"); }, 10000)) {
        std::fprintf(stderr, "the publisher did not settle\n");
        return std::nullopt;
    }

    // curl's default of 50 transfers at once, and the 6 connections per host of Qt's network layer.
    result.curl50Ms = runCurl(service, manager->images(), 50, QStringLiteral("anchor%1@pellora.test").arg(round)) * 1000.0;
    result.curl6Ms = runCurl(service, manager->images(), 6, QStringLiteral("anchor6-%1@pellora.test").arg(round)) * 1000.0;

    bool built = false;
    QElapsedTimer timer;
    qint64 uploadStart = -1, uploadEnd = -1;
    QObject observer;
    publisher->addStateChangeNotificationHandler(&observer, [&](const platform::Notification& notification) {
        const auto transition = notification.userInfo.value(QLatin1String(PLRFiniteStateMachineTransitionUserInfoKey))
                                    .value<PLRFiniteTransitionPtr>();
        const QString to = transition->destinationState()->name();
        if (to == QLatin1String("UPLOADING_IMAGES") && uploadStart < 0)
            uploadStart = timer.nsecsElapsed();
        if (to == QLatin1String("SERVER_BUILDING") && uploadEnd < 0)
            uploadEnd = timer.nsecsElapsed();
        if (transition->sourceState()->name() == QLatin1String("SERVER_BUILDING")
            && transition->destinationState()->name() == QLatin1String("IDLE"))
            built = true;
    });
    const qint64 rssBefore = bench_support::statusKiB("VmRSS:");
    bench_support::resetPeakMemory();
    timer.start();
    if (!publisher->createOrUpdatePublishedPost() || !bench_support::waitUntil([&] { return built; }, 600000)) {
        std::fprintf(stderr, "the publish did not finish (state %s, %s)\n", qPrintable(publisher->currentStateName()),
                     qPrintable(publisher->lastError()));
        return std::nullopt;
    }
    result.publishMs = timer.nsecsElapsed() / 1e6;
    const qint64 peak = bench_support::statusKiB("VmHWM:");
    result.createMs = uploadStart / 1e6;
    result.uploadMs = (uploadEnd - uploadStart) / 1e6;
    result.buildWaitMs = result.publishMs - uploadEnd / 1e6;
    result.peakMiB = peak / 1024.0;
    result.growthMiB = (peak - rssBefore) / 1024.0;
    publisher->removeStateChangeNotificationHandler(&observer);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QString sources, workRoot;
    int count = 45;
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--rounds" && i + 1 < argc)
            rounds = std::max(1, QByteArray(argv[++i]).toInt());
        else if (argument == "--work" && i + 1 < argc)
            workRoot = QString::fromLocal8Bit(argv[++i]);
        else if (argument.toInt() > 0)
            count = argument.toInt();
        else
            sources = QString::fromLocal8Bit(argument);
    }
    if (sources.isEmpty()) {
        std::fprintf(stderr, "usage: publish_bench PHOTOS_FOLDER [count=45] [--rounds N] [--work DIR]\n");
        return 2;
    }
    QTemporaryDir home;
    qputenv("PELLORA_HOME", home.path().toUtf8());
    qputenv("PELLORA_KEYCHAIN", "memory");
    qputenv("PELLORA_LOG_QUIET", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::resources::initialize();
    platform::Keychain::setShared(platform::Keychain::make(QStringLiteral("memory")));

    // The photos: distinct real photos, made once into the work folder.
    const QString work = workRoot.isEmpty() ? home.filePath(QStringLiteral("work")) : workRoot;
    const QString folder = QDir(work).filePath(QStringLiteral("publish-%1").arg(count));
    const QStringList photos = bench_photos::preparePhotosFromReal(bench_photos::jpegsUnder(sources), folder, count);
    if (photos.size() != count) {
        std::fprintf(stderr, "no real photos in %s\n", qPrintable(sources));
        return 1;
    }

    Service service;
    if (!service.start()) {
        std::fprintf(stderr, "the development service did not start\n");
        return 1;
    }
    auto& defaults = platform::UserDefaults::standard();
    defaults.setString(QStringLiteral("WEB_SERVICE_KEY_HOST"), QStringLiteral("127.0.0.1"));
    defaults.setString(QStringLiteral("WEB_SERVICE_KEY_PORT"), QString::number(service.port()));
    defaults.setBool(QStringLiteral("WEB_SERVICE_KEY_HTTPS"), false);
    defaults.setString(QStringLiteral("WEB_SERVICE_HOST_TYPE"), QStringLiteral("PLRWebServiceHost_CUSTOM"));

    // Connection stable before anything is timed.
    PLRServiceReacher::setDefaultTiming({0.05, 0.25});
    PLRServices::install();
    PLRLayoutLibrary::install();
    PLRPublishing::install();
    PLRWebServiceManager::globalManager().beginManager();
    if (!bench_support::waitUntil([] {
            const PLRFiniteStatePtr state = PLRWebServiceManager::globalManager().currentState();
            return state && state->name() == QLatin1String(PLRWSM_STATE_STABLE);
        }, 10000)) {
        std::fprintf(stderr, "the connection did not become stable\n");
        return 1;
    }
    bench_support::printLoad("before");

    std::vector<double> uploads, curl6s, publishes, curl50s;
    for (int round = 0; round < rounds; ++round) {
        if (!signInNewUser(service, QStringLiteral("bench%1@pellora.test").arg(round))) {
            std::fprintf(stderr, "round %d: the user's website was not fetched\n", round + 1);
            return 1;
        }
        const std::optional<Round> r = runRound(service, folder, count, round);
        if (!r)
            return 1;
        std::printf("round %d: %d photos, export files sent %.1f MiB | upload pass %.0f ms, curl --parallel-max 6 %.0f ms"
                    " | publish to built %.0f ms (create and hashes %.0f ms, build wait %.0f ms), curl --parallel %.0f ms"
                    " | peak memory %.1f MiB (growth %.1f MiB)\n",
                    round + 1, count, r->exportMiB, r->uploadMs, r->curl6Ms, r->publishMs, r->createMs, r->buildWaitMs,
                    r->curl50Ms, r->peakMiB, r->growthMiB);
        std::fflush(stdout);
        uploads.push_back(r->uploadMs);
        curl6s.push_back(r->curl6Ms);
        publishes.push_back(r->publishMs);
        curl50s.push_back(r->curl50Ms);
    }
    std::printf("medians: upload pass %.0f ms, curl --parallel-max 6 %.0f ms; publish to built %.0f ms, curl --parallel %.0f ms\n",
                bench_support::median(uploads), bench_support::median(curl6s), bench_support::median(publishes),
                bench_support::median(curl50s));
    bench_support::printPairedRatio("upload pass / curl --parallel-max 6", uploads, curl6s, "<= 1.2");
    bench_support::printPairedRatio("publish to built / curl --parallel", publishes, curl50s, "<= 2");
    bench_support::printLoad("after");
    PLRCoreManager::setUserSession(nullptr);
    platform::shutdown::run();
    return 0;
}

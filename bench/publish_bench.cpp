// Publishing benchmark (not a test).
//
// Makes a folder of photo-sized JPEGs, opens a post on it with every photo in its layout and
// builds their export files (the cache an upload reads) beforehand. Then, against the
// development service on loopback, like with like:
//  1. the upload pass (UPLOADING_IMAGES -> SERVER_BUILDING: the image-info batches and the
//     PUTs) against `curl --parallel --parallel-max 6` doing the same PUTs with the same six
//     connections per host (for a second account, so the service wants every photo again);
//  2. the whole publish, from the publish call to the built state (SERVER_BUILDING -> IDLE),
//     with the publisher's own timing (build checks 30 s apart: the check on entering the wait
//     and the service's socket message end it), reported on its own and beside
//     `curl --parallel` (50 transfers at once) of the same PUTs.
// Prints the times, their ratios, the peak memory of the publish and the export bytes sent
// (uploads stream from disk: the peak should stay far below the bytes sent). Every wait sleeps
// in the event loop; nothing spins.
//
// Usage: publish_bench [count=45] [longer side in pixels=3000]

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
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <cstdio>
#include <functional>

namespace {

// A photo with gradients and grain, so that its JPEG has a photo's size.
QImage makePhoto(int index, int longer)
{
    const int w = longer, h = longer * 2 / 3;
    QImage image(w / 4, h / 4, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, image.height());
    sky.setColorAt(0, QColor::fromHsv((index * 37) % 360, 120, 230));
    sky.setColorAt(1, QColor::fromHsv((index * 37 + 90) % 360, 160, 90));
    painter.fillRect(image.rect(), sky);
    painter.end();
    QImage large = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QRandomGenerator random(quint32(index) + 7u);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(large.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int grain = int(random.bounded(24)) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + grain, 255), qBound(0, qGreen(p) + grain, 255), qBound(0, qBlue(p) + grain, 255));
        }
    }
    return large;
}

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

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("PELLORA_HOME", home.path().toUtf8());
    qputenv("PELLORA_KEYCHAIN", "memory");
    qputenv("PELLORA_LOG_QUIET", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::resources::initialize();
    platform::Keychain::setShared(platform::Keychain::make(QStringLiteral("memory")));
    const int count = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 45;
    const int longer = argc > 2 ? qMax(100, QString::fromLocal8Bit(argv[2]).toInt()) : 3000;

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
    service.call("POST", QStringLiteral("/__control/me"),
                 {{QStringLiteral("email"), QStringLiteral("demo@pellora.test")},
                  {QStringLiteral("publisher"), QJsonObject{{QStringLiteral("host"), QStringLiteral("photos.example.com")}}}});

    // The photos.
    const QString folder = home.filePath(QStringLiteral("photos"));
    QDir().mkpath(folder);
    QList<int> indexes;
    for (int i = 0; i < count; ++i)
        indexes << i;
    QtConcurrent::blockingMap(indexes, [&](int i) {
        makePhoto(i, longer).save(QStringLiteral("%1/p%2.jpg").arg(folder).arg(i + 1, 3, 10, QLatin1Char('0')), "JPG", 92);
    });

    // Signed in, connection stable, the post open with every photo in its layout.
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
    const QString token = service.call("POST", QStringLiteral("/__control/tokens"),
                                       {{QStringLiteral("email"), QStringLiteral("demo@pellora.test")}})
                              .value(QStringLiteral("jwt"))
                              .toString();
    PLRCoreManager::completeSignIn(QStringLiteral("demo@pellora.test"), QStringLiteral("pellora-demo"), QStringLiteral("1"), token);
    PLRWebServiceUserManager* users = PLRWebServiceUserManager::forSession(PLRCoreManager::userSession());
    if (!users || !bench_support::waitUntil([users] { return users->remotePublisher() != nullptr; }, 10000)) {
        std::fprintf(stderr, "the user's website was not fetched\n");
        return 1;
    }
    PLRPostManager* manager = PLRCoreManager::userSession()->newPostManager();
    manager->createNewPostWithTitle(QStringLiteral("Bench"), QUrl::fromLocalFile(folder));
    if (!bench_support::waitUntil([&] { return manager->images().size() == count; }, 60000)) {
        std::fprintf(stderr, "the photos were not listed\n");
        return 1;
    }
    QStringList identifiers;
    for (const PLRSourceImagePtr& image : manager->images())
        identifiers << image->identifier();
    manager->layoutManager()->createAndAddBlocksForImages(identifiers);
    manager->refreshImagesInUse();
    // The export files exist before a publish (the image cache made them).
    qint64 exportBytes = 0;
    QtConcurrent::blockingMap(manager->images(), [](const PLRSourceImagePtr& image) { image->exportFilePath(); });
    for (const PLRSourceImagePtr& image : manager->images())
        exportBytes += QFileInfo(image->exportFilePath()).size();
    auto* publisher = manager->component<PLRWebServicePostPublisher>();
    if (!publisher || !bench_support::waitUntil([publisher] { return publisher->currentStateName() == QLatin1String("NOT_PUBLISHED"); }, 10000)) {
        std::fprintf(stderr, "the publisher did not settle\n");
        return 1;
    }

    // curl's default of 50 transfers at once, and the 6 connections per host of Qt's network layer.
    const double curlSeconds = runCurl(service, manager->images(), 50, QStringLiteral("anchor@pellora.test"));
    const double curl6Seconds = runCurl(service, manager->images(), 6, QStringLiteral("anchor6@pellora.test"));

    bool built = false;
    QElapsedTimer timer;
    qint64 uploadStart = -1, uploadEnd = -1;
    QObject observer;
    publisher->addStateChangeNotificationHandler(&observer, [&](const platform::Notification& notification) {
        const auto transition = notification.userInfo.value(QLatin1String(PLRFiniteStateMachineTransitionUserInfoKey))
                                    .value<PLRFiniteTransitionPtr>();
        const QString to = transition->destinationState()->name();
        if (to == QLatin1String("UPLOADING_IMAGES") && uploadStart < 0)
            uploadStart = timer.elapsed();
        if (to == QLatin1String("SERVER_BUILDING") && uploadEnd < 0)
            uploadEnd = timer.elapsed();
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
        return 1;
    }
    const double publishSeconds = timer.elapsed() / 1000.0;
    const qint64 peak = bench_support::statusKiB("VmHWM:");

    const double uploadSeconds = (uploadEnd - uploadStart) / 1000.0;
    std::printf("photos: %d, longer side %d px, export files sent: %.1f MiB\n", count, longer, exportBytes / 1048576.0);
    std::printf("upload pass: %.2f s", uploadSeconds);
    if (curl6Seconds > 0)
        std::printf("; curl --parallel --parallel-max 6, the same PUTs: %.2f s; ratio %.2f (goal <= 1.2)\n", curl6Seconds,
                    uploadSeconds / curl6Seconds);
    else
        std::printf("; curl: not available or failed\n");
    std::printf("publish to built state: %.2f s (create and hashes %.2f s, upload pass %.2f s, build wait %.2f s)\n",
                publishSeconds, uploadStart / 1000.0, uploadSeconds, publishSeconds - uploadEnd / 1000.0);
    if (curlSeconds > 0)
        std::printf("curl --parallel (50 at once), the same PUTs: %.2f s; publish to built / that: %.2f (goal <= 2)\n",
                    curlSeconds, publishSeconds / curlSeconds);
    std::printf("peak memory during the publish: %.1f MiB (resident before: %.1f MiB, growth %.1f MiB)\n",
                peak / 1024.0, rssBefore / 1024.0, (peak - rssBefore) / 1024.0);
    PLRCoreManager::setUserSession(nullptr);
    platform::shutdown::run();
    return 0;
}

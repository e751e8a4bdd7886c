#include "services/web-services/PLRWebServicePost.h"

#include "platform/Dispatch.h"
#include "platform/Json.h"
#include "platform/Log.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

// The revision under `key` ({"data": {...}}), or null for a null or malformed member. A missing
// member gives null too unless `emptyWhenMissing`, when it gives a revision with nothing known.
PLRWebServicePostRevisionPtr revisionMember(const QVariantMap& json, const char* key,
                                            bool emptyWhenMissing)
{
    if (emptyWhenMissing && !json.contains(QLatin1String(key)))
        return PLRWebServicePostRevision::fromJSON({});
    const std::optional<QVariantMap> member = PLRWebServiceModelObject::dictionaryMember(json, key);
    if (!member)
        return nullptr;
    const QVariant data = member->value(QStringLiteral("data"));
    if (data.typeId() != QMetaType::QVariantMap) {
        PLR_LOG_WARN(QStringLiteral("Post member \"%1\" has no \"data\" object; no revision")
                         .arg(QLatin1String(key)));
        return nullptr;
    }
    return PLRWebServicePostRevision::fromJSON(data.toMap());
}

// A GET whose successful answer is the body as text (not JSON).
bool sendTextRequest(const QUrl& url, PLRServiceCompletion completion)
{
    const QString token = PLRCurrentSessionToken();
    if (token.isEmpty())
        return false;
    auto send = [url, token, completion] {
        QNetworkReply* reply = PLRURLSession::shared().get(requestWithAuthentication(token, url));
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, completion] {
            reply->deleteLater();
            const platform::Error transport = platform::transportError(reply);
            const QByteArray bytes = reply->readAll();
            const PLRHTTPURLResponse response{
                reply->url(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()};
            if (!completion)
                return;
            if (transport.isValid())
                completion(false, QVariant(), std::nullopt, transport);
            else if (response.isCodeGood())
                completion(true, QString::fromUtf8(bytes), std::nullopt, platform::Error());
            else
                completion(false, QVariant(),
                           PLRServiceError::serviceErrorWithDictionary(parseServiceBody(bytes)),
                           platform::Error());
        });
    };
    if (platform::isMainThread())
        send();
    else
        platform::dispatchMain(send);
    return true;
}

} // namespace

PLRWebServicePost::PLRWebServicePost(const QVariantMap& json) : PLRWebServiceModelObject(json)
{
    m_name = stringMember(json, "name");
    m_live = flagMember(json, "live");
    m_status = integerMember(json, "status");
}

std::shared_ptr<PLRWebServicePost> PLRWebServicePost::fromJSON(const QVariantMap& json)
{
    auto post = std::make_shared<PLRWebServicePost>(json);
    // Null says the post has no pending revision; a missing member gives an empty one.
    post->m_pendingRevision = revisionMember(json, "pending_revision", true);
    post->m_liveRevision = revisionMember(json, "live_revision", false);
    if (post->m_pendingRevision)
        post->m_pendingRevision->setPost(post);
    if (post->m_liveRevision)
        post->m_liveRevision->setPost(post);
    return post;
}

QUrl PLRWebServicePost::postURL(const QStringList& extra) const
{
    return PLRWebServiceHost::currentHost().serviceMeURLWithPaths(
        QStringList{resourcePath().constFirst(), identifier()} + extra);
}

bool PLRWebServicePost::getObjectFromServerRequest(const PLRServiceCompletion&)
{
    PLR_LOG_ERROR(QStringLiteral("Use -getObjectFromServerRequest:forPostID: for Post Objects"));
    return false;
}

bool PLRWebServicePost::getObjectFromServerRequest(const PLRServiceCompletion& completion,
                                                   const QString& postId)
{
    if (postId.isEmpty())
        return false;
    return getModel<PLRWebServicePost>(
        PLRWebServiceHost::currentHost().serviceMeURLWithPaths({resourcePath().constFirst(), postId}), completion);
}

bool PLRWebServicePost::updateObjectWithDictionary(const QVariantMap& dictionary,
                                                   PLRServiceCompletion completion)
{
    if (identifier().isEmpty())
        return false;
    return putModelUpdate<PLRWebServicePost>(
        postURL(), QStringLiteral("post"), dictionary,
        [](PLRWebServicePost& post, const QVariantMap& json) {
            post.m_name = stringMember(json, "name");
            post.m_status = integerMember(json, "status");
            post.m_live = flagMember(json, "live");
        },
        std::move(completion));
}

QVariantMap PLRWebServicePost::dictionary() const
{
    QVariantMap dictionary = PLRWebServiceModelObject::dictionary();
    if (!m_name.isNull())
        dictionary.insert(QStringLiteral("name"), m_name);
    return dictionary;
}

bool PLRWebServicePost::cleanUpPost(PLRServiceCompletion completion)
{
    if (identifier().isEmpty())
        return false;
    auto self = std::static_pointer_cast<PLRWebServicePost>(shared_from_this());
    PLRServiceCall call;
    call.method = "POST";
    call.url = postURL({QStringLiteral("clean")});
    call.body = QVariantMap{{QStringLiteral("ok"), QString(QLatin1String(""))}};
    call.logResponse = false;
    call.wholeBody = true;
    call.makeResult = [self](const QVariant& body) -> std::optional<QVariant> {
        if (flagMember(body.toMap(), "deep_purge"))
            return QVariant();
        self->m_pendingRevision.reset();
        return QVariant::fromValue(self);
    };
    return PLRSendServiceRequest(call, std::move(completion));
}

bool PLRWebServicePost::getLinkStub(PLRServiceCompletion completion)
{
    if (identifier().isEmpty())
        return false;
    return sendTextRequest(postURL({QStringLiteral("link-stub")}), std::move(completion));
}

bool PLRWebServicePost::getLinkDestination(PLRServiceCompletion completion)
{
    if (identifier().isEmpty())
        return false;
    PLRServiceCall call;
    call.url = postURL({QStringLiteral("link-destination")});
    call.logResponse = false;
    call.wholeBody = true;
    call.makeResult = [](const QVariant& body) -> std::optional<QVariant> {
        const QVariant link = body.toMap().value(QStringLiteral("link"));
        if (link.typeId() != QMetaType::QString) {
            PLR_LOG_WARN(QStringLiteral("Link-destination answer has no \"link\" text"));
            return std::nullopt;
        }
        return link;
    };
    return PLRSendServiceRequest(call, std::move(completion));
}

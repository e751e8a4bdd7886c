#include "chat/PLRWebView.h"

#include "platform/Log.h"

#include <QFile>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace {

// The object a page's messages arrive on.
class PLRWebViewBridge : public QObject {
    Q_OBJECT
public:
    explicit PLRWebViewBridge(PLRWebView* view) : QObject(view), m_view(view) {}
public slots:
    void post(const QString& name, const QString& body) { m_view->deliverMessage(name, body); }
private:
    PLRWebView* m_view;
};

// A page's own JavaScript dialogs (alert, confirm, prompt) would stand over the application as
// its own windows, whatever the page: one asking for a password would be believed. They are
// logged and dropped: confirm() answers false, prompt() answers null. A page that asks without
// end is logged so far, then once more, until it loads again.
class PLRWebPage : public QWebEnginePage {
public:
    static constexpr int kLoggedDialogsPerLoad = 20;
    static constexpr int kLoggedTextLength = 200;

    explicit PLRWebPage(QObject* parent) : QWebEnginePage(parent)
    {
        connect(this, &QWebEnginePage::loadStarted, this, [this] { m_loggedDialogs = 0; });
    }

protected:
    void javaScriptAlert(const QUrl& origin, const QString& text) override { drop("alert", origin, text); }
    bool javaScriptConfirm(const QUrl& origin, const QString& text) override
    {
        drop("confirm", origin, text);
        return false;
    }
    bool javaScriptPrompt(const QUrl& origin, const QString& text, const QString&, QString*) override
    {
        drop("prompt", origin, text);
        return false;
    }

private:
    void drop(const char* kind, const QUrl& origin, const QString& text)
    {
        if (m_loggedDialogs > kLoggedDialogsPerLoad)
            return;
        if (m_loggedDialogs++ == kLoggedDialogsPerLoad) {
            PLR_LOG_WARN(QStringLiteral("Further JavaScript dialogs of %1 are dropped without a log line").arg(where(origin)));
            return;
        }
        // The page's text, on one line and cut short: it cannot pose as lines of the log.
        QString shown = text.left(kLoggedTextLength);
        for (QChar& c : shown) {
            if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                c = QLatin1Char(' ');
        }
        if (text.size() > kLoggedTextLength)
            shown += QStringLiteral("...");
        PLR_LOG_WARN(QStringLiteral("Dropped a JavaScript %1 of %2: \"%3\"").arg(QLatin1String(kind), where(origin), shown));
    }

    static QString where(const QUrl& origin)
    {
        return origin.isEmpty() ? QStringLiteral("a page without an address") : origin.toDisplayString();
    }

    int m_loggedDialogs = 0;
};

QString bootstrapScript()
{
    QFile channelScript(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    QString script;
    if (channelScript.open(QIODevice::ReadOnly))
        script = QString::fromUtf8(channelScript.readAll());
    else
        PLR_LOG_ERROR(QStringLiteral("The web channel's script is missing; pages cannot send messages"));
    script += QStringLiteral(R"JS(
(function() {
  var queued = [];
  var bridge = null;
  window.pelloraPost = function(name, body) {
    if (bridge) bridge.post(String(name), String(body)); else queued.push([String(name), String(body)]);
  };
  function connect() {
    if (typeof qt === 'undefined' || !qt.webChannelTransport) { setTimeout(connect, 10); return; }
    new QWebChannel(qt.webChannelTransport, function(channel) {
      bridge = channel.objects.pelloraBridge;
      queued.forEach(function(m) { bridge.post(m[0], m[1]); });
      queued = [];
    });
  }
  connect();
})();
)JS");
    return script;
}

// The web engine draws through OpenGL, in a context shared with the application's. Where the
// application has none (no OpenGL at all), it draws with Qt Quick's software renderer: a window
// holding a web view would otherwise ask for an OpenGL compositor it cannot have. Chosen once,
// before the first web view exists.
QWidget* chooseRenderer(QWidget* parent)
{
    static const bool chosen = [] {
        QOpenGLContext* shared = QOpenGLContext::globalShareContext();
        if (!shared || !shared->isValid()) {
            PLR_LOG_INFO(QStringLiteral("No OpenGL context to share: web pages are drawn in software"));
            QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        }
        return true;
    }();
    (void)chosen;
    return parent;
}

} // namespace

PLRWebView::PLRWebView(QWidget* parent) : QWebEngineView(chooseRenderer(parent))
{
    setFocusPolicy(Qt::StrongFocus);
    setPage(new PLRWebPage(this));
    m_channel = new QWebChannel(this);
    m_bridge = new PLRWebViewBridge(this);
    m_channel->registerObject(QStringLiteral("pelloraBridge"), m_bridge);
    page()->setWebChannel(m_channel);
    QWebEngineScript script;
    script.setName(QStringLiteral("pellora-bridge"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(bootstrapScript());
    page()->scripts().insert(script);
}

PLRWebView::~PLRWebView()
{
    // Taken apart here, while this is still a whole PLRWebView: left to the base class's
    // destructor, the page and the channel would go while this object is half destroyed, and
    // what they call back on it (a message still arriving, the page looking up its view) would
    // meet an object that is no longer one.
    m_handlers.clear();
    m_leavingByTab = nullptr;
    if (m_channel) {
        m_channel->deregisterObject(m_bridge);
        delete m_bridge;
        m_bridge = nullptr;
    }
    if (QWebEnginePage* current = page()) {
        current->setWebChannel(nullptr);
        if (current->parent() == this)
            delete current;
    }
    delete m_channel;
    m_channel = nullptr;
}

void PLRWebView::addScriptMessageHandler(const QString& name, MessageHandler handler)
{
    m_handlers.insert(name, std::move(handler));
}

void PLRWebView::removeScriptMessageHandler(const QString& name)
{
    m_handlers.remove(name);
}

void PLRWebView::deliverMessage(const QString& name, const QString& body)
{
    const auto handler = m_handlers.constFind(name);
    if (handler == m_handlers.constEnd() || !*handler)
        return;
    (*handler)(body);
}

bool PLRWebView::focusNextPrevChild(bool next)
{
    if (m_leavingByTab && m_leavingByTab(next))
        return true;
    return QWebEngineView::focusNextPrevChild(next);
}

void PLRWebView::evaluateJavaScript(const QString& script, ScriptCompletion completion)
{
    // Errors of the script show in the page's console; the result is null then.
    page()->runJavaScript(script, [completion](const QVariant& result) {
        if (completion)
            completion(result, result.isValid() ? QString() : QStringLiteral("no result"));
    });
}

#include "PLRWebView.moc"

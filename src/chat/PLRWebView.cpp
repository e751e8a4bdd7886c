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

void PLRWebView::evaluateJavaScript(const QString& script, ScriptCompletion completion)
{
    // Errors of the script show in the page's console; the result is null then.
    page()->runJavaScript(script, [completion](const QVariant& result) {
        if (completion)
            completion(result, result.isValid() ? QString() : QStringLiteral("no result"));
    });
}

#include "PLRWebView.moc"

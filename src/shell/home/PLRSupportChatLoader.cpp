#include "shell/home/PLRSupportChatLoader.h"

#include "platform/FirstFrame.h"
#include "platform/Log.h"
#include "platform/Modules.h"
#include "platform/Resets.h"
#include "platform-ui/TabChain.h"
#include "shell/home/PLRSupportChatHook.h"
#include "shell/home/PLRSupportChatPlugin.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QEvent>
#include <QFileInfo>
#include <QIcon>
#include <QPluginLoader>
#include <QPushButton>
#include <QRegion>
#include <QToolTip>

// Qt's own setter of the context every OpenGL context of the application shares with (the one
// the application object makes under Qt::AA_ShareOpenGLContexts); Qt's modules declare it so.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace {

// The same place and size as the chat's own closed view: the round button alone, so that what
// lies around it takes its own clicks.
constexpr int kButtonSize = 56;
constexpr int kMarginInHost = 28;

struct LoaderState {
    QString pathForTesting;
    PLRSupportChatPlugin* pluginForTesting = nullptr;
    QPluginLoader* loader = nullptr;   // kept: the plugin stays loaded for the run
    PLRSupportChatPlugin* plugin = nullptr;
    bool tried = false;
    bool installed = false;            // the chat is joined to the application
    QPointer<PLRSupportChatButton> button;
};

LoaderState& state()
{
    static LoaderState loaded;
    static const bool joined = platform::resets::add([] {
        PLRSupportChatButton::reset();
        // A plugin once loaded stays in the process; only the choice of file is forgotten.
        loaded.pathForTesting.clear();
        loaded.pluginForTesting = nullptr;
        loaded.installed = false;
        if (!loaded.plugin)
            loaded.tried = false;
    });
    (void)joined;
    return loaded;
}

// The web engine draws through an OpenGL context shared with the application's windows, which
// must exist before the engine's library is loaded. Qt makes that context while it constructs
// the application object when Qt::AA_ShareOpenGLContexts is set before then, in every start of
// any kind (a start handing its files over included), loading the OpenGL driver before the first
// frame; it is made here instead, just before the chat is loaded after the first frame, as the
// application object would have made it (the same format; kept for the rest of the run). The
// attribute itself only tells the application object to make it, and is not set this late (Qt
// warns). Without OpenGL the context stays invalid and the chat draws in software.
void shareOpenGLContexts()
{
    if (QOpenGLContext::globalShareContext())
        return;
    auto* context = new QOpenGLContext;
    context->setFormat(QSurfaceFormat::defaultFormat());
    if (context->create())
        PLR_LOG_INFO(QStringLiteral("Made the OpenGL context for the support chat's web engine"));
    else
        PLR_LOG_WARN(QStringLiteral("No OpenGL context for the support chat's web engine: it draws in software"));
    qt_gl_set_global_share_context(context);
    // Gone with the application object, while the display it was made on is still open.
    qAddPostRoutine([] {
        QOpenGLContext* shared = QOpenGLContext::globalShareContext();
        qt_gl_set_global_share_context(nullptr);
        delete shared;
    });
}

} // namespace

QString PLRSupportChatLoader::pluginFileName()
{
    return QStringLiteral("pellora-chat.so");
}

QStringList PLRSupportChatLoader::searchFolders()
{
    // The modules' folders: the build tree's holds the plugin too.
    QStringList folders{QCoreApplication::applicationDirPath()};
    if (const QString tree = platform::modules::buildTreeFolder(); !tree.isEmpty())
        folders.append(tree);
    return folders;
}

QString PLRSupportChatLoader::pluginPath()
{
    if (!state().pathForTesting.isNull())
        return QFileInfo::exists(state().pathForTesting) ? state().pathForTesting : QString();
    for (const QString& folder : searchFolders()) {
        const QString path = folder + QLatin1Char('/') + pluginFileName();
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}

void PLRSupportChatLoader::setPluginPathForTesting(const QString& path)
{
    state().pathForTesting = path.isEmpty() ? QString() : path;
}

void PLRSupportChatLoader::setPluginForTesting(PLRSupportChatPlugin* plugin)
{
    state().pluginForTesting = plugin;
}

bool PLRSupportChatLoader::mayBeAvailable()
{
    const LoaderState& loaded = state();
    if (loaded.pluginForTesting)
        return true;
    if (loaded.tried)
        return loaded.plugin != nullptr;
    return !pluginPath().isEmpty();
}

PLRSupportChatPlugin* PLRSupportChatLoader::plugin()
{
    LoaderState& loaded = state();
    if (loaded.pluginForTesting)
        return loaded.pluginForTesting;
    if (loaded.tried)
        return loaded.plugin;
    loaded.tried = true;
    const QString path = pluginPath();
    if (path.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("The support chat is unavailable: %1 is in none of %2")
                         .arg(pluginFileName(), searchFolders().join(QStringLiteral(", "))));
        return nullptr;
    }
    shareOpenGLContexts();
    auto* loader = new QPluginLoader(path, QCoreApplication::instance());
    // The plugin takes the application's own libraries from the executable: a symbol it does
    // not find there fails the load here, not the first call that needs it.
    loader->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    QObject* instance = loader->instance();
    auto* plugin = qobject_cast<PLRSupportChatPlugin*>(instance);
    if (!plugin) {
        PLR_LOG_ERROR(QStringLiteral("The support chat is unavailable: %1 did not load: %2")
                          .arg(path, instance ? QStringLiteral("not a support-chat plugin") : loader->errorString()));
        loader->unload();
        delete loader;
        return nullptr;
    }
    PLR_LOG_INFO(QStringLiteral("Loaded the support chat from %1").arg(path));
    loaded.loader = loader;
    loaded.plugin = plugin;
    return plugin;
}

PLRSupportChatPlugin* PLRSupportChatLoader::loadChat()
{
    PLRSupportChatPlugin* plugin = PLRSupportChatLoader::plugin();
    LoaderState& loaded = state();
    if (!plugin) {
        if (loaded.button)
            loaded.button->setUnavailable();
        return nullptr;
    }
    if (loaded.installed)
        return plugin;
    loaded.installed = true;
    plugin->install();
    // The chat takes the stand-in's corner: from now on the hook attaches the chat itself.
    if (PLRSupportChatButton* button = loaded.button) {
        loaded.button = nullptr;
        QPointer<QWidget> host = button->parentWidget();
        button->hide();
        button->deleteLater();
        if (host)
            PLRSupportChatHook::attach(host);
    }
    return plugin;
}

void PLRSupportChatLoader::loadAfterFirstFrame()
{
    platform::firstframe::afterFirstFrame(QCoreApplication::instance(), [] {
        if (loadChat())
            PLR_LOG_INFO(QStringLiteral("The support chat is loaded and listens for messages"));
    });
}

void PLRSupportChatLoader::install()
{
    PLRSupportChatHook::setAttach([](QWidget* host) { PLRSupportChatButton::attachToView(host); });
}

PLRSupportChatButton::PLRSupportChatButton(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PLRSupportChatButton"));
    setAttribute(Qt::WA_TranslucentBackground);
    resize(kButtonSize, kButtonSize);
    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("intercomChatIcon"));
    m_button->setIcon(QIcon(QStringLiteral(":/images/support-chat.svg")));
    m_button->setIconSize(QSize(kButtonSize, kButtonSize));
    m_button->setFlat(true);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setToolTip(QStringLiteral("Chat to support"));
    m_button->setStyleSheet(QStringLiteral("QPushButton{border:none;background:transparent;}"));
    m_button->setGeometry(0, 0, kButtonSize, kButtonSize);
    // The button is round: the corners of its square are what lies beneath it's.
    setMask(QRegion(rect(), QRegion::Ellipse));
    connect(m_button, &QPushButton::clicked, this, &PLRSupportChatButton::press);
    // Without a plugin (no file, or one that did not load) the button says so from the start.
    if (!PLRSupportChatLoader::mayBeAvailable())
        setUnavailable();
}

PLRSupportChatButton* PLRSupportChatButton::shared()
{
    return state().button;
}

void PLRSupportChatButton::reset()
{
    delete state().button.data();
    state().button = nullptr;
}

void PLRSupportChatButton::attachToView(QWidget* host)
{
    if (!host)
        return;
    if (!state().button)
        state().button = new PLRSupportChatButton;
    PLRSupportChatButton* view = state().button;
    if (view->parentWidget() != host) {
        view->setParent(host);
        if (view->m_host)
            view->m_host->removeEventFilter(view);
        view->m_host = host;
        host->installEventFilter(view);
    }
    view->place();
    view->show();
    view->raise();
    // As the chat itself: the last stop of Tab in the window.
    platform::ui::keepLastInTabChain(view);
}

void PLRSupportChatButton::place()
{
    if (QWidget* host = parentWidget())
        move(host->width() - kMarginInHost - width(), host->height() - kMarginInHost - height());
}

bool PLRSupportChatButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::Resize)
        place();
    return QWidget::eventFilter(watched, event);
}

void PLRSupportChatButton::setUnavailable()
{
    m_unavailable = true;
    m_button->setToolTip(QString::fromLatin1(kUnavailableText));
    m_button->setAccessibleDescription(QString::fromLatin1(kUnavailableText));
}

void PLRSupportChatButton::press()
{
    // Pressed before the chat was loaded: loading it puts the chat in this button's place.
    PLRSupportChatPlugin* plugin = m_unavailable ? nullptr : PLRSupportChatLoader::loadChat();
    if (!plugin) {
        setUnavailable();
        QToolTip::showText(m_button->mapToGlobal(QPoint(0, 0)), QString::fromLatin1(kUnavailableText), m_button);
        return;
    }
    plugin->openChat();
}

#include "shell/home/PLRSupportChatLoader.h"

#include "platform/Log.h"
#include "platform/Resets.h"
#include "shell/home/PLRSupportChatHook.h"
#include "shell/home/PLRSupportChatPlugin.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QIcon>
#include <QPluginLoader>
#include <QPushButton>
#include <QToolTip>

namespace {

// The same place and size as the chat's own closed view.
constexpr int kViewSize = 100;
constexpr int kMarginInHost = 20;
constexpr int kButtonSize = 56;
constexpr int kButtonMargin = 8;

struct LoaderState {
    QString pathForTesting;
    QPluginLoader* loader = nullptr;   // kept: the plugin stays loaded for the run
    PLRSupportChatPlugin* plugin = nullptr;
    bool tried = false;
    QPointer<PLRSupportChatButton> button;
};

LoaderState& state()
{
    static LoaderState loaded;
    static const bool joined = platform::resets::add([] {
        PLRSupportChatButton::reset();
        // A plugin once loaded stays in the process; only the choice of file is forgotten.
        loaded.pathForTesting.clear();
        if (!loaded.plugin)
            loaded.tried = false;
    });
    (void)joined;
    return loaded;
}

} // namespace

QString PLRSupportChatLoader::pluginFileName()
{
    return QStringLiteral("pellora-chat.so");
}

QStringList PLRSupportChatLoader::searchFolders()
{
    QStringList folders{QCoreApplication::applicationDirPath()};
#ifdef PELLORA_CHAT_PLUGIN_BUILD_DIR
    folders.append(QStringLiteral(PELLORA_CHAT_PLUGIN_BUILD_DIR));
#endif
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

PLRSupportChatPlugin* PLRSupportChatLoader::plugin()
{
    LoaderState& loaded = state();
    if (loaded.tried)
        return loaded.plugin;
    loaded.tried = true;
    const QString path = pluginPath();
    if (path.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("The support chat is unavailable: %1 is in none of %2")
                         .arg(pluginFileName(), searchFolders().join(QStringLiteral(", "))));
        return nullptr;
    }
    auto* loader = new QPluginLoader(path, QCoreApplication::instance());
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

void PLRSupportChatLoader::install()
{
    PLRSupportChatHook::setAttach([](QWidget* host) { PLRSupportChatButton::attachToView(host); });
}

PLRSupportChatButton::PLRSupportChatButton(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PLRSupportChatButton"));
    setAttribute(Qt::WA_TranslucentBackground);
    resize(kViewSize, kViewSize);
    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("intercomChatIcon"));
    m_button->setIcon(QIcon(QStringLiteral(":/images/support-chat.svg")));
    m_button->setIconSize(QSize(kButtonSize, kButtonSize));
    m_button->setFlat(true);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setToolTip(QStringLiteral("Chat to support"));
    m_button->setStyleSheet(QStringLiteral("QPushButton{border:none;background:transparent;}"));
    m_button->setGeometry(kViewSize - kButtonMargin - kButtonSize, kViewSize - kButtonMargin - kButtonSize, kButtonSize,
                          kButtonSize);
    connect(m_button, &QPushButton::clicked, this, &PLRSupportChatButton::press);
    // Without a plugin file the button says so from the start.
    if (PLRSupportChatLoader::pluginPath().isEmpty())
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
    PLRSupportChatPlugin* plugin = m_unavailable ? nullptr : PLRSupportChatLoader::plugin();
    if (!plugin) {
        setUnavailable();
        QToolTip::showText(m_button->mapToGlobal(QPoint(0, 0)), QString::fromLatin1(kUnavailableText), m_button);
        return;
    }
    // The chat takes this corner: its own view is attached where the button was, and opened;
    // from now on the hook attaches the chat itself.
    QPointer<QWidget> host = parentWidget();
    hide();
    if (state().button == this)
        state().button = nullptr;
    plugin->install();
    if (host)
        PLRSupportChatHook::attach(host);
    plugin->openChat();
    deleteLater();
}

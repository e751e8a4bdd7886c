#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class PLRSupportChatPlugin;
class QPushButton;

// Finds and loads the support-chat plugin, and stands in for the chat in the home screen's
// corner until it is loaded: the chat's button. The application loads the chat
// once its main window's first frame is painted, so that support's messages are told from the
// start of a run; a press before then loads it at once and opens it. Without the plugin the
// button says the chat is unavailable.
namespace PLRSupportChatLoader {
// The plugin's file name, and the folders it is looked for in: beside the executable, then,
// for runs from inside the build tree (and the tests), the build tree's folder.
QString pluginFileName();
QStringList searchFolders();
// The first folder's plugin that exists; empty when there is none.
QString pluginPath();
// Loads the plugin once (it stays loaded); nullptr (logged) when it is missing or does not load.
PLRSupportChatPlugin* plugin();
// False once the plugin is known to be missing or not to load.
bool mayBeAvailable();
// Loads the plugin and joins the chat to the application once (its page loads, and it takes
// the stand-in button's place); answers the plugin, or nullptr when the chat is unavailable.
PLRSupportChatPlugin* loadChat();
// loadChat() just after the main window's first frame (the application calls it as it starts).
void loadAfterFirstFrame();
// Another plugin file, or none ("" = look in the usual folders again).
void setPluginPathForTesting(const QString& path);
// A plugin object in place of the file's (nullptr = the file's again).
void setPluginForTesting(PLRSupportChatPlugin* plugin);
// Puts the stand-in button behind PLRSupportChatHook (called once at start).
void install();
}

// The chat's button until the chat itself is loaded.
class PLRSupportChatButton : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kUnavailableText = "The support chat is unavailable.";

    explicit PLRSupportChatButton(QWidget* parent = nullptr);
    // The one button, moved into the host's bottom trailing corner.
    static void attachToView(QWidget* host);
    static PLRSupportChatButton* shared();
    static void reset();

    QPushButton* button() const { return m_button; }
    bool isUnavailable() const { return m_unavailable; }
    // The button's action: loads the chat and opens it, or says it is unavailable.
    void press();
    void setUnavailable();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    QPushButton* m_button = nullptr;
    QPointer<QWidget> m_host;
    bool m_unavailable = false;
};

#pragma once

#include <QHash>
#include <QString>
#include <QVariant>
#include <QWebEngineView>

#include <functional>

class QWebChannel;

// A web view whose pages can send messages to named handlers of the application: a page calls
// window.pelloraPost(name, body) (messages sent before the channel is up are queued in the page
// and delivered when it is). It takes the keyboard focus like any view. Its pages' JavaScript
// dialogs are logged and dropped, never shown.
class PLRWebView : public QWebEngineView {
    Q_OBJECT
public:
    explicit PLRWebView(QWidget* parent = nullptr);
    ~PLRWebView() override;

    using MessageHandler = std::function<void(const QString& body)>;
    // Messages to `name` reach the handler; a page's messages to other names are dropped.
    void addScriptMessageHandler(const QString& name, MessageHandler handler);
    void removeScriptMessageHandler(const QString& name);

    using ScriptCompletion = std::function<void(const QVariant& result, const QString& error)>;
    void evaluateJavaScript(const QString& script, ScriptCompletion completion = nullptr);

    bool acceptsFirstResponder() const { return true; }
    bool canBecomeKeyView() const { return true; }

    // The page's message, as the channel delivers it.
    void deliverMessage(const QString& name, const QString& body);

    // Where the keyboard goes when Tab (next) or Backtab leaves the page: the handler moves it
    // and answers true, or false to leave it to the view's window.
    using LeavingByTab = std::function<bool(bool next)>;
    void setLeavingByTab(LeavingByTab handler) { m_leavingByTab = std::move(handler); }

protected:
    bool focusNextPrevChild(bool next) override;

private:
    QWebChannel* m_channel = nullptr;
    QObject* m_bridge = nullptr;
    QHash<QString, MessageHandler> m_handlers;
    LeavingByTab m_leavingByTab;
};

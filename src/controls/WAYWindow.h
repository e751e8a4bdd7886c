#pragma once

#include "platform-ui/Window.h"

#include <QPointer>

#include <memory>
#include <vector>

class WAYWindow;

// The messages being forwarded right now, so one is not forwarded again while it is.
class WAYSelectorStack {
public:
    bool containsSelector(platform::ui::WindowMessage message) const;
    void pushSelector(platform::ui::WindowMessage message) { m_entries.push_back(message); }
    platform::ui::WindowMessage pop();
    int count() const { return int(m_entries.size()); }
private:
    std::vector<platform::ui::WindowMessage> m_entries;
};

// A delegate held without ownership: when the delegate is also a QObject, the reference clears
// itself when that object is destroyed (a plain delegate must be cleared by its owner).
class WAYWeakDelegate {
public:
    WAYWeakDelegate() = default;
    void set(platform::ui::WindowDelegate* delegate)
    {
        m_delegate = delegate;
        m_object = dynamic_cast<QObject*>(delegate);
        m_tracked = m_object != nullptr;
    }
    platform::ui::WindowDelegate* get() const { return m_tracked && !m_object ? nullptr : m_delegate; }
private:
    platform::ui::WindowDelegate* m_delegate = nullptr;
    QPointer<QObject> m_object;
    bool m_tracked = false;
};

// Forwards every delegate message to the window and to the delegate the application assigned.
// Both are held weakly (WAYWeakDelegate): the window owns the proxy.
class WAYWindowDelegateProxy : public platform::ui::WindowDelegate {
public:
    WAYWindowDelegateProxy() = default;
    platform::ui::WindowDelegate* firstDelegate() const { return m_first.get(); }
    void setFirstDelegate(platform::ui::WindowDelegate* delegate) { m_first.set(delegate); }
    platform::ui::WindowDelegate* secondaryDelegate() const { return m_secondary.get(); }
    void setSecondaryDelegate(platform::ui::WindowDelegate* delegate) { m_secondary.set(delegate); }

    bool respondsTo(platform::ui::WindowMessage message) const override;
    void windowDidResize(platform::ui::Window* window) override;
    void windowDidMove(platform::ui::Window* window) override;
    void windowWillClose(platform::ui::Window* window) override;
    bool windowShouldClose(platform::ui::Window* window) override;
    void windowDidBecomeKey(platform::ui::Window* window) override;
    void windowDidResignKey(platform::ui::Window* window) override;

private:
    template <class Call> void forward(platform::ui::WindowMessage message, Call call);
    WAYWeakDelegate m_first;
    WAYWeakDelegate m_secondary;
    WAYSelectorStack m_selectorStack;
};

// A window with a taller title bar of its own height, the title hidden and the standard buttons
// centred in the bar or placed by margins.
class WAYWindow : public platform::ui::Window, public platform::ui::WindowDelegate {
    Q_OBJECT
public:
    explicit WAYWindow(const QRectF& contentRect,
                       unsigned styleMask = platform::ui::WindowStyleTitled | platform::ui::WindowStyleClosable
                           | platform::ui::WindowStyleMiniaturizable | platform::ui::WindowStyleResizable,
                       QWidget* parent = nullptr);
    ~WAYWindow() override;

    static bool supportsVibrantAppearances() { return false; }
    // The title-bar height as a single-precision value.
    static double defaultTitleBarHeight() { return double(float(platform::ui::Window::defaultTitleBarHeight())); }

    void setDelegate(platform::ui::WindowDelegate* delegate) override;
    platform::ui::WindowDelegate* delegate() const override;
    platform::ui::WindowDelegate* effectiveDelegate() const override { return m_platformDelegate; }
    WAYWindowDelegateProxy* delegateProxy() const { return m_delegateProxy.get(); }

    void setFrame(const QRectF& frame, bool display) override;
    void orderFront() override;
    void makeKeyAndOrderFront() override;
    void restoreState() { setNeedsLayout(); }

    // WindowDelegate (the window hears its own resizes).
    bool respondsTo(platform::ui::WindowMessage message) const override;
    void windowDidResize(platform::ui::Window* window) override;

    platform::ui::View* titleBarView() const;
    double titleBarHeight() const { return m_titleBarHeight; }
    void setTitleBarHeight(double height);
    bool centerTrafficLightButtons() const { return m_centerTrafficLightButtons; }
    void setCenterTrafficLightButtons(bool center);
    double trafficLightButtonsLeftMargin() const { return m_leftMargin; }
    void setTrafficLightButtonsLeftMargin(double margin) { m_leftMargin = margin; }
    double trafficLightButtonsTopMargin() const { return m_topMargin; }
    void setTrafficLightButtonsTopMargin(double margin) { m_topMargin = margin; }
    bool hidesTitle() const { return m_hidesTitle; }
    void setHidesTitle(bool hides);
    const std::vector<platform::ui::StandardWindowButton*>& standardButtons() const { return m_standardButtons; }

    void setContentViewAppearanceVibrantDark() { setContentViewAppearance(2); }
    void setContentViewAppearanceVibrantLight() { setContentViewAppearance(1); }
    void setContentViewAppearance(int material);
    void setVibrantDarkAppearance() { m_appearance = QStringLiteral("vibrantDark"); }
    void setVibrantLightAppearance() { m_appearance = QStringLiteral("vibrantLight"); }
    void setAquaAppearance() { m_appearance = QStringLiteral("aqua"); }
    QString appearanceName() const { return m_appearance; }
    bool isFullScreen() const { return styleMask() & platform::ui::WindowStyleFullScreen; }

    // Moves the old view's subviews into the new view and puts it in the old one's place.
    void replaceSubview(platform::ui::View* oldView, platform::ui::View* newView, bool resizing);
    template <class ViewClass> ViewClass* replaceSubviewWithViewOfClass(platform::ui::View* oldView)
    {
        auto* view = new ViewClass();
        view->setFrame(oldView->frame());
        replaceSubview(oldView, view, true);
        return view;
    }

    // The class-wide margins measured on the first windows' buttons.
    static float defaultLeftMargin();
    static float defaultTopMargin();

private:
    void setUp();
    void setNeedsLayout();
    std::unique_ptr<WAYWindowDelegateProxy> m_delegateProxy;
    platform::ui::WindowDelegate* m_platformDelegate = nullptr;
    std::vector<platform::ui::StandardWindowButton*> m_standardButtons;
    double m_titleBarHeight = 0.0;
    bool m_centerTrafficLightButtons = true;
    double m_leftMargin = 0.0;
    double m_topMargin = 0.0;
    bool m_hidesTitle = true;
    bool m_hasAccessory = false;
    QString m_appearance;
};

#pragma once

#include "platform-ui/Controls.h"

#include <QPointer>
#include <QWidget>

#include <functional>

// A borderless title-bar button that shows a named image, and its alternate image while pressed
// or while its menu is open.
class PLRTitleBarButton : public platform::ui::Button {
    Q_OBJECT
public:
    explicit PLRTitleBarButton(QWidget* parent = nullptr);

    QString imageName() const { return m_imageName; }
    void setImageNamed(const QString& name);
    QString alternateImageName() const { return m_alternateImageName; }
    void setAlternateImageNamed(const QString& name);
    // The pictures, loaded when first drawn (a hidden header costs nothing at start-up).
    QImage picture() const;
    QImage alternateImage() const;
    // The alternate image also shows while this holds (a menu of the button is open).
    void setShowsAlternate(bool shows);
    bool showsAlternate() const { return m_showsAlternate; }

    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;
    // An enabled button takes its clicks also while it is faded out (the header appearing):
    // only a disabled one lets them through.
    QWidget* hitTest(const QPointF& pointInSuperview) override;

    // The font of the title.
    static QFont titleFont();

protected:
    void drawImageAndTitle(platform::ui::GraphicsContext& context, const QRectF& rect);
    // The text centred in the rectangle in the title's font and colour.
    void drawTitleText(platform::ui::GraphicsContext& context, const QRectF& rect, const QString& text);

private:
    QString m_imageName;
    QString m_alternateImageName;
    mutable QImage m_picture;
    mutable QImage m_alternateImage;
    mutable bool m_pictureLoaded = true;
    mutable bool m_alternateLoaded = true;
    bool m_showsAlternate = false;
};

// The title bar's post selector: its left 14 points act as a home button when a home target is
// set; the rest is an ordinary button.
class PLRPostSelecorPopUpButton : public PLRTitleBarButton {
    Q_OBJECT
public:
    explicit PLRPostSelecorPopUpButton(QWidget* parent = nullptr);

    bool triggerHome() const { return m_triggerHome; }
    QObject* homeTarget() const { return m_homeTarget; }
    void setHomeTarget(QObject* target) { m_homeTarget = target; }
    std::function<void(QObject* sender)> homeSelector() const { return m_homeSelector; }
    void setHomeSelector(std::function<void(QObject* sender)> selector) { m_homeSelector = std::move(selector); }

    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;
    void drawRect(platform::ui::GraphicsContext& context, const QRectF& dirtyRect) override;

    // The post's name as it shows: on one line, shortened in the middle when the button is too
    // narrow for it (names that differ at their end still tell apart). Its tool tip is the
    // whole name.
    QString shownTitle() const;
    // The width that shows the whole name.
    double widthForWholeTitle() const;
    void setPostName(const QString& name);

    static constexpr double kHomeEdgeWidth = 14.0;
    static constexpr double kArrowWidth = 21.0;
    // The name's insets on the button's body, left and right.
    static constexpr double kTitleLeftInset = 8.0;
    static constexpr double kTitleRightInset = 4.0;

private:
    bool m_triggerHome = false;
    QPointer<QObject> m_homeTarget;
    std::function<void(QObject*)> m_homeSelector;
};

// A transient popover: a content view in a pop-up window next to a view, closed by any click
// outside it. Closing posts kPLRPopoverDidCloseNotification.
class PLRPopover : public QWidget {
    Q_OBJECT
public:
    explicit PLRPopover(QWidget* parent = nullptr);
    void setContentView(QWidget* view);
    QWidget* contentView() const { return m_content; }
    // Shows the popover below (the maximum-Y edge of a flipped control) the rectangle of the view,
    // or above it where the view's window has no room below; it never leaves that window.
    void showRelativeToRect(const QRect& rect, QWidget* view);
    bool isShown() const { return isVisible(); }
protected:
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // A press outside closes it; the press is not passed on, but the keyboard goes where the
    // click would have put it (the canvas, a field), so keys no longer reach the field that had
    // them before the popover.
    void mousePressEvent(QMouseEvent* event) override;
private:
    QPointer<QWidget> m_content;
};
